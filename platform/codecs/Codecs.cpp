#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "platform/codecs/CodecInternal.h"

namespace imgdesk::codecs {
namespace {

std::atomic<long long> g_maxPixelBytes{0x7FFFFFFFLL};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

namespace detail {

bool FitsLimit(long long width, long long height, int bitCount) {
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return false;
    if (width > MaxPixels() / height)
        return false;
    const long long stride = DibRowBytes(width, bitCount);
    return stride <= g_maxPixelBytes.load() / height;
}

bool Append(std::vector<unsigned char>& out, const void* bytes, std::size_t size) {
    try {
        const auto* first = static_cast<const unsigned char*>(bytes);
        out.insert(out.end(), first, first + size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

}  // namespace detail

long long MaxPixels() {
    // Read at every picture, so that a host may change it between pictures.
    const char* text = std::getenv("IMGDESK_MAX_PIXELS");
    if (!text || !*text)
        return 0x7FFFFFFFFFFFFFFFLL;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return end != text && !*end && value > 0 ? value : 0x7FFFFFFFFFFFFFFFLL;
}

long long MaxPixelBytes() {
    return g_maxPixelBytes.load();
}

void SetMaxPixelBytes(long long bytes) {
    g_maxPixelBytes.store(std::clamp<long long>(bytes, 1, 0x7FFFFFFFLL));
}

DibView DibView::Of(const Dib& dib) {
    DibView view;
    view.width = dib.width;
    view.height = dib.height;
    view.bitCount = dib.bitCount;
    view.hasAlpha = dib.hasAlpha;
    view.palette = dib.palette;
    view.paletteSize = dib.paletteSize;
    view.bits = dib.pixels.get();
    view.stride = dib.Stride();
    view.dpiX = dib.dpiX;
    view.dpiY = dib.dpiY;
    return view;
}

Result AllocateDib(Dib& dib, int width, int height, int bitCount) {
    dib.pixels.reset();
    dib.width = dib.height = dib.bitCount = 0;
    if (bitCount != 8 && bitCount != 24 && bitCount != 32)
        return Result::InvalidArgument;
    if (!detail::FitsLimit(width, height, bitCount))
        return Result::TooLarge;
    const long long bytes = DibRowBytes(width, bitCount) * height;
    dib.pixels.reset(
        static_cast<unsigned char*>(platform::HeapAllocate(static_cast<std::size_t>(bytes))));
    if (!dib.pixels)
        return Result::OutOfMemory;
    dib.width = width;
    dib.height = height;
    dib.bitCount = bitCount;
    return Result::Ok;
}

void SetGreyPalette(Dib& dib) {
    for (int i = 0; i < 256; ++i) {
        const BYTE level = static_cast<BYTE>(i);
        dib.palette[i] = {level, level, level, 0};
    }
    dib.paletteSize = 256;
}

bool IsGreyPalette(const RGBQUAD* palette, int paletteSize) {
    if (!palette || paletteSize <= 0)
        return false;
    for (int i = 0; i < paletteSize; ++i) {
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    }
    return true;
}

Format DetectFormat(const unsigned char* data, std::size_t size) {
    auto starts = [&](const char* signature, std::size_t length) {
        return size >= length && std::memcmp(data, signature, length) == 0;
    };
    if (!data)
        return Format::Unknown;
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return Format::Png;
    if (starts("\xFF\xD8\xFF", 3))
        return Format::Jpeg;
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return Format::Gif;
    if (starts("II*\0", 4) || starts("MM\0*", 4))
        return Format::Tiff;
    if (starts("BM", 2))
        return Format::Bmp;
    return Format::Unknown;
}

Result Decode(const unsigned char* data, std::size_t size, DecodedImage& image) {
    image = DecodedImage();
    Result result = Result::UnknownFormat;
    const Format format = DetectFormat(data, size);
    switch (format) {
        case Format::Bmp:
            result = detail::DecodeBmp(data, size, image);
            break;
        case Format::Jpeg:
            result = detail::DecodeJpeg(data, size, image);
            break;
        case Format::Png:
            result = detail::DecodePng(data, size, image);
            break;
        case Format::Gif:
            result = detail::DecodeGif(data, size, image);
            break;
        case Format::Tiff:
            result = detail::DecodeTiff(data, size, image);
            break;
        case Format::Unknown:
            break;
    }
    if (result != Result::Ok) {
        image = DecodedImage();
        return result;
    }
    image.format = format;
    return Result::Ok;
}

Result DecodeFile(const char* path, DecodedImage& image) {
    image = DecodedImage();
    if (!path)
        return Result::InvalidArgument;
    // Opened without blocking, so that a pipe or device named by mistake is refused at once
    // instead of waiting for a writer.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Result::NotFound : Result::ReadError;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Result::ReadError;
    }
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        return Result::OutOfMemory;
    }
    const long long size = info.st_size;
    if (size <= 0)
        return Result::UnknownFormat;
    if (size > 0x7FFFFFFFLL)
        return Result::TooLarge;
    HeapBytes bytes(
        static_cast<unsigned char*>(platform::HeapAllocate(static_cast<std::size_t>(size))));
    if (!bytes)
        return Result::OutOfMemory;
    if (std::fread(bytes.get(), 1, static_cast<std::size_t>(size), file.get()) !=
        static_cast<std::size_t>(size))
        return Result::ReadError;
    file.reset();
    return Decode(bytes.get(), static_cast<std::size_t>(size), image);
}

Result Encode(Format format, const DibView& image, const EncodeOptions& options,
              std::vector<unsigned char>& out) {
    out.clear();
    if (!image.bits || image.width <= 0 || image.height <= 0)
        return Result::InvalidArgument;
    if (image.bitCount != 8 && image.bitCount != 24 && image.bitCount != 32)
        return Result::InvalidArgument;
    if (image.bitCount == 8 && !image.palette)
        return Result::InvalidArgument;
    Result result = Result::InvalidArgument;
    switch (format) {
        case Format::Bmp:
            result = detail::EncodeBmp(image, out);
            break;
        case Format::Jpeg:
            result = detail::EncodeJpeg(image, options, out);
            break;
        case Format::Png:
            result = detail::EncodePng(image, options, out);
            break;
        case Format::Gif:
            result = detail::EncodeGif(image, out);
            break;
        case Format::Tiff:
            result = detail::EncodeTiff(image, out);
            break;
        case Format::Unknown:
            break;
    }
    if (result != Result::Ok)
        out.clear();
    return result;
}

Result EncodeFile(Format format, const DibView& image, const EncodeOptions& options,
                  const char* path) {
    if (!path)
        return Result::InvalidArgument;
    std::vector<unsigned char> bytes;
    const Result result = Encode(format, image, options, bytes);
    if (result != Result::Ok)
        return result;
    FilePtr file(std::fopen(path, "wb"));
    if (!file)
        return Result::WriteError;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    if (std::fclose(file.release()) != 0 || !written) {
        std::remove(path);
        return Result::WriteError;
    }
    return Result::Ok;
}

void RowToBgra(const DibView& image, int memoryRow, unsigned char* out) {
    const unsigned char* row = image.Row(memoryRow);
    switch (image.bitCount) {
        case 8:
            for (int x = 0; x < image.width; ++x, out += 4) {
                const RGBQUAD& entry = image.palette[row[x]];
                out[0] = entry.rgbBlue;
                out[1] = entry.rgbGreen;
                out[2] = entry.rgbRed;
                out[3] = 255;
            }
            break;
        case 24:
            for (int x = 0; x < image.width; ++x, out += 4, row += 3) {
                out[0] = row[0];
                out[1] = row[1];
                out[2] = row[2];
                out[3] = 255;
            }
            break;
        case 32:
            if (image.hasAlpha) {
                std::memcpy(out, row, static_cast<std::size_t>(image.width) * 4);
            } else {
                for (int x = 0; x < image.width; ++x, out += 4, row += 4) {
                    out[0] = row[0];
                    out[1] = row[1];
                    out[2] = row[2];
                    out[3] = 255;
                }
            }
            break;
        default:
            break;
    }
}

namespace {

// Source taps and weights of one output position along one axis.
struct Taps {
    std::vector<int> first;       // first source index of each output position
    std::vector<int> count;       // number of taps
    std::vector<double> weights;  // count weights per position, summing to 1
    int maxCount = 0;
};

Taps MakeTaps(int sourceLength, int targetLength) {
    Taps taps;
    const double scale = static_cast<double>(sourceLength) / targetLength;
    const double support = std::max(1.0, scale);
    const int maxCount = static_cast<int>(std::ceil(support)) * 2 + 1;
    taps.maxCount = maxCount;
    taps.first.resize(targetLength);
    taps.count.resize(targetLength);
    taps.weights.assign(static_cast<std::size_t>(targetLength) * maxCount, 0.0);
    for (int t = 0; t < targetLength; ++t) {
        const double centre = (t + 0.5) * scale;
        int low = static_cast<int>(std::floor(centre - support));
        int high = static_cast<int>(std::ceil(centre + support));
        low = std::max(low, 0);
        high = std::min(high, sourceLength - 1);
        double* weights = &taps.weights[static_cast<std::size_t>(t) * maxCount];
        double total = 0;
        int n = 0;
        for (int s = low; s <= high && n < maxCount; ++s, ++n) {
            const double w = std::max(0.0, 1.0 - std::fabs(s + 0.5 - centre) / support);
            weights[n] = w;
            total += w;
        }
        if (total <= 0) {  // cannot happen with a support of at least 1; kept for safety
            low = std::min(static_cast<int>(centre), sourceLength - 1);
            weights[0] = 1;
            n = 1;
            total = 1;
        }
        for (int i = 0; i < n; ++i)
            weights[i] /= total;
        taps.first[t] = low;
        taps.count[t] = n;
    }
    return taps;
}

unsigned char ToByte(double value) {
    return static_cast<unsigned char>(std::clamp(value + 0.5, 0.0, 255.0));
}

}  // namespace

Result ResampleBgra(const DibView& source, int width, int height, Dib& target) {
    if (!source.bits || source.width <= 0 || source.height <= 0 ||
        (source.bitCount == 8 && !source.palette))
        return Result::InvalidArgument;
    Result result = AllocateDib(target, width, height, 32);
    if (result != Result::Ok)
        return result;
    target.hasAlpha = true;
    if (width == source.width && height == source.height) {
        for (int y = 0; y < height; ++y)
            RowToBgra(source, y, target.Row(y));
        return Result::Ok;
    }
    try {
        const Taps across = MakeTaps(source.width, width);
        const Taps down = MakeTaps(source.height, height);
        // Horizontal pass into premultiplied floating rows: width x source height.
        std::vector<float> rows(static_cast<std::size_t>(width) * source.height * 4);
        std::vector<unsigned char> line(static_cast<std::size_t>(source.width) * 4);
        for (int y = 0; y < source.height; ++y) {
            RowToBgra(source, y, line.data());
            float* out = &rows[static_cast<std::size_t>(y) * width * 4];
            for (int x = 0; x < width; ++x, out += 4) {
                const double* w = &across.weights[static_cast<std::size_t>(x) * across.maxCount];
                const unsigned char* in = &line[static_cast<std::size_t>(across.first[x]) * 4];
                double b = 0, g = 0, r = 0, a = 0;
                for (int i = 0; i < across.count[x]; ++i, in += 4) {
                    const double wa = w[i] * in[3];
                    b += wa * in[0];
                    g += wa * in[1];
                    r += wa * in[2];
                    a += wa;
                }
                out[0] = static_cast<float>(b);
                out[1] = static_cast<float>(g);
                out[2] = static_cast<float>(r);
                out[3] = static_cast<float>(a);
            }
        }
        for (int y = 0; y < height; ++y) {
            const double* w = &down.weights[static_cast<std::size_t>(y) * down.maxCount];
            unsigned char* out = target.Row(y);
            for (int x = 0; x < width; ++x, out += 4) {
                double b = 0, g = 0, r = 0, a = 0;
                for (int i = 0; i < down.count[y]; ++i) {
                    const float* in =
                        &rows[(static_cast<std::size_t>(down.first[y] + i) * width + x) * 4];
                    b += w[i] * in[0];
                    g += w[i] * in[1];
                    r += w[i] * in[2];
                    a += w[i] * in[3];
                }
                if (a > 0) {
                    out[0] = ToByte(b / a);
                    out[1] = ToByte(g / a);
                    out[2] = ToByte(r / a);
                }
                out[3] = ToByte(a);
            }
        }
    } catch (const std::bad_alloc&) {
        target = Dib();
        return Result::OutOfMemory;
    }
    return Result::Ok;
}

}  // namespace imgdesk::codecs
