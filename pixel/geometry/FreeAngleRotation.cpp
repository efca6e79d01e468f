// Rotation by any angle about the picture's centre, with bilinear sampling.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "pixel/DataHandler.h"
#include "pixel/internal/BufferReplacement.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

// An output side: the turned extent plus 1.5, truncated. Extents that no unsigned int holds (or
// that are not numbers, for an angle that is not) give 0.
unsigned int OutputSide(double extent) {
    const double side = extent + 1.5;
    return side < 4294967296.0 ? static_cast<unsigned int>(side) : 0u;
}

// The turn of a w x h picture: the angle's cosine and sine and the output size that holds the
// whole turned picture.
struct FreeTurn {
    double c;
    double s;
    unsigned int outWidth;
    unsigned int outHeight;

    FreeTurn(int w, int h, double angle) : c(std::cos(angle)), s(std::sin(angle)) {
        const double wc = double(w - 1) * c, ws = double(w - 1) * s;
        const double hc = double(h - 1) * c, hs = double(h - 1) * s;
        outWidth = OutputSide(std::max(std::fabs(wc + hs), std::fabs(wc - hs)));
        outHeight = OutputSide(std::max(std::fabs(hc - ws), std::fabs(hc + ws)));
    }
};

struct Source {
    const unsigned char* bits;
    std::ptrdiff_t stride;
    int width;
    int height;
    int bytesPerPixel;
};

// Byte k of each case of the bilinear sample, truncated toward zero. p points at byte 0 of pixel
// (x0, y0); right and up step to the pixel one column and one row further.
inline unsigned char Bilinear(const unsigned char* p, std::ptrdiff_t right, std::ptrdiff_t up,
                              double fx, double gx, double fy, double gy) {
    return static_cast<unsigned char>((p[0] * gx + p[right] * fx) * gy +
                                      (p[up] * gx + p[up + right] * fx) * fy);
}
inline unsigned char Linear(const unsigned char* p, std::ptrdiff_t next, double f, double g) {
    return static_cast<unsigned char>(p[0] * g + p[next] * f);
}

// Fills an outWidth x outHeight picture (rows stride bytes apart; padding left as it is) with
// the source turned by the angle. Each output pixel maps back to a source point; points outside
// the source give black, points inside are sampled from the up-to-four pixels around them, only
// along one axis (or not at all) on the last column and row so that nothing past them is read.
// kBytes is the pixel size, or 0 to take it from the source at run time.
template <int kBytes>
void SampleTurned(const Source& from, const FreeTurn& turn, unsigned char* out,
                  std::ptrdiff_t outStride) {
    const int b = kBytes ? kBytes : from.bytesPerPixel;
    const double c = turn.c;
    const double s = turn.s;
    const double halfW = turn.outWidth / 2.0;
    const double halfH = turn.outHeight / 2.0;
    // The output centre turned back and moved onto the source centre.
    const double shiftX = from.width / 2.0 - (halfW * c + halfH * s);
    const double shiftY = from.height / 2.0 + (halfW * s - halfH * c);
    const double w = from.width;
    const double h = from.height;
    const double lastX = from.width - 1;
    const double lastY = from.height - 1;
    const std::ptrdiff_t up = from.stride;

    for (unsigned int j = 0; j < turn.outHeight; ++j) {
        const double js = double(j) * s;
        const double jc = double(j) * c;
        unsigned char* pixel = out + static_cast<std::ptrdiff_t>(j) * outStride;
        double i = 0.0;
        for (unsigned int n = 0; n < turn.outWidth; ++n, i += 1.0, pixel += b) {
            const double sx = (i * c + js) + shiftX;
            const double sy = (jc - i * s) + shiftY;
            if (!(sx >= 0.0 && sx <= w && sy >= 0.0 && sy <= h)) {
                std::memset(pixel, 0, b);
                continue;
            }
            // A point exactly on the far edge (sx = w or sy = h) takes the last column or row.
            const int x0 = std::min(static_cast<int>(sx), from.width - 1);
            const int y0 = std::min(static_cast<int>(sy), from.height - 1);
            const double fx = sx - static_cast<int>(sx);
            const double fy = sy - static_cast<int>(sy);
            const double gx = 1.0 - fx;
            const double gy = 1.0 - fy;
            const unsigned char* p =
                from.bits + y0 * from.stride + static_cast<std::ptrdiff_t>(x0) * b;
            if (sx < lastX) {
                if (sy < lastY) {
                    for (int k = 0; k < b; ++k)
                        pixel[k] = Bilinear(p + k, b, up, fx, gx, fy, gy);
                } else {
                    for (int k = 0; k < b; ++k)
                        pixel[k] = Linear(p + k, b, fx, gx);
                }
            } else if (sy < lastY) {
                for (int k = 0; k < b; ++k)
                    pixel[k] = Linear(p + k, up, fy, gy);
            } else {
                std::memcpy(pixel, p, b);
            }
        }
    }
}

