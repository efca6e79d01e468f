// Skew estimation: the turn of a page from the dark runs at the two first-row corners of its
// bounding rectangle.
#include <cmath>
#include <cstddef>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"

namespace imgdesk::pixel {
namespace {

constexpr int kBrightAbove = 128;
// GetBlackSideRect grows the page rectangle by this much; the corners are looked for inside it.
constexpr int kGrowth = 10;

// Brightness as the corner scans see it: 8-bit bytes as they are (no palette), other pixels
// weighted 0.59 green + 0.11 blue + 0.3 red in that order, in double precision, truncated.
class BrightnessProbe {
public:
    BrightnessProbe(const unsigned char* buffer, int width, int bitsPerPixel)
        : buffer_(buffer), stride_(RowStride(width, bitsPerPixel)), bitsPerPixel_(bitsPerPixel) {}

    bool IsBright(int x, int y) const {
        const unsigned char* p = buffer_ + static_cast<std::ptrdiff_t>(y) * stride_ +
                                 static_cast<std::ptrdiff_t>(x) * bitsPerPixel_ / 8;
        if (bitsPerPixel_ == 8)
            return p[0] > kBrightAbove;
        return static_cast<int>(0.59 * p[1] + 0.11 * p[0] + 0.3 * p[2]) > kBrightAbove;
    }

private:
    const unsigned char* buffer_;
    int stride_;
    int bitsPerPixel_;
};

// Dark pixels from (x, y) stepping by (dx, dy) until the first bright pixel or `steps` pixels.
float DarkRun(const BrightnessProbe& probe, int x, int y, int dx, int dy, int steps) {
    float run = 0.0f;
    for (int k = 0; k < steps && !probe.IsBright(x + k * dx, y + k * dy); ++k)
        run += 1.0f;
    return run;
}

inline float Arctangent(float numerator, float denominator) {
    const float quotient = numerator / denominator;
    return static_cast<float>(std::atan(static_cast<double>(quotient)));
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

float CDataHandler::CheckRotatePicture(unsigned char* buffer, int width, int height,
                                       int bitsPerPixel, tagRGBQUAD* palette) {
    if (!buffer || !IsSupportedBitCount(bitsPerPixel))
        return 0.0f;
    CRect page =
        GetBlackSideRect(buffer, width, height, bitsPerPixel, palette, CRect(0, 0, width, height));
    page.DeflateRect(kGrowth, kGrowth);
    // With no page (or a failed search) the rectangle has no rows: both estimates are 0. A row
    // run of 0 makes an estimate 0 whatever the column run, so the column is only scanned after a
    // dark row run, which also keeps the column inside the picture.
    if (page.top >= page.bottom)
        return 0.0f;
    const BrightnessProbe probe(buffer, width, bitsPerPixel);
    const int columns = page.right - page.left;
    const int rows = page.bottom - page.top;

    float first = 0.0f;
    const float a = DarkRun(probe, page.left, page.top, 1, 0, columns);
    if (a > 0.0f) {
        const float b = DarkRun(probe, page.left, page.top, 0, 1, rows);
        if (b > 0.0f)
            first = a < b ? Arctangent(a, b) : -Arctangent(b, a);
    }
    float second = 0.0f;
    const float a2 = DarkRun(probe, page.right - 1, page.top, -1, 0, columns);
    if (a2 > 0.0f) {
        const float b2 = DarkRun(probe, page.right - 1, page.top, 0, 1, rows);
        if (b2 > 0.0f)
            second = b2 > a2 ? -Arctangent(a2, b2) : Arctangent(b2, a2);
    }
    return static_cast<float>((static_cast<double>(first) + second) * -0.5);
}
