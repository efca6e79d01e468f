#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "BorderPictures.h"
#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/Printers.h"

namespace {

using imgdesk::test::GreyPalette;
using imgdesk::test::MemoryProbe;
using imgdesk::test::Picture;

// The 200 x 150 picture of the worked example: black with a white page over columns 40..159 and
// rows 30..119.
Picture WorkedExample(int bitsPerPixel) {
    Picture picture(200, 150, bitsPerPixel, 0);
    picture.Fill(40, 30, 160, 120, 255);
    return picture;
}

CRect Search(Picture& picture, const CRect& rect, tagRGBQUAD* palette = nullptr) {
    return CDataHandler().GetBlackSideRect(picture.data(), picture.width(), picture.height(),
                                           picture.bits(), palette, rect);
}

CRect SearchAll(Picture& picture, tagRGBQUAD* palette = nullptr) {
    return Search(picture, CRect(0, 0, picture.width(), picture.height()), palette);
}

TEST(GetBlackSideRect, WorkedExampleAtEveryBitCount) {
    auto palette = GreyPalette();
    for (int bits : {8, 24, 32}) {
        SCOPED_TRACE(bits);
        Picture picture = WorkedExample(bits);
        EXPECT_EQ(SearchAll(picture, palette.data()), CRect(40, 30, 170, 130));
    }
}

TEST(GetBlackSideRect, WhitePictureGivesTheWholePicture) {
    Picture picture(200, 150, 24, 255);
    EXPECT_EQ(SearchAll(picture), CRect(0, 0, 200, 150));
}

TEST(GetBlackSideRect, NoBandGivesTheGrownEmptyRectangle) {
    Picture dark(200, 150, 24, 0);
    EXPECT_EQ(SearchAll(dark), CRect(0, 0, 10, 10));
    // Bright rows too short to hold 30 bright pixels after erosion open no band.
    Picture narrow(200, 150, 24, 0);
    narrow.Fill(40, 30, 71, 120, 255);  // 31 wide, 27 after two erosions
    EXPECT_EQ(SearchAll(narrow), CRect(0, 0, 10, 10));
    // Away from the origin the grown empty rectangle misses the search rectangle entirely.
    EXPECT_EQ(Search(dark, CRect(20, 20, 200, 150)), CRect(0, 0, 0, 0));
}

TEST(GetBlackSideRect, PageReachingTheLastRowClosesAtTheLastSample) {
    Picture picture(200, 150, 24, 0);
    picture.Fill(40, 30, 160, 150, 255);
    // The band closes at sample row 140 (the last one), so the page ends at 140 + 10.
    EXPECT_EQ(SearchAll(picture), CRect(40, 30, 170, 150));
    // With a height that is not a multiple of 10 the last sample is row 150.
    Picture taller(200, 155, 24, 0);
    taller.Fill(40, 30, 160, 155, 255);
    EXPECT_EQ(SearchAll(taller), CRect(40, 30, 170, 155));
}

TEST(GetBlackSideRect, ThirtyBrightPixelsOpenABandButDoNotKeepItOpen) {
    Picture picture(200, 150, 8, 0);
    picture.Fill(40, 30, 74, 100, 255);  // columns 42..71 after erosion: 30 per row
    // Opened at sample row 40, closed at 50; columns 50..79 form the column band.
    auto palette = GreyPalette();
    EXPECT_EQ(SearchAll(picture, palette.data()), CRect(40, 30, 90, 60));
}

TEST(GetBlackSideRect, OfEqualScoresTheFirstCandidateStays) {
    Picture picture(300, 150, 24, 0);
    picture.Fill(40, 30, 100, 120, 255);
    picture.Fill(160, 30, 220, 120, 255);
    EXPECT_EQ(SearchAll(picture), CRect(40, 30, 110, 130));
    // One more bright column on the right page makes its candidate win.
    picture.Fill(160, 30, 221, 120, 255);
    EXPECT_EQ(SearchAll(picture), CRect(160, 30, 230, 130));
}

TEST(GetBlackSideRect, AColumnBandLeftOpenIsNotScored) {
    // A strip that only the last column sample sees opens a column band that no scan closes;
    // it neither becomes a candidate nor disturbs the pairing of later row bands.
    Picture picture(200, 150, 24, 0);
    picture.Fill(0, 20, 151, 60, 255);
    picture.Fill(0, 80, 151, 140, 255);
    picture.Fill(186, 20, 200, 140, 255);
    // Row bands [30, 60) and [90, 140), column band [30, 150): the second pair scores most.
    EXPECT_EQ(Search(picture, CRect(20, 0, 200, 150)), CRect(20, 80, 160, 150));
}

TEST(GetBlackSideRect, SearchRectangleIsClampedToThePicture) {
    Picture picture = WorkedExample(24);
    EXPECT_EQ(Search(picture, CRect(-50, -40, 400, 300)), CRect(40, 30, 170, 130));
    // The erosion works inside the search rectangle: column 100 loses its left neighbour.
    EXPECT_EQ(Search(picture, CRect(100, 0, 300, 150)), CRect(100, 30, 170, 130));
    EXPECT_EQ(Search(picture, CRect(200, 0, 300, 150)), CRect(0, 0, 0, 0));
    EXPECT_EQ(Search(picture, CRect(50, 50, 50, 100)), CRect(0, 0, 0, 0));
}

TEST(GetBlackSideRect, EightBitPicturesGoThroughThePalette) {
    Picture picture = WorkedExample(8);
    // Without a palette every grey level is 0: no page.
    EXPECT_EQ(SearchAll(picture), CRect(0, 0, 10, 10));
    // An inverted palette with inverted indices shows the same page.
    Picture inverted(200, 150, 8, 255);
    inverted.Fill(40, 30, 160, 120, 0);
    auto palette = GreyPalette();
    for (auto& entry : palette)
        entry.rgbRed = entry.rgbGreen = entry.rgbBlue = 255 - entry.rgbRed;
    EXPECT_EQ(SearchAll(inverted, palette.data()), CRect(40, 30, 170, 130));
}

TEST(GetBlackSideRect, RefusesBadArguments) {
    Picture picture = WorkedExample(24);
    CDataHandler handler;
    const CRect all(0, 0, 200, 150);
    EXPECT_EQ(handler.GetBlackSideRect(nullptr, 200, 150, 24, nullptr, all), CRect());
    EXPECT_EQ(handler.GetBlackSideRect(picture.data(), 0, 150, 24, nullptr, all), CRect());
    EXPECT_EQ(handler.GetBlackSideRect(picture.data(), 200, 0, 24, nullptr, all), CRect());
    EXPECT_EQ(handler.GetBlackSideRect(picture.data(), 200, 150, 16, nullptr, all), CRect());
}

TEST(GetBlackSideRect, FailedAllocationsGiveTheEmptyRectangleAndLeaveNoBlock) {
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    Picture picture = WorkedExample(24);
    CRect result(1, 1, 1, 1);
    const int allocations = imgdesk::test::ForEachFailingAllocation(
        probe, [&] { result = SearchAll(picture); },
        [&](int) {
            EXPECT_EQ(result, CRect());
            EXPECT_EQ(probe.LiveBlocks(), live);
        });
    EXPECT_EQ(allocations, 5);  // grey buffer, two erosions, two profiles
    EXPECT_EQ(result, CRect(40, 30, 170, 130));
    EXPECT_EQ(probe.LiveBlocks(), live);
}

// --- The parts it is made of --------------------------------------------------------------

// A padded grey buffer (width rounded up to 4) of the given level.
Picture Grey(int width, int height, unsigned char level) {
    return Picture(width, height, 8, level);
}

unsigned char LevelAt(Picture& grey, int x, int y) {
    return grey.data()[y * imgdesk::pixel::RowStride(grey.width(), 8) + x];
}

TEST(GreyRust, ErodesTheWorkedExampleByOnePixelPerPass) {
    Picture grey = WorkedExample(8);
    CDataHandler handler;
    const CRect all(0, 0, 200, 150);
    ASSERT_EQ(handler.GreyRust(grey.data(), 200, 150, all), 1);
    ASSERT_EQ(handler.GreyRust(grey.data(), 200, 150, all), 1);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 200, 150, all), 116u * 86u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 200, 150, CRect(42, 32, 158, 118)),
              116u * 86u);
}

