#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/WaveletLifting.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;

TEST(DWT_Once, RampCoefficientsAndTheirStretch) {
    // The centred ramp 10, 12, ..., 24 split into evens and odds; the last predict uses the two
    // last evens. The same ramp down two side-by-side lanes gives the same coefficients.
    const std::vector<short> split = {-118, -114, -110, -106, -116, -112, -108, -104};
    std::vector<short> line = split, lanes(16);
    imgdesk::pixel::LiftAndScale(line.data(), line.data() + 4, 4, 1, 1);
    EXPECT_EQ((std::vector<short>{-166, -161, -155, -148, 0, 0, 0, 2}), line);
    for (int k = 0; k < 16; ++k)
        lanes[k] = split[k / 2];
    imgdesk::pixel::LiftAndScale(lanes.data(), lanes.data() + 8, 4, 2, 2);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(line[k / 2], lanes[k]) << k;
    // A picture of four such rows: the column step scales the low rows by 1.414 again (-234 -227
    // -219 -209 0 0 0 2) and leaves the high rows 0; the stretch spans -234..2.
    Bytes source(32), destination(32, 1);
    for (int i = 0; i < 32; ++i)
        source[i] = static_cast<unsigned char>(10 + 2 * (i % 8));
    CDataHandler().DWT_Once(source.data(), 8, destination.data(), 8, 4, 1);
    const Bytes low = {0, 7, 16, 27, 252, 252, 252, 255};
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(i < 16 ? low[i % 8] : 252, destination[i]) << i;
}

TEST(DWT_Once, RefusesWithoutWritingAnything) {
    // No whole channel, levels other than 1, odd or too small sizes: nothing written.
    const Bytes source = RandomBytes(8 * 4, 6);
    for (auto [bits, width, height, level] :
         {std::array{4, 8, 4, 1}, {8, 8, 4, 2}, {8, 8, 4, 0}, {8, 7, 4, 1}, {8, 8, 2, 1}}) {
        Bytes destination(source.size(), 9);
        CDataHandler().DWT_Once(const_cast<unsigned char*>(source.data()), bits, destination.data(),
                                width, height, level);
        EXPECT_EQ(Bytes(source.size(), 9), destination)
            << bits << " " << width << "x" << height << " " << level;
    }
}

}  // namespace
