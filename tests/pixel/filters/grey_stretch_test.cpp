#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;

// A buffer holding each listed level the given number of times, in order.
Bytes Levels(std::initializer_list<std::pair<int, int>> levelsAndCounts) {
    Bytes bytes;
    for (auto [level, count] : levelsAndCounts)
        bytes.insert(bytes.end(), count, static_cast<unsigned char>(level));
    return bytes;
}

TEST(GreyDegreeExtend, StretchesBetweenTheTrimmedLimits) {
    // The worked example: limits 10 and 240 are held twice (the single pixels at 0 and 255 do not
    // count), so L = 40, H = 210, s = 1.4912281.
    const Bytes worked = Levels({{0, 1},
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
    EXPECT_EQ(Levels({{0, 5}, {1, 1}, {89, 1}, {252, 1}, {254, 1}, {255, 4}}),
              ExpectCleanRefusals(worked, [&](unsigned char* b) {
                  return CDataHandler().GreyDegreeExtend(b, static_cast<int>(worked.size()), 1);
              }));
    const std::pair<Bytes, Bytes> cases[] = {
        // Darkest populated level 230: no lower margin; 250 - 30 is not above 230: no upper one.
        {Levels({{230, 2}, {240, 1}, {250, 2}}), Levels({{0, 2}, {121, 1}, {243, 2}})},
        // L = 130; 140 - 30 is not above it, so H = 140 and R = 10.
        {Levels({{100, 2}, {135, 1}, {140, 2}}), Levels({{0, 2}, {116, 1}, {232, 2}})},
        // A single 0 does not move L below 80; 255 / 91 is rounded to float once.
        {Levels({{0, 1}, {50, 2}, {80, 2}, {81, 1}, {200, 2}}), Levels({{0, 5}, {3, 1}, {255, 2}})},
        // Ranges below 5, or no level held twice: refused, unchanged.
        {Levels({{100, 2}, {104, 2}}), {}},
        {Levels({{10, 1}, {200, 1}, {90, 1}}), {}},
        {Levels({{0, 2}, {34, 2}}), {}},
    };
    for (const auto& [input, expected] : cases) {
        Bytes work = input;
        EXPECT_EQ(expected.empty() ? 0 : 1,
                  CDataHandler().GreyDegreeExtend(work.data(), int(work.size()), 1));
        EXPECT_EQ(expected.empty() ? input : expected, work);
    }
}

TEST(GreyDegreeSingle, ThresholdIsExclusiveAndRefusals) {
    Bytes work = {0, 99, 100, 101, 255, 7};
    ASSERT_EQ(1, CDataHandler().GreyDegreeSingle(work.data(), 3, 2, 100));
    EXPECT_EQ((Bytes{0, 0, 0, 255, 255, 0}), work);
    unsigned char byte = 200;
    EXPECT_EQ(0, CDataHandler().GreyDegreeSingle(nullptr, 1, 1, 100));
    EXPECT_EQ(0, CDataHandler().GreyDegreeSingle(&byte, 0, 1, 100));
    EXPECT_EQ(0, CDataHandler().GreyDegreeSingle(&byte, 1, 0, 100));
    EXPECT_EQ(200, byte);
}

TEST(Binarization, WorkedExamplesAndEmptyUpperClasses) {
    const std::pair<Bytes, Bytes> cases[] = {
        // (a) converges on 150; (b) steers B up and back and keeps 174.29, the earlier threshold.
        {Levels({{50, 700}, {200, 300}}), Levels({{0, 700}, {255, 300}})},
        {Levels({{40, 500}, {120, 300}, {220, 200}}), Levels({{0, 800}, {255, 200}})},
        // The upper class is empty at once: a uniform buffer goes black, and white with a few
        // specks (mean 254.75) keeps its white and blackens the specks.
        {Bytes(64, 77), Bytes(64, 0)},
        {Levels({{255, 1019}, {0, 1}}), Levels({{255, 1019}, {0, 1}})},
        // 250 x 9 000 000 does not fit 32 bits: the mean must still come out as 226.
        {Levels({{10, 1000000}, {250, 9000000}}), Levels({{0, 1000000}, {255, 9000000}})},
    };
    for (const auto& [input, expected] : cases) {
        Bytes work = input;
        ASSERT_EQ(1, CDataHandler().Binarization(work.data(), 1, static_cast<int>(work.size())));
        EXPECT_TRUE(expected == work) << input.size();
    }
}

}  // namespace
