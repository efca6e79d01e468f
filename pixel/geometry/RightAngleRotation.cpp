// Quarter turns, the half turn and the mirrors of a whole buffer, and the whole-degree turn of a
// 24-bit picture with nearest-pixel sampling.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/BufferReplacement.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

struct Picture {
    const unsigned char* bits;
    int width;
    int height;
    std::ptrdiff_t stride;
    const unsigned char* Row(int y) const { return bits + y * stride; }
};

struct Target {
    unsigned char* bits;
    std::ptrdiff_t stride;
    unsigned char* Row(int y) const { return bits + y * stride; }
};

// A quarter turn: new pixel (i, j) comes from old pixel (w - 1 - j, i) clockwise and from
// (j, h - 1 - i) counter-clockwise. The new picture is walked in square tiles so that the old
// rows a tile reads stay in cache while its columns are gathered.
template <int kBytes>
void QuarterTurn(const Picture& from, const Target& to, bool clockwise) {
    constexpr int kTile = 64;
    const int w = from.width;
    const int h = from.height;
    for (int j0 = 0; j0 < w; j0 += kTile) {
        const int j1 = std::min(w, j0 + kTile);
        for (int i0 = 0; i0 < h; i0 += kTile) {
            const int i1 = std::min(h, i0 + kTile);
            const std::ptrdiff_t step = clockwise ? from.stride : -from.stride;
            for (int j = j0; j < j1; ++j) {
                const int oldX = clockwise ? w - 1 - j : j;
                const unsigned char* in = from.Row(clockwise ? i0 : h - 1 - i0) + oldX * kBytes;
                unsigned char* out = to.Row(j) + i0 * kBytes;
                for (int i = i0; i < i1; ++i, in += step, out += kBytes)
                    std::memcpy(out, in, kBytes);
            }
        }
    }
}

// Writes the pixels of one row in reverse order.
template <int kBytes>
void ReverseRow(const unsigned char* in, unsigned char* out, int width) {
    const unsigned char* last = in + (width - 1) * kBytes;
    for (int x = 0; x < width; ++x)
        std::memcpy(out + x * kBytes, last - x * kBytes, kBytes);
}

// The turns and the column mirror write pixel bytes only, so their padding keeps the zero fill of
// NewMem. The row mirror copies whole rows, the old padding bytes with them.
template <int kBytes>
void Turn(const Picture& from, const Target& to, rotation_degree turn) {
    const int h = from.height;
    switch (turn) {
        case rotation_clockwise:
        case rotation_counterclockwise:
            QuarterTurn<kBytes>(from, to, turn == rotation_clockwise);
            break;
        case rotation_half:
            for (int j = 0; j < h; ++j)
                ReverseRow<kBytes>(from.Row(h - 1 - j), to.Row(j), from.width);
            break;
        case rotation_mirror_rows:
            for (int j = 0; j < h; ++j)
                std::memcpy(to.Row(j), from.Row(h - 1 - j), from.stride);
            break;
        case rotation_mirror_columns:
            for (int j = 0; j < h; ++j)
                ReverseRow<kBytes>(from.Row(j), to.Row(j), from.width);
            break;
    }
}

// The rotation of RotationImage: single-precision angle, cosine and sine, as the picture's own
// coordinates were turned by it. Products of a float with a whole number below 2^29 are exact in
// double precision, so x * c and the like need no further care.
struct SinglePrecisionTurn {
    double c;
    double s;
    explicit SinglePrecisionTurn(int degrees) {
        const float angle = static_cast<float>(degrees * 6.283185307179586 / 360.0);
        c = static_cast<float>(std::cos(double(angle)));
        s = static_cast<float>(std::sin(double(angle)));
    }
    long long X(double x, double y) const { return static_cast<long long>(x * c - y * s); }
    long long Y(double x, double y) const { return static_cast<long long>(x * s + y * c); }
};

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::RotationImageData(unsigned char*& buffer, long& width, long& height,
                                    int bitsPerPixel, rotation_degree turn) {
    if (turn < rotation_clockwise || turn > rotation_mirror_columns || !buffer)
        return 0;
    if (!IsSupportedBitCount(bitsPerPixel) || width < 1 || height < 1)
        return 0;
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const bool swapsSides = turn == rotation_clockwise || turn == rotation_counterclockwise;
    const int newWidth = swapsSides ? h : w;
    const int newHeight = swapsSides ? w : h;
    const long long newStride = RowStride(newWidth, bitsPerPixel);
    const long long bytes = newStride * newHeight;
    ScratchPtr<> result = NewScratch(bytes);
    if (!result)
        return 0;

    const Picture from{buffer, w, h, RowStride(w, bitsPerPixel)};
    const Target to{result.get(), static_cast<std::ptrdiff_t>(newStride)};
    switch (bitsPerPixel) {
        case 8:
            Turn<1>(from, to, turn);
            break;
        case 24:
            Turn<3>(from, to, turn);
            break;
        default:
            Turn<4>(from, to, turn);
            break;
    }

    if (!ReplaceBuffer(buffer, result, bytes)) {
        width = 0;
        height = 0;
        return 0;
    }
    width = newWidth;
    height = newHeight;
    return 1;
}

