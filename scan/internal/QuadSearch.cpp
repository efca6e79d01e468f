#include "scan/internal/QuadSearch.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace imgdesk::scan {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Edge evidence works on contrast ratios, so that a shadow does not weaken a page edge: 32 units
// of the log-brightness scale are one doubling of brightness.
constexpr float kLogUnits = 32.0f;
// Smoothing before gradients, in reduced pixels: wide enough to wash out print and desk grain.
constexpr float kSmoothing = 1.5f;
// The contrast at which an edge counts as fully present (as a gradient after smoothing) lies
// between these: about 4% in brightness on a plain desk, 15% on a grainy one. It follows the
// picture's own texture (kTextureFactor times its median gradient), so that a white page on a
// white table is seen while wood grain and gravel are not taken for edges.
constexpr float kLeastFullContrast = 0.35f;
constexpr float kMostFullContrast = 1.7f;
constexpr float kTextureFactor = 10.0f;
// Weight of the colour channels against brightness: a white page on a light wooden desk differs
// more in colour than in brightness.
constexpr float kChromaWeight = 1.0f;
// How far either side of a line its two sides are compared, in reduced pixels: beyond the
// smoothing, so that a printed rule (paper on both sides) is told from the page's edge.
constexpr float kStepReach = 3.5f;
// Evidence given to a stretch of the picture's border taken as a side, for a page that runs out
// of the photo: enough to close the outline, too little to make an outline of borders alone.
constexpr float kBorderEvidence = 0.7f;

struct Features {
    // Smoothed log brightness and two relative colour differences, and their gradients.
    Plane<float> logL, chromaA, chromaB;
    Plane<float> lx, ly, ax, ay, bx, by;
    // The gradient at which an edge counts as fully present.
    float fullContrast = kMostFullContrast;
    // Edge strength and normal direction (radians) of the points kept by non-maximum suppression.
    Plane<float> strength, normal;
};

void GaussianBlur(Plane<float>& plane, float sigma) {
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> kernel(2 * radius + 1);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[i + radius] = std::exp(-0.5f * i * i / (sigma * sigma));
    for (float& k : kernel)
        k /= sum;
    const int w = plane.Width(), h = plane.Height();
    // Rows: the picture's edge pixels repeat beyond it. Tap by tap over the whole row, so that
    // the inner loop runs along memory.
    std::vector<float> padded(w + 2 * radius), row(w);
    for (int y = 0; y < h; ++y) {
        float* line = plane.Row(y);
        std::fill(padded.begin(), padded.begin() + radius, line[0]);
        std::copy(line, line + w, padded.begin() + radius);
        std::fill(padded.begin() + radius + w, padded.end(), line[w - 1]);
        std::fill(row.begin(), row.end(), 0.0f);
        for (int i = 0; i <= 2 * radius; ++i) {
            const float k = kernel[i];
            const float* p = padded.data() + i;
            for (int x = 0; x < w; ++x)
                row[x] += k * p[x];
        }
        std::copy(row.begin(), row.end(), line);
    }
    // Columns, a whole row at a time so that memory is read in order.
    Plane<float> copy(w, h);
    std::copy(plane.Data(), plane.Data() + static_cast<size_t>(w) * h, copy.Data());
    for (int y = 0; y < h; ++y) {
        float* out = plane.Row(y);
        std::fill(out, out + w, 0.0f);
        for (int i = -radius; i <= radius; ++i) {
            const float* in = copy.Row(std::clamp(y + i, 0, h - 1));
            const float k = kernel[i + radius];
            for (int x = 0; x < w; ++x)
                out[x] += k * in[x];
        }
    }
}

void Gradient(const Plane<float>& in, Plane<float>& gx, Plane<float>& gy) {
    const int w = in.Width(), h = in.Height();
    gx = Plane<float>(w, h);
    gy = Plane<float>(w, h);
    for (int y = 0; y < h; ++y) {
        const float* up = in.Row(std::max(y - 1, 0));
        const float* row = in.Row(y);
        const float* down = in.Row(std::min(y + 1, h - 1));
        for (int x = 0; x < w; ++x) {
            gx.At(x, y) = 0.5f * (row[std::min(x + 1, w - 1)] - row[std::max(x - 1, 0)]);
            gy.At(x, y) = 0.5f * (down[x] - up[x]);
        }
    }
}

