#include "scan/internal/TextSkew.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace imgdesk::scan {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct InkPoint {
    float x, y;
};

// Dark marks on their local background: a pixel clearly darker than the mean around it. The mean
// follows shadows and gradients, so the marks are found under uneven light.
std::vector<InkPoint> FindInk(const Plane<float>& grey) {
    const int w = grey.Width(), h = grey.Height();
    const int radius = std::max(4, std::min(w, h) / 40);
    Plane<double> integral(w + 1, h + 1);
    for (int y = 0; y < h; ++y) {
        double rowSum = 0;
        for (int x = 0; x < w; ++x) {
            rowSum += grey.At(x, y);
            integral.At(x + 1, y + 1) = integral.At(x + 1, y) + rowSum;
        }
    }
    std::vector<InkPoint> ink;
    const int border = std::max(2, std::min(w, h) / 100);
    const float cx = w / 2.0f, cy = h / 2.0f;
    for (int y = border; y < h - border; ++y) {
        const int y0 = std::max(0, y - radius), y1 = std::min(h, y + radius + 1);
        for (int x = border; x < w - border; ++x) {
            const int x0 = std::max(0, x - radius), x1 = std::min(w, x + radius + 1);
            const double sum = integral.At(x1, y1) - integral.At(x0, y1) - integral.At(x1, y0) +
                               integral.At(x0, y0);
            const double mean = sum / ((x1 - x0) * (y1 - y0));
            const float g = grey.At(x, y);
            if (g < 0.82 * mean && mean - g > 12)
                ink.push_back({x + 0.5f - cx, y + 0.5f - cy});
        }
    }
    return ink;
}

class ProfileScorer {
public:
    // stride: every how many ink points take part (a quick look at many angles needs fewer).
    ProfileScorer(const std::vector<InkPoint>& ink, double halfDiagonal, size_t stride = 1)
        : ink_(ink),
          stride_(stride),
          offset_(static_cast<int>(std::ceil(halfDiagonal)) + 2),
          counts_(2 * offset_ + 3) {}

    double Score(double degrees) {
        const double t = degrees * kPi / 180;
        const float c = static_cast<float>(std::cos(t)), s = static_cast<float>(std::sin(t));
        std::fill(counts_.begin(), counts_.end(), 0.0f);
        // Each point is shared between its two nearest rows: pixel-grid points would otherwise
        // fall on a comb of rows at angles such as 45 degrees and fake a sharp profile.
        for (size_t i = 0; i < ink_.size(); i += stride_) {
            const InkPoint& p = ink_[i];
            const float position = p.y * c - p.x * s + offset_;
            const int bin = static_cast<int>(position);
            const float part = position - bin;
            counts_[bin] += 1.0f - part;
            counts_[bin + 1] += part;
        }
        double score = 0;
        for (size_t i = 1; i < counts_.size(); ++i) {
            const double d = counts_[i] - counts_[i - 1];
            score += d * d;
        }
        return score;
    }

private:
    const std::vector<InkPoint>& ink_;
    size_t stride_;
    int offset_;
    std::vector<float> counts_;
};

}  // namespace

bool MeasureTextAngle(const Plane<float>& grey, double range, double& angle) {
    if (grey.Width() < 32 || grey.Height() < 32)
        return false;
    std::vector<InkPoint> ink = FindInk(grey);
    const size_t minInk = static_cast<size_t>(grey.Width()) * grey.Height() / 400;
    if (ink.size() < std::max<size_t>(minInk, 200))
        return false;
    const double halfDiagonal = std::hypot(grey.Width(), grey.Height()) / 2;
    ProfileScorer scorer(ink, halfDiagonal);
    // The first look over the whole range makes do with some 40000 points.
    ProfileScorer glance(ink, halfDiagonal, std::max<size_t>(1, ink.size() / 40000));

    const double coarseStep = range > 6 ? 0.5 : 0.2;
    std::vector<double> scores;
    double best = 0, bestScore = -1;
    for (double a = -range; a <= range + 1e-9; a += coarseStep) {
        const double score = glance.Score(a);
        scores.push_back(score);

        if (score > bestScore) {
            bestScore = score;
            best = a;
        }
    }
    std::vector<double> sorted = scores;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double typical = sorted[sorted.size() / 2];
    // Level lines of text give a profile far sharper than any other angle does.
    if (bestScore < 1.5 * typical)
        return false;

    double step = coarseStep;
    double centre = best;
    for (int round = 0; round < 3; ++round) {
        step /= 4;
        double roundBest = centre, roundScore = -1;
        for (int k = -4; k <= 4; ++k) {
            const double a = centre + k * step;
            const double score = scorer.Score(a);
            if (score > roundScore) {
                roundScore = score;
                roundBest = a;
            }
        }
        centre = roundBest;
    }
    const double left = scorer.Score(centre - step), middle = scorer.Score(centre),
                 right = scorer.Score(centre + step);
    const double denominator = left - 2 * middle + right;
    if (denominator < 0)
        centre += step * 0.5 * (left - right) / denominator;
    angle = centre;
    return true;
}

}  // namespace imgdesk::scan
