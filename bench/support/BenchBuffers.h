#pragma once

// Test pictures for the benchmarks: 4000 x 3000 (12 megapixels) unless a benchmark says otherwise.
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

}  // namespace imgdesk::bench
