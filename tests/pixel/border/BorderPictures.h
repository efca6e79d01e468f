#pragma once

// Pictures for the border suites: dark backgrounds with bright pages, at any bit count.
#include <cmath>
#include <cstddef>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "platform/WinTypes.h"

namespace imgdesk::test {

using Bytes = std::vector<unsigned char>;

// A pixel buffer of the given level everywhere (8-bit: the byte; 24/32-bit: blue = green = red).
// Padding bytes are 0x5A so that reading them as pixels shows.
class Picture {
public:
    Picture(int width, int height, int bitsPerPixel, unsigned char level = 0)
        : width_(width),
          height_(height),
          bits_(bitsPerPixel),
          stride_(pixel::RowStride(width, bitsPerPixel)),
          bytes_(static_cast<size_t>(stride_) * height, 0x5A) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                Set(x, y, level);
    }

    void Set(int x, int y, unsigned char level) {
        unsigned char* p = bytes_.data() + static_cast<size_t>(y) * stride_ + x * bits_ / 8;
        for (int c = 0; c < bits_ / 8; ++c)
            p[c] = level;
    }
    // Fills columns [left, right) of rows [top, bottom).
    void Fill(int left, int top, int right, int bottom, unsigned char level) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                Set(x, y, level);
    }
    unsigned char* data() { return bytes_.data(); }
    int width() const { return width_; }
    int height() const { return height_; }
    int bits() const { return bits_; }

private:
    int width_, height_, bits_, stride_;
    Bytes bytes_;
};

inline std::vector<tagRGBQUAD> GreyPalette() {
    std::vector<tagRGBQUAD> palette(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        palette[i] = {v, v, v, 0};
    }
    return palette;
}

// A white page of pageWidth x pageHeight centred at (cx, cy), turned so that its first-row edge
// makes the angle phi (radians) with the x axis, its row index growing with x for positive phi.
// A pixel is white when its centre lies inside the page.
inline void DrawTurnedPage(Picture& picture, double cx, double cy, double pageWidth,
                           double pageHeight, double phi, unsigned char level = 255) {
    const double c = std::cos(phi), s = std::sin(phi);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double u = dx * c + dy * s;   // along the first-row edge
            const double v = -dx * s + dy * c;  // along the page's sides
            if (std::fabs(u) <= pageWidth / 2 && std::fabs(v) <= pageHeight / 2)
                picture.Set(x, y, level);
        }
    }
}

}  // namespace imgdesk::test
