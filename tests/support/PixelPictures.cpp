#include "support/PixelPictures.h"

#include <cstring>

#include "pixel/internal/PixelLayout.h"
#include "service/CoreKit.h"

namespace imgdesk::test {

Bytes RandomBytes(std::size_t count, std::uint32_t seed, int lo, int hi) {
    Bytes bytes(count);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(lo + (seed >> 16) % static_cast<unsigned>(hi - lo + 1));
    }
    return bytes;
}

Bytes PatternPicture(int width, int height, int bitsPerPixel, int seed) {
    const int stride = pixel::RowStride(width, bitsPerPixel);
    Bytes bytes(std::size_t(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < pixel::RowBytes(width, bitsPerPixel); ++i)
            bytes[std::size_t(y) * stride + i] =
                static_cast<unsigned char>(y * 97 + i * 13 + seed * 5);
    return bytes;
}

Picture::Picture(int width_, int height_, int bitsPerPixel, unsigned char level)
    : width(width_),
      height(height_),
      bits(bitsPerPixel),
      stride(pixel::RowStride(width_, bitsPerPixel)),
      bytes(std::size_t(stride) * height_, 0xEE) {
    Fill(0, 0, width, height, level);
}

void Picture::Set(int x, int y, unsigned char level) {
    std::memset(At(x, y), level, bits / 8);
}

void Picture::Fill(int left, int top, int right, int bottom, unsigned char level) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            Set(x, y, level);
}

std::vector<tagRGBQUAD> GreyPalette(bool inverted) {
    std::vector<tagRGBQUAD> palette(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(inverted ? 255 - i : i);
        palette[i] = {v, v, v, 0};
    }
    return palette;
}

int GreyLevel(int blue, int green, int red) {
    return static_cast<int>((green * 0.59 + red * 0.3) + blue * 0.11);
}

unsigned char* ToNewMem(const Bytes& bytes) {
    auto* block = static_cast<unsigned char*>(NewMem(static_cast<int>(bytes.size())));
    std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

Bytes FromBuffer(const unsigned char* buffer, long width, long height, int bitsPerPixel) {
    return Bytes(buffer, buffer + std::size_t(pixel::RowStride(int(width), bitsPerPixel)) * height);
}

}  // namespace imgdesk::test
