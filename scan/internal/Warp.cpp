#include "scan/internal/Warp.h"

#include <algorithm>
#include <cmath>

#include "pixel/internal/PixelLayout.h"
#include "scan/internal/Reduce.h"

namespace imgdesk::scan {
namespace {

// Reads the colour of one input pixel: Bytes 1 through the palette, else blue, green, red first.
template <int Bytes>
struct PixelReader {
    const tagRGBQUAD* palette;
    void Read(const unsigned char* p, int bgr[3]) const {
        if constexpr (Bytes == 1) {
            const tagRGBQUAD& c = palette[*p];
            bgr[0] = c.rgbBlue, bgr[1] = c.rgbGreen, bgr[2] = c.rgbRed;
        } else {
            bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
        }
    }
};

template <int Bytes>
void WarpRows(const SourcePicture& source, const PageMapping& mapping, bool grey,
              unsigned char* out, int width, int height) {
    const int outStride = pixel::RowStride(width, grey ? 8 : 24);
    const int stride = source.Stride();
    const PixelReader<Bytes> reader{source.palette};
    const Homography toInput = mapping.pageToInput.After(mapping.outputToPage);
    // Input pixel (i, j) has its centre at (i + .5, j + .5); bilinear sampling needs a right and
    // lower neighbour, so positions are kept just inside the last centres.
    const double maxX = source.width - 1.0 - 1.0 / 512, maxY = source.height - 1.0 - 1.0 / 512;
    const double* a = mapping.outputToPage.m;  // a turn and shift: its last row is 0 0 1
    const double* h = toInput.m;
    // The last memory row is display row 0.
    const unsigned char* displayTop = source.pixels + static_cast<long long>(source.height - 1) * stride;
    for (int v = 0; v < height; ++v) {
        unsigned char* row = out + static_cast<long long>(height - 1 - v) * outStride;
        const double cy = v + 0.5;
        // Both maps are linear along a row before the projective division.
        double pageX = a[0] * 0.5 + a[1] * cy + a[2], pageY = a[3] * 0.5 + a[4] * cy + a[5];
        double inX = h[0] * 0.5 + h[1] * cy + h[2], inY = h[3] * 0.5 + h[4] * cy + h[5];
        double inW = h[6] * 0.5 + h[7] * cy + h[8];
        for (int u = 0; u < width; ++u, pageX += a[0], pageY += a[3], inX += h[0], inY += h[3],
                 inW += h[6]) {
            int colour[3] = {mapping.fill[0], mapping.fill[1], mapping.fill[2]};
            const double x = inX / inW - 0.5, y = inY / inW - 0.5;
            // Within half a pixel of the outermost centres the picture's own edge is shown.
            if (pageX >= 0 && pageY >= 0 && pageX <= mapping.pageWidth &&
                pageY <= mapping.pageHeight && x >= -0.5 && y >= -0.5 && x <= maxX + 0.5 &&
                y <= maxY + 0.5) {
                const int ix = static_cast<int>(std::clamp(x, 0.0, maxX) * 256.0);
                const int iy = static_cast<int>(std::clamp(y, 0.0, maxY) * 256.0);
                const int fx = ix & 255, fy = iy & 255;
                const unsigned char* top = displayTop - static_cast<long long>(iy >> 8) * stride +
                                           (ix >> 8) * Bytes;
                const unsigned char* bottom = top - stride;
                int c00[3], c10[3], c01[3], c11[3];
                reader.Read(top, c00);
                reader.Read(top + Bytes, c10);
                reader.Read(bottom, c01);
                reader.Read(bottom + Bytes, c11);
                for (int k = 0; k < 3; ++k) {
                    const int upper = c00[k] * (256 - fx) + c10[k] * fx;
                    const int lower = c01[k] * (256 - fx) + c11[k] * fx;
                    colour[k] = (upper * (256 - fy) + lower * fy + 32768) >> 16;
                }
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

}  // namespace

void WarpPicture(const SourcePicture& source, const PageMapping& mapping, bool grey,
                 unsigned char* out, int width, int height) {
    switch (source.bits) {
    case 8: WarpRows<1>(source, mapping, grey, out, width, height); break;
    case 24: WarpRows<3>(source, mapping, grey, out, width, height); break;
    default: WarpRows<4>(source, mapping, grey, out, width, height); break;
    }
}

}  // namespace imgdesk::scan
