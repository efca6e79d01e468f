// TIFF through libtiff, over memory. The first directory is decoded with libtiff's RGBA interface,
// which covers every photometric and compression it knows; palette and grey pictures are turned
// back into 8-bit indices afterwards, so the bit depth is that of the file.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/codecs/CodecInternal.h"

namespace imgdesk::codecs::detail {
namespace {

// The bytes libtiff reads from or writes to. Reading never grows it; writing does.
struct MemoryFile {
    const unsigned char* data = nullptr;
    std::vector<unsigned char>* out = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<MemoryFile*>(handle);
    const unsigned char* bytes = file->out ? file->out->data() : file->data;
    if (count < 0 || file->position >= file->size)
        return 0;
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(count), file->size - file->position);
    std::memcpy(buffer, bytes + file->position, n);
    file->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (!file->out || count < 0)
        return -1;
    const std::size_t end = file->position + static_cast<std::size_t>(count);
    try {
        if (end > file->out->size())
            file->out->resize(end);
    } catch (const std::exception&) {
        return -1;
    }
    std::memcpy(file->out->data() + file->position, buffer, static_cast<std::size_t>(count));
    file->position = end;
    file->size = file->out->size();
    return count;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    long long base = whence == SEEK_CUR   ? static_cast<long long>(file->position)
                     : whence == SEEK_END ? static_cast<long long>(file->size)
                                          : 0;
    const long long target = base + static_cast<long long>(offset);
    if (target < 0)
        return static_cast<toff_t>(-1);
    file->position = static_cast<std::size_t>(target);
    return static_cast<toff_t>(target);
}

int CloseProc(thandle_t) {
    return 0;
}
toff_t SizeProc(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->size;
}
int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}
int Silent(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr Open(MemoryFile& file, const char* mode) {
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Silent, nullptr);
    // No single libtiff allocation may exceed what a whole picture may take.
    TIFFOpenOptionsSetMaxSingleMemAlloc(
        options.get(), static_cast<tmsize_t>(std::max(MaxPixelBytes(), 1LL << 24)));
    return TiffPtr(TIFFClientOpenExt("memory", mode, &file, ReadProc, WriteProc, SeekProc,
                                     CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
}

void ReadResolution(TIFF* tiff, Dib& image) {
    float xResolution = 0, yResolution = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xResolution) &&
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yResolution) && unit != RESUNIT_NONE) {
        const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
        image.dpiX = xResolution * perInch;
        image.dpiY = yResolution * perInch;
    }
}

}  // namespace

