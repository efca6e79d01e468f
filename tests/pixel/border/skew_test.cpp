#include <gtest/gtest.h>

#include <cmath>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;

constexpr double kDegree = 3.14159265358979323846 / 180.0;

// A 400 x 300 picture with a 220 x 160 page centred at (cx, cy), its first-row edge at the angle
// (its row index growing with x for positive angles); a pixel is the page's when its centre is.
Picture TurnedPage(int bits, double degrees, double cx = 200, double cy = 150,
                   unsigned char page = 255, unsigned char background = 30) {
    Picture picture(400, 300, bits, background);
    const double c = std::cos(degrees * kDegree), s = std::sin(degrees * kDegree);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            if (std::fabs(dx * c + dy * s) <= 110 && std::fabs(dy * c - dx * s) <= 80)
                picture.Set(x, y, page);
        }
    return picture;
}

float Skew(Picture& picture, tagRGBQUAD* palette = nullptr) {
    return CDataHandler().CheckRotatePicture(picture.data(), picture.width, picture.height,
                                             picture.bits, palette);
}

// Turns of 13 to 44 degrees either way come back within half a degree wherever the page lies on
// the 10-pixel sampling grid. Smaller turns are not measured reliably: the corner rows and columns
// are sample rows and columns, and a sample beyond the page's outermost vertex, or cutting the
// page just below its top vertex, ends the runs on another side; errors of 20 degrees and more
// were seen for turns of 2 to 12 degrees and of -2 and -3 degrees.
TEST(CheckRotatePicture, MeasuresMinusTheTurnOfAPage) {
    for (int degrees : {-44, -30, -13, 13, 30, 44})
        for (int k = 0; k < 3; ++k) {
            const int offset = (degrees * 7 + k * 3 + 44) % 10,
                      bits = k == 0 && degrees % 4 == 0 ? 32 : 24;
            Picture picture = TurnedPage(bits, degrees, 200 + offset, 150 + (offset * 7 + k) % 10);
            EXPECT_NEAR(Skew(picture) / kDegree, -degrees, 0.5)
                << bits << " bits, " << degrees << ", " << offset;
        }
    // 8-bit corners compare the bytes, not the palette colours: through an inverted palette the
    // page is found, but the corner scans see a bright background and a dark page.
    Picture grey = TurnedPage(8, 20), inverted = TurnedPage(8, 12, 200, 150, 0, 255 - 30);
    EXPECT_NEAR(Skew(grey, GreyPalette().data()) / kDegree, -20.0, 0.5);
    EXPECT_EQ(0.0f, Skew(inverted, GreyPalette(true).data()));
}

TEST(CheckRotatePicture, ResultIsMinusTheMeanOfTheTwoCorners) {
    // The left first-row corner is cut off: along sample row 30 from column 30 the run is dark
    // while 2 (x - 20) + 10 < 40 (5 pixels), down column 30 while y < 40 (10 pixels); the right
    // corner is square (estimate 0).
    Picture picture(200, 150, 24, 0);
    picture.Fill(20, 20, 180, 130, 255);
    for (int y = 20; y < 40; ++y)
        for (int x = 20; x < 60; ++x)
            if ((x - 20) * 2 + (y - 20) < 40)
                picture.Set(x, y, 0);
    EXPECT_EQ(static_cast<float>(std::atan(double(5.0f / 10.0f)) * -0.5), Skew(picture));
}

TEST(CheckRotatePicture, ZeroWithoutATurnedPageAndOnFailures) {
    Picture straight = TurnedPage(24, 0), dark(400, 300, 24, 10), turned = TurnedPage(24, -20);
    EXPECT_EQ(0.0f, Skew(straight));
    EXPECT_EQ(0.0f, Skew(dark));
    EXPECT_EQ(0.0f, CDataHandler().CheckRotatePicture(nullptr, 400, 300, 24, nullptr));
    EXPECT_EQ(0.0f, CDataHandler().CheckRotatePicture(straight.data(), 400, 300, 16, nullptr));
    float result = 1.0f;
    ExpectCleanFailures([&] { result = Skew(turned); },
                        [&](int failed) {
                            if (failed)
                                EXPECT_EQ(0.0f, result);
                            else
                                EXPECT_NEAR(20.0, result / kDegree, 0.5);
                        });
}

}  // namespace
