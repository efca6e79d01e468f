#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "scan/PageClean.h"
#include "service/CoreKit.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk;
using imgdesk::test::Bytes;

// A photographed page: paper of level 240 under light that falls from full on the left to a
// third on the right, with print of a given darkness (0 black, 1 paper) multiplied in, and a
// little noise as a camera gives.
class PhotoPage {
public:
    PhotoPage(int width, int height)
        : width_(width), height_(height), ink_(size_t(width) * height, 1.0) {}

    // Print of the given darkness over [left, right) x [top, bottom) (rows from the top).
    void Print(int left, int top, int right, int bottom, double darkness) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                ink_[size_t(y) * width_ + x] = darkness;
    }
    double Light(int x) const { return 1.0 - 0.67 * x / (width_ - 1); }

    // The page as 24-bit pixels (bottom-up rows): blue, green and red scaled by tint.
    Bytes Pixels(int bits = 24, double red = 1, double green = 1, double blue = 1) const {
        const int stride = pixel::RowStride(width_, bits), step = bits / 8;
        Bytes bytes(size_t(stride) * height_, 0);
        const Bytes noise = test::RandomBytes(size_t(width_) * height_, 7, 0, 8);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const double level = 240 * Light(x) * ink_[size_t(y) * width_ + x] +
                                     noise[size_t(y) * width_ + x] - 4;
                unsigned char* p = bytes.data() + size_t(height_ - 1 - y) * stride + x * step;
                const double tint[3] = {blue, green, red};
                for (int c = 0; c < std::min(step, 3); ++c)
                    p[c] = static_cast<unsigned char>(std::clamp(level * tint[c], 0.0, 255.0));
            }
        return bytes;
    }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_, height_;
    std::vector<double> ink_;
};

// An 8-bit result read from the top: the level at (x, y).
struct Result {
    Result(unsigned char* block, int w, int h) : bytes(block), width(w), height(h) {}
    ~Result() { DelMem(bytes); }
    unsigned char At(int x, int y) const {
        return bytes[size_t(height - 1 - y) * pixel::RowStride(width, 8) + x];
    }
    // Share of pixels of [left, right) x [top, bottom) at the given level.
    double Share(int left, int top, int right, int bottom, unsigned char level) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                count += At(x, y) == level;
        return double(count) / (double(right - left) * (bottom - top));
    }
    unsigned char* bytes;
    int width, height;
};

Result Mono(const PhotoPage& page, const PageCleanOptions& options = {}) {
    const Bytes pixels = page.Pixels();
    unsigned char* mono = nullptr;
    EXPECT_TRUE(
        CleanPageToMono(pixels.data(), page.width(), page.height(), 24, nullptr, mono, options));
    return Result(mono, page.width(), page.height());
}

TEST(CleanPageToMono, KeepsThinAndGreyPrintInLightAndShadow) {
    struct Case {
        const char* what;
        int width;        // of the stroke, in pixels
        double darkness;  // print level as a fraction of the paper's
    };
    const Case cases[] = {{"black hairline", 1, 0.1},        {"grey hairline", 1, 0.6},
                          {"faint hairline", 1, 0.75},       {"grey 2-pixel stroke", 2, 0.55},
                          {"black 3-pixel stroke", 3, 0.05}, {"faint 3-pixel stroke", 3, 0.72}};
    for (const Case& c : cases) {
        PhotoPage page(400, 300);
        // Vertical strokes from the bright side into the deep shadow, horizontal ones across it.
        const int columns[] = {40, 150, 260, 370};
        for (int x : columns)
            page.Print(x, 30, x + c.width, 130, c.darkness);
        page.Print(20, 200, 380, 200 + c.width, c.darkness);
        const Result mono = Mono(page);
        for (int x : columns)
            EXPECT_GE(mono.Share(x, 30, x + c.width, 130, 0), 0.9) << c.what << " at x " << x;
        EXPECT_GE(mono.Share(20, 200, 380, 200 + c.width, 0), 0.9) << c.what;
        // The paper around stays clean, in light and shadow alike.
        EXPECT_GE(mono.Share(0, 140, 400, 190, 255), 0.999) << c.what;
        EXPECT_GE(mono.Share(0, 215, 400, 300, 255), 0.999) << c.what;
    }
}

TEST(CleanPageToMono, KeepsStrokeWidthsAndSolidAreas) {
    PhotoPage page(400, 300);
    for (int width : {1, 2, 3, 5, 8})
        page.Print(30 + 60 * width, 20, 30 + 60 * width + width, 120, 0.15);
    page.Print(150, 160, 250, 260, 0.1);  // a solid block far wider than the window
    const Result mono = Mono(page);
    for (int width : {1, 2, 3, 5, 8}) {
        const int left = 30 + 60 * width;
        int black = 0;
        for (int x = left - 6; x < left + width + 6; ++x)
            black += mono.At(x, 70) == 0;
        EXPECT_EQ(width, black) << "stroke of " << width;
    }
    EXPECT_EQ(1.0, mono.Share(150, 160, 250, 260, 0)) << "the block is not hollowed out";
}

