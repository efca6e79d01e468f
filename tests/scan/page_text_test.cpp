// Page text: the words of a rendered page of known prose, the turn that makes it upright, and
// what the calls say for bad pages, missing language data and short memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "scan/PageText.h"
#include "service/CoreKit.h"
#include "support/MemoryProbe.h"
#include "support/TempDir.h"
#include "support/TextPage.h"

namespace {

using namespace imgdesk;
using test::GreyImage;

// A grey picture in the library's layout at bits (bottom-up rows, the platform's stride).
struct Pixels {
    std::vector<unsigned char> bytes;
    tagRGBQUAD palette[256];
    int width, height, bits;

    Pixels(const GreyImage& image, int bitCount)
        : width(image.width), height(image.height), bits(bitCount) {
        const int stride = pixel::RowStride(width, bits), step = bits / 8;
        bytes.assign(size_t(stride) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < step; ++c)
                    bytes[size_t(height - 1 - y) * stride + size_t(x) * step + c] = image.At(x, y);
        for (int i = 0; i < 256; ++i)
            palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    }
    PageTextStatus Recognise(PageText& text, const PageTextOptions& options = {}) const {
        return RecognisePage(bytes.data(), width, height, bits, palette, text, options);
    }
    PageTextStatus Orient(PageTurn& turn, const PageTextOptions& options = {}) const {
        return DetectUprightTurn(bytes.data(), width, height, bits, palette, turn, options);
    }
};

class PageTextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
            return;
        page_ = new GreyImage(test::RenderTextPage(150));
    }
    static void TearDownTestSuite() {
        delete page_;
        page_ = nullptr;
    }
    void SetUp() override {
        if (!page_)
            GTEST_SKIP() << "pdftoppm is not installed";
        PageText probe;
        if (Pixels(GreyImage{1, 1, {255}}, 8).Recognise(probe) == PageTextStatus::NotAvailable)
            GTEST_SKIP() << "no English language data (tesseract-ocr-eng)";
    }
    static GreyImage* page_;
};
GreyImage* PageTextTest::page_ = nullptr;

// The words joined by spaces, as a reader would take them.
std::string Joined(const PageText& text) {
    std::string all;
    for (int i = 0; i < text.count; ++i)
        all += std::string(text.words[i].text) + ' ';
    return all;
}

// Grey, colour and 32-bit pages give the page's words in reading order, each inside the page with
// a box on its line, on numbered lines in order, with a confidence.
TEST_F(PageTextTest, ReadsThePageWordsWithTheirPlaces) {
    for (int bits : {8, 24, 32}) {
        const Pixels pixels(*page_, bits);
        PageText text;
        ASSERT_EQ(PageTextStatus::Done, pixels.Recognise(text)) << bits;
        EXPECT_GE(test::WordRecall(Joined(text)), 0.95) << bits << ": " << Joined(text);
        int lastLine = 0;
        for (int i = 0; i < text.count; ++i) {
            const PageWord& w = text.words[i];
            EXPECT_TRUE(0 <= w.left && w.left < w.right && w.right <= page_->width) << w.text;
            EXPECT_TRUE(0 <= w.top && w.top < w.bottom && w.bottom <= page_->height) << w.text;
            const int middle = (w.top + w.bottom) / 2;  // a lone letter's box may stick out
            EXPECT_TRUE(w.lineTop <= middle && middle <= w.lineBottom) << w.text;
            EXPECT_TRUE(w.top < w.baseline && w.baseline <= w.bottom + 1) << w.text;
            EXPECT_TRUE(0 <= w.confidence && w.confidence <= 100) << w.text;
            EXPECT_TRUE(w.line == lastLine || w.line == lastLine + 1) << w.text;
            lastLine = w.line;
        }
        EXPECT_EQ(13, lastLine) << "fourteen lines";
        ReleasePageText(text);
    }
    // The first word stands where the page was written: 42 points from the left edge.
    PageText text;
    ASSERT_EQ(PageTextStatus::Done, Pixels(*page_, 8).Recognise(text));
    ASSERT_GT(text.count, 0);
    EXPECT_NEAR(42.0 * 150 / 72, text.words[0].left, 4);
    ReleasePageText(text);
}

// Blank paper has no words: Done with nothing to release.
TEST_F(PageTextTest, BlankPaperHasNoWords) {
    const Pixels blank(GreyImage{300, 200, std::vector<unsigned char>(300 * 200, 250)}, 24);
    PageText text;
    EXPECT_EQ(PageTextStatus::Done, blank.Recognise(text));
    EXPECT_EQ(0, text.count);
    EXPECT_EQ(nullptr, text.words);
    EXPECT_EQ(nullptr, text.text);
}

// The page turned each way gives the turn back that makes it upright; blank paper is not sure.
TEST_F(PageTextTest, FindsTheTurnThatMakesThePageUpright) {
    const struct {
        int quartersClockwise;  // how the page lies
        UprightTurn cure;
    } cases[] = {{0, UprightTurn::Upright},
                 {1, UprightTurn::QuarterCounterClockwise},
                 {2, UprightTurn::Half},
                 {3, UprightTurn::QuarterClockwise}};
    for (const auto& c : cases) {
        PageTurn turn;
        ASSERT_EQ(PageTextStatus::Done,
                  Pixels(test::TurnQuarters(*page_, c.quartersClockwise), 8).Orient(turn));
        EXPECT_EQ(c.cure, turn.turn)
            << c.quartersClockwise << " quarters, confidence " << turn.confidence;
        EXPECT_GE(turn.confidence, 10) << c.quartersClockwise;
    }
    PageTurn turn;
    turn.turn = UprightTurn::Half;
    const Pixels blank(GreyImage{300, 200, std::vector<unsigned char>(300 * 200, 250)}, 8);
    ASSERT_EQ(PageTextStatus::Done, blank.Orient(turn));
    EXPECT_EQ(UprightTurn::NotSure, turn.turn);
}