Features ComputeFeatures(const ReducedColour& picture) {
    const int w = picture.blue.Width(), h = picture.blue.Height();
    Plane<float> logL(w, h), chromaA(w, h), chromaB(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float b = picture.blue.At(x, y), g = picture.green.At(x, y),
                        r = picture.red.At(x, y);
            const float lum = Luminance(b, g, r);
            logL.At(x, y) = kLogUnits * std::log2(lum + 16.0f);
            const float relative = kLogUnits / (lum + 16.0f) / std::log(2.0f);
            chromaA.At(x, y) = (r - g) * relative;
            chromaB.At(x, y) = (0.5f * (r + g) - b) * relative;
        }
    }
    GaussianBlur(logL, kSmoothing);
    GaussianBlur(chromaA, kSmoothing);
    GaussianBlur(chromaB, kSmoothing);
    Features f;
    Gradient(logL, f.lx, f.ly);
    Gradient(chromaA, f.ax, f.ay);
    Gradient(chromaB, f.bx, f.by);
    f.logL = std::move(logL);
    f.chromaA = std::move(chromaA);
    f.chromaB = std::move(chromaB);

    // Edge strength and direction from the structure tensor of all three channels.
    Plane<float> magnitude(w, h), direction(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float lx = f.lx.At(x, y), ly = f.ly.At(x, y);
            const float ax = kChromaWeight * f.ax.At(x, y), ay = kChromaWeight * f.ay.At(x, y);
            const float bx = kChromaWeight * f.bx.At(x, y), by = kChromaWeight * f.by.At(x, y);
            const float jxx = lx * lx + ax * ax + bx * bx;
            const float jyy = ly * ly + ay * ay + by * by;
            const float jxy = lx * ly + ax * ay + bx * by;
            magnitude.At(x, y) = std::sqrt(jxx + jyy);
            direction.At(x, y) = 0.5f * std::atan2(2 * jxy, jxx - jyy);
        }
    }
    // Most of a picture is flat desk or paper: its median gradient measures grain and noise.
    std::vector<float> sample;
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; x += 2)
            sample.push_back(magnitude.At(x, y));
    std::nth_element(sample.begin(), sample.begin() + sample.size() / 2, sample.end());
    f.fullContrast = std::clamp(kTextureFactor * sample[sample.size() / 2], kLeastFullContrast,
                                kMostFullContrast);
    const float minEdge = 0.45f * f.fullContrast;
    // Thin the edges to their ridge.
    f.strength = Plane<float>(w, h);
    f.normal = Plane<float>(w, h);
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            const float m = magnitude.At(x, y);
            if (m < minEdge)
                continue;
            const float t = direction.At(x, y);
            const int dx = static_cast<int>(std::lround(std::cos(t)));
            const int dy = static_cast<int>(std::lround(std::sin(t)));
            if (m >= magnitude.At(x + dx, y + dy) && m > magnitude.At(x - dx, y - dy)) {
                f.strength.At(x, y) = m;
                f.normal.At(x, y) = t;
            }
        }
    }
    return f;
}

struct Candidate {
    Line line;
    double votes = 0;
    bool border = false;  // a side of the picture, not a line found in it
    // Running sums of edge evidence along the line, one entry per unit step from start, for the
    // paper on the side the normal points to (brighter there) and on the other side.
    double start = 0;
    std::vector<float> towardNormal, awayFromNormal;
};

