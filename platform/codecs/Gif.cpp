// GIF through giflib. Only the first frame is decoded, onto the logical screen: an 8-bit palette
// picture, or a 32-bit one with alpha when the frame has a transparent colour. Frames are read line
// by line, so no allocation depends on a size the limit has not checked.
#include <gif_lib.h>

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

int ReadFromMemory(GifFileType* gif, GifByteType* out, int count) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(count), reader->size - reader->position);
    std::memcpy(out, reader->data + reader->position, n);
    reader->position += n;
    return static_cast<int>(n);
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int count) {
    auto* out = static_cast<std::vector<unsigned char>*>(gif->UserData);
    return Append(*out, data, static_cast<std::size_t>(count)) ? count : 0;
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
struct GifWriterCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

Result DecodeGif(const unsigned char* data, std::size_t size, DecodedImage& image) {
    MemoryReader source{data, size, 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, ReadFromMemory, &error));
    if (!gif)
        return error == D_GIF_ERR_NOT_ENOUGH_MEM ? Result::OutOfMemory : Result::Corrupt;

    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            return Result::Corrupt;
        if (record == TERMINATE_RECORD_TYPE)
            return Result::Corrupt;  // no picture at all
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                return Result::Corrupt;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock control;
                if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                    transparent = control.TransparentColor;
            }
            while (block) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return Result::Corrupt;
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return Result::Corrupt;
        break;
    }

    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours || colours->ColorCount <= 0 || frame.Width <= 0 || frame.Height <= 0)
        return Result::Corrupt;
    // A logical screen of 0 takes the frame's size.
    const int width = gif->SWidth > 0 ? gif->SWidth : frame.Left + frame.Width;
    const int height = gif->SHeight > 0 ? gif->SHeight : frame.Top + frame.Height;
    const bool alpha = transparent != NO_TRANSPARENT_COLOR;
    const int bits = alpha ? 32 : 8;
    if (!FitsLimit(width, height, bits))
        return Result::TooLarge;
    Result result = AllocateDib(image, width, height, bits);
    if (result != Result::Ok)
        return result;
    image.hasAlpha = alpha;

    const int colourCount = std::min(colours->ColorCount, 256);
    for (int i = 0; i < colourCount; ++i) {
        const GifColorType& c = colours->Colors[i];
        image.palette[i] = {c.Blue, c.Green, c.Red, 0};
    }
    image.paletteSize = colourCount;
    // Outside the frame: transparent, or the background colour.
    const int background = gif->SBackGroundColor < colourCount ? gif->SBackGroundColor : 0;
    if (!alpha && background != 0) {
        for (int y = 0; y < height; ++y)
            std::memset(image.Row(y), background, static_cast<std::size_t>(width));
    }

    HeapBytes line(
        static_cast<unsigned char*>(platform::HeapAllocate(static_cast<std::size_t>(frame.Width))));
    if (!line)
        return Result::OutOfMemory;
    static const int kPassStart[] = {0, 4, 2, 1};
    static const int kPassStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kPassStart[pass] : 0;
        const int step = frame.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif.get(), line.get(), frame.Width) == GIF_ERROR)
                return Result::Corrupt;
            const long long y = static_cast<long long>(frame.Top) + row;
            if (y < 0 || y >= height)
                continue;
            unsigned char* out = image.Row(height - 1 - static_cast<int>(y));
            for (int x = 0; x < frame.Width; ++x) {
                const long long column = static_cast<long long>(frame.Left) + x;
                if (column < 0 || column >= width)
                    continue;
                int index = line[x];
                if (index >= colourCount)
                    index = 0;  // out-of-range indices show the first colour
                if (!alpha) {
                    out[column] = static_cast<unsigned char>(index);
                } else if (index != transparent) {
                    unsigned char* pixel = out + 4 * column;
                    pixel[0] = image.palette[index].rgbBlue;
                    pixel[1] = image.palette[index].rgbGreen;
                    pixel[2] = image.palette[index].rgbRed;
                    pixel[3] = 255;
                }
            }
        }
    }
    return Result::Ok;
}

Result EncodeGif(const DibView& image, std::vector<unsigned char>& out) {
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    if (image.width > 65535 || image.height > 65535)
        return Result::TooLarge;
    HeapBytes indices(static_cast<unsigned char*>(platform::HeapAllocate(pixels)));
    if (!indices)
        return Result::OutOfMemory;
    std::unique_ptr<ColorMapObject, MapDeleter> map;
    if (image.bitCount == 8) {
        int count = image.paletteSize > 0 && image.paletteSize <= 256 ? image.paletteSize : 256;
        // Indices past a short palette need entries.
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                count = std::max(count, image.Row(y)[x] + 1);
        int mapSize = 2;
        while (mapSize < count)
            mapSize *= 2;
        map.reset(GifMakeMapObject(mapSize, nullptr));
        if (!map)
            return Result::OutOfMemory;
        for (int i = 0; i < mapSize; ++i) {
            const RGBQUAD entry = i < 256 ? image.palette[i] : RGBQUAD{};
            map->Colors[i] = {entry.rgbRed, entry.rgbGreen, entry.rgbBlue};
        }
        for (int y = 0; y < image.height; ++y)
            std::memcpy(indices.get() + static_cast<std::size_t>(y) * image.width,
                        image.Row(image.height - 1 - y), static_cast<std::size_t>(image.width));
    } else {
        // Colour pictures: giflib's median-cut quantiser over separate planes.
        HeapBytes planes(static_cast<unsigned char*>(platform::HeapAllocate(pixels * 3)));
        HeapBytes row(static_cast<unsigned char*>(
            platform::HeapAllocate(static_cast<std::size_t>(image.width) * 4)));
        if (!planes || !row)
            return Result::OutOfMemory;
        unsigned char* red = planes.get();
        unsigned char* green = red + pixels;
        unsigned char* blue = green + pixels;
        for (int y = 0; y < image.height; ++y) {
            RowToBgra(image, image.height - 1 - y, row.get());
            for (int x = 0; x < image.width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * image.width + x;
                blue[at] = row[4 * x];
                green[at] = row[4 * x + 1];
                red[at] = row[4 * x + 2];
            }
        }
        map.reset(GifMakeMapObject(256, nullptr));
        if (!map)
            return Result::OutOfMemory;
        int mapSize = 256;
        if (GifQuantizeBuffer(static_cast<unsigned>(image.width),
                              static_cast<unsigned>(image.height), &mapSize, red, green, blue,
                              indices.get(), map->Colors) == GIF_ERROR)
            return Result::OutOfMemory;
    }
    int error = 0;
    std::unique_ptr<GifFileType, GifWriterCloser> gif(EGifOpen(&out, WriteToVector, &error));
    if (!gif)
        return Result::OutOfMemory;
    EGifSetGifVersion(gif.get(), true);
    if (EGifPutScreenDesc(gif.get(), image.width, image.height, map->BitsPerPixel, 0, map.get()) ==
            GIF_ERROR ||
        EGifPutImageDesc(gif.get(), 0, 0, image.width, image.height, false, nullptr) == GIF_ERROR)
        return Result::OutOfMemory;
    for (int y = 0; y < image.height; ++y) {
        if (EGifPutLine(gif.get(), indices.get() + static_cast<std::size_t>(y) * image.width,
                        image.width) == GIF_ERROR)
            return Result::OutOfMemory;
    }
    int closeError = 0;
    const int closed = EGifCloseFile(gif.release(), &closeError);
    return closed == GIF_OK ? Result::Ok : Result::OutOfMemory;
}

}  // namespace imgdesk::codecs::detail
