// PNG through libpng. As with libjpeg, errors long-jump back to the function that set the jump
// point (png_jmpbuf); those functions keep only plain values in their frame.
#include <png.h>

#include <algorithm>
#include <cstring>

#include "platform/codecs/CodecInternal.h"

namespace imgdesk::codecs::detail {
namespace {

struct MemoryReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position)
        png_error(png, "truncated");
    std::memcpy(out, reader->data + reader->position, count);
    reader->position += count;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t count) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    if (!Append(*out, data, count))
        png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}
void Silent(png_structp, png_const_charp) {}
[[noreturn]] void Fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    HeapBytes rowPointers;
    ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    HeapBytes rows;  // converted rows (RGB or RGBA order is set by png_set_bgr)
    HeapBytes rowPointers;
    ~Writer() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

Result ReadInfo(Reader& r, DecodedImage& image) {
    if (setjmp(png_jmpbuf(r.png)))
        return Result::Corrupt;
    png_read_info(r.png, r.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    const bool transparency = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
    const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
    const bool grey = colourType == PNG_COLOR_TYPE_GRAY;
    int bits = 32;
    if (!alpha && (palette || grey)) {
        bits = 8;
    } else if (!alpha && depth == 8) {
        bits = 24;
    }
    if (!FitsLimit(width, height, bits))
        return Result::TooLarge;

    if (bits == 8) {
        if (depth < 8) {
            if (grey) {
                png_set_expand_gray_1_2_4_to_8(r.png);
            } else {
                png_set_packing(r.png);
            }
        }
        png_set_strip_16(r.png);
    } else {
        png_set_expand(r.png);
        png_set_strip_16(r.png);
        png_set_gray_to_rgb(r.png);
        png_set_bgr(r.png);
        if (bits == 32 && !alpha)
            png_set_filler(r.png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) > static_cast<png_size_t>(DibRowBytes(width, bits)))
        return Result::Corrupt;

    Result result = AllocateDib(image, static_cast<int>(width), static_cast<int>(height), bits);
    if (result != Result::Ok)
        return result;
    image.hasAlpha = alpha;
    if (bits == 8) {
        if (grey) {
            SetGreyPalette(image);
        } else {
            png_colorp entries = nullptr;
            int count = 0;
            if (png_get_PLTE(r.png, r.info, &entries, &count) == 0)
                return Result::Corrupt;
            for (int i = 0; i < count && i < 256; ++i)
                image.palette[i] = {entries[i].blue, entries[i].green, entries[i].red, 0};
            image.paletteSize = count;
        }
    }
    png_uint_32 xPerUnit = 0, yPerUnit = 0;
    int unit = 0;
    if (png_get_pHYs(r.png, r.info, &xPerUnit, &yPerUnit, &unit) && unit == PNG_RESOLUTION_METER) {
        image.dpiX = DpiFromPerMetre(xPerUnit);
        image.dpiY = DpiFromPerMetre(yPerUnit);
    }
    return Result::Ok;
}

Result ReadRows(Reader& r) {
    if (setjmp(png_jmpbuf(r.png)))
        return Result::Corrupt;
    png_read_image(r.png, reinterpret_cast<png_bytepp>(r.rowPointers.get()));
    png_read_end(r.png, nullptr);
    return Result::Ok;
}

Result WriteImage(Writer& w, const DibView& image, const EncodeOptions& options, int colourType,
                  png_colorp palette, int paletteSize, png_textp texts, int textCount) {
    if (setjmp(png_jmpbuf(w.png)))
        return Result::OutOfMemory;
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette)
        png_set_PLTE(w.png, w.info, palette, paletteSize);
    if (textCount)
        png_set_text(w.png, w.info, texts, textCount);
    if (image.dpiX > 0 && image.dpiY > 0) {
        png_set_pHYs(w.png, w.info, static_cast<png_uint_32>(PerMetreFromDpi(image.dpiX)),
                     static_cast<png_uint_32>(PerMetreFromDpi(image.dpiY)), PNG_RESOLUTION_METER);
    }
    (void)options;
    png_write_info(w.png, w.info);
    if (colourType != PNG_COLOR_TYPE_PALETTE && colourType != PNG_COLOR_TYPE_GRAY)
        png_set_bgr(w.png);
    if (colourType == PNG_COLOR_TYPE_RGB && image.bitCount == 32)
        png_set_filler(w.png, 0, PNG_FILLER_AFTER);
    png_write_image(w.png, reinterpret_cast<png_bytepp>(w.rowPointers.get()));
    png_write_end(w.png, nullptr);
    return Result::Ok;
}

}  // namespace

