// Cuts the region enclosed by four frame lines out of a picture and turns it upright.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "pixel/DataHandler.h"
#include "pixel/internal/LineGeometry.h"
#include "pixel/internal/PixelLayout.h"
#include "service/CoreKit.h"

namespace imgdesk::pixel {
namespace {

// The output's size, its origin on the rotated canvas and the skew in degrees. Sizes and origins
// are differences and magnitudes of line distances, which can reach twice the range of an int:
// they are kept wide.
struct Window {
    int skew;
    long long width, height;
    long long originCol, originRow;
};

long long Span(int far, int near) {
    return static_cast<long long>(far) - near;
}

// The smaller of |d0 - r| and |d1 - r|, each difference a float, truncated.
long long NearerGap(int d0, int d1, float r) {
    const float g0 = std::fabs(static_cast<float>(d0 - static_cast<double>(r)));
    const float g1 = std::fabs(static_cast<float>(d1 - static_cast<double>(r)));
    return static_cast<long long>(std::min(g0, g1));
}

long long NearerMagnitude(int d0, int d1) {
    return std::min(std::llabs(d0), std::llabs(d1));
}

// The pair of lines nearer to vertical gives the width; the skew brings the frame upright.
Window FrameWindow(const _STRAIGHTLINE* lines, int width, int height) {
    const int d0 = lines[0].distance, d1 = lines[1].distance;
    const int d2 = lines[2].distance, d3 = lines[3].distance;
    const int angle = lines[0].angle;
    const int thetaA = 2 * angle;
    const Direction dirA = Direction::OfAngle(angle), dirB = Direction::OfAngle(lines[1].angle);
    if (angle <= 22)
        return Window{-thetaA, Span(d0, d2), Span(d1, d3), NearerMagnitude(d0, d2),
                      NearerGap(d1, d3, dirB.HalfRounded(width - 1, 0))};
    if (angle <= 44)
        return Window{90 - thetaA, Span(d1, d3), Span(d0, d2),
                      NearerGap(d1, d3, dirB.HalfRounded(0, height - 1)), NearerMagnitude(d0, d2)};
    if (angle <= 67)
        return Window{90 - thetaA, Span(d1, d3), Span(d0, d2), NearerMagnitude(d1, d3),
                      NearerGap(d0, d2, dirA.HalfRounded(width - 1, 0))};
    return Window{180 - thetaA, Span(d0, d2), Span(d1, d3),
                  NearerGap(d0, d2, dirA.HalfRounded(0, height - 1)), NearerMagnitude(d1, d3)};
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::RotateGreenFrame(unsigned char* source, int width, int height, int bitsPerPixel,
                                   _STRAIGHTLINE* lines, unsigned char*& output, int& outWidth,
                                   int& outHeight) {
    const Window window = FrameWindow(lines, width, height);

    const float radians = static_cast<float>(window.skew * kPi / 180);
    const double s = static_cast<float>(std::sin(radians));
    const double c = static_cast<float>(std::cos(radians));
    // The rotated canvas: the bounding box of the turned picture corners plus a margin.
    const double x1 = width - 1, y1 = height - 1;
    const int canvasWidth =
        static_cast<int>(std::max(std::fabs(x1 * c + y1 * s), std::fabs(y1 * s - x1 * c)) + 1.5);
    const int canvasHeight =
        static_cast<int>(std::max(std::fabs(y1 * c - x1 * s), std::fabs(y1 * c + x1 * s)) + 1.5);
    const double halfW = canvasWidth / 2.0, halfH = canvasHeight / 2.0;
    const double cx = width / 2.0 - (halfW * c + halfH * s);
    const double cy = height / 2.0 + halfW * s - halfH * c;

    DelMem(output);
    output = nullptr;
    // An inverted frame (far line before the near one) has no picture to give: refused as if the
    // buffer could not be had, rather than handing out a buffer of negative size.
    if (window.width < 0 || window.height < 0)
        return 0;
    // Beyond what a NewMem block holds: refused like a failed allocation.
    if (window.width > 0x7FFFFFFF || window.height > 0x7FFFFFFF)
        return 0;
    const int outStride = RowStride(static_cast<int>(window.width), bitsPerPixel);
    const long long bytes = static_cast<long long>(outStride) * window.height;
    if (bytes > 0x7FFFFFFF)
        return 0;
    output = static_cast<unsigned char*>(NewMem(static_cast<int>(bytes)));
    if (!output)
        return 0;
    outWidth = static_cast<int>(window.width);
    outHeight = static_cast<int>(window.height);

    const int channels = bitsPerPixel / 8;
    const int stride = RowStride(width, bitsPerPixel);
    for (int row = 0; row < outHeight; ++row) {
        const long long y = window.originRow + row;
        unsigned char* out = output + static_cast<std::ptrdiff_t>(row) * outStride;
        for (int col = 0; col < outWidth; ++col) {
            const long long x = window.originCol + col;
            const double sx = static_cast<double>(x) * c + static_cast<double>(y) * s + cx;
            const double sy = static_cast<double>(y) * c - static_cast<double>(x) * s + cy;
            if (!(sx >= 0 && sx < width && sy >= 0 && sy < height))
                continue;
            const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
            const double fx = sx - x0, fy = sy - y0;
            const bool lastColumn = sx >= width - 1, lastRow = sy >= height - 1;
            const unsigned char* p00 = source + static_cast<std::ptrdiff_t>(y0) * stride +
                                       static_cast<std::ptrdiff_t>(x0) * channels;
            const unsigned char* p10 = p00 + channels;
            const unsigned char* p01 = p00 + stride;
            const unsigned char* p11 = p01 + channels;
            unsigned char* target = out + static_cast<std::ptrdiff_t>(col) * channels;
            for (int ch = 0; ch < channels; ++ch) {
                double value;
                if (lastColumn && lastRow)
                    value = p00[ch];
                else if (lastColumn)
                    value = p00[ch] * (1 - fy) + p01[ch] * fy;
                else if (lastRow)
                    value = p00[ch] * (1 - fx) + p10[ch] * fx;
                else
                    value = (p00[ch] * (1 - fx) + p10[ch] * fx) * (1 - fy) +
                            (p01[ch] * (1 - fx) + p11[ch] * fx) * fy;
                target[ch] = static_cast<unsigned char>(static_cast<int>(value));
            }
        }
    }
    return 1;
}
