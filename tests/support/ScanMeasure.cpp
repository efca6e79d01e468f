#include "support/ScanMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "pixel/internal/PixelLayout.h"

namespace imgdesk::test {

namespace {

constexpr double kDegrees = 180 / 3.14159265358979323846;
constexpr int kGrid = 160;  // samples a side for the area measures

using Polygon = std::vector<PagePoint>;

double Area(const Polygon& p) {
    double a = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const PagePoint& u = p[i];
        const PagePoint& v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return std::fabs(a) / 2;
}

// The part of subject inside the convex polygon clip (Sutherland-Hodgman).
Polygon Clip(Polygon subject, const Polygon& clip) {
    double orientation = 0;
    for (std::size_t i = 0; i < clip.size(); ++i) {
        const PagePoint& u = clip[i];
        const PagePoint& v = clip[(i + 1) % clip.size()];
        orientation += u.x * v.y - v.x * u.y;
    }
    const double sign = orientation >= 0 ? 1 : -1;
    for (std::size_t i = 0; i < clip.size() && !subject.empty(); ++i) {
        const PagePoint a = clip[i], b = clip[(i + 1) % clip.size()];
        auto side = [&](PagePoint p) {
            return sign * ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x));
        };
        Polygon out;
        for (std::size_t j = 0; j < subject.size(); ++j) {
            const PagePoint p = subject[j], q = subject[(j + 1) % subject.size()];
            const double sp = side(p), sq = side(q);
            if (sp >= 0)
                out.push_back(p);
            if ((sp >= 0) != (sq >= 0)) {
                const double t = sp / (sp - sq);
                out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
            }
        }
        subject = out;
    }
    return subject;
}

bool Convex(const Polygon& p) {
    int positive = 0, negative = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const PagePoint a = p[i], b = p[(i + 1) % p.size()], c = p[(i + 2) % p.size()];
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        positive += cross > 0, negative += cross < 0;
    }
    return positive == 0 || negative == 0;
}

// Grey level of an output pixel (u, v from the top-left).
int GreyAt(const PageScanResult& r, int u, int v) {
    const int stride = pixel::RowStride(r.width, r.bits);
    const unsigned char* p =
        r.pixels + std::size_t(r.height - 1 - v) * stride + std::size_t(u) * (r.bits / 8);
    return r.bits == 8 ? p[0] : (p[0] * 114 + p[1] * 587 + p[2] * 299) / 1000;
}

}  // namespace

Homography OutputToPhoto(const PageScanResult& result) {
    const PagePoint box[4] = {{0, 0},
                              {double(result.width), 0},
                              {double(result.width), double(result.height)},
                              {0, double(result.height)}};
    return Homography::FromPoints(box, result.corners);
}

