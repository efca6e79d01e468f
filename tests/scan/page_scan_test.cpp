#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "scan/PageScan.h"
#include "service/CoreKit.h"
#include "support/MemoryProbe.h"
#include "support/PhotoSet.h"
#include "support/PixelPictures.h"
#include "support/ScanMeasure.h"

namespace imgdesk {
void PrintTo(PageFoundBy kind, std::ostream* out) {
    *out << test::KindName(kind);
}
}  // namespace imgdesk

namespace {

using namespace imgdesk;
using namespace imgdesk::test;

constexpr double kPi = 3.14159265358979323846;

// The photos every suite here shares: 1200 x 900 (flatbed scans 900 x 1200).
const PhotoSet& Photos() {
    static const PhotoSet set;
    return set;
}

struct ResultPixels {
    void operator()(unsigned char* block) const { DelMem(block); }
};
using OwnedPixels = std::unique_ptr<unsigned char, ResultPixels>;

// Grey level of a photo's pixel (x, y from the top).
int PhotoGrey(const Photo& photo, int x, int y) {
    // Points just off the photo (beside a page that reaches its edge) read the nearest pixel.
    x = std::clamp(x, 0, photo.width - 1);
    y = std::clamp(y, 0, photo.height - 1);
    const int stride = pixel::RowStride(photo.width, 24);
    const unsigned char* p =
        photo.pixels.data() + std::size_t(photo.height - 1 - y) * stride + 3 * x;
    return GreyLevel(p[0], p[1], p[2]);
}

// --- The photos' truth, checked before anything is measured with it ---------------------------

// On the dark desk the page is the bright part: just inside each edge is far brighter than just
// outside, all along it. A truth in the wrong convention (rows upside down, corners in the wrong
// order, y up) fails here.
TEST(PhotoTruth, EdgesLieWhereThePixelsChange) {
    int checked = 0;
    for (int i = 0; i < PhotoSet::Count(); ++i) {
        const PhotoSpec& spec = PhotoSet::Spec(i);
        if (spec.shot != Shot::Page || spec.desk != Desk::Dark || spec.card)
            continue;
        const Photo photo = Photos().Make(i);
        const PagePoint* c = photo.truth.corners;
        for (int side = 0; side < 4; ++side) {
            const PagePoint a = c[side], b = c[(side + 1) % 4];
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            // Corners run clockwise as displayed, so the inside is to the right of a -> b.
            const double nx = -(b.y - a.y) / length, ny = (b.x - a.x) / length;
            for (double t : {0.25, 0.5, 0.75}) {
                const double x = a.x + t * (b.x - a.x), y = a.y + t * (b.y - a.y);
                const int inside = PhotoGrey(photo, int(x + 6 * nx), int(y + 6 * ny));
                const int outside = PhotoGrey(photo, int(x - 6 * nx), int(y - 6 * ny));
                EXPECT_GT(inside - outside, 40) << photo.name << " side " << side << " at " << t;
            }
        }
        // The truth's turn follows the result's convention: a page turned counter-clockwise
        // needs a clockwise turn, a positive turnDegrees.
        if (spec.slant == 0) {
            EXPECT_NEAR(spec.turn, photo.truth.turnDegrees, 1e-9) << photo.name;
        }
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

// The set covers what it claims: every desk, turns over -40..40, small and large pages, each
// special shot, JPEG at low and high quality.
TEST(PhotoTruth, SetCoversTheConditions) {
    bool desks[8] = {}, shots[5] = {}, layouts[6] = {};
    double minTurn = 90, maxTurn = -90, minArea = 1, maxArea = 0;
    int minQuality = 100, maxQuality = 0, slanted = 0, shaded = 0;
    for (int i = 0; i < PhotoSet::Count(); ++i) {
        const PhotoSpec& s = PhotoSet::Spec(i);
        shots[int(s.shot)] = true;
        if (s.shot != Shot::Page)
            continue;
        desks[int(s.desk)] = layouts[int(s.layout)] = true;
        minTurn = std::min(minTurn, s.turn), maxTurn = std::max(maxTurn, s.turn);
        minArea = std::min(minArea, s.area), maxArea = std::max(maxArea, s.area);
        minQuality = std::min(minQuality, s.quality), maxQuality = std::max(maxQuality, s.quality);
        slanted += s.slant > 0.05, shaded += s.shadow > 0;
    }
    EXPECT_GE(PhotoSet::Count(), 48);
    for (bool seen : desks)
        EXPECT_TRUE(seen);
    for (bool seen : shots)
        EXPECT_TRUE(seen);
    for (bool seen : layouts)
        EXPECT_TRUE(seen);
    EXPECT_LT(minTurn, -35);
    EXPECT_GT(maxTurn, 35);
    EXPECT_LT(minArea, 0.25);
    EXPECT_GT(maxArea, 0.8);
    EXPECT_LE(minQuality, 65);
    EXPECT_GE(maxQuality, 90);
    EXPECT_GE(slanted, 8);
    EXPECT_GE(shaded, 8);
}

// --- The measure, checked on answers whose figures are known ----------------------------------

// The answer a perfect finder gives: for a page, its corners mapped onto a rectangle of its own
// proportions; without page edges, the whole photo turned level, uncovered corners white.
PageScanResult Ideal(const Photo& photo, std::vector<unsigned char>& pixels) {
    PageScanResult r;
    const PhotoTruth& t = photo.truth;
    if (t.expected == PageFoundBy::PageEdges) {
        r.width = int(std::lround(t.pageWidth)), r.height = int(std::lround(t.pageHeight));
        for (int k = 0; k < 4; ++k)
            r.corners[k] = t.corners[k];
        r.foundBy = PageFoundBy::PageEdges;
    } else {
        const double a = t.turnDegrees * kPi / 180, c = std::cos(a), s = std::sin(a);
        const double W = photo.width, H = photo.height;
        const double w = W * std::fabs(c) + H * std::fabs(s),
                     h = W * std::fabs(s) + H * std::fabs(c);
        r.width = int(std::ceil(w)), r.height = int(std::ceil(h));
        const PagePoint box[4] = {{0, 0},
                                  {double(r.width), 0},
                                  {double(r.width), double(r.height)},
                                  {0, double(r.height)}};
        for (int k = 0; k < 4; ++k) {
            const double ox = box[k].x - r.width / 2.0, oy = box[k].y - r.height / 2.0;
            r.corners[k] = {W / 2 + c * ox + s * oy, H / 2 - s * ox + c * oy};
        }
        r.foundBy = PageFoundBy::TextLines;
    }
    r.bits = 24;
    pixels.assign(std::size_t(pixel::RowStride(r.width, 24)) * r.height, 255);
    r.pixels = pixels.data();
    return r;
}

TEST(ScanMeasure, IdealAnswersScorePerfectlyAndFlawsShow) {
    const Shot shots[] = {Shot::Page, Shot::Flatbed, Shot::CloseUp, Shot::FullFrame};
    for (Shot shot : shots) {
        int index = 0;
        while (PhotoSet::Spec(index).shot != shot ||
               (shot == Shot::Page && PhotoSet::Spec(index).slant == 0))
            ++index;
        const Photo photo = Photos().Make(index);
        SCOPED_TRACE(photo.name);
        std::vector<unsigned char> pixels;
        PageScanResult ideal = Ideal(photo, pixels);
        const ScanFigures f = Measure(photo, ideal);
        EXPECT_NEAR(0, f.residualTurn, 1e-6);
        EXPECT_NEAR(0, f.worstTurn, 1e-6);
        EXPECT_NEAR(0, f.pageCut, 1e-9);
        EXPECT_TRUE(f.usable);
        if (shot == Shot::Page) {
            EXPECT_NEAR(0, f.deskKept, 1e-9);
            EXPECT_NEAR(0, f.cornerError, 1e-9);
            EXPECT_NEAR(1, f.pageIoU, 1e-9);
            // One corner 2% of the photo's width outwards keeps desk; inwards, cuts the page.
            PageScanResult out = ideal, in = ideal;
            const PagePoint centre{(ideal.corners[0].x + ideal.corners[2].x) / 2,
                                   (ideal.corners[0].y + ideal.corners[2].y) / 2};
            const double dx = ideal.corners[0].x - centre.x, dy = ideal.corners[0].y - centre.y;
            const double step = 0.02 * photo.width / std::hypot(dx, dy);
            out.corners[0] = {ideal.corners[0].x + dx * step, ideal.corners[0].y + dy * step};
            in.corners[0] = {ideal.corners[0].x - dx * step, ideal.corners[0].y - dy * step};
            EXPECT_GT(Measure(photo, out).deskKept, 0.2);
            EXPECT_GT(Measure(photo, in).pageCut, 0.2);
        } else {
            EXPECT_TRUE(f.coversPhoto);
            EXPECT_NEAR(0, f.uncoveredDark, 1e-9);
            EXPECT_NEAR(1, f.pageIoU, 1e-6);
        }
        // The photo handed back as it was: the page's own turn is left in it.
        PageScanResult kept;
        std::vector<unsigned char> same(photo.pixels);
        kept.pixels = same.data(), kept.width = photo.width, kept.height = photo.height,
        kept.bits = 24;
        kept.corners[1] = {double(photo.width), 0};
        kept.corners[2] = {double(photo.width), double(photo.height)};
        kept.corners[3] = {0, double(photo.height)};
        const ScanFigures asIs = Measure(photo, kept);
        EXPECT_NEAR(-photo.truth.turnDegrees, asIs.residualTurn,
                    std::fabs(photo.truth.turnDegrees) * 0.2 + 0.01);
        EXPECT_TRUE(asIs.coversPhoto);
    }
}

// --- Accuracy on every photo ------------------------------------------------------------------

class PhotoAccuracy : public ::testing::TestWithParam<int> {};

TEST_P(PhotoAccuracy, PageComesOutUprightWholeAndAlone) {
    const Photo photo = Photos().Make(GetParam());
    PageScanResult r;
    ASSERT_TRUE(ScanPage(photo.pixels.data(), photo.width, photo.height, 24, nullptr, r))
        << photo.name;
    const OwnedPixels owned(r.pixels);
    const ScanFigures f = Measure(photo, r);
    const std::string fails = Shortfalls(photo, r, f);
    if (!fails.empty())
        ADD_FAILURE() << photo.name << " [" << photo.labels << "]\n  expected "
                      << KindName(photo.truth.expected) << ", found " << KindName(r.foundBy) << "; "
                      << Describe(f) << "\n  fails: " << fails;
}

INSTANTIATE_TEST_SUITE_P(Photos, PhotoAccuracy, ::testing::Range(0, PhotoSet::Count()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return PhotoSet::Name(info.param);
                         });

// --- The call's contract ----------------------------------------------------------------------

// A small photo for the contract cases: a page turned 9 degrees on the dark desk, 480 x 360.
const Photo& SmallPhoto() {
    static const PhotoSet set(480, 360);
    static const Photo photo = [] {
        for (int i = 0;; ++i)
            if (PhotoSet::Spec(i).shot == Shot::Page && PhotoSet::Spec(i).desk == Desk::Dark &&
                !PhotoSet::Spec(i).card && std::fabs(PhotoSet::Spec(i).turn) < 12)
                return set.Make(i);
    }();
    return photo;
}

PageScanResult Sentinel(unsigned char* marker) {
    PageScanResult r;
    r.pixels = marker, r.width = 7, r.height = 5, r.bits = 32, r.turnDegrees = 1.5;
    r.perspectiveCorrected = true, r.foundBy = PageFoundBy::TextLines;
    for (int k = 0; k < 4; ++k)
        r.corners[k] = {k + 0.25, k + 0.75};
    return r;
}

void ExpectSame(const PageScanResult& a, const PageScanResult& b, const std::string& what) {
    EXPECT_EQ(a.pixels, b.pixels) << what;
    EXPECT_EQ(a.width, b.width) << what;
    EXPECT_EQ(a.height, b.height) << what;
    EXPECT_EQ(a.bits, b.bits) << what;
    EXPECT_EQ(a.turnDegrees, b.turnDegrees) << what;
    EXPECT_EQ(a.perspectiveCorrected, b.perspectiveCorrected) << what;
    EXPECT_EQ(a.foundBy, b.foundBy) << what;
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(a.corners[k].x == b.corners[k].x && a.corners[k].y == b.corners[k].y) << what;
}

TEST(ScanPage, RefusesBadPicturesAndLeavesTheResultAlone) {
    const std::vector<unsigned char> pixels(64 * 64 * 4, 128);
    const auto grey = GreyPalette();
    struct Case {
        const char* what;
        bool null;
        int width, height, bits;
        bool palette;
    } const cases[] = {
        {"null pixels", true, 16, 16, 24, false},
        {"zero width", false, 0, 16, 24, false},
        {"zero height", false, 16, 0, 24, false},
        {"negative size", false, -4, 16, 24, false},
        {"16 bits", false, 16, 16, 16, false},
        {"1 bit", false, 16, 16, 1, true},
        {"8 bits without palette", false, 16, 16, 8, false},
    };
    unsigned char marker = 0;
    for (const Case& c : cases) {
        const PageScanResult before = Sentinel(&marker);
        PageScanResult r = before;
        EXPECT_FALSE(ScanPage(c.null ? nullptr : pixels.data(), c.width, c.height, c.bits,
                              c.palette ? grey.data() : nullptr, r))
            << c.what;
        ExpectSame(before, r, c.what);
    }
}

// Pixels of the small photo at 8 (grey palette or a 3-3-2 colour palette) or 32 bits.
std::vector<unsigned char> Convert(const Photo& photo, int bits, bool greyPalette) {
    const int inStride = pixel::RowStride(photo.width, 24),
              outStride = pixel::RowStride(photo.width, bits);
    std::vector<unsigned char> out(std::size_t(outStride) * photo.height, 0);
    for (int y = 0; y < photo.height; ++y)
        for (int x = 0; x < photo.width; ++x) {
            const unsigned char* p = photo.pixels.data() + std::size_t(y) * inStride + 3 * x;
            unsigned char* o = out.data() + std::size_t(y) * outStride + x * bits / 8;
            if (bits == 32)
                o[0] = p[0], o[1] = p[1], o[2] = p[2], o[3] = 255;
            else if (greyPalette)
                o[0] = static_cast<unsigned char>(GreyLevel(p[0], p[1], p[2]));
            else
                o[0] = static_cast<unsigned char>((p[2] & 0xE0) | (p[1] & 0xE0) >> 3 | p[0] >> 6);
        }
    return out;
}

std::vector<tagRGBQUAD> Palette332() {
    std::vector<tagRGBQUAD> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i].rgbRed = static_cast<unsigned char>((i >> 5) * 255 / 7);
        palette[i].rgbGreen = static_cast<unsigned char>((i >> 2 & 7) * 255 / 7);
        palette[i].rgbBlue = static_cast<unsigned char>((i & 3) * 255 / 3);
    }
    return palette;
}

TEST(ScanPage, BitDepthsAgree) {
    const Photo& photo = SmallPhoto();
    PageScanResult colour;
    ASSERT_TRUE(ScanPage(photo.pixels.data(), photo.width, photo.height, 24, nullptr, colour));
    const OwnedPixels ownedColour(colour.pixels);
    EXPECT_EQ(24, colour.bits);
    const double diagonal = std::hypot(photo.width, photo.height);

    const auto greyRamp = GreyPalette();
    const auto colour332 = Palette332();
    struct Case {
        const char* what;
        int bits;
        const tagRGBQUAD* palette;
        int outBits;
        double cornerTolerance;  // share of the diagonal; 0: identical result
    } const cases[] = {
        {"32 bits", 32, nullptr, 24, 0},
        {"8-bit grey", 8, greyRamp.data(), 8, 0.005},
        {"8-bit colour palette", 8, colour332.data(), 24, 0.01},
    };
    for (const Case& c : cases) {
        const auto input = Convert(photo, c.bits, c.palette == greyRamp.data());
        PageScanResult r;
        ASSERT_TRUE(ScanPage(input.data(), photo.width, photo.height, c.bits, c.palette, r))
            << c.what;
        const OwnedPixels owned(r.pixels);
        EXPECT_EQ(c.outBits, r.bits) << c.what;
        EXPECT_EQ(colour.foundBy, r.foundBy) << c.what;
        for (int k = 0; k < 4; ++k) {
            const double off = std::hypot(r.corners[k].x - colour.corners[k].x,
                                          r.corners[k].y - colour.corners[k].y);
            EXPECT_LE(off, c.cornerTolerance * diagonal) << c.what << " corner " << k;
        }
        if (c.cornerTolerance == 0) {
            ASSERT_EQ(colour.width, r.width) << c.what;
            ASSERT_EQ(colour.height, r.height) << c.what;
            const std::size_t bytes = std::size_t(pixel::RowStride(r.width, r.bits)) * r.height;
            EXPECT_EQ(0, std::memcmp(colour.pixels, r.pixels, bytes)) << c.what;
        }
    }
}

TEST(ScanPage, OptionsChooseWhatIsDone) {
    const Photo& photo = SmallPhoto();
    struct Case {
        const char* what;
        bool findPage, levelText;
        PageFoundBy expected;
    } const cases[] = {
        {"page and text", true, true, PageFoundBy::PageEdges},
        {"edges only", true, false, PageFoundBy::PageEdges},
        // The whole picture is the page: only its text is levelled.
        {"text only", false, true, PageFoundBy::TextLines},
        {"neither", false, false, PageFoundBy::Nothing},
    };
    for (const Case& c : cases) {
        PageScanOptions options;
        options.findPage = c.findPage, options.levelText = c.levelText;
        PageScanResult r;
        ASSERT_TRUE(
            ScanPage(photo.pixels.data(), photo.width, photo.height, 24, nullptr, r, options))
            << c.what;
        const OwnedPixels owned(r.pixels);
        EXPECT_EQ(c.expected, r.foundBy) << c.what;
        const ScanFigures f = Measure(photo, r);
        if (c.expected == PageFoundBy::Nothing) {
            EXPECT_EQ(photo.width, r.width) << c.what;
            EXPECT_EQ(photo.height, r.height) << c.what;
        } else {
            EXPECT_LE(f.pageCut, 1.0) << c.what << ": " << Describe(f);
            // Text alone, on a photo this small with desk around the page, is levelled roughly;
            // the full-size set holds it to a tenth of a degree.
            const double bound = !c.findPage ? 1.0 : c.levelText ? 0.1 : 0.5;
            EXPECT_LE(std::fabs(f.residualTurn), bound) << c.what << ": " << Describe(f);
        }
    }
}

TEST(ScanPage, FailingAllocationsLeaveNothingBehind) {
    const Photo& photo = SmallPhoto();
    PageScanResult r;
    bool done = false;
    const int allocations = ExpectCleanFailures(
        [&] { done = ScanPage(photo.pixels.data(), photo.width, photo.height, 24, nullptr, r); },
        [&](int failed) {
            if (failed) {
                EXPECT_FALSE(done) << "failed allocation " << failed;
                EXPECT_EQ(nullptr, r.pixels) << "failed allocation " << failed;
                EXPECT_EQ(0, r.width) << "failed allocation " << failed;
            } else {
                EXPECT_TRUE(done);
                DelMem(r.pixels);
            }
        },
        [&] { r = PageScanResult(); });
    EXPECT_GE(allocations, 1);
}

}  // namespace