// Lines as Hough peaks: each edge point votes, weighted by its strength, for the lines through it
// whose normal lies within a few degrees of its own.
std::vector<Candidate> HoughCandidates(const Features& f, int maxLines) {
    const int w = f.strength.Width(), h = f.strength.Height();
    constexpr int kAngles = 360;  // half-degree steps over [0, 180)
    constexpr int kSpread = 6;    // votes within +-3 degrees of the point's own normal
    const int maxDistance = static_cast<int>(std::ceil(std::hypot(w, h))) + 1;
    const int distances = 2 * maxDistance + 1;
    std::vector<float> votes(static_cast<size_t>(kAngles) * distances, 0.0f);
    std::vector<float> cosines(kAngles), sines(kAngles);
    for (int a = 0; a < kAngles; ++a) {
        cosines[a] = static_cast<float>(std::cos(a * kPi / kAngles));
        sines[a] = static_cast<float>(std::sin(a * kPi / kAngles));
    }
    const float cap = 4 * f.fullContrast;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float m = f.strength.At(x, y);
            if (m <= 0)
                continue;
            const float weight = std::min(m, cap);
            double t = f.normal.At(x, y) * 180.0 / kPi;
            if (t < 0)
                t += 180.0;
            const int centre = static_cast<int>(std::lround(t * 2));
            const float px = x + 0.5f, py = y + 0.5f;
            for (int k = -kSpread; k <= kSpread; ++k) {
                const int a = ((centre + k) % kAngles + kAngles) % kAngles;
                const int d = static_cast<int>(std::lround(px * cosines[a] + py * sines[a]));
                votes[static_cast<size_t>(a) * distances + d + maxDistance] += weight;
            }
        }
    }
    // Peaks: local maxima over +-2 degrees and +-4 pixels.
    struct Peak {
        float votes;
        int angle, distance;
    };
    std::vector<Peak> peaks;
    const float minVotes = 0.08f * std::min(w, h) * f.fullContrast;
    for (int a = 0; a < kAngles; ++a) {
        for (int d = 0; d < distances; ++d) {
            const float v = votes[static_cast<size_t>(a) * distances + d];
            if (v < minVotes)
                continue;
            bool isPeak = true;
            for (int da = -4; da <= 4 && isPeak; ++da) {
                const int aa = a + da;
                if (aa < 0 || aa >= kAngles)
                    continue;
                for (int dd = -4; dd <= 4; ++dd) {
                    const int d2 = d + dd;
                    if (d2 < 0 || d2 >= distances || (da == 0 && dd == 0))
                        continue;
                    const float other = votes[static_cast<size_t>(aa) * distances + d2];
                    if (other > v || (other == v && (da < 0 || (da == 0 && dd < 0)))) {
                        isPeak = false;
                        break;
                    }
                }
            }
            if (isPeak)
                peaks.push_back({v, a, d - maxDistance});
        }
    }
    std::sort(peaks.begin(), peaks.end(),
              [](const Peak& a, const Peak& b) { return a.votes > b.votes; });
    if (static_cast<int>(peaks.size()) > maxLines)
        peaks.resize(maxLines);

    std::vector<Candidate> candidates;
    for (const Peak& peak : peaks) {
        Candidate c;
        c.line = Line::FromAngle(peak.angle * 0.5, peak.distance);
        c.votes = peak.votes;
        candidates.push_back(c);
    }
    return candidates;
}

// Refits a candidate to the edge points near it whose normals agree with its own.
void RefineCandidate(const Features& f, Candidate& c) {
    const int w = f.strength.Width(), h = f.strength.Height();
    for (int round = 0; round < 2; ++round) {
        std::vector<WeightedPoint> points;
        const Point dir = c.line.Direction();
        // Walk along the line and look across it, rather than over the whole picture.
        const Point origin = c.line.offset * c.line.normal;
        const double reach = std::hypot(w, h);
        for (double t = -reach; t <= reach; t += 1.0) {
            const Point base = origin + t * dir;
            if (base.x < -2 || base.y < -2 || base.x > w + 2 || base.y > h + 2)
                continue;
            for (int s = -2; s <= 2; ++s) {
                const Point p = base + double(s) * c.line.normal;
                const int x = static_cast<int>(p.x), y = static_cast<int>(p.y);
                if (x < 0 || y < 0 || x >= w || y >= h)
                    continue;
                const float m = f.strength.At(x, y);
                if (m <= 0)
                    continue;
                const double t2 = f.normal.At(x, y);
                const double agreement =
                    std::fabs(std::cos(t2) * c.line.normal.x + std::sin(t2) * c.line.normal.y);
                if (agreement < std::cos(4 * kPi / 180))
                    continue;
                points.push_back({{x + 0.5, y + 0.5}, std::min<double>(m, 4 * f.fullContrast)});
            }
        }
        // Points are collected once per walk step and offset, so a point can repeat: harmless
        // for a least-squares fit, which only sees a heavier weight.
        Line fitted;
        if (points.size() < 8 || !FitLineRobust(points, 1.0, fitted))
            return;
        if (Dot(fitted.normal, c.line.normal) < 0)
            fitted = Line{-1.0 * fitted.normal, -fitted.offset};
        if (Dot(fitted.normal, c.line.normal) < std::cos(3 * kPi / 180))
            return;
        c.line = fitted;
    }
}