TEST(CleanPageToMono, LeavesNoDarkBordersAndKeepsPrintAtTheEdge) {
    PhotoPage page(400, 300);
    page.Print(0, 0, 14, 300, 0.12);      // desk left along the whole left side
    page.Print(0, 0, 400, 10, 0.15);      // and along the top
    page.Print(386, 120, 400, 135, 0.1);  // a letter cut by the right edge
    page.Print(150, 290, 153, 300, 0.1);  // a stroke running into the bottom edge
    for (bool clear : {true, false}) {
        PageCleanOptions options;
        options.clearBorders = clear;
        const Result mono = Mono(page, options);
        EXPECT_EQ(clear ? 1.0 : 0.0, mono.Share(0, 20, 14, 300, 255)) << clear;
        EXPECT_EQ(clear ? 1.0 : 0.0, mono.Share(20, 0, 400, 10, 255)) << clear;
        EXPECT_EQ(1.0, mono.Share(386, 120, 400, 135, 0)) << clear;
        EXPECT_EQ(1.0, mono.Share(150, 290, 153, 300, 0)) << clear;
    }
    // A plain page has no artefacts where the threshold's window is cut by the edge.
    const Result plain = Mono(PhotoPage(300, 200));
    EXPECT_EQ(1.0, plain.Share(0, 0, 300, 200, 255));
}

TEST(CleanPageToMono, ReadsEveryLayoutAlike) {
    PhotoPage page(203, 101);  // padded rows at 8 and 24 bits
    page.Print(50, 20, 52, 80, 0.5);
    page.Print(120, 40, 180, 44, 0.2);
    const Bytes colour = page.Pixels(24), wide = page.Pixels(32);
    // The same page as 8-bit palette indices whose palette entries are the grey levels.
    const int stride8 = pixel::RowStride(203, 8), stride24 = pixel::RowStride(203, 24);
    Bytes indices(size_t(stride8) * 101, 0);
    std::vector<tagRGBQUAD> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[255 - i] = {BYTE(i), BYTE(i), BYTE(i), 0};  // inverted: indices are not levels
    for (int y = 0; y < 101; ++y)
        for (int x = 0; x < 203; ++x)
            indices[size_t(y) * stride8 + x] = 255 - colour[size_t(y) * stride24 + 3 * x];
    unsigned char *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(CleanPageToMono(colour.data(), 203, 101, 24, nullptr, a));
    ASSERT_TRUE(CleanPageToMono(wide.data(), 203, 101, 32, nullptr, b));
    ASSERT_TRUE(CleanPageToMono(indices.data(), 203, 101, 8, palette.data(), c));
    const size_t size = size_t(stride8) * 101;
    EXPECT_EQ(Bytes(a, a + size), Bytes(b, b + size));
    EXPECT_EQ(Bytes(a, a + size), Bytes(c, c + size));
    DelMem(a), DelMem(b), DelMem(c);
}

TEST(FlattenIllumination, MakesPaperEvenAndKeepsPrintContrast) {
    PhotoPage page(300, 200);
    page.Print(20, 90, 280, 94, 0.5);  // grey print from light into shadow
    const Bytes pixels = page.Pixels();
    unsigned char* grey = nullptr;
    ASSERT_TRUE(FlattenIllumination(pixels.data(), 300, 200, 24, nullptr, grey));
    const Result flat(grey, 300, 200);
    for (int x = 20; x < 280; x += 10) {
        EXPECT_GE(flat.At(x, 30), 235) << x;
        EXPECT_NEAR(flat.At(x, 92), 0.5 * flat.At(x, 30), 20) << x;
    }
}

TEST(WhitenPage, WhitensPaperAndKeepsPrintColours) {
    PhotoPage page(300, 200);
    page.Print(20, 97, 280, 103, 0.4);  // a line of print across light and shadow
    // Warm light: red full, green 95%, blue 80%. A red print in it stays red; paper turns white.
    const Bytes pixels = page.Pixels(24, 1.0, 0.95, 0.8);
    for (int bits : {24, 32}) {
        const Bytes input = bits == 24 ? pixels : page.Pixels(32, 1.0, 0.95, 0.8);
        unsigned char* out = nullptr;
        int outBits = 0;
        ASSERT_TRUE(WhitenPage(input.data(), 300, 200, bits, nullptr, out, outBits));
        EXPECT_EQ(bits, outBits);
        const int stride = pixel::RowStride(300, bits), step = bits / 8;
        auto at = [&](int x, int y, int c) { return out[size_t(199 - y) * stride + x * step + c]; };
        for (int x = 20; x < 280; x += 15) {
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(255, at(x, 30, c)) << x;
                // Print keeps its level relative to the paper in each channel, in light or shadow.
                EXPECT_NEAR(0.4 * 255 / 0.92, at(x, 100, c), 14) << x << " channel " << c;
            }
            if (bits == 32) {
                EXPECT_EQ(input[size_t(199 - 100) * stride + x * 4 + 3], at(x, 100, 3));
            }
        }
        DelMem(out);
    }
}

