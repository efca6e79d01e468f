#pragma once

// Working pictures of the page finder: planes of one value per pixel in NewMem blocks, and a read
// view of the caller's bottom-up pixel buffer in display order.
#include <cstddef>

#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"
#include "platform/WinTypes.h"

namespace imgdesk::scan {

// Thrown inside the finder when NewMem comes back empty; the entry point turns it into its
// failure result, so nothing escapes the library.
struct OutOfMemory {};

template <typename T>
class Plane {
public:
    Plane() = default;
    Plane(int width, int height)
        : width_(width),
          height_(height),
          data_(pixel::NewScratch<T>(static_cast<long long>(width) * height)) {
        if (!data_)
            throw OutOfMemory{};
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    T* Row(int y) { return data_.get() + static_cast<std::ptrdiff_t>(y) * width_; }
    const T* Row(int y) const { return data_.get() + static_cast<std::ptrdiff_t>(y) * width_; }
    T& At(int x, int y) { return Row(y)[x]; }
    T At(int x, int y) const { return Row(y)[x]; }
    T* Data() { return data_.get(); }
    const T* Data() const { return data_.get(); }
    // Bilinear value at continuous coordinates (pixel centres at +0.5), clamped to the plane.
    float Sample(float x, float y) const;

private:
    int width_ = 0;
    int height_ = 0;
    pixel::ScratchPtr<T> data_;
};

template <typename T>
float Plane<T>::Sample(float x, float y) const {
    x -= 0.5f;
    y -= 0.5f;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (x > width_ - 1)
        x = static_cast<float>(width_ - 1);
    if (y > height_ - 1)
        y = static_cast<float>(height_ - 1);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = x0 + 1 < width_ ? x0 + 1 : x0, y1 = y0 + 1 < height_ ? y0 + 1 : y0;
    const float fx = x - x0, fy = y - y0;
    const float top = At(x0, y0) + (At(x1, y0) - At(x0, y0)) * fx;
    const float bottom = At(x0, y1) + (At(x1, y1) - At(x0, y1)) * fx;
    return top + (bottom - top) * fy;
}

// The caller's picture, read in display order (row 0 at the top).
struct SourcePicture {
    const unsigned char* pixels;
    int width;
    int height;
    int bits;
    const tagRGBQUAD* palette;  // 8 bits only

    int Stride() const { return pixel::RowStride(width, bits); }
    const unsigned char* DisplayRow(int y) const {
        return pixels + static_cast<std::ptrdiff_t>(height - 1 - y) * Stride();
    }
    // Blue, green and red of pixel x of a display row.
    void Colour(const unsigned char* row, int x, unsigned char bgr[3]) const {
        if (bits == 8) {
            const tagRGBQUAD& entry = palette[row[x]];
            bgr[0] = entry.rgbBlue, bgr[1] = entry.rgbGreen, bgr[2] = entry.rgbRed;
        } else {
            const unsigned char* p = row + x * (bits / 8);
            bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
        }
    }
};

}  // namespace imgdesk::scan