Result DecodePng(const unsigned char* data, std::size_t size, DecodedImage& image) {
    Reader r;
    MemoryReader source{data, size, 0};
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Silent);
    if (!r.png)
        return Result::OutOfMemory;
    r.info = png_create_info_struct(r.png);
    if (!r.info)
        return Result::OutOfMemory;
    png_set_read_fn(r.png, &source, ReadFromMemory);
    // The pixel limit is checked against the header; these keep ancillary chunks small.
    png_set_user_limits(r.png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_malloc_max(r.png, 64u << 20);
    Result result = ReadInfo(r, image);
    if (result != Result::Ok)
        return result;
    r.rowPointers.reset(static_cast<unsigned char*>(
        platform::HeapAllocate(sizeof(png_bytep) * static_cast<std::size_t>(image.height))));
    if (!r.rowPointers)
        return Result::OutOfMemory;
    auto* rows = reinterpret_cast<png_bytep*>(r.rowPointers.get());
    for (int y = 0; y < image.height; ++y)
        rows[y] = image.Row(image.height - 1 - y);
    return ReadRows(r);
}

Result EncodePng(const DibView& image, const EncodeOptions& options,
                 std::vector<unsigned char>& out) {
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Silent);
    if (!w.png)
        return Result::OutOfMemory;
    w.info = png_create_info_struct(w.png);
    if (!w.info)
        return Result::OutOfMemory;
    png_set_write_fn(w.png, &out, WriteToVector, FlushNothing);

    const bool grey = image.bitCount == 8 &&
                      IsGreyPalette(image.palette, image.paletteSize > 0 ? image.paletteSize : 256);
    int colourType = PNG_COLOR_TYPE_RGB;
    if (image.bitCount == 8)
        colourType = grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
    if (image.bitCount == 32 && image.hasAlpha)
        colourType = PNG_COLOR_TYPE_RGB_ALPHA;

    png_color palette[256] = {};
    const int paletteSize =
        image.paletteSize > 0 && image.paletteSize <= 256 ? image.paletteSize : 256;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < paletteSize; ++i)
            palette[i] = {image.palette[i].rgbRed, image.palette[i].rgbGreen,
                          image.palette[i].rgbBlue};
    }
    // Indices past a short palette would make the file invalid: widen the palette to 256 then.
    int usedPalette = paletteSize;
    if (colourType == PNG_COLOR_TYPE_PALETTE && paletteSize < 256) {
        for (int y = 0; y < image.height && usedPalette < 256; ++y) {
            const unsigned char* row = image.Row(y);
            for (int x = 0; x < image.width; ++x)
                usedPalette = std::max(usedPalette, row[x] + 1);
        }
    }

    std::vector<png_text> texts(options.text.size());
    for (std::size_t i = 0; i < options.text.size(); ++i) {
        texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[i].key = const_cast<char*>(options.text[i].first.c_str());
        texts[i].text = const_cast<char*>(options.text[i].second.c_str());
        texts[i].text_length = options.text[i].second.size();
    }

    w.rowPointers.reset(static_cast<unsigned char*>(
        platform::HeapAllocate(sizeof(png_bytep) * static_cast<std::size_t>(image.height))));
    if (!w.rowPointers)
        return Result::OutOfMemory;
    auto* rows = reinterpret_cast<png_bytep*>(w.rowPointers.get());
    for (int y = 0; y < image.height; ++y)
        rows[y] = const_cast<png_bytep>(image.Row(image.height - 1 - y));
    return WriteImage(w, image, options, colourType,
                      colourType == PNG_COLOR_TYPE_PALETTE ? palette : nullptr, usedPalette,
                      texts.data(), static_cast<int>(texts.size()));
}

}  // namespace imgdesk::codecs::detail
