#pragma once

// Pixel buffers for the pixel suites: noise, patterned and painted pictures at the stride rule,
// the grey level of a colour, and NewMem copies for the operations that replace their buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/WinTypes.h"

namespace imgdesk::test {

using Bytes = std::vector<unsigned char>;

// Deterministic noise in lo..hi.
Bytes RandomBytes(std::size_t count, std::uint32_t seed, int lo = 0, int hi = 255);

// Pixel bytes in which neighbouring bytes differ; padding bytes are 0xEE, so that reading them as
// pixels shows.
Bytes PatternPicture(int width, int height, int bitsPerPixel, int seed = 1);

// A picture of one level (every byte of a pixel alike, padding 0xEE) to paint on.
struct Picture {
    Picture(int width, int height, int bitsPerPixel, unsigned char level = 0);
    unsigned char* At(int x, int y) {
        return bytes.data() + std::size_t(y) * stride + x * bits / 8;
    }
    void Set(int x, int y, unsigned char level);
    void Fill(int left, int top, int right, int bottom,
              unsigned char level);  // right, bottom excl.
    unsigned char* data() { return bytes.data(); }
    int width, height, bits, stride;
    Bytes bytes;
};

std::vector<tagRGBQUAD> GreyPalette(bool inverted = false);

// The grey level of a colour: the double-precision weighted sum, truncated.
int GreyLevel(int blue, int green, int red);

// A NewMem copy, for the operations that release the caller's buffer and hand back a new one.
unsigned char* ToNewMem(const Bytes& bytes);
Bytes FromBuffer(const unsigned char* buffer, long width, long height, int bitsPerPixel);

}  // namespace imgdesk::test
