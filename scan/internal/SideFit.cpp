#include "scan/internal/SideFit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace imgdesk::scan {

void SampleColour(const SourcePicture& source, double x, double y, float bgr[3]) {
    x = std::clamp(x - 0.5, 0.0, source.width - 1.0);
    y = std::clamp(y - 0.5, 0.0, source.height - 1.0);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, source.width - 1), y1 = std::min(y0 + 1, source.height - 1);
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    unsigned char c00[3], c10[3], c01[3], c11[3];
    const unsigned char* top = source.DisplayRow(y0);
    const unsigned char* bottom = source.DisplayRow(y1);
    source.Colour(top, x0, c00);
    source.Colour(top, x1, c10);
    source.Colour(bottom, x0, c01);
    source.Colour(bottom, x1, c11);
    for (int c = 0; c < 3; ++c) {
        const float upper = c00[c] + (c10[c] - c00[c]) * fx;
        const float lower = c01[c] + (c11[c] - c01[c]) * fx;
        bgr[c] = upper + (lower - upper) * fy;
    }
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// Where across the side, at one point along it, the colour changes fastest; false when nowhere
// does it change clearly.
bool EdgeAcross(const SourcePicture& source, Point base, Point along, Point across, int radius,
                double& offset, double& strength) {
    std::vector<float> profile(3 * (2 * radius + 3));
    for (int s = -radius - 1; s <= radius + 1; ++s) {
        float sum[3] = {0, 0, 0};
        // Averaged over a short stretch along the side against noise and print.
        for (int u = -1; u <= 1; ++u) {
            const Point p = base + double(s) * across + double(u) * along;
            float bgr[3];
            SampleColour(source, p.x, p.y, bgr);
            for (int c = 0; c < 3; ++c)
                sum[c] += bgr[c];
        }
        for (int c = 0; c < 3; ++c)
            profile[3 * (s + radius + 1) + c] = sum[c] / 3;
    }
    auto change = [&](int s) {
        const float* before = &profile[3 * (s + radius)];
        const float* after = &profile[3 * (s + radius + 2)];
        return std::fabs(after[0] - before[0]) + std::fabs(after[1] - before[1]) +
               std::fabs(after[2] - before[2]);
    };
    int best = 0;
    float bestChange = -1;
    std::vector<float> changes(2 * radius + 1);
    for (int s = -radius; s <= radius; ++s) {
        changes[s + radius] = change(s);
        if (changes[s + radius] > bestChange) {
            bestChange = changes[s + radius];
            best = s;
        }
    }
    if (bestChange < 12.0f || best == -radius || best == radius)
        return false;
    const double left = changes[best - 1 + radius], right = changes[best + 1 + radius];
    const double denominator = left - 2 * bestChange + right;
    offset = best + (denominator < 0 ? 0.5 * (left - right) / denominator : 0.0);
    strength = bestChange;
    return true;
}

bool FitSide(const SourcePicture& source, Point a, Point b, double searchRadius, Line& side) {
    const double length = Length(b - a);
    const Point along = (1.0 / length) * (b - a);
    const Point across{-along.y, along.x};
    const int radius = std::max(3, static_cast<int>(std::ceil(searchRadius)));
    const int samples = std::clamp(static_cast<int>(length / 4), 12, 240);
    std::vector<WeightedPoint> points;
    for (int i = 0; i < samples; ++i) {
        const double t = 0.06 + 0.88 * (i + 0.5) / samples;
        const Point base = a + t * length * along;
        if (base.x < 1 || base.y < 1 || base.x > source.width - 1 || base.y > source.height - 1)
            continue;
        double offset = 0, strength = 0;
        if (EdgeAcross(source, base, along, across, radius, offset, strength))
            points.push_back({base + offset * across, strength});
    }
    if (static_cast<int>(points.size()) < samples / 3)
        return false;
    Line fitted;
    if (!FitLineRobust(points, 1.5, fitted))
        return false;
    const Line coarse = Line::Through(a, b);
    if (std::fabs(Dot(fitted.normal, coarse.normal)) < std::cos(1.5 * kPi / 180))
        return false;
    if (std::fabs(fitted.Distance(0.5 * (a + b))) > radius)
        return false;
    side = fitted;
    return true;
}

}  // namespace

void FitSides(const SourcePicture& source, double searchRadius, Point corners[4]) {
    Line sides[4];
    for (int k = 0; k < 4; ++k) {
        const Point a = corners[k], b = corners[(k + 1) % 4];
        if (!FitSide(source, a, b, searchRadius, sides[k]))
            sides[k] = Line::Through(a, b);
    }
    Point refined[4];
    for (int k = 0; k < 4; ++k) {
        // Corner k joins the side ending there and the side starting there.
        if (!Intersect(sides[(k + 3) % 4], sides[k], refined[k]))
            return;
    }
    std::copy(refined, refined + 4, corners);
}

}  // namespace imgdesk::scan
