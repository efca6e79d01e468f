#include "scan/internal/Warp.h"

#include <algorithm>
#include <cmath>

#include "pixel/internal/PixelLayout.h"
#include "scan/internal/Reduce.h"

namespace imgdesk::scan {
namespace {

// Bilinear colour with 8 fractional bits, for points whose 2 x 2 neighbourhood is inside.
inline void Bilinear(const SourcePicture& source, int stride, double x, double y, int out[3]) {
    const int ix = static_cast<int>(std::floor(x * 256.0));
    const int iy = static_cast<int>(std::floor(y * 256.0));
    const int x0 = ix >> 8, y0 = iy >> 8;
    const int fx = ix & 255, fy = iy & 255;
    const int bytes = source.bits / 8;
    // Display row y0 is memory row height - 1 - y0; the row below it on screen comes before it.
    const unsigned char* top = source.pixels + static_cast<long long>(source.height - 1 - y0) * stride;
    const unsigned char* bottom = top - stride;
    if (source.bits == 8) {
        const tagRGBQUAD* pal = source.palette;
        const tagRGBQUAD& a = pal[top[x0]];
        const tagRGBQUAD& b = pal[top[x0 + 1]];
        const tagRGBQUAD& c = pal[bottom[x0]];
        const tagRGBQUAD& d = pal[bottom[x0 + 1]];
        const int ca[3] = {a.rgbBlue, a.rgbGreen, a.rgbRed}, cb[3] = {b.rgbBlue, b.rgbGreen, b.rgbRed};
        const int cc[3] = {c.rgbBlue, c.rgbGreen, c.rgbRed}, cd[3] = {d.rgbBlue, d.rgbGreen, d.rgbRed};
        for (int k = 0; k < 3; ++k) {
            const int upper = ca[k] * (256 - fx) + cb[k] * fx;
            const int lower = cc[k] * (256 - fx) + cd[k] * fx;
            out[k] = (upper * (256 - fy) + lower * fy + 32768) >> 16;
        }
        return;
    }
    const unsigned char* a = top + x0 * bytes;
    const unsigned char* c = bottom + x0 * bytes;
    for (int k = 0; k < 3; ++k) {
        const int upper = a[k] * (256 - fx) + a[k + bytes] * fx;
        const int lower = c[k] * (256 - fx) + c[k + bytes] * fx;
        out[k] = (upper * (256 - fy) + lower * fy + 32768) >> 16;
    }
}

}  // namespace

void WarpPicture(const SourcePicture& source, const PageMapping& mapping, bool grey,
                 unsigned char* out, int width, int height) {
    const int outStride = pixel::RowStride(width, grey ? 8 : 24);
    const int stride = source.Stride();
    const Homography& toPage = mapping.outputToPage;
    const Homography toInput = mapping.pageToInput.After(toPage);
    // Input pixel (i, j) has its centre at (i + .5, j + .5); bilinear sampling needs a right and
    // lower neighbour, so positions are kept just inside the last centres.
    const double maxX = source.width - 1.0 - 1.0 / 512, maxY = source.height - 1.0 - 1.0 / 512;
    for (int v = 0; v < height; ++v) {
        unsigned char* row = out + static_cast<long long>(height - 1 - v) * outStride;
        const double cy = v + 0.5;
        for (int u = 0; u < width; ++u) {
            const double cx = u + 0.5;
            int colour[3] = {mapping.fill[0], mapping.fill[1], mapping.fill[2]};
            const Point page = toPage.Map({cx, cy});
            if (page.x >= 0 && page.y >= 0 && page.x <= mapping.pageWidth &&
                page.y <= mapping.pageHeight) {
                const Point in = toInput.Map({cx, cy});
                const double x = in.x - 0.5, y = in.y - 0.5;
                // Within half a pixel of the outermost centres the picture's own edge is shown.
                if (x >= -0.5 && y >= -0.5 && x <= maxX + 0.5 && y <= maxY + 0.5)
                    Bilinear(source, stride, std::clamp(x, 0.0, maxX), std::clamp(y, 0.0, maxY),
                             colour);
            }
            if (grey) {
                row[u] = static_cast<unsigned char>(
                    Luminance(float(colour[0]), float(colour[1]), float(colour[2])) + 0.5f);
            } else {
                row[3 * u] = static_cast<unsigned char>(colour[0]);
                row[3 * u + 1] = static_cast<unsigned char>(colour[1]);
                row[3 * u + 2] = static_cast<unsigned char>(colour[2]);
            }
        }
    }
}

}  // namespace imgdesk::scan
