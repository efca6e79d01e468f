#include "scan/PageClean.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "pixel/internal/PixelLayout.h"
#include "scan/internal/PictureInput.h"
#include "service/CoreKit.h"

namespace imgdesk {
namespace {

using pixel::RowStride;

using scan::Allocate;
using scan::Mem;

int Luma(int red, int green, int blue) {
    return (299 * red + 587 * green + 114 * blue + 500) / 1000;
}

// The grey levels of a picture at the 8-bit stride.
Mem<unsigned char> GreyPlane(const unsigned char* pixels, int width, int height, int bits,
                             const tagRGBQUAD* palette) {
    const int inStride = RowStride(width, bits), outStride = RowStride(width, 8);
    Mem<unsigned char> grey = Allocate<unsigned char>(static_cast<long long>(outStride) * height);
    if (!grey)
        return grey;
    unsigned char levels[256];
    if (bits == 8) {
        for (int i = 0; i < 256; ++i)
            levels[i] = static_cast<unsigned char>(
                Luma(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue));
    }
    const int step = bits / 8;
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + static_cast<long long>(y) * inStride;
        unsigned char* out = grey.get() + static_cast<long long>(y) * outStride;
        if (bits == 8) {
            for (int x = 0; x < width; ++x)
                out[x] = levels[in[x]];
        } else {
            for (int x = 0; x < width; ++x, in += step)
                out[x] = static_cast<unsigned char>(Luma(in[2], in[1], in[0]));
        }
    }
    return grey;
}

// One channel of a picture: byte offset of the channel in a pixel, bytes per pixel, row stride.
struct Plane {
    const unsigned char* bytes;
    int width, height, stride, step;
    unsigned char At(int x, int y) const {
        return bytes[static_cast<long long>(y) * stride + static_cast<long long>(x) * step];
    }
};

// Running maximum or minimum over 2 * radius + 1 samples along a line of count samples spaced by
// pitch, clipped at the ends; scratch holds count values.
template <typename Pick>
void RankLine(float* line, int count, int pitch, int radius, float* scratch, Pick pick) {
    for (int i = 0; i < count; ++i)
        scratch[i] = line[static_cast<long long>(i) * pitch];
    for (int i = 0; i < count; ++i) {
        float best = scratch[i];
        const int last = std::min(count - 1, i + radius);
        for (int j = std::max(0, i - radius); j <= last; ++j)
            best = pick(best, scratch[j]);
        line[static_cast<long long>(i) * pitch] = best;
    }
}

void MeanLine(float* line, int count, int pitch, int radius, float* scratch) {
    double sum = 0;
    for (int i = 0; i < count; ++i)
        scratch[i] = line[static_cast<long long>(i) * pitch];
    for (int i = 0; i <= std::min(count - 1, radius); ++i)
        sum += scratch[i];
    for (int i = 0; i < count; ++i) {
        const int first = std::max(0, i - radius), last = std::min(count - 1, i + radius);
        line[static_cast<long long>(i) * pitch] = static_cast<float>(sum / (last - first + 1));
        if (i + radius + 1 < count)
            sum += scratch[i + radius + 1];
        if (i - radius >= 0)
            sum -= scratch[i - radius];
    }
}

// The paper's brightness at a reduced size, and its value at any full-size pixel by linear
// interpolation between the centres of the reduced pixels.
class Background {
public:
    // Estimates the background of a plane; false when memory is short.
    bool Estimate(const Plane& plane) {
        width_ = plane.width;
        height_ = plane.height;
        block_ = std::max(1, (std::max(width_, height_) + kReducedSide - 1) / kReducedSide);
        smallWidth_ = (width_ + block_ - 1) / block_;
        smallHeight_ = (height_ + block_ - 1) / block_;
        values_ = Allocate<float>(static_cast<long long>(smallWidth_) * smallHeight_);
        Mem<float> scratch = Allocate<float>(std::max(smallWidth_, smallHeight_));
        Mem<double> sums = Allocate<double>(smallWidth_);
        if (!values_ || !scratch || !sums)
            return false;
        ReduceByBlockMeans(plane, sums.get());

        // Closing: the brightest values spread over print, then pulled back from the edges of
        // larger dark areas, which thereby stay part of the background (shadows, photographs).
        const int radius = std::max(2, std::max(smallWidth_, smallHeight_) / 32);
        auto brighter = [](float a, float b) { return std::max(a, b); };
        auto darker = [](float a, float b) { return std::min(a, b); };
        EachLine([&](float* line, int count, int pitch) {
            RankLine(line, count, pitch, radius, scratch.get(), brighter);
        });
        EachLine([&](float* line, int count, int pitch) {
            RankLine(line, count, pitch, radius, scratch.get(), darker);
        });
        EachLine([&](float* line, int count, int pitch) {
            MeanLine(line, count, pitch, std::max(1, radius / 2), scratch.get());
        });

        // Large dark areas (a photograph, a block of print, desk at the edge) would become
        // background too and be whitened away: the background is kept above 40% of the brightest
        // paper within a quarter of the page, which shadows, being gradual, rarely fall below.
        const long long count = static_cast<long long>(smallWidth_) * smallHeight_;
        Mem<float> ceiling = Allocate<float>(count);
        if (!ceiling)
            return false;
        std::copy(values_.get(), values_.get() + count, ceiling.get());
        const int reach = std::max(radius, std::max(smallWidth_, smallHeight_) / 4);
        auto eachLine = [&](float* plane, auto apply) {
            for (int y = 0; y < smallHeight_; ++y)
                apply(plane + static_cast<long long>(y) * smallWidth_, smallWidth_, 1);
            for (int x = 0; x < smallWidth_; ++x)
                apply(plane + x, smallHeight_, smallWidth_);
        };
        eachLine(ceiling.get(), [&](float* line, int n, int pitch) {
            RankLine(line, n, pitch, reach, scratch.get(), brighter);
        });
        for (long long i = 0; i < count; ++i)
            values_[i] = std::max({values_[i], ceiling[i] * kDeepestShadow, 1.0f});

        columns_ = Allocate<int>(width_);
        weights_ = Allocate<float>(width_);
        row_ = Allocate<float>(width_);
        if (!columns_ || !weights_ || !row_)
            return false;
        for (int x = 0; x < width_; ++x) {
            const double at = std::clamp((x + 0.5) / block_ - 0.5, 0.0, smallWidth_ - 1.0);
            columns_[x] = std::min(static_cast<int>(at), std::max(0, smallWidth_ - 2));
            weights_[x] = static_cast<float>(at - columns_[x]);
        }
        return true;
    }

