#include "support/TestImages.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace imgdesk::test {

codecs::Dib MakePicture(int width, int height, int bitCount, bool grey, bool alpha) {
    codecs::Dib dib;
    codecs::AllocateDib(dib, width, height, bitCount);
    dib.hasAlpha = alpha && bitCount == 32;
    if (bitCount == 8) {
        if (grey) {
            codecs::SetGreyPalette(dib);
        } else {
            for (int i = 0; i < 256; ++i)
                dib.palette[i] = {static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i),
                                  static_cast<BYTE>(i * 3), 0};
            dib.paletteSize = 256;
        }
    }
    for (int y = 0; y < height; ++y) {
        unsigned char* row = dib.Row(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const int v = (x * 37 + y * 11) & 0xFF;
            if (bitCount == 8) {
                row[x] = static_cast<unsigned char>(v);
            } else {
                unsigned char* p = row + x * (bitCount / 8);
                p[0] = static_cast<unsigned char>(v);
                p[1] = static_cast<unsigned char>(255 - v);
                p[2] = static_cast<unsigned char>((x * 5) & 0xFF);
                if (bitCount == 32)
                    p[3] = dib.hasAlpha ? static_cast<unsigned char>((y * 40 + x) & 0xFF) : 255;
            }
        }
    }
    return dib;
}

void PixelOf(const codecs::Dib& dib, int x, int y, unsigned char bgra[4]) {
    codecs::DibView view = codecs::DibView::Of(dib);
    std::vector<unsigned char> row(static_cast<std::size_t>(dib.width) * 4);
    codecs::RowToBgra(view, dib.height - 1 - y, row.data());
    for (int c = 0; c < 4; ++c)
        bgra[c] = row[4 * x + c];
}

std::vector<unsigned char> EncodeBytes(codecs::Format format, const codecs::Dib& dib, int quality) {
    std::vector<unsigned char> out;
    codecs::EncodeOptions options;
    options.quality = quality;
    codecs::Encode(format, codecs::DibView::Of(dib), options, out);
    return out;
}

std::vector<unsigned char> JpegWithOrientation(int width, int height, int orientation) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    // A little-endian TIFF header with one IFD entry: orientation (0x0112), SHORT, 1 value.
    const unsigned char exif[] = {'E', 'x',  'i',  'f', 0,
                                  0,   'I',  'I',  42,  0,
                                  8,   0,    0,    0,   1,
                                  0,   0x12, 0x01, 3,   0,
                                  1,   0,    0,    0,   static_cast<unsigned char>(orientation),
                                  0,   0,    0,    0,   0,
                                  0,   0};
    jpeg_write_marker(&info, JPEG_APP0 + 1, exif, sizeof(exif));
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        // Red in the top-left quarter, the rest white: a marker that shows how the picture turned.
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            const bool mark = x < width / 2 && y < height / 2;
            row[3 * x] = 255;
            row[3 * x + 1] = mark ? 0 : 255;
            row[3 * x + 2] = mark ? 0 : 255;
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

std::string AsString(const std::vector<unsigned char>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace imgdesk::test