// Evidence that the line is a page edge at each unit step along it, for both polarities.
void ProfileCandidate(const Features& f, Candidate& c) {
    const int w = f.strength.Width(), h = f.strength.Height();
    const Point dir = c.line.Direction();
    const Point n = c.line.normal;
    const Point origin = c.line.offset * n;
    // The stretch of the line inside the picture.
    double lo = -1e18, hi = 1e18;
    auto clip = [&](double o, double d, double limit) {
        if (std::fabs(d) < 1e-12) {
            if (o < 0 || o > limit)
                lo = 1, hi = 0;
            return;
        }
        double t0 = (0 - o) / d, t1 = (limit - o) / d;
        if (t0 > t1)
            std::swap(t0, t1);
        lo = std::max(lo, t0);
        hi = std::min(hi, t1);
    };
    clip(origin.x, dir.x, w);
    clip(origin.y, dir.y, h);
    c.start = lo;
    c.towardNormal.assign(1, 0.0f);
    c.awayFromNormal.assign(1, 0.0f);
    if (hi <= lo)
        return;
    const int steps = static_cast<int>(hi - lo);
    c.towardNormal.reserve(steps + 1);
    c.awayFromNormal.reserve(steps + 1);
    const float full = f.fullContrast;
    // A step of brightness or colour across the line this large counts fully: about what a
    // smoothed edge of full gradient spans.
    const float fullStep = 3.0f * full;
    const float contrary = 0.5f * full;
    const float nx = static_cast<float>(n.x), ny = static_cast<float>(n.y);
    float sumToward = 0, sumAway = 0;
    for (int i = 0; i < steps; ++i) {
        const Point base = origin + (lo + i + 0.5) * dir;
        float bestToward = 0, bestAway = 0;
        for (int s = -1; s <= 1; ++s) {
            const Point p = base + double(s) * n;
            const float fx = static_cast<float>(p.x), fy = static_cast<float>(p.y);
            const float lx = f.lx.Sample(fx, fy), ly = f.ly.Sample(fx, fy);
            const float ax = f.ax.Sample(fx, fy), ay = f.ay.Sample(fx, fy);
            const float bx = f.bx.Sample(fx, fy), by = f.by.Sample(fx, fy);
            const float ln = lx * nx + ly * ny, lt = -lx * ny + ly * nx;
            const float an = ax * nx + ay * ny, at = -ax * ny + ay * nx;
            const float bn = bx * nx + by * ny, bt = -bx * ny + by * nx;
            const float across = ln * ln + kChromaWeight * kChromaWeight * (an * an + bn * bn);
            const float along = lt * lt + kChromaWeight * kChromaWeight * (at * at + bt * bt);
            if (along > 0.25f * across)
                continue;  // an edge that crosses the line, not one that follows it
            // A colour edge backs either polarity, unless the brightness clearly says the
            // paper is on the other side.
            const float chroma = kChromaWeight * std::sqrt(an * an + bn * bn);
            bestToward = std::max(bestToward, std::max(ln, ln > -contrary ? chroma : 0.0f));
            bestAway = std::max(bestAway, std::max(-ln, ln < contrary ? chroma : 0.0f));
        }
        // The two sides must differ as a whole, not just at the line: a printed rule or the
        // edge of a column of print has paper on both sides, the page's edge has desk outside.
        const Point ahead = base + double(kStepReach) * n, behind = base - double(kStepReach) * n;
        const float ax = static_cast<float>(ahead.x), ay = static_cast<float>(ahead.y);
        const float bx = static_cast<float>(behind.x), by = static_cast<float>(behind.y);
        const float stepL = f.logL.Sample(ax, ay) - f.logL.Sample(bx, by);
        const float stepC =
            kChromaWeight * std::hypot(f.chromaA.Sample(ax, ay) - f.chromaA.Sample(bx, by),
                                       f.chromaB.Sample(ax, ay) - f.chromaB.Sample(bx, by));
        const float stepToward = std::max(stepL, stepL > -3 * contrary ? stepC : 0.0f);
        const float stepAway = std::max(-stepL, stepL < 3 * contrary ? stepC : 0.0f);
        sumToward += std::min({1.0f, bestToward / full, stepToward / fullStep});
        sumAway += std::min({1.0f, bestAway / full, stepAway / fullStep});
        c.towardNormal.push_back(sumToward);
        c.awayFromNormal.push_back(sumAway);
    }
}