// Pages the reader cannot take are refused, and so are language lists that name nothing; the
// outputs keep what they held.
TEST_F(PageTextTest, RefusesBadPagesAndLeavesTheOutputsAlone) {
    Pixels good(GreyImage{8, 8, std::vector<unsigned char>(64, 200)}, 24);
    const unsigned char* pixels = good.bytes.data();
    const struct {
        const char* what;
        const unsigned char* pixels;
        int width, height, bits;
        bool palette;
        const char* languages;
    } cases[] = {
        {"null pixels", nullptr, 8, 8, 24, true, "eng"},
        {"no width", pixels, 0, 8, 24, true, "eng"},
        {"no height", pixels, 8, -1, 24, true, "eng"},
        {"16 bits", pixels, 8, 8, 16, true, "eng"},
        {"8 bits without palette", pixels, 8, 8, 8, false, "eng"},
        {"no languages", pixels, 8, 8, 24, true, nullptr},
        {"empty languages", pixels, 8, 8, 24, true, "+"},
    };
    for (const auto& c : cases) {
        PageText text;
        text.count = 77;
        PageTextOptions options;
        options.languages = c.languages;
        EXPECT_EQ(PageTextStatus::BadInput,
                  RecognisePage(c.pixels, c.width, c.height, c.bits,
                                c.palette ? good.palette : nullptr, text, options))
            << c.what;
        EXPECT_EQ(77, text.count) << c.what;
        if (!c.languages || c.languages[0] == '+')
            continue;  // orientation reads no languages
        PageTurn turn;
        turn.confidence = -5;
        EXPECT_EQ(PageTextStatus::BadInput,
                  DetectUprightTurn(c.pixels, c.width, c.height, c.bits,
                                    c.palette ? good.palette : nullptr, turn))
            << c.what;
        EXPECT_EQ(-5, turn.confidence) << c.what;
    }
}

// Language data that is not installed, or a data folder without the orientation data, is
// NotAvailable, with a phrase for messages; nothing is written.
TEST_F(PageTextTest, MissingLanguageDataIsNotAvailable) {
    const Pixels pixels(GreyImage{40, 40, std::vector<unsigned char>(1600, 250)}, 8);
    test::TempDir empty;
    PageTextOptions missingLanguage, oneMissing, missingFolder;
    missingLanguage.languages = "zzz";
    oneMissing.languages = "eng+zzz";  // the engine alone would carry on with English
    missingFolder.dataFolder = empty.Path().c_str();
    for (const PageTextOptions& options : {missingLanguage, oneMissing, missingFolder}) {
        PageText text;
        text.count = 5;
        EXPECT_EQ(PageTextStatus::NotAvailable, pixels.Recognise(text, options));
        EXPECT_EQ(5, text.count);
    }
    PageTurn turn;
    turn.confidence = -5;
    EXPECT_EQ(PageTextStatus::NotAvailable, pixels.Orient(turn, missingFolder));
    EXPECT_EQ(-5, turn.confidence);
    EXPECT_NE(
        std::string::npos,
        std::string(DescribePageTextStatus(PageTextStatus::NotAvailable)).find("language data"));
    // An engine that worked before still works after a failed load.
    PageText text;
    EXPECT_EQ(PageTextStatus::Done, pixels.Recognise(text));
}

// Every allocation of a recognition failing gives OutOfMemory, leaves the output untouched and
// leaves no block behind.
TEST_F(PageTextTest, ShortMemoryFailsCleanly) {
    GreyImage strip = *page_;  // the first lines only, to keep the runs short
    strip.height = page_->height / 5;
    strip.levels.resize(size_t(strip.width) * strip.height);
    const Pixels pixels(strip, 24);
    PageText text;
    PageTextStatus status = PageTextStatus::Failed;
    const int allocations =
        test::ExpectCleanFailures([&] { status = pixels.Recognise(text); },
                                  [&](int failed) {
                                      if (failed) {
                                          EXPECT_EQ(PageTextStatus::OutOfMemory, status) << failed;
                                          EXPECT_EQ(nullptr, text.words) << failed;
                                      } else {
                                          EXPECT_EQ(PageTextStatus::Done, status);
                                          EXPECT_GT(text.count, 5);
                                      }
                                      ReleasePageText(text);
                                  });
    EXPECT_EQ(3, allocations);  // the grey page, the words, their texts
    PageTurn turn;
    turn.confidence = -5;
    test::ExpectCleanFailures(
        [&] { status = pixels.Orient(turn); },
        [&](int failed) {
            EXPECT_EQ(failed ? PageTextStatus::OutOfMemory : PageTextStatus::Done, status);
            if (failed) {
                EXPECT_EQ(-5, turn.confidence);
            }
        });
}

}  // namespace