    // The background of row y at every column.
    const float* Row(int y) {
        const double at = std::clamp((y + 0.5) / block_ - 0.5, 0.0, smallHeight_ - 1.0);
        const int top = std::min(static_cast<int>(at), std::max(0, smallHeight_ - 2));
        const int bottom = std::min(top + 1, smallHeight_ - 1);
        const float down = static_cast<float>(at - top);
        const float* upper = values_.get() + static_cast<long long>(top) * smallWidth_;
        const float* lower = values_.get() + static_cast<long long>(bottom) * smallWidth_;
        for (int x = 0; x < width_; ++x) {
            const int left = columns_[x], right = std::min(left + 1, smallWidth_ - 1);
            const float across = weights_[x];
            const float a = upper[left] + (upper[right] - upper[left]) * across;
            const float b = lower[left] + (lower[right] - lower[left]) * across;
            row_[x] = a + (b - a) * down;
        }
        return row_.get();
    }

private:
    static constexpr int kReducedSide = 256;
    static constexpr float kDeepestShadow = 0.4f;

    void ReduceByBlockMeans(const Plane& plane, double* sums) {
        for (int by = 0; by < smallHeight_; ++by) {
            std::fill(sums, sums + smallWidth_, 0.0);
            const int top = by * block_, bottom = std::min(height_, top + block_);
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < width_; ++x)
                    sums[x / block_] += plane.At(x, y);
            for (int bx = 0; bx < smallWidth_; ++bx) {
                const int across = std::min(block_, width_ - bx * block_);
                values_[static_cast<long long>(by) * smallWidth_ + bx] =
                    static_cast<float>(sums[bx] / (double(across) * (bottom - top)));
            }
        }
    }

    // Calls apply on every row, then on every column, of the reduced picture.
    template <typename Apply>
    void EachLine(Apply apply) {
        for (int y = 0; y < smallHeight_; ++y)
            apply(values_.get() + static_cast<long long>(y) * smallWidth_, smallWidth_, 1);
        for (int x = 0; x < smallWidth_; ++x)
            apply(values_.get() + x, smallHeight_, smallWidth_);
    }

