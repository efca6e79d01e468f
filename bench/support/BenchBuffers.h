#pragma once

// Test pictures for the benchmarks: 4000 x 3000 (12 megapixels) unless a benchmark says otherwise.
#include <cmath>
#include <cstdint>
#include <vector>

#include "pixel/internal/PixelLayout.h"

namespace imgdesk::bench {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photograph-like picture: smooth gradients with a little deterministic noise, so that neither
// constant runs nor pure noise flatter an operation.
inline std::vector<unsigned char> PhotoLike(int width, int height, int bitsPerPixel) {
    const int stride = imgdesk::pixel::RowStride(width, bitsPerPixel);
    const int bytesPerPixel = bitsPerPixel / 8;
    std::vector<unsigned char> buffer(static_cast<size_t>(stride) * height);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            for (int c = 0; c < bytesPerPixel; ++c) {
                const int base = (x * (c + 1) / 16 + y * (3 - c % 3) / 12) % 256;
                buffer[static_cast<size_t>(y) * stride + x * bytesPerPixel + c] =
                    static_cast<unsigned char>((base + (noise >> (24 + c)) % 16) & 0xFF);
            }
        }
    }
    return buffer;
}

// The 4000 x 3000 photograph-like picture of 8, 24 or 32 bits per pixel, made on first use and
// kept for every benchmark of the program.
inline const std::vector<unsigned char>& Photo(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 8: {
            static const auto grey = PhotoLike(kWidth, kHeight, 8);
            return grey;
        }
        case 24: {
            static const auto colour = PhotoLike(kWidth, kHeight, 24);
            return colour;
        }
        default: {
            static const auto wide = PhotoLike(kWidth, kHeight, 32);
            return wide;
        }
    }
}

// A 24-bit photograph-like page of 3000 x 2200 pixels turned by angle radians about the middle of
// a 4000 x 3000 picture, on a dark, textured background: inside the page the photograph's levels
// are lifted to 128..255, outside they are pressed to 0..63.
inline std::vector<unsigned char> TurnedPageOnDark(double angle) {
    auto picture = PhotoLike(kWidth, kHeight, 24);
    const int stride = imgdesk::pixel::RowStride(kWidth, 24);
    const double c = std::cos(angle), s = std::sin(angle);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = x - kWidth / 2.0, dy = y - kHeight / 2.0;
            const bool page =
                std::fabs(dx * c + dy * s) < 1500 && std::fabs(-dx * s + dy * c) < 1100;
            unsigned char* p = picture.data() + static_cast<size_t>(y) * stride + x * 3;
            for (int k = 0; k < 3; ++k)
                p[k] = page ? 128 + p[k] / 2 : p[k] / 4;
        }
    }
    return picture;
}

}  // namespace imgdesk::bench
