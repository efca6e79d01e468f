#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "pixel/DataHandler.h"

using imgdesk::test::Bytes;
using imgdesk::test::ExpectCleanRefusals;

namespace {

// A buffer holding each listed level the given number of times, in order.
Bytes Levels(std::initializer_list<std::pair<int, int>> levelsAndCounts) {
    Bytes bytes;
    for (auto [level, count] : levelsAndCounts)
        bytes.insert(bytes.end(), count, static_cast<unsigned char>(level));
    return bytes;
}

int Stretch(Bytes& bytes) {
    return CDataHandler().GreyDegreeExtend(bytes.data(), static_cast<int>(bytes.size()), 1);
}

TEST(GreyDegreeExtend, WorkedExampleAndSingleOutliers) {
    // Limits 10 and 240 are held twice; the single pixels at 0 and 255 do not move them.
    const Bytes input = Levels({{0, 1},
                                {10, 2},
                                {39, 1},
                                {40, 1},
                                {41, 1},
                                {100, 1},
                                {209, 1},
                                {210, 1},
                                {211, 1},
                                {240, 2},
                                {255, 1}});
    const Bytes out = ExpectCleanRefusals(input, [&](unsigned char* b) {
        return CDataHandler().GreyDegreeExtend(b, static_cast<int>(input.size()), 1);
    });
    EXPECT_EQ(Levels({{0, 1},
                      {0, 2},
                      {0, 1},
                      {0, 1},
                      {1, 1},
                      {89, 1},
                      {252, 1},
                      {254, 1},
                      {255, 1},
                      {255, 2},
                      {255, 1}}),
              out);
}

TEST(GreyDegreeExtend, MarginsDroppedWhereTheyDoNotFit) {
    // Darkest populated level 230: no lower margin; 250 - 30 is not above 230: no upper margin.
    Bytes high = Levels({{230, 2}, {240, 1}, {250, 2}});
    ASSERT_EQ(1, Stretch(high));
    EXPECT_EQ(Levels({{0, 2}, {121, 1}, {243, 2}}), high);

    // L = 130 from level 100; 140 - 30 is not above it, so H = 140 and R = 10.
    Bytes narrow = Levels({{100, 2}, {135, 1}, {140, 2}});
    ASSERT_EQ(1, Stretch(narrow));
    EXPECT_EQ(Levels({{0, 2}, {116, 1}, {232, 2}}), narrow);

    // Lower margin kept, outlier ignored: 0 once, 50..200 populated: L = 80.
    Bytes spread = Levels({{0, 1}, {50, 2}, {80, 2}, {81, 1}, {200, 2}});
    ASSERT_EQ(1, Stretch(spread));
    EXPECT_EQ(0, spread[3]);
    EXPECT_EQ(3, spread[5]);  // 255 / 91 rounded to float, once, plus a half
}

TEST(GreyDegreeExtend, RefusesNarrowRanges) {
    for (Bytes bytes : {Levels({{100, 2}, {104, 2}}), Levels({{10, 1}, {200, 1}, {90, 1}}),
                        Levels({{0, 2}, {34, 2}})}) {
        const Bytes before = bytes;
        EXPECT_EQ(0, Stretch(bytes));
        EXPECT_EQ(before, bytes);
    }
}

TEST(GreyDegreeSingle, ThresholdIsExclusive) {
    Bytes all(1000);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<unsigned char>(i * 7);
    for (int threshold : {-5, 0, 100, 254, 255, 300}) {
        Bytes work = all;
        ASSERT_EQ(1, CDataHandler().GreyDegreeSingle(work.data(), 10, 100, threshold));
        for (size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(all[i] > threshold ? 255 : 0, work[i])
                << "threshold " << threshold << " byte " << i;
    }
}

TEST(GreyDegreeSingle, Refusals) {
    unsigned char byte = 200;
    CDataHandler h;
    EXPECT_EQ(0, h.GreyDegreeSingle(nullptr, 1, 1, 100));
    EXPECT_EQ(0, h.GreyDegreeSingle(&byte, 0, 1, 100));
    EXPECT_EQ(0, h.GreyDegreeSingle(&byte, 1, 0, 100));
    EXPECT_EQ(200, byte);
}

int Binarize(Bytes& bytes) {
    return CDataHandler().Binarization(bytes.data(), 1, static_cast<int>(bytes.size()));
}

TEST(Binarization, WorkedExamples) {
    Bytes a = Levels({{50, 700}, {200, 300}});
    ASSERT_EQ(1, Binarize(a));
    EXPECT_EQ(Levels({{0, 700}, {255, 300}}), a);

    Bytes b = Levels({{40, 500}, {120, 300}, {220, 200}});
    ASSERT_EQ(1, Binarize(b));
    EXPECT_EQ(Levels({{0, 800}, {255, 200}}), b);
}

TEST(Binarization, EmptyUpperClassStopsAtTheMean) {
    Bytes uniform(64, 77);
    ASSERT_EQ(1, Binarize(uniform));
    EXPECT_EQ(Bytes(64, 0), uniform);

    // Mean 254.75: the split lies above every level, the specks go black, white stays white.
    Bytes specks = Levels({{255, 1019}, {0, 1}});
    ASSERT_EQ(1, Binarize(specks));
    EXPECT_EQ(specks, Levels({{255, 1019}, {0, 1}}));
}

TEST(Binarization, LevelsHeldByMillionsOfPixels) {
    // 250 x 9 000 000 does not fit 32 bits; the mean must still come out as 226.
    Bytes big = Levels({{10, 1000000}, {250, 9000000}});
    ASSERT_EQ(1, Binarize(big));
    EXPECT_EQ(0, big.front());
    EXPECT_EQ(255, big.back());
    EXPECT_EQ(255, big[1000000]);
    EXPECT_EQ(0, big[999999]);
}

}  // namespace