    int width_ = 0, height_ = 0, block_ = 1, smallWidth_ = 0, smallHeight_ = 0;
    Mem<float> values_;
    Mem<int> columns_;
    Mem<float> weights_;
    Mem<float> row_;
};

unsigned char Divided(int value, float background, float whiteAt) {
    const double level = value * 255.0 / (double(background) * whiteAt);
    return static_cast<unsigned char>(std::min(255.0, level + 0.5));
}

// The grey levels divided by their background, at the 8-bit stride.
Mem<unsigned char> Flatten(const unsigned char* pixels, int width, int height, int bits,
                           const tagRGBQUAD* palette, float whiteAt) {
    Mem<unsigned char> grey = GreyPlane(pixels, width, height, bits, palette);
    if (!grey)
        return grey;
    const int stride = RowStride(width, 8);
    Background background;
    if (!background.Estimate({grey.get(), width, height, stride, 1}))
        return Mem<unsigned char>();
    for (int y = 0; y < height; ++y) {
        unsigned char* row = grey.get() + static_cast<long long>(y) * stride;
        const float* paper = background.Row(y);
        for (int x = 0; x < width; ++x)
            row[x] = Divided(row[x], paper[x], whiteAt);
    }
    return grey;
}

// Whatever the window's spread, print darker than this is print and paper brighter than this is
// paper: the flattened paper lies near 255, and JPEG noise on it must not turn black.
constexpr int kSurelyPrint = 100;
constexpr int kSurelyPaper = 230;

// Sauvola's threshold over a square window clipped to the picture: column sums of the rows in the
// window are kept up to date as the window moves down, and each row's sums across come from their
// prefix sums, so the cost does not depend on the window.
bool Threshold(const unsigned char* grey, int width, int height, int window, double k,
               unsigned char* mono) {
    const int stride = RowStride(width, 8), radius = window / 2;
    Mem<std::uint64_t> columnSums = Allocate<std::uint64_t>(width);
    Mem<std::uint64_t> columnSquares = Allocate<std::uint64_t>(width);
    Mem<std::uint64_t> sums = Allocate<std::uint64_t>(width + 1LL);
    Mem<std::uint64_t> squares = Allocate<std::uint64_t>(width + 1LL);
    if (!columnSums || !columnSquares || !sums || !squares)
        return false;
    auto addRow = [&](int y, int sign) {
        const unsigned char* row = grey + static_cast<long long>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint64_t v = row[x];
            columnSums[x] += sign * v;
            columnSquares[x] += sign * v * v;
        }
    };
    for (int y = 0; y < std::min(height, radius); ++y)
        addRow(y, 1);
    for (int y = 0; y < height; ++y) {
        if (y + radius < height)
            addRow(y + radius, 1);
        if (y - radius - 1 >= 0)
            addRow(y - radius - 1, -1);
        const int rows = std::min(height - 1, y + radius) - std::max(0, y - radius) + 1;
        for (int x = 0; x < width; ++x) {
            sums[x + 1] = sums[x] + columnSums[x];
            squares[x + 1] = squares[x] + columnSquares[x];
        }
        const unsigned char* in = grey + static_cast<long long>(y) * stride;
        unsigned char* out = mono + static_cast<long long>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const int left = std::max(0, x - radius), right = std::min(width - 1, x + radius);
            const double n = double(right - left + 1) * rows;
            const double mean = double(sums[right + 1] - sums[left]) / n;
            const double variance = double(squares[right + 1] - squares[left]) / n - mean * mean;
            const double deviation = std::sqrt(std::max(0.0, variance));
            const double threshold = mean * (1 + k * (deviation / 128 - 1));
            const int v = in[x];
            const bool print = v < kSurelyPrint || (v < threshold && v < kSurelyPaper);
            out[x] = print ? 0 : 255;
        }
    }
    return true;
}