TEST(GreyRust, LevelOf128SurvivesButIsNotCounted) {
    Picture grey = Grey(9, 9, 200);
    grey.Set(4, 4, 128);
    grey.Set(2, 2, 127);
    CDataHandler handler;
    ASSERT_EQ(handler.GreyRust(grey.data(), 9, 9, CRect(0, 0, 9, 9)), 1);
    EXPECT_EQ(LevelAt(grey, 4, 4), 128);
    EXPECT_EQ(LevelAt(grey, 4, 3), 200);
    // 127 removes itself and its cross; the frame is cleared too.
    const std::pair<int, int> cleared[] = {{2, 2}, {1, 2}, {3, 2}, {2, 1}, {2, 3},
                                           {0, 4}, {8, 4}, {4, 0}, {4, 8}};
    for (auto [x, y] : cleared)
        EXPECT_EQ(LevelAt(grey, x, y), 0) << x << "," << y;
    EXPECT_EQ(LevelAt(grey, 3, 3), 200);
    // 7 x 7 inner pixels, less the 5 of the cross and the one of 128.
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 9, 9, CRect(0, 0, 9, 9)), 49u - 6u);
}

TEST(GreyRust, ClearsEverythingOutsideTheClampedRectangle) {
    CDataHandler handler;
    Picture grey = Grey(6, 5, 255);
    ASSERT_EQ(handler.GreyRust(grey.data(), 6, 5, CRect(2, 1, 4, 9)), 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(LevelAt(grey, x, y), (x >= 2 && x < 4 && y >= 1 && y < 4) ? 255 : 0);
    // An empty rectangle, and a buffer too small to have an inside, come back all 0.
    Picture empty = Grey(6, 5, 255);
    ASSERT_EQ(handler.GreyRust(empty.data(), 6, 5, CRect(3, 3, 3, 3)), 1);
    EXPECT_EQ(handler.StatisticsWhiteSpots(empty.data(), 6, 5, CRect(0, 0, 6, 5)), 0u);
    Picture thin = Grey(2, 7, 255);
    ASSERT_EQ(handler.GreyRust(thin.data(), 2, 7, CRect(0, 0, 2, 7)), 1);
    EXPECT_EQ(handler.StatisticsWhiteSpots(thin.data(), 2, 7, CRect(0, 0, 2, 7)), 0u);
}

TEST(GreyRust, WithoutMemoryLeavesTheBufferUnchanged) {
    MemoryProbe probe;
    Picture grey = Grey(7, 6, 200);
    grey.Set(3, 3, 20);
    const std::vector<unsigned char> before(grey.data(), grey.data() + 8 * 6);
    probe.FailAllocation(1);
    EXPECT_EQ(CDataHandler().GreyRust(grey.data(), 7, 6, CRect(0, 0, 7, 6)), 0);
    EXPECT_EQ(std::vector<unsigned char>(grey.data(), grey.data() + 8 * 6), before);
    EXPECT_EQ(probe.LiveBlocks(), 0);
}

TEST(StatisticsWhiteSpots, CountsAbove128InsideTheClampedRectangle) {
    Picture grey = Grey(7, 5, 129);  // stride 8: the padding byte must not count
    grey.Set(0, 0, 128);
    CDataHandler handler;
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 7, 5, CRect(-5, -5, 50, 50)), 34u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 7, 5, CRect(1, 1, 3, 4)), 6u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 7, 5, CRect(3, 1, 3, 4)), 0u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 7, 5, CRect(1, 4, 3, 2)), 0u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 7, 5, CRect(7, 0, 9, 5)), 0u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(nullptr, 7, 5, CRect(0, 0, 7, 5)), 0u);
    EXPECT_EQ(handler.StatisticsWhiteSpots(grey.data(), 0, 5, CRect(0, 0, 7, 5)), 0u);
}

TEST(ExpandRustCompare, LooksAtTheFiveCrossPixels) {
    CDataHandler handler;
    Picture grey = Grey(5, 5, 128);  // neither above nor below 128
    unsigned char* g = grey.data();
    const int stride = 8;
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 2, 2, 1), 0);
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 2, 2, 0), 0);
    grey.Set(1, 1, 255);  // diagonal: not part of the cross
    grey.Set(3, 3, 0);
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 2, 2, 1), 0);
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 2, 2, 0), 0);
    grey.Set(2, 1, 129);
    grey.Set(3, 2, 127);
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 2, 2, 7), 1);
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 2, 2, 0), 1);
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 1, 2, 0), 0);  // (3, 2) is two away
    EXPECT_EQ(handler.ExpandRustCompare(g, stride, 5, 1, 2, 1), 1);  // (1, 1) is above it
}

}  // namespace