int CDataHandler::RotationImage(unsigned char*& buffer, long& width, long& height, CRect& rect,
                                int bitsPerPixel, int degrees) {
    if (bitsPerPixel != 24 || !buffer)
        return 0;
    const SinglePrecisionTurn turn(degrees);
    const double w = static_cast<double>(width);
    const double h = static_cast<double>(height);

    // The picture's extent: its corners turned, with the origin.
    const long long cornersX[] = {0, turn.X(0, h), turn.X(w, 0), turn.X(w, h)};
    const long long cornersY[] = {0, turn.Y(0, h), turn.Y(w, 0), turn.Y(w, h)};
    const long long minX = *std::min_element(cornersX, cornersX + 4);
    const long long maxX = *std::max_element(cornersX, cornersX + 4);
    const long long minY = *std::min_element(cornersY, cornersY + 4);
    const long long maxY = *std::max_element(cornersY, cornersY + 4);
    const long long newWidth = maxX - minX;
    const long long newHeight = maxY - minY;
    if (newWidth > 0x7FFFFFFF / 3 || newHeight > 0x7FFFFFFF)
        return 0;  // more than memory holds

    // The rectangle's place in the turned picture, written only after sampling from the old one.
    const double left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    const long long rectX[] = {turn.X(left, top), turn.X(right, top), turn.X(right, bottom),
                               turn.X(left, bottom)};
    const long long rectY[] = {turn.Y(left, top), turn.Y(right, top), turn.Y(right, bottom),
                               turn.Y(left, bottom)};
    const CRect newRect(static_cast<int>(*std::min_element(rectX, rectX + 4) - minX),
                        static_cast<int>(*std::min_element(rectY, rectY + 4) - minY),
                        static_cast<int>(*std::max_element(rectX, rectX + 4) - minX),
                        static_cast<int>(*std::max_element(rectY, rectY + 4) - minY));

    const long long newStride = RowStride(static_cast<int>(newWidth), 24);
    const long long bytes = newStride * newHeight;
    ScratchPtr<> result = NewScratch(bytes);
    if (!result)
        return 0;
    std::memset(result.get(), 255, static_cast<size_t>(bytes));

    // Callers keep the rectangle inside the picture; sampling is also held to the picture, so a
    // rectangle reaching outside it gives white there rather than a read past the buffer.
    const long long keepLeft = std::max<long long>(rect.left, 0);
    const long long keepTop = std::max<long long>(rect.top, 0);
    const long long keepRight = std::min<long long>(rect.right, width);
    const long long keepBottom = std::min<long long>(rect.bottom, height);
    const unsigned char* source = buffer;
    const std::ptrdiff_t sourceStride = RowStride(static_cast<int>(width), 24);
    for (long long y = minY; y < maxY; ++y) {
        const double rowS = double(y) * turn.s;
        const double rowC = double(y) * turn.c;
        unsigned char* out = result.get() + (y - minY) * newStride;
        double x = static_cast<double>(minX);
        for (long long i = 0; i < newWidth; ++i, x += 1.0, out += 3) {
            const long long xs = static_cast<long long>(x * turn.c + rowS);
            const long long ys = static_cast<long long>(rowC - x * turn.s);
            if (xs < keepLeft || xs >= keepRight || ys < keepTop || ys >= keepBottom)
                continue;
            std::memcpy(out, source + ys * sourceStride + xs * 3, 3);
        }
    }

    rect = newRect;
    if (!ReplaceBuffer(buffer, result, bytes)) {
        width = 0;
        height = 0;
        return 0;
    }
    width = static_cast<long>(newWidth);
    height = static_cast<long>(newHeight);
    return 1;
}
