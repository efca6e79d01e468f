#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "BorderPictures.h"
#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::test::DrawTurnedPage;
using imgdesk::test::GreyPalette;
using imgdesk::test::MemoryProbe;
using imgdesk::test::Picture;

constexpr double kDegree = 3.14159265358979323846 / 180.0;

float Skew(Picture& picture, tagRGBQUAD* palette = nullptr) {
    return CDataHandler().CheckRotatePicture(picture.data(), picture.width(), picture.height(),
                                             picture.bits(), palette);
}

Picture TurnedPage(int bits, double degrees, unsigned char background = 30) {
    Picture picture(400, 300, bits, background);
    DrawTurnedPage(picture, 200, 150, 220, 160, degrees * kDegree);
    return picture;
}

// Observed over 100 positions of a 220 x 160 page in a 400 x 300 picture (every offset of the
// 10-pixel sampling grid): turns of 13 to 44 degrees either way come back within 0.5 degrees.
// Smaller turns are not measured reliably, because the corner rows and columns are sample rows
// and columns: when the last column sample of the band lies beyond the page's outermost vertex,
// or the first row sample cuts the page just below its top vertex, the runs end on another side
// of the page or are a pixel or two long. Results off by 20 degrees and more were seen for turns
// of 2 to 12 degrees (most often for positive turns, up to half of the positions) and of -2 and
// -3 degrees (a few positions).
TEST(CheckRotatePicture, MeasuresMinusTheTurnOfAPage) {
    for (int degrees = -44; degrees <= 44; ++degrees) {
        if (std::abs(degrees) < 13)
            continue;
        // Three positions per turn, a different three for each turn; 32-bit pictures now and then.
        for (int k = 0; k < 3; ++k) {
            const int offset = (degrees * 7 + k * 3 + 44) % 10;
            const int bits = k == 0 && degrees % 4 == 0 ? 32 : 24;
            Picture picture(400, 300, bits, 30);
            DrawTurnedPage(picture, 200 + offset, 150 + (offset * 7 + k) % 10, 220, 160,
                           degrees * kDegree);
            EXPECT_NEAR(Skew(picture) / kDegree, -degrees, 0.5)
                << bits << " bits, turn " << degrees << ", offset " << offset;
        }
    }
}

TEST(CheckRotatePicture, UnturnedOrMissingPageGivesZero) {
    Picture straight = TurnedPage(24, 0);
    EXPECT_EQ(Skew(straight), 0.0f);
    Picture dark(400, 300, 24, 10);
    EXPECT_EQ(Skew(dark), 0.0f);
    EXPECT_EQ(CDataHandler().CheckRotatePicture(nullptr, 400, 300, 24, nullptr), 0.0f);
    EXPECT_EQ(CDataHandler().CheckRotatePicture(straight.data(), 400, 300, 16, nullptr), 0.0f);
}

TEST(CheckRotatePicture, EightBitCornersCompareTheBytes) {
    auto grey = GreyPalette();
    Picture picture = TurnedPage(8, 20);
    const float withGreyPalette = Skew(picture, grey.data());
    EXPECT_NEAR(withGreyPalette / kDegree, -20.0, 0.5);
    // The same picture through an inverted palette with inverted bytes: the page is found through
    // the palette, but the corner scans see the bytes, bright background and dark page.
    Picture inverted = TurnedPage(8, 12, 255 - 30);
    DrawTurnedPage(inverted, 200, 150, 220, 160, 12 * kDegree, 0);
    auto palette = GreyPalette();
    for (auto& entry : palette)
        entry.rgbRed = entry.rgbGreen = entry.rgbBlue = 255 - entry.rgbRed;
    EXPECT_EQ(Skew(inverted, palette.data()), 0.0f);
}

TEST(CheckRotatePicture, ResultIsMinusTheMeanOfTheTwoCorners) {
    // A page whose two first-row corners are cut differently: the left corner sees a run of 4
    // across and 8 down (atan 1/2), the right one is square (estimate 0).
    Picture picture(200, 150, 24, 0);
    picture.Fill(20, 20, 180, 130, 255);
    for (int y = 20; y < 40; ++y)
        for (int x = 20; x < 60; ++x)
            if ((x - 20) * 2 + (y - 20) < 40)
                picture.Set(x, y, 0);
    const float measured = Skew(picture);
    // The rectangle's first row is the sample row 30 and its left column the sample column 30.
    // Along row 30 from column 30: dark while 2 (x - 20) + 10 < 40, i.e. x < 35: 5 pixels. Down
    // column 30: dark while 20 + (y - 20) < 40, i.e. y < 40: 10 pixels.
    const float expected = static_cast<float>(std::atan(double(5.0f / 10.0f)) * -0.5);
    EXPECT_EQ(measured, expected);
}

TEST(CheckRotatePicture, FailedAllocationsGiveZeroAndLeaveNoBlock) {
    MemoryProbe probe;
    Picture picture = TurnedPage(24, -20);
    float result = 1.0f;
    imgdesk::test::ForEachFailingAllocation(
        probe, [&] { result = Skew(picture); },
        [&](int) {
            EXPECT_EQ(result, 0.0f);
            EXPECT_EQ(probe.LiveBlocks(), 0);
        });
    EXPECT_NEAR(result / kDegree, 20.0, 0.5);
}

}  // namespace