// A side of the picture as a candidate, for a page that runs out of the photo.
Candidate BorderCandidate(Point a, Point b) {
    Candidate c;
    c.line = Line::Through(a, b);
    c.border = true;
    const Point dir = c.line.Direction();
    c.start = std::min(Dot(a, dir), Dot(b, dir));
    const int steps = static_cast<int>(Length(b - a));
    c.towardNormal.assign(1, 0.0f);
    for (int i = 1; i <= steps; ++i)
        c.towardNormal.push_back(kBorderEvidence * i);
    c.awayFromNormal = c.towardNormal;
    return c;
}

// Mean evidence of the stretch of candidate c between points a and b (on its line), with the
// paper on the side of inside.
double SideSupport(const Candidate& c, Point a, Point b, Point inside) {
    const Point dir = c.line.Direction();
    const bool towardNormal = c.line.Distance(inside) > 0;
    const std::vector<float>& sums = towardNormal ? c.towardNormal : c.awayFromNormal;
    double ta = Dot(a, dir) - c.start, tb = Dot(b, dir) - c.start;
    if (ta > tb)
        std::swap(ta, tb);
    const double length = tb - ta;
    if (length < 1)
        return 0;
    const int last = static_cast<int>(sums.size()) - 1;
    const int ia = std::clamp(static_cast<int>(ta), 0, last);
    const int ib = std::clamp(static_cast<int>(tb), 0, last);
    return (sums[ib] - sums[ia]) / length;
}

// What lies either side of the side from a to b (paper towards inside): the brightness of the
// brightest part of a band just inside and just outside, the typical brightness outside, and the
// difference in colour.
struct SideBands {
    bool measured = false;
    float insideBright = 0, outsideBright = 0, outsideTypical = 0;
    double colour = 0;
};

SideBands MeasureBands(const Features& f, Point a, Point b, Point inside) {
    SideBands bands;
    const double length = Length(b - a);
    if (length < 4)
        return bands;
    const Point along = (1.0 / length) * (b - a);
    Point normal{-along.y, along.x};
    if (Dot(normal, inside - a) < 0)
        normal = -1.0 * normal;
    std::vector<float> in, out;
    double inA = 0, inB = 0, outA = 0, outB = 0;
    const int w = f.logL.Width(), h = f.logL.Height();
    for (double t = 0.1 * length; t <= 0.9 * length; t += 1.0) {
        for (double d = 2.5; d <= 6.5; d += 2.0) {
            const Point pi = a + t * along + d * normal, po = a + t * along - d * normal;
            if (po.x < 0 || po.y < 0 || po.x > w || po.y > h)
                continue;  // the picture's border: nothing outside to compare
            const float xi = float(pi.x), yi = float(pi.y), xo = float(po.x), yo = float(po.y);
            in.push_back(f.logL.Sample(xi, yi));
            out.push_back(f.logL.Sample(xo, yo));
            inA += f.chromaA.Sample(xi, yi), inB += f.chromaB.Sample(xi, yi);
            outA += f.chromaA.Sample(xo, yo), outB += f.chromaB.Sample(xo, yo);
        }
    }
    if (in.size() < 8)
        return bands;
    auto percentile = [](std::vector<float>& v, int percent) {
        const size_t k = v.size() * percent / 100;
        std::nth_element(v.begin(), v.begin() + k, v.end());
        return v[k];
    };
    const double n = double(in.size());
    bands.measured = true;
    bands.insideBright = percentile(in, 80);
    bands.outsideBright = percentile(out, 80);
    bands.outsideTypical = percentile(out, 50);
    bands.colour = kChromaWeight * std::hypot((inA - outA) / n, (inB - outB) / n);
    return bands;
}