TEST(PageCleaning, RefusesWhatItCannotReadAndLeavesOutputsAlone) {
    const Bytes pixels = PhotoPage(20, 10).Pixels();
    const auto palette = test::GreyPalette();
    struct Case {
        const char* what;
        const unsigned char* pixels;
        int width, height, bits;
        const tagRGBQUAD* palette;
        PageCleanOptions options;
    };
    PageCleanOptions negativeWindow, strong, notANumber;
    negativeWindow.window = -1;
    strong.sensitivity = 1.5;
    notANumber.sensitivity = std::nan("");
    const Case cases[] = {
        {"null pixels", nullptr, 20, 10, 24, nullptr, {}},
        {"no width", pixels.data(), 0, 10, 24, nullptr, {}},
        {"no height", pixels.data(), 20, 0, 24, nullptr, {}},
        {"16 bits", pixels.data(), 20, 10, 16, nullptr, {}},
        {"8 bits without palette", pixels.data(), 20, 10, 8, nullptr, {}},
        {"negative window", pixels.data(), 20, 10, 24, nullptr, negativeWindow},
        {"sensitivity above 1", pixels.data(), 20, 10, 24, nullptr, strong},
        {"sensitivity not a number", pixels.data(), 20, 10, 24, nullptr, notANumber}};
    for (const Case& c : cases) {
        unsigned char marker = 0, *out = &marker;
        int bits = -3;
        EXPECT_FALSE(
            CleanPageToMono(c.pixels, c.width, c.height, c.bits, c.palette, out, c.options))
            << c.what;
        const bool optionsOnly = c.options.window < 0 || !(c.options.sensitivity <= 1);
        if (!optionsOnly) {
            EXPECT_FALSE(FlattenIllumination(c.pixels, c.width, c.height, c.bits, c.palette, out))
                << c.what;
            EXPECT_FALSE(WhitenPage(c.pixels, c.width, c.height, c.bits, c.palette, out, bits))
                << c.what;
        }
        EXPECT_EQ(&marker, out) << c.what;
        EXPECT_EQ(-3, bits) << c.what;
    }
    // A single pixel and a single row are pages too.
    for (auto [w, h] : {std::pair{1, 1}, std::pair{20, 1}, std::pair{1, 10}}) {
        unsigned char* out = nullptr;
        ASSERT_TRUE(CleanPageToMono(pixels.data(), w, h, 24, nullptr, out)) << w << "x" << h;
        DelMem(out);
    }
}

TEST(PageCleaning, FailingAllocationsLeaveNothingBehind) {
    PhotoPage page(90, 70);
    page.Print(10, 10, 12, 60, 0.3);
    page.Print(0, 0, 6, 70, 0.1);  // a border for the clearing to remove
    const Bytes pixels = page.Pixels(24);
    const Bytes grey8 = [&] {
        Bytes g(size_t(pixel::RowStride(90, 8)) * 70);
        for (size_t i = 0; i < g.size(); ++i)
            g[i] = static_cast<unsigned char>(i * 7);
        return g;
    }();
    const auto palette = test::GreyPalette();
    using Operation = std::function<bool(unsigned char*&, int&)>;
    const std::pair<const char*, Operation> operations[] = {
        {"mono", [&](unsigned char*& out,
                     int&) { return CleanPageToMono(pixels.data(), 90, 70, 24, nullptr, out); }},
        {"flatten",
         [&](unsigned char*& out, int&) {
             return FlattenIllumination(pixels.data(), 90, 70, 24, nullptr, out);
         }},
        {"whiten colour",
         [&](unsigned char*& out, int& bits) {
             return WhitenPage(pixels.data(), 90, 70, 24, nullptr, out, bits);
         }},
        {"whiten grey",
         [&](unsigned char*& out, int& bits) {
             return WhitenPage(grey8.data(), 90, 70, 8, palette.data(), out, bits);
         }},
    };
    for (const auto& [what, operation] : operations) {
        unsigned char marker = 0, *out = &marker;
        int bits = -3;
        bool done = false;
        const int allocations = test::ExpectCleanFailures(
            [&] { done = operation(out, bits); },
            [&](int failed) {
                EXPECT_EQ(!failed, done) << what << " failing allocation " << failed;
                if (failed) {
                    EXPECT_EQ(&marker, out) << what;
                    EXPECT_EQ(-3, bits) << what;
                } else {
                    EXPECT_NE(&marker, out) << what;
                    DelMem(out);
                }
                out = &marker, bits = -3;
            });
        EXPECT_GT(allocations, 3) << what;
    }
}

}  // namespace
