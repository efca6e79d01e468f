#pragma once

// Pictures for the geometry suites: NewMem buffers, as the buffer-replacing operations require.
#include <cstring>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "service/CoreKit.h"

namespace imgdesk::test {

using Bytes = std::vector<unsigned char>;

// Pixel bytes follow a pattern in which every byte of a small picture differs from its
// neighbours; padding bytes are 0xEE so that reading them as pixels shows.
inline Bytes PatternPicture(int width, int height, int bitsPerPixel, int seed = 1) {
    const int stride = pixel::RowStride(width, bitsPerPixel);
    Bytes bytes(static_cast<size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < pixel::RowBytes(width, bitsPerPixel); ++i)
            bytes[y * stride + i] = static_cast<unsigned char>(y * 97 + i * 13 + seed * 5);
    return bytes;
}

inline unsigned char* ToNewMem(const Bytes& bytes) {
    auto* block = static_cast<unsigned char*>(NewMem(static_cast<int>(bytes.size())));
    std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

inline Bytes FromBuffer(const unsigned char* buffer, long width, long height, int bitsPerPixel) {
    const size_t size = static_cast<size_t>(pixel::RowStride(int(width), bitsPerPixel)) * height;
    return Bytes(buffer, buffer + size);
}

// Bytes of pixel (x, y).
inline const unsigned char* PixelAt(const Bytes& bytes, int width, int bitsPerPixel, int x, int y) {
    return bytes.data() + static_cast<size_t>(y) * pixel::RowStride(width, bitsPerPixel) +
           x * bitsPerPixel / 8;
}

}  // namespace imgdesk::test
