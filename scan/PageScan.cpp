#include "scan/PageScan.h"

#include <cstring>

#include "service/CoreKit.h"

namespace imgdesk {

bool ScanPage(const unsigned char* pixels, int width, int height, int bits,
              const tagRGBQUAD* palette, PageScanResult& result, const PageScanOptions&) {
    if (!pixels || width < 1 || height < 1 || (bits != 8 && bits != 24 && bits != 32) ||
        (bits == 8 && !palette))
        return false;
    // Placeholder until the finder lands: the picture as 24-bit colour, kept as it is.
    const int inStride = ((width * bits / 8) + 3) & ~3;
    const int outStride = ((width * 3) + 3) & ~3;
    auto* out = static_cast<unsigned char*>(NewMem(outStride * height));
    if (!out)
        return false;
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + static_cast<size_t>(y) * inStride;
        unsigned char* o = out + static_cast<size_t>(y) * outStride;
        for (int x = 0; x < width; ++x) {
            if (bits == 8) {
                const tagRGBQUAD& c = palette[in[x]];
                o[3 * x] = c.rgbBlue, o[3 * x + 1] = c.rgbGreen, o[3 * x + 2] = c.rgbRed;
            } else {
                std::memcpy(o + 3 * x, in + x * (bits / 8), 3);
            }
        }
    }
    result.pixels = out;
    result.width = width;
    result.height = height;
    result.bits = 24;
    result.corners[0] = {0, 0};
    result.corners[1] = {double(width), 0};
    result.corners[2] = {double(width), double(height)};
    result.corners[3] = {0, double(height)};
    result.turnDegrees = 0;
    result.perspectiveCorrected = false;
    result.foundBy = PageFoundBy::Nothing;
    return true;
}

}  // namespace imgdesk