// Whether the paper ends at a side: the brightest part just outside must be clearly darker, or
// of another colour, than just inside. The gap after a paragraph or a shadow's edge on the page
// have paper on both sides, and its white shows between the print.
bool PaperEnds(const SideBands& bands, const Features& f) {
    if (!bands.measured)
        return true;
    const double brightness = bands.insideBright - bands.outsideBright;
    return std::max(brightness, bands.colour) >= 0.75 * f.fullContrast;
}

double AngleBetween(const Line& a, const Line& b) {
    double d = std::fabs(a.AngleDegrees() - b.AngleDegrees());
    return std::min(d, 180.0 - d);
}

}  // namespace

PageQuad FindPageQuad(const ReducedColour& picture) {
    const int w = picture.blue.Width(), h = picture.blue.Height();
    PageQuad best;
    if (w < 16 || h < 16)
        return best;
    const Features f = ComputeFeatures(picture);
    std::vector<Candidate> lines = HoughCandidates(f, 40);
    for (Candidate& c : lines) {
        RefineCandidate(f, c);
        ProfileCandidate(f, c);
    }
    // The picture's sides close the outline of a page that runs out of the photo.
    const Point box[4] = {{0, 0}, {double(w), 0}, {double(w), double(h)}, {0, double(h)}};
    for (int k = 0; k < 4; ++k)
        lines.push_back(BorderCandidate(box[k], box[(k + 1) % 4]));
    const double shorter = std::min(w, h);
    const double minArea = 0.05 * w * h;
    const double margin = 0.01 * std::max(w, h);

    // Opposite sides: nearly parallel lines well apart.
    struct Pair {
        int a, b;
    };
    std::vector<Pair> pairs;
    const Point centre{w / 2.0, h / 2.0};
    for (size_t i = 0; i < lines.size(); ++i) {
        for (size_t j = i + 1; j < lines.size(); ++j) {
            if (AngleBetween(lines[i].line, lines[j].line) > 30 ||
                (lines[i].border && lines[j].border))
                continue;
            // The distance between the lines where they pass the picture's centre.
            Point onI = centre - lines[i].line.Distance(centre) * lines[i].line.normal;
            const double separation = std::fabs(lines[j].line.Distance(onI));
            if (separation < 0.1 * shorter)
                continue;
            pairs.push_back({static_cast<int>(i), static_cast<int>(j)});
        }
    }
    struct Outline {
        Point corners[4];
        bool border[4];
        double score;
    };
    std::vector<Outline> outlines;
    for (size_t p = 0; p < pairs.size(); ++p) {
        for (size_t q = p + 1; q < pairs.size(); ++q) {
            const Pair& one = pairs[p];
            const Pair& two = pairs[q];
            if (one.a == two.a || one.a == two.b || one.b == two.a || one.b == two.b)
                continue;
            if (AngleBetween(lines[one.a].line, lines[two.a].line) < 50)
                continue;
            // At most one side of the outline may be the picture's own.
            const int borders = lines[one.a].border + lines[one.b].border + lines[two.a].border +
                                lines[two.b].border;
            if (borders > 1)
                continue;
            const int order[4] = {one.a, two.a, one.b, two.b};
            Point corners[4];
            bool ok = true;
            for (int k = 0; k < 4 && ok; ++k)
                ok = Intersect(lines[order[k]].line, lines[order[(k + 1) % 4]].line, corners[k]);
            if (!ok)
                continue;
            for (int k = 0; k < 4 && ok; ++k) {
                ok = corners[k].x > -margin && corners[k].y > -margin &&
                     corners[k].x < w + margin && corners[k].y < h + margin;
            }
            if (!ok)
                continue;
            // Convex, with no corner too sharp for a photographed rectangle.
            double turnSign = 0;
            for (int k = 0; k < 4 && ok; ++k) {
                const Point in = corners[k] - corners[(k + 3) % 4];
                const Point out = corners[(k + 1) % 4] - corners[k];
                const double cross = Cross(in, out);
                if (turnSign == 0)
                    turnSign = cross;
                if (cross * turnSign <= 0)
                    ok = false;
                const double cosine = -Dot(in, out) / (Length(in) * Length(out));
                if (std::fabs(cosine) > std::cos(50 * kPi / 180))
                    ok = false;
            }
            if (!ok)
                continue;
            const double area = PolygonArea(corners, 4);
            if (area < minArea)
                continue;
            Point middle{};
            for (const Point& corner : corners)
                middle = middle + 0.25 * corner;
            double total = 0, weakest = 1, weakestFound = 1;
            for (int k = 0; k < 4; ++k) {
                // Side k runs from corner k - 1 to corner k on line order[k].
                const Point a = corners[(k + 3) % 4], b = corners[k];
                const double support = SideSupport(lines[order[k]], a, b, middle);
                weakest = std::min(weakest, support);
                if (!lines[order[k]].border)
                    weakestFound = std::min(weakestFound, support);
                total += support * Length(b - a);
            }
            // An outline closed by the picture's border leans on its other three sides, and the
            // two that run into the border must be edges all the way to it: a side that stops
            // at a corner short of the border belongs to a page that does not reach it.
            if (weakest < 0.5 || (borders && weakestFound < 0.65))
                continue;
            bool reaches = true;
            for (int k = 0; k < 4 && reaches && borders; ++k) {
                if (!lines[order[k]].border)
                    continue;
                // Side k is the border; sides k - 1 and k + 1 meet it at corners k - 1 and k.
                const Point nearPrevious = corners[(k + 3) % 4], nearNext = corners[k];
                const Point farPrevious = corners[(k + 2) % 4], farNext = corners[(k + 1) % 4];
                const Point endPrevious = farPrevious + 0.7 * (nearPrevious - farPrevious);
                const Point endNext = farNext + 0.7 * (nearNext - farNext);
                reaches = SideSupport(lines[order[(k + 3) % 4]], endPrevious, nearPrevious,
                                      middle) >= 0.6 &&
                          SideSupport(lines[order[(k + 1) % 4]], nearNext, endNext, middle) >= 0.6;
            }
            if (!reaches)
                continue;
            Outline outline;
            outline.score = total * (0.5 + weakest);
            // Corner k - 1 and k bound side k: the corners are in cycle order.
            std::copy(corners, corners + 4, outline.corners);
            for (int k = 0; k < 4; ++k)
                outline.border[k] = lines[order[k]].border;
            outlines.push_back(outline);
        }
    }
    // The best outline whose sides are all where the paper ends.
    std::sort(outlines.begin(), outlines.end(),
              [](const Outline& x, const Outline& y) { return x.score > y.score; });
    constexpr size_t kOutlinesChecked = 24;
    for (size_t i = 0; i < outlines.size() && i < kOutlinesChecked; ++i) {
        const Outline& o = outlines[i];
        Point middle{};
        for (const Point& corner : o.corners)
            middle = middle + 0.25 * corner;
        bool ends = true, closedByBorder = false;
        float darkestOutside = 1e9f, brightestOutside = -1e9f, paper = 0;
        int measured = 0;
        for (int k = 0; k < 4 && ends; ++k) {
            if (o.border[k]) {
                closedByBorder = true;
                continue;
            }
            const SideBands bands = MeasureBands(f, o.corners[(k + 3) % 4], o.corners[k], middle);
            ends = PaperEnds(bands, f);
            if (bands.measured) {
                darkestOutside = std::min(darkestOutside, bands.outsideTypical);
                brightestOutside = std::max(brightestOutside, bands.outsideTypical);
                paper += bands.insideBright;
                ++measured;
            }
        }
        // A page running out of the photo lies on one desk: what its three edges have outside
        // must agree, or the outline is made of other things (a scanner's dark strip and the
        // gaps between paragraphs of a page filling the picture).
        if (ends && closedByBorder && measured == 3) {
            const float desk = (darkestOutside + brightestOutside) / 2;
            ends = brightestOutside - darkestOutside < 0.5f * (paper / 3 - desk);
        }
        if (!ends)
            continue;
        best.found = true;
        best.score = o.score;
        std::copy(o.corners, o.corners + 4, best.corners);
        break;
    }
    return best;
}

}  // namespace imgdesk::scan