Result DecodeTiff(const unsigned char* data, std::size_t size, DecodedImage& image) {
    MemoryFile file;
    file.data = data;
    file.size = size;
    TiffPtr tiff = Open(file, "rm");
    if (!tiff)
        return Result::Corrupt;

    uint32_t width = 0, height = 0;
    uint16_t photometric = PHOTOMETRIC_RGB, samples = 1, bitsPerSample = 1, extraCount = 0;
    uint16_t* extraTypes = nullptr;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
        return Result::Corrupt;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    if (!TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;

    const bool alpha =
        extraCount > 0 && extraTypes &&
        (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA);
    const bool palette = photometric == PHOTOMETRIC_PALETTE && bitsPerSample <= 8;
    const bool grey =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
        bitsPerSample <= 8;
    int bits = 32;
    if (!alpha && (palette || grey)) {
        bits = 8;
    } else if (!alpha && photometric == PHOTOMETRIC_RGB && bitsPerSample == 8 && samples == 3) {
        bits = 24;
    } else if (!alpha && photometric == PHOTOMETRIC_YCBCR && bitsPerSample == 8) {
        bits = 24;
    }
    if (!FitsLimit(width, height, bits) || !FitsLimit(width, height, 32))
        return Result::TooLarge;
    uint16_t planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
    // Plain 8-bit RGB(A) strips are read as they are, so unassociated alpha keeps its colours
    // exactly (the RGBA interface would premultiply them).
    if (photometric == PHOTOMETRIC_RGB && bitsPerSample == 8 && planar == PLANARCONFIG_CONTIG &&
        orientation == ORIENTATION_TOPLEFT && !TIFFIsTiled(tiff.get()) &&
        ((samples == 3 && !alpha) ||
         (samples == 4 && alpha && extraTypes[0] == EXTRASAMPLE_UNASSALPHA))) {
        const tmsize_t lineBytes = TIFFScanlineSize(tiff.get());
        if (lineBytes < static_cast<tmsize_t>(width) * samples)
            return Result::Corrupt;
        HeapBytes line(static_cast<unsigned char*>(
            platform::HeapAllocate(static_cast<std::size_t>(lineBytes))));
        if (!line)
            return Result::OutOfMemory;
        Result result = AllocateDib(image, static_cast<int>(width), static_cast<int>(height), bits);
        if (result != Result::Ok)
            return result;
        image.hasAlpha = alpha;
        for (uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tiff.get(), line.get(), y, 0) < 0)
                return Result::Corrupt;
            unsigned char* out = image.Row(static_cast<int>(height - 1 - y));
            const unsigned char* in = line.get();
            for (uint32_t x = 0; x < width; ++x, in += samples, out += bits / 8) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                if (bits == 32)
                    out[3] = in[3];
            }
        }
        ReadResolution(tiff.get(), image);
        return Result::Ok;
    }
    char message[1024];
    if (!TIFFRGBAImageOK(tiff.get(), message))
        return Result::Unsupported;

    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    HeapBytes raster(static_cast<unsigned char*>(platform::HeapAllocate(pixels * 4)));
    if (!raster)
        return Result::OutOfMemory;
    auto* rgba = reinterpret_cast<uint32_t*>(raster.get());
    if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, rgba, ORIENTATION_BOTLEFT, 1))
        return Result::Corrupt;

    Result result = AllocateDib(image, static_cast<int>(width), static_cast<int>(height), bits);
    if (result != Result::Ok)
        return result;
    image.hasAlpha = alpha;

    if (bits == 8 && grey) {
        SetGreyPalette(image);
        for (uint32_t y = 0; y < height; ++y) {
            unsigned char* out = image.Row(static_cast<int>(y));
            const uint32_t* in = rgba + static_cast<std::size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x)
                out[x] = static_cast<unsigned char>(TIFFGetR(in[x]));
        }
    } else if (bits == 8) {
        // The colour map, scaled to 8 bits the way libtiff scales it, then every pixel's colour
        // looked up to its first index.
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tiff.get(), TIFFTAG_COLORMAP, &red, &green, &blue))
            return Result::Corrupt;
        const int count = 1 << bitsPerSample;
        bool sixteen = false;
        for (int i = 0; i < count; ++i)
            sixteen = sixteen || red[i] > 255 || green[i] > 255 || blue[i] > 255;
        std::unordered_map<uint32_t, int> indexOf;
        for (int i = count - 1; i >= 0; --i) {
            auto scale = [&](uint16_t v) {
                return static_cast<BYTE>(sixteen ? v * 255L / 65535 : v);
            };
            image.palette[i] = {scale(blue[i]), scale(green[i]), scale(red[i]), 0};
            indexOf[static_cast<uint32_t>(image.palette[i].rgbRed) |
                    image.palette[i].rgbGreen << 8 | image.palette[i].rgbBlue << 16] = i;
        }
        image.paletteSize = count;
        for (uint32_t y = 0; y < height; ++y) {
            unsigned char* out = image.Row(static_cast<int>(y));
            const uint32_t* in = rgba + static_cast<std::size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x) {
                auto found = indexOf.find(in[x] & 0xFFFFFF);
                out[x] = found == indexOf.end() ? 0 : static_cast<unsigned char>(found->second);
            }
        }
    } else {
        for (uint32_t y = 0; y < height; ++y) {
            unsigned char* out = image.Row(static_cast<int>(y));
            const uint32_t* in = rgba + static_cast<std::size_t>(y) * width;
            const int step = bits / 8;
            for (uint32_t x = 0; x < width; ++x, out += step) {
                const uint32_t p = in[x];
                unsigned a = TIFFGetA(p), r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p);
                // libtiff hands out premultiplied colour; pictures keep straight alpha.
                if (alpha && a > 0 && a < 255) {
                    r = std::min(255u, (r * 255 + a / 2) / a);
                    g = std::min(255u, (g * 255 + a / 2) / a);
                    b = std::min(255u, (b * 255 + a / 2) / a);
                }
                out[0] = static_cast<unsigned char>(b);
                out[1] = static_cast<unsigned char>(g);
                out[2] = static_cast<unsigned char>(r);
                if (step == 4)
                    out[3] = static_cast<unsigned char>(alpha ? a : 255);
            }
        }
    }

    ReadResolution(tiff.get(), image);
    return Result::Ok;
}

Result EncodeTiff(const DibView& image, std::vector<unsigned char>& out) {
    MemoryFile file;
    file.out = &out;
    TiffPtr tiff = Open(file, "w");
    if (!tiff)
        return Result::OutOfMemory;
    const bool grey = image.bitCount == 8 &&
                      IsGreyPalette(image.palette, image.paletteSize > 0 ? image.paletteSize : 256);
    const bool alpha = image.bitCount == 32 && image.hasAlpha;
    const uint16_t samples = image.bitCount == 8 ? 1 : alpha ? 4 : 3;
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (image.bitCount == 8 && !grey) {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        uint16_t map[3][256];
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD entry = image.palette[i];
            map[0][i] = static_cast<uint16_t>(entry.rgbRed * 257);
            map[1][i] = static_cast<uint16_t>(entry.rgbGreen * 257);
            map[2][i] = static_cast<uint16_t>(entry.rgbBlue * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, map[0], map[1], map[2]);
    } else {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     image.bitCount == 8 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    }
    if (alpha) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (image.dpiX > 0 && image.dpiY > 0) {
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(image.dpiX));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(image.dpiY));
    }
    HeapBytes bgra(static_cast<unsigned char*>(
        platform::HeapAllocate(static_cast<std::size_t>(image.width) * 4)));
    HeapBytes row(static_cast<unsigned char*>(
        platform::HeapAllocate(static_cast<std::size_t>(image.width) * 4)));
    if (!bgra || !row)
        return Result::OutOfMemory;
    for (int y = 0; y < image.height; ++y) {
        const int memoryRow = image.height - 1 - y;
        if (image.bitCount == 8) {
            std::memcpy(row.get(), image.Row(memoryRow), static_cast<std::size_t>(image.width));
        } else {
            RowToBgra(image, memoryRow, bgra.get());
            unsigned char* out = row.get();
            for (int x = 0; x < image.width; ++x, out += samples) {
                out[0] = bgra[4 * x + 2];
                out[1] = bgra[4 * x + 1];
                out[2] = bgra[4 * x];
                if (alpha)
                    out[3] = bgra[4 * x + 3];
            }
        }
        if (TIFFWriteScanline(t, row.get(), static_cast<uint32_t>(y), 0) < 0)
            return Result::OutOfMemory;
    }
    if (!TIFFWriteDirectory(t))
        return Result::OutOfMemory;
    tiff.reset();
    return Result::Ok;
}

}  // namespace imgdesk::codecs::detail