void SampleTurned(const Source& from, const FreeTurn& turn, unsigned char* out,
                  std::ptrdiff_t outStride) {
    switch (from.bytesPerPixel) {
        case 1:
            SampleTurned<1>(from, turn, out, outStride);
            break;
        case 3:
            SampleTurned<3>(from, turn, out, outStride);
            break;
        case 4:
            SampleTurned<4>(from, turn, out, outStride);
            break;
        default:
            SampleTurned<0>(from, turn, out, outStride);
            break;
    }
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

void CDataHandler::RotateInterpolation(unsigned char* source, int w, int h, int bytesPerPixel,
                                       unsigned char*& output, unsigned int& outWidth,
                                       unsigned int& outHeight, double angle) {
    const FreeTurn turn(w, h, angle);
    outWidth = turn.outWidth;
    outHeight = turn.outHeight;
    output = nullptr;
    if (!source || w < 1 || h < 1 || bytesPerPixel < 1 || !turn.outWidth || !turn.outHeight)
        return;
    size_t bytes = 0;
    if (__builtin_mul_overflow(size_t(turn.outWidth), size_t(turn.outHeight), &bytes) ||
        __builtin_mul_overflow(bytes, size_t(bytesPerPixel), &bytes) || bytes > size_t(PTRDIFF_MAX))
        return;
    // Every output byte is written, black where no source point lands.
    output = new (std::nothrow) unsigned char[bytes];
    if (!output)
        return;
    const Source from{source, static_cast<std::ptrdiff_t>(w) * bytesPerPixel, w, h, bytesPerPixel};
    SampleTurned(from, turn, output, static_cast<std::ptrdiff_t>(turn.outWidth) * bytesPerPixel);
}

// The rectangle is turned straight out of the caller's buffer into the scratch buffer at the
// final row stride: the packed copies of the piece and of the turned piece that the core works on
// would hold the same bytes, so they are skipped. The memory rules are unchanged: the scratch
// buffer and the final buffer come from NewMem, and failing either ends as it would.
int CDataHandler::RotatePicture(unsigned char*& buffer, long& width, long& height, int bitsPerPixel,
                                CRect rect, double angle) {
    if (!buffer || width < 1 || height < 1 || !IsSupportedBitCount(bitsPerPixel))
        return 0;
    const long long left = std::max<long long>(rect.left, 0);
    const long long top = std::max<long long>(rect.top, 0);
    const long long right = std::min<long long>(rect.right, width);
    const long long bottom = std::min<long long>(rect.bottom, height);
    // A clamped rectangle with no area, even an inverted one, is refused.
    if (right - left < 1 || bottom - top < 1)
        return 0;
    const int pieceWidth = static_cast<int>(right - left);
    const int pieceHeight = static_cast<int>(bottom - top);

    const FreeTurn turn(pieceWidth, pieceHeight, angle);
    if (turn.outWidth < 1 || turn.outHeight < 1 || turn.outWidth > 0x7FFFFFFFu / 4 ||
        turn.outHeight > 0x7FFFFFFFu)
        return 0;  // no such buffer can be had
    const long long newStride = RowStride(static_cast<int>(turn.outWidth), bitsPerPixel);
    const long long bytes = newStride * turn.outHeight;
    ScratchPtr<> result = NewScratch(bytes);
    if (!result)
        return 0;

    const int bytesPerPixel = bitsPerPixel / 8;
    const std::ptrdiff_t stride = RowStride(static_cast<int>(width), bitsPerPixel);
    const Source piece{buffer + top * stride + left * bytesPerPixel, stride, pieceWidth,
                       pieceHeight, bytesPerPixel};
    SampleTurned(piece, turn, result.get(), static_cast<std::ptrdiff_t>(newStride));

    if (!ReplaceBuffer(buffer, result, bytes))
        return 0;  // width and height keep their values
    width = static_cast<long>(turn.outWidth);
    height = static_cast<long>(turn.outHeight);
    return 1;
}
