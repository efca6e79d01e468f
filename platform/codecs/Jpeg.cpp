// JPEG through libjpeg-turbo. libjpeg reports errors by calling error_exit, which must not return;
// it long-jumps back to the function that set the jump point. Those functions keep only plain
// values in their frame, and everything that needs releasing is owned by their callers.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codecs/CodecInternal.h"

// After the platform types: libjpeg defines TRUE and FALSE only where they are missing.
#include <jpeglib.h>
#include <jerror.h>

namespace imgdesk::codecs::detail {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool truncated;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void EmitMessage(j_common_ptr info, int level) {
    // A file that ends early is a failure here, not a grey bottom.
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && errors->base.msg_code == JWRN_JPEG_EOF)
        errors->truncated = true;
}

void OutputMessage(j_common_ptr) {}

void InstallErrors(ErrorManager& errors) {
    jpeg_std_error(&errors.base);
    errors.base.error_exit = ErrorExit;
    errors.base.emit_message = EmitMessage;
    errors.base.output_message = OutputMessage;
    errors.truncated = false;
}

// The orientation tag (0x0112) of an EXIF block; 1 when absent or unreadable.
int ExifOrientation(const unsigned char* data, unsigned size) {
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return 1;
    const unsigned char* tiff = data + 6;
    const unsigned length = size - 6;
    const bool little = tiff[0] == 'I';
    if (!(little ? tiff[1] == 'I' : tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](unsigned at) -> unsigned {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](unsigned at) -> unsigned long {
        return little ? tiff[at] | tiff[at + 1] << 8 | tiff[at + 2] << 16 |
                            static_cast<unsigned long>(tiff[at + 3]) << 24
                      : static_cast<unsigned long>(tiff[at]) << 24 | tiff[at + 1] << 16 |
                            tiff[at + 2] << 8 | tiff[at + 3];
    };
    const unsigned long ifd = u32(4);
    if (ifd > length - 2)
        return 1;
    const unsigned entries = u16(static_cast<unsigned>(ifd));
    for (unsigned i = 0; i < entries; ++i) {
        const unsigned long at = ifd + 2 + 12UL * i;
        if (at + 12 > length)
            return 1;
        if (u16(static_cast<unsigned>(at)) == 0x0112) {
            const unsigned value = u16(static_cast<unsigned>(at + 8));
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

// Reads the header and checks the size; the caller allocates between the two stages.
Result ReadHeader(jpeg_decompress_struct& info, ErrorManager& errors, const unsigned char* data,
                  std::size_t size, DecodedImage& image) {
    if (setjmp(errors.jump))
        return Result::Corrupt;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return Result::Corrupt;
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
    const int bits = grey ? 8 : cmyk ? 32 : 24;
    if (!FitsLimit(info.image_width, info.image_height, bits))
        return Result::TooLarge;
    const Result result = AllocateDib(image, static_cast<int>(info.image_width),
                                      static_cast<int>(info.image_height), bits);
    if (result != Result::Ok)
        return result;
    if (grey)
        SetGreyPalette(image);
    if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0) {
        const double perInch = info.density_unit == 1 ? 1.0 : info.density_unit == 2 ? 2.54 : 0.0;
        image.dpiX = info.X_density * perInch;
        image.dpiY = info.Y_density * perInch;
    }
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1) {
            image.orientation = ExifOrientation(marker->data, marker->data_length);
            break;
        }
    }
    return Result::Ok;
}

Result ReadPixels(jpeg_decompress_struct& info, ErrorManager& errors, DecodedImage& image,
                  unsigned char* cmykRow) {
    if (setjmp(errors.jump))
        return Result::Corrupt;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        unsigned char* row = image.Row(image.height - 1 - y);
        JSAMPROW target = cmykRow ? cmykRow : row;
        jpeg_read_scanlines(&info, &target, 1);
        if (errors.truncated)
            return Result::Corrupt;
        if (cmykRow) {
            // Adobe writes inverted CMYK; either way the ink is converted to light naively.
            const bool inverted = info.saw_Adobe_marker;
            for (int x = 0; x < image.width; ++x) {
                int c = cmykRow[4 * x], m = cmykRow[4 * x + 1], yl = cmykRow[4 * x + 2],
                    k = cmykRow[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yl = 255 - yl;
                    k = 255 - k;
                }
                row[4 * x] = static_cast<unsigned char>(yl * k / 255);
                row[4 * x + 1] = static_cast<unsigned char>(m * k / 255);
                row[4 * x + 2] = static_cast<unsigned char>(c * k / 255);
                row[4 * x + 3] = 255;
            }
        }
    }
    jpeg_finish_decompress(&info);
    return errors.truncated ? Result::Corrupt : Result::Ok;
}

struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    HeapBytes cmykRow;
    Decompressor() {
        InstallErrors(errors);
        info.err = &errors.base;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

struct Compressor {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    HeapBytes row;
    Compressor() {
        InstallErrors(errors);
        info.err = &errors.base;
    }
    ~Compressor() {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

// Palette pictures other than grey go out as colour, widened row by row into c.row.
Result Compress(Compressor& c, const DibView& image, int quality, bool grey, bool expandPalette) {
    jpeg_compress_struct& info = c.info;
    if (setjmp(c.errors.jump))
        return Result::OutOfMemory;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &c.buffer, &c.size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    const bool bgr = image.bitCount == 24;
    info.input_components = grey ? 1 : bgr ? 3 : 4;
    info.in_color_space = grey ? JCS_GRAYSCALE : bgr ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (image.dpiX > 0 && image.dpiY > 0 && image.dpiX < 65535.5 && image.dpiY < 65535.5) {
        info.density_unit = 1;
        info.X_density = static_cast<UINT16>(image.dpiX + 0.5);
        info.Y_density = static_cast<UINT16>(image.dpiY + 0.5);
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const int memoryRow = image.height - 1 - static_cast<int>(info.next_scanline);
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(memoryRow));
        if (expandPalette) {
            const unsigned char* in = image.Row(memoryRow);
            unsigned char* out = c.row.get();
            for (int x = 0; x < image.width; ++x, out += 4) {
                const RGBQUAD& entry = image.palette[in[x]];
                out[0] = entry.rgbBlue;
                out[1] = entry.rgbGreen;
                out[2] = entry.rgbRed;
            }
            row = c.row.get();
        }
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return Result::Ok;
}

}  // namespace

Result DecodeJpeg(const unsigned char* data, std::size_t size, DecodedImage& image) {
    Decompressor d;
    Result result = ReadHeader(d.info, d.errors, data, size, image);
    if (result != Result::Ok)
        return result;
    if (d.info.out_color_space == JCS_CMYK) {
        d.cmykRow.reset(static_cast<unsigned char*>(
            platform::HeapAllocate(static_cast<std::size_t>(image.width) * 4)));
        if (!d.cmykRow)
            return Result::OutOfMemory;
    }
    return ReadPixels(d.info, d.errors, image, d.cmykRow.get());
}

Result EncodeJpeg(const DibView& image, const EncodeOptions& options,
                  std::vector<unsigned char>& out) {
    if (options.quality < 0 || options.quality > 100)
        return Result::InvalidArgument;
    Compressor c;
    const bool grey = image.bitCount == 8 && IsGreyPalette(image.palette, image.paletteSize);
    const bool expandPalette = image.bitCount == 8 && !grey;
    if (expandPalette) {
        c.row.reset(static_cast<unsigned char*>(
            platform::HeapAllocate(static_cast<std::size_t>(image.width) * 4)));
        if (!c.row)
            return Result::OutOfMemory;
    }
    const Result result = Compress(c, image, options.quality, grey, expandPalette);
    if (result != Result::Ok)
        return result;
    return Append(out, c.buffer, c.size) ? Result::Ok : Result::OutOfMemory;
}

}  // namespace imgdesk::codecs::detail