// Whitens the black areas that touch the picture's edge and are too large and solid to be print.
bool ClearBorders(unsigned char* mono, int width, int height) {
    const int stride = RowStride(width, 8);
    Mem<int> queue = Allocate<int>(static_cast<long long>(width) * height);
    if (!queue)
        return false;
    constexpr unsigned char kSeen = 1;  // black, and already part of a component that stays
    auto at = [&](int x, int y) -> unsigned char& {
        return mono[static_cast<long long>(y) * stride + x];
    };
    int queued = 0;
    auto clearFrom = [&](int sx, int sy) {
        if (at(sx, sy) != 0)
            return;
        const int first = queued;
        int left = sx, right = sx, top = sy, bottom = sy;
        at(sx, sy) = kSeen;
        queue[queued++] = sy * width + sx;
        for (int i = first; i < queued; ++i) {
            const int x = queue[i] % width, y = queue[i] / width;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
            for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny)
                for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx)
                    if (at(nx, ny) == 0) {
                        at(nx, ny) = kSeen;
                        queue[queued++] = ny * width + nx;
                    }
        }
        // Desk is large and thick; print that reaches the edge is small, or thin (a rule).
        const long long across = right - left + 1, down = bottom - top + 1;
        const bool large = across * 4 >= width || down * 4 >= height;
        const long long thickness = (queued - first) / std::max(across, down);
        const bool solid = thickness >= std::max(4, std::min(width, height) / 300);
        if (large && solid) {
            for (int i = first; i < queued; ++i)
                at(queue[i] % width, queue[i] / width) = 255;
        }
    };
    for (int x = 0; x < width; ++x) {
        clearFrom(x, 0);
        clearFrom(x, height - 1);
    }
    for (int y = 0; y < height; ++y) {
        clearFrom(0, y);
        clearFrom(width - 1, y);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (at(x, y) == kSeen)
                at(x, y) = 0;
    return true;
}

// Paper within this fraction of its background's brightness comes out pure white.
constexpr float kWhitenAt = 0.92f;

}  // namespace

bool FlattenIllumination(const unsigned char* pixels, int width, int height, int bits,
                         const tagRGBQUAD* palette, unsigned char*& grey) {
    if (!scan::IsUsablePicture(pixels, width, height, bits, palette))
        return false;
    Mem<unsigned char> flat = Flatten(pixels, width, height, bits, palette, 1.0f);
    if (!flat)
        return false;
    grey = flat.release();
    return true;
}

bool CleanPageToMono(const unsigned char* pixels, int width, int height, int bits,
                     const tagRGBQUAD* palette, unsigned char*& mono,
                     const PageCleanOptions& options) {
    if (!scan::IsUsablePicture(pixels, width, height, bits, palette) || options.window < 0 ||
        !(options.sensitivity >= 0 && options.sensitivity <= 1))
        return false;
    Mem<unsigned char> flat = Flatten(pixels, width, height, bits, palette, 1.0f);
    if (!flat)
        return false;
    Mem<unsigned char> result =
        Allocate<unsigned char>(static_cast<long long>(RowStride(width, 8)) * height);
    if (!result)
        return false;
    const int window =
        options.window ? options.window | 1 : std::max(15, std::min(width, height) / 30 | 1);
    if (!Threshold(flat.get(), width, height, window, options.sensitivity, result.get()))
        return false;
    flat.reset();
    if (options.clearBorders && !ClearBorders(result.get(), width, height))
        return false;
    mono = result.release();
    return true;
}

bool WhitenPage(const unsigned char* pixels, int width, int height, int bits,
                const tagRGBQUAD* palette, unsigned char*& whitened, int& whitenedBits) {
    if (!scan::IsUsablePicture(pixels, width, height, bits, palette))
        return false;
    if (bits == 8) {
        Mem<unsigned char> flat = Flatten(pixels, width, height, bits, palette, kWhitenAt);
        if (!flat)
            return false;
        whitened = flat.release();
        whitenedBits = 8;
        return true;
    }
    const int stride = RowStride(width, bits), step = bits / 8;
    Background channels[3];
    for (int c = 0; c < 3; ++c) {
        if (!channels[c].Estimate({pixels + c, width, height, stride, step}))
            return false;
    }
    Mem<unsigned char> result = Allocate<unsigned char>(static_cast<long long>(stride) * height);
    if (!result)
        return false;
    std::memcpy(result.get(), pixels, static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = result.get() + static_cast<long long>(y) * stride;
        for (int c = 0; c < 3; ++c) {
            const float* paper = channels[c].Row(y);
            for (int x = 0; x < width; ++x)
                row[x * step + c] = Divided(row[x * step + c], paper[x], kWhitenAt);
        }
    }
    whitened = result.release();
    whitenedBits = bits;
    return true;
}

}  // namespace imgdesk
