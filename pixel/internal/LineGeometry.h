#pragma once

// Shared arithmetic of the line detectors: the rounded distance of a point along a direction of
// 2 x angle degrees, and the rounded diagonal of an image. The cosine and sine of a direction are
// computed once per call; each distance keeps its own roundings (the vote counts depend on them).
#include <cmath>

namespace imgdesk::pixel {

constexpr double kPi = 3.141592653589793;
constexpr int kDirections = 90;  // angle indices 0 ... 89, 2 degrees apart
constexpr int kEdgeAbove = 125;  // an edge pixel is a byte above this

// The cosine and sine of the direction of one angle index, in double precision.
struct Direction {
    double cosine;
    double sine;

    static Direction OfAngle(int angle) {
        const double t = 2 * angle * kPi / 180;
        return Direction{std::cos(t), std::sin(t)};
    }

    // x cos t + y sin t rounded to float, then moved half away from zero (rounded to float
    // again) but not yet truncated.
    float HalfRounded(int x, int y) const {
        const float r = static_cast<float>(x * cosine + y * sine);
        return r > 0 ? static_cast<float>(r + 0.5) : static_cast<float>(r - 0.5);
    }

    // The rounded distance of (x, y): half away from zero, truncated toward zero.
    int Distance(int x, int y) const { return static_cast<int>(HalfRounded(x, y)); }
};

// The diagonal of a width x height image rounded to the nearest integer, with the roundings to
// float the distance tables are sized by.
inline int DiagonalLength(int width, int height) {
    const float squared = static_cast<float>(static_cast<double>(width) * width + height * height);
    const float root = static_cast<float>(std::sqrt(static_cast<double>(squared)));
    return static_cast<int>(root + 0.5);
}

}  // namespace imgdesk::pixel
