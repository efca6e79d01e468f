#include "scan/PageScan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "scan/internal/Geometry.h"
#include "scan/internal/PictureInput.h"
#include "scan/internal/QuadSearch.h"
#include "scan/internal/Reduce.h"
#include "scan/internal/SideFit.h"
#include "scan/internal/TextSkew.h"
#include "scan/internal/Warp.h"
#include "service/CoreKit.h"

namespace imgdesk {
namespace {

using scan::Homography;
using scan::Plane;
using scan::Point;
using scan::SourcePicture;

constexpr double kPi = 3.14159265358979323846;
// The page is looked for at this size: page edges survive it, print and desk grain mostly do not.
constexpr int kFindingSize = 512;
// Text lines are measured at this size: enough for a tenth of a degree across a page.
constexpr int kTextSize = 1600;
// Pictures smaller than this on either side are too small to hold a page worth finding.
constexpr int kSmallest = 32;
// Text on a page whose edges were found is levelled within this turn of the edges: print is
// laid out square to its paper, so larger readings are taken as mistaken.
constexpr double kTextTurnOnPage = 3.0;
constexpr double kNegligibleTurn = 0.03;
constexpr double kTextTurnAgainstEdges = 1.0;

bool IsGreyPicture(const SourcePicture& source) {
    if (source.bits != 8)
        return false;
    for (int i = 0; i < 256; ++i) {
        const tagRGBQUAD& c = source.palette[i];
        if (c.rgbBlue != c.rgbGreen || c.rgbGreen != c.rgbRed)
            return false;
    }
    return true;
}

struct Block {
    unsigned char* data = nullptr;
    ~Block() { DelMem(data); }
    unsigned char* Release() {
        unsigned char* d = data;
        data = nullptr;
        return d;
    }
};

// The picture as it is, in the output's format.
unsigned char* CopyAsIs(const SourcePicture& source, bool grey) {
    const int bits = grey ? 8 : 24;
    const int stride = pixel::RowStride(source.width, bits);
    const long long bytes = static_cast<long long>(stride) * source.height;
    if (bytes > 0x7FFFFFFF)
        throw scan::OutOfMemory{};
    auto* out = static_cast<unsigned char*>(NewMem(static_cast<int>(bytes)));
    if (!out)
        throw scan::OutOfMemory{};
    for (int y = 0; y < source.height; ++y) {
        const unsigned char* in = source.DisplayRow(y);
        unsigned char* o = out + static_cast<long long>(source.height - 1 - y) * stride;
        for (int x = 0; x < source.width; ++x) {
            unsigned char bgr[3];
            source.Colour(in, x, bgr);
            if (grey)
                o[x] = bgr[0];
            else
                std::memcpy(o + 3 * x, bgr, 3);
        }
    }
    return out;
}

bool Inside(const Point* quad, Point p) {
    bool any = false, positive = false;
    for (int k = 0; k < 4; ++k) {
        const double c = scan::Cross(quad[(k + 1) % 4] - quad[k], p - quad[k]);
        if (!any)
            positive = c > 0, any = true;
        else if ((c > 0) != positive)
            return false;
    }
    return true;
}

// The paper's colour: the mean of the brighter quarter of the page (every other reduced pixel
// inside quad, in reduced coordinates).
void PaperColour(const scan::ReducedColour& picture, const Point* quad, unsigned char fill[3]) {
    const int w = picture.blue.Width(), h = picture.blue.Height();
    std::vector<float> levels;
    for (int y = 0; y < h; y += 2) {
        for (int x = 0; x < w; x += 2) {
            if (Inside(quad, {x + 0.5, y + 0.5}))
                levels.push_back(scan::Luminance(picture.blue.At(x, y), picture.green.At(x, y),
                                                 picture.red.At(x, y)));
        }
    }
    if (levels.empty())
        return;
    std::vector<float> sorted = levels;
    const size_t cut = sorted.size() * 3 / 4;
    std::nth_element(sorted.begin(), sorted.begin() + cut, sorted.end());
    const float threshold = sorted[cut];
    double sum[3] = {0, 0, 0};
    int count = 0;
    for (int y = 0; y < h; y += 2) {
        for (int x = 0; x < w; x += 2) {
            if (!Inside(quad, {x + 0.5, y + 0.5}))
                continue;
            if (scan::Luminance(picture.blue.At(x, y), picture.green.At(x, y),
                                picture.red.At(x, y)) < threshold)
                continue;
            sum[0] += picture.blue.At(x, y);
            sum[1] += picture.green.At(x, y);
            sum[2] += picture.red.At(x, y);
            ++count;
        }
    }
    for (int c = 0; c < 3 && count; ++c)
        fill[c] = static_cast<unsigned char>(std::lround(sum[c] / count));
}

// The page resampled from the reduced grey picture at 1 / factor of its full size (the reduced
// picture itself when the page is the whole picture).
Plane<float> PageInGrey(const scan::ReducedGrey& grey, const Homography& pageToInput,
                        double pageWidth, double pageHeight, bool wholePicture) {
    const double f = grey.factor;
    const int w = std::max(1, static_cast<int>(pageWidth / f));
    const int h = std::max(1, static_cast<int>(pageHeight / f));
    Plane<float> page(w, h);
    if (wholePicture && w == grey.grey.Width() && h == grey.grey.Height()) {
        std::copy(grey.grey.Data(), grey.grey.Data() + static_cast<size_t>(w) * h, page.Data());
        return page;
    }
    const double* m = pageToInput.m;
    for (int y = 0; y < h; ++y) {
        // Linear along the row before the projective division, in reduced coordinates.
        const double py = (y + 0.5) * f, px = 0.5 * f;
        double X = m[0] * px + m[1] * py + m[2], Y = m[3] * px + m[4] * py + m[5];
        double W = m[6] * px + m[7] * py + m[8];
        for (int x = 0; x < w; ++x, X += m[0] * f, Y += m[3] * f, W += m[6] * f)
            page.At(x, y) =
                grey.grey.Sample(static_cast<float>(X / W / f), static_cast<float>(Y / W / f));
    }
    return page;
}

Homography Turn(double degrees, Point outputCentre, Point pageCentre) {
    // Output point o goes to page point R (o - outputCentre) + pageCentre, R turning by degrees
    // clockwise as displayed.
    const double t = degrees * kPi / 180, c = std::cos(t), s = std::sin(t);
    Homography h;
    h.m[0] = c, h.m[1] = -s, h.m[2] = pageCentre.x - c * outputCentre.x + s * outputCentre.y;
    h.m[3] = s, h.m[4] = c, h.m[5] = pageCentre.y - s * outputCentre.x - c * outputCentre.y;
    h.m[6] = 0, h.m[7] = 0, h.m[8] = 1;
    return h;
}

// Replaces corners that form a rectangle up to measuring noise by that rectangle, so that the cut
// is a pure turn. Returns whether the sides were far enough from parallel to need a perspective
// correction.
bool SquareUp(Point corners[4], double& width, double& height) {
    const Point top = corners[1] - corners[0], bottom = corners[2] - corners[3];
    const Point left = corners[3] - corners[0], right = corners[2] - corners[1];
    width = (scan::Length(top) + scan::Length(bottom)) / 2;
    height = (scan::Length(left) + scan::Length(right)) / 2;
    const double angle = std::atan2(top.y + bottom.y, top.x + bottom.x);
    // The best rectangle: the mean direction of the four sides, the mean centre, the mean sizes.
    const double across = std::atan2(-(left.x + right.x), left.y + right.y);
    const double mean = angle + std::remainder(across - angle, 2 * kPi) / 2;
    const Point u{std::cos(mean), std::sin(mean)}, v{-u.y, u.x};
    Point centre{};
    for (int k = 0; k < 4; ++k)
        centre = centre + 0.25 * corners[k];
    const Point square[4] = {
        centre - 0.5 * width * u - 0.5 * height * v, centre + 0.5 * width * u - 0.5 * height * v,
        centre + 0.5 * width * u + 0.5 * height * v, centre - 0.5 * width * u + 0.5 * height * v};
    const double tolerance = 0.002 * std::hypot(width, height) + 0.5;
    for (int k = 0; k < 4; ++k) {
        if (scan::Length(square[k] - corners[k]) > tolerance)
            return true;
    }
    std::copy(square, square + 4, corners);
    return false;
}

bool FindPage(const SourcePicture& source, const scan::ReducedColour& reduced, Point corners[4],
              Point reducedQuad[4]) {
    const scan::PageQuad quad = scan::FindPageQuad(reduced);
    if (!quad.found)
        return false;
    const double f = reduced.factor;
    for (int k = 0; k < 4; ++k) {
        reducedQuad[k] = quad.corners[k];
        corners[k] = f * quad.corners[k];
    }
    scan::FitSides(source, 1.0 * f + 3, corners);
    scan::OrderCorners(corners);
    // Implausible refinements (corners well off the picture) fall back on the whole picture.
    const double margin = 0.02 * std::max(source.width, source.height);
    for (int k = 0; k < 4; ++k) {
        if (corners[k].x < -margin || corners[k].y < -margin ||
            corners[k].x > source.width + margin || corners[k].y > source.height + margin)
            return false;
    }
    return true;
}

void Scan(const SourcePicture& source, const PageScanOptions& options, PageScanResult& result) {
    const bool grey = IsGreyPicture(source);
    result.bits = grey ? 8 : 24;
    const Point wholePicture[4] = {{0, 0},
                                   {double(source.width), 0},
                                   {double(source.width), double(source.height)},
                                   {0, double(source.height)}};
    auto keepAsIs = [&] {
        result.pixels = CopyAsIs(source, grey);
        result.width = source.width;
        result.height = source.height;
        std::copy(wholePicture, wholePicture + 4, reinterpret_cast<Point*>(result.corners));
        result.turnDegrees = 0;
        result.perspectiveCorrected = false;
        result.foundBy = PageFoundBy::Nothing;
    };
    if (source.width < kSmallest || source.height < kSmallest ||
        (!options.findPage && !options.levelText)) {
        keepAsIs();
        return;
    }

    scan::ReducedColour reduced;
    scan::ReducedGrey reducedGrey;
    scan::Reduce(source, scan::ReductionFactor(source, kFindingSize),
                 scan::ReductionFactor(source, kTextSize), reduced, reducedGrey);

    scan::PageMapping mapping;
    Point corners[4];
    Point reducedQuad[4];
    bool pageFound = options.findPage && FindPage(source, reduced, corners, reducedQuad);
    double pageWidth = source.width, pageHeight = source.height;
    bool perspective = false;
    if (pageFound) {
        perspective = SquareUp(corners, pageWidth, pageHeight);
        const Point rectangle[4] = {
            {0, 0}, {pageWidth, 0}, {pageWidth, pageHeight}, {0, pageHeight}};
        if (!Homography::FromPoints(rectangle, corners, mapping.pageToInput) || pageWidth < 8 ||
            pageHeight < 8)
            pageFound = false;
    }
    if (!pageFound) {
        mapping.pageToInput = Homography();
        pageWidth = source.width;
        pageHeight = source.height;
        perspective = false;
        const double f = reduced.factor;
        for (int k = 0; k < 4; ++k)
            reducedQuad[k] = (1.0 / f) * wholePicture[k];
    }
    PaperColour(reduced, reducedQuad, mapping.fill);
    if (grey) {
        const unsigned char level = static_cast<unsigned char>(
            scan::Luminance(mapping.fill[0], mapping.fill[1], mapping.fill[2]) + 0.5f);
        std::fill(mapping.fill, mapping.fill + 3, level);
    }

    double textAngle = 0;
    bool textLevelled = false;
    if (options.levelText) {
        const Plane<float> page =
            PageInGrey(reducedGrey, mapping.pageToInput, pageWidth, pageHeight, !pageFound);
        const double range =
            pageFound ? kTextTurnOnPage : std::clamp(options.maxTextTurn, 0.0, 45.0);
        textLevelled = range > 0 && scan::MeasureTextAngle(page, range, textAngle);
    }
    if (!pageFound && !textLevelled) {
        keepAsIs();
        return;
    }
    // Turns below the measure's own precision are not worth a resampling. On a page whose edges
    // were found, the edges (fitted to hundreds of points) are the better measure of small turns:
    // the text overrules them only when it is clearly turned on its paper.
    const double negligible = pageFound ? kTextTurnAgainstEdges : kNegligibleTurn;
    if (!textLevelled || std::fabs(textAngle) < negligible)
        textAngle = 0;

    // The output: the page's own size when its edges were found (text levelling turns it by a
    // degree or two at most, and the slivers it uncovers take the paper's colour); the whole
    // turned picture when only its text was levelled, so nothing of it is lost.
    int width, height;
    if (pageFound) {
        width = std::max(1, static_cast<int>(std::lround(pageWidth)));
        height = std::max(1, static_cast<int>(std::lround(pageHeight)));
    } else {
        const double t = std::fabs(textAngle) * kPi / 180;
        width =
            static_cast<int>(std::ceil(pageWidth * std::cos(t) + pageHeight * std::sin(t) - 1e-6));
        height =
            static_cast<int>(std::ceil(pageWidth * std::sin(t) + pageHeight * std::cos(t) - 1e-6));
    }
    mapping.outputToPage =
        Turn(textAngle, {width / 2.0, height / 2.0}, {pageWidth / 2, pageHeight / 2});
    mapping.pageWidth = pageWidth;
    mapping.pageHeight = pageHeight;

    const int stride = pixel::RowStride(width, result.bits);
    const long long bytes = static_cast<long long>(stride) * height;
    Block out;
    if (bytes > 0x7FFFFFFF ||
        !(out.data = static_cast<unsigned char*>(NewMem(static_cast<int>(bytes)))))
        throw scan::OutOfMemory{};
    scan::WarpPicture(source, mapping, grey, out.data, width, height);

    const Homography toInput = mapping.pageToInput.After(mapping.outputToPage);
    const Point outputCorners[4] = {
        {0, 0}, {double(width), 0}, {double(width), double(height)}, {0, double(height)}};
    for (int k = 0; k < 4; ++k) {
        const Point p = toInput.Map(outputCorners[k]);
        result.corners[k] = {p.x, p.y};
    }
    const Point top = toInput.Map({double(width), height / 2.0}) - toInput.Map({0, height / 2.0});
    result.turnDegrees = -std::atan2(top.y, top.x) * 180 / kPi;
    result.perspectiveCorrected = perspective;
    result.foundBy = pageFound ? PageFoundBy::PageEdges : PageFoundBy::TextLines;
    result.width = width;
    result.height = height;
    result.pixels = out.Release();
}

}  // namespace

bool ScanPage(const unsigned char* pixels, int width, int height, int bits,
              const tagRGBQUAD* palette, PageScanResult& result, const PageScanOptions& options) {
    if (!scan::IsUsablePicture(pixels, width, height, bits, palette))
        return false;
    const SourcePicture source{pixels, width, height, bits, palette};
    PageScanResult scanned;
    try {
        Scan(source, options, scanned);
    } catch (const scan::OutOfMemory&) {
        DelMem(scanned.pixels);
        return false;
    } catch (const std::bad_alloc&) {
        DelMem(scanned.pixels);
        return false;
    }
    result = scanned;
    return true;
}

}  // namespace imgdesk