ScanFigures Measure(const Photo& photo, const PageScanResult& result) {
    ScanFigures f;
    if (!result.pixels || result.width < 1 || result.height < 1)
        return f;
    const PhotoTruth& truth = photo.truth;
    const double W = photo.width, H = photo.height;
    const Homography outToPhoto = OutputToPhoto(result);
    const Homography photoToOut = outToPhoto.Inverse();
    const Homography pageToPhoto = truth.pageToPhoto;
    const Homography photoToPage = pageToPhoto.Inverse();
    const Homography pageToOut = photoToOut.After(pageToPhoto);
    const Homography outToPage = photoToPage.After(outToPhoto);
    auto inPhoto = [&](PagePoint p) { return p.x >= 0 && p.y >= 0 && p.x <= W && p.y <= H; };
    auto inOutput = [&](PagePoint p) {
        return p.x >= 0 && p.y >= 0 && p.x <= result.width && p.y <= result.height;
    };
    auto onPage = [&](PagePoint p) {
        return p.x >= 0 && p.y >= 0 && p.x <= truth.pageWidth && p.y <= truth.pageHeight;
    };

    // The text lines' direction in the output, over a grid on the text seen in the photo.
    if (truth.hasPage) {
        double sum = 0, worst = 0;
        int count = 0;
        const double step = 2;  // points either side
        for (int j = 0; j <= 8; ++j)
            for (int i = 0; i <= 8; ++i) {
                const double x = truth.textLeft + (truth.textRight - truth.textLeft) * i / 8.0;
                const double y = truth.textTop + (truth.textBottom - truth.textTop) * j / 8.0;
                if (!inPhoto(pageToPhoto.Apply(x, y)))
                    continue;
                const PagePoint a = pageToOut.Apply(x - step, y), b = pageToOut.Apply(x + step, y);
                const double turn = std::atan2(b.y - a.y, b.x - a.x) * kDegrees;
                sum += turn, ++count;
                if (std::fabs(turn) > std::fabs(worst))
                    worst = turn;
            }
        f.residualTurn = count ? sum / count : 0;
        f.worstTurn = worst;
    }

    // Desk kept: output samples that show no page. Page cut: page samples in the photo that the
    // output lacks.
    int desk = 0, cut = 0, visible = 0, text = 0, textCut = 0;
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            const double u = (i + 0.5) / kGrid, v = (j + 0.5) / kGrid;
            if (!truth.hasPage || !onPage(outToPage.Apply(u * result.width, v * result.height)))
                ++desk;
            const PagePoint onPhoto = pageToPhoto.Apply(u * truth.pageWidth, v * truth.pageHeight);
            if (truth.hasPage && inPhoto(onPhoto)) {
                ++visible;
                if (!inOutput(photoToOut.Apply(onPhoto)))
                    ++cut;
            }
            const PagePoint onText =
                pageToPhoto.Apply(truth.textLeft + u * (truth.textRight - truth.textLeft),
                                  truth.textTop + v * (truth.textBottom - truth.textTop));
            if (truth.hasPage && inPhoto(onText)) {
                ++text;
                if (!inOutput(photoToOut.Apply(onText)))
                    ++textCut;
            }
        }
    f.deskKept = 100.0 * desk / (kGrid * kGrid);
    f.pageCut = visible ? 100.0 * cut / visible : 0;
    f.textCut = text ? 100.0 * textCut / text : 0;

    // Corners, for pages whose corners are in the photo.
    bool cornersInPhoto = truth.hasPage;
    for (const PagePoint& c : truth.corners)
        cornersInPhoto = cornersInPhoto && inPhoto(c);
    if (cornersInPhoto) {
        double worst = 0;
        for (int k = 0; k < 4; ++k)
            worst = std::max(worst, std::hypot(result.corners[k].x - truth.corners[k].x,
                                               result.corners[k].y - truth.corners[k].y));
        f.cornerError = 100 * worst / std::hypot(W, H);
    }

    // Overlap of the page found and the true page, both within the photo.
    const Polygon frame = {{0, 0}, {W, 0}, {W, H}, {0, H}};
    const Polygon found = Clip(Polygon(result.corners, result.corners + 4), frame);
    const Polygon real =
        truth.hasPage ? Clip(Polygon(truth.corners, truth.corners + 4), frame) : Polygon();
    if (!real.empty() && !found.empty() && Convex(Polygon(result.corners, result.corners + 4))) {
        const double both = Area(Clip(found, real));
        f.pageIoU = both / (Area(found) + Area(real) - both);
    }
    f.usable = f.pageIoU >= 0.9 && std::fabs(f.residualTurn) <= 1.0;

    // The whole photo kept, and nothing black where the output shows no photo.
    f.coversPhoto = true;
    for (const PagePoint& c : frame) {
        const PagePoint o = photoToOut.Apply(c);
        f.coversPhoto = f.coversPhoto && o.x >= -1 && o.y >= -1 && o.x <= result.width + 1 &&
                        o.y <= result.height + 1;
    }
    int uncovered = 0, dark = 0;
    const int step = std::max(1, std::min(result.width, result.height) / 300);
    for (int v = 0; v < result.height; v += step)
        for (int u = 0; u < result.width; u += step) {
            const PagePoint p = outToPhoto.Apply(u + 0.5, v + 0.5);
            if (p.x > -2 && p.y > -2 && p.x < W + 2 && p.y < H + 2)
                continue;
            ++uncovered;
            dark += GreyAt(result, u, v) < 96;
        }
    f.uncoveredDark = uncovered ? 100.0 * dark / uncovered : 0;
    return f;
}

std::string Shortfalls(const Photo& photo, const PageScanResult& r, const ScanFigures& f) {
    std::string fails;
    auto require = [&](bool met, const char* what) {
        if (!met)
            fails += std::string(what) + "; ";
    };
    if (!r.pixels)
        return "no result; ";
    if (photo.truth.ambiguous) {
        require(f.textCut <= 1.0, "over 1% of the text cut off");
        require(std::fabs(f.residualTurn) <= 1.0, "text not level within 1 degree");
        return fails;
    }
    switch (photo.truth.expected) {
        case PageFoundBy::PageEdges:
            require(r.foundBy == PageFoundBy::PageEdges, "not found by its edges");
            require(std::fabs(f.residualTurn) <= 0.1, "text not level within 0.1 degree");
            require(f.deskKept <= 1.0 + photo.truth.outlineSlack, "over 1% desk kept");
            require(f.pageCut <= 1.0, "over 1% of the page cut off");
            break;
        case PageFoundBy::TextLines:
            require(r.foundBy == PageFoundBy::TextLines, "not found by its text lines");
            require(std::fabs(f.residualTurn) <= 0.1, "text not level within 0.1 degree");
            require(f.pageCut <= 1.0, "over 1% of the picture cut off");
            require(f.coversPhoto, "the whole picture not kept");
            require(f.uncoveredDark <= 1.0, "uncovered corners not paper-coloured");
            break;
        case PageFoundBy::Nothing:
            require(r.foundBy != PageFoundBy::PageEdges, "a page made up");
            require(f.coversPhoto, "the whole picture not kept");
            break;
    }
    return fails;
}

std::string Describe(const ScanFigures& f) {
    char line[256];
    std::snprintf(
        line, sizeof line,
        "turn %+.3f (worst %+.3f) deg, desk %.2f%%, cut %.2f%%, corners %s, IoU %.3f, "
        "covers %s, uncovered dark %.2f%%, %s",
        f.residualTurn, f.worstTurn, f.deskKept, f.pageCut,
        f.cornerError < 0 ? "-" : (std::to_string(f.cornerError).substr(0, 5) + "%").c_str(),
        f.pageIoU, f.coversPhoto ? "yes" : "no", f.uncoveredDark, f.usable ? "usable" : "unusable");
    return line;
}

const char* KindName(PageFoundBy kind) {
    switch (kind) {
        case PageFoundBy::PageEdges:
            return "PageEdges";
        case PageFoundBy::TextLines:
            return "TextLines";
        case PageFoundBy::Nothing:
            return "Nothing";
    }
    return "?";
}

}  // namespace imgdesk::test
