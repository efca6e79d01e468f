#include "scan/internal/Geometry.h"

#include <algorithm>
#include <cmath>

namespace imgdesk::scan {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

double Length(Point a) {
    return std::hypot(a.x, a.y);
}

double Line::AngleDegrees() const {
    double angle = std::atan2(normal.y, normal.x) * 180.0 / kPi;
    while (angle < 0)
        angle += 180.0;
    while (angle >= 180.0)
        angle -= 180.0;
    return angle;
}

Line Line::FromAngle(double normalDegrees, double offset) {
    const double t = normalDegrees * kPi / 180.0;
    return Line{{std::cos(t), std::sin(t)}, offset};
}

Line Line::Through(Point a, Point b) {
    const Point d = b - a;
    const double length = Length(d);
    const Point normal{-d.y / length, d.x / length};
    return Line{normal, Dot(normal, a)};
}

bool Intersect(const Line& a, const Line& b, Point& crossing) {
    const double det = a.normal.x * b.normal.y - a.normal.y * b.normal.x;
    if (std::fabs(det) < 1e-9)
        return false;
    crossing.x = (a.offset * b.normal.y - b.offset * a.normal.y) / det;
    crossing.y = (a.normal.x * b.offset - b.normal.x * a.offset) / det;
    return true;
}

bool FitLine(const std::vector<WeightedPoint>& points, Line& line) {
    double sw = 0, sx = 0, sy = 0;
    for (const auto& wp : points) {
        sw += wp.weight;
        sx += wp.weight * wp.p.x;
        sy += wp.weight * wp.p.y;
    }
    if (points.size() < 2 || sw <= 0)
        return false;
    const double mx = sx / sw, my = sy / sw;
    double sxx = 0, sxy = 0, syy = 0;
    for (const auto& wp : points) {
        const double dx = wp.p.x - mx, dy = wp.p.y - my;
        sxx += wp.weight * dx * dx;
        sxy += wp.weight * dx * dy;
        syy += wp.weight * dy * dy;
    }
    if (sxx + syy <= 1e-12)
        return false;
    // The normal is the eigenvector of the scatter matrix with the smaller eigenvalue.
    const double direction = 0.5 * std::atan2(2 * sxy, sxx - syy);
    const Point normal{-std::sin(direction), std::cos(direction)};
    line = Line{normal, normal.x * mx + normal.y * my};
    return true;
}

bool FitLineRobust(std::vector<WeightedPoint> points, double minResidual, Line& line) {
    if (!FitLine(points, line))
        return false;
    std::vector<double> residuals;
    for (int round = 0; round < 2; ++round) {
        residuals.clear();
        for (const auto& wp : points)
            residuals.push_back(std::fabs(line.Distance(wp.p)));
        std::vector<double> sorted = residuals;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double limit = std::max(minResidual, 3.0 * sorted[sorted.size() / 2]);
        std::vector<WeightedPoint> kept;
        for (size_t i = 0; i < points.size(); ++i) {
            if (residuals[i] <= limit)
                kept.push_back(points[i]);
        }
        if (kept.size() < 2 || !FitLine(kept, line))
            return false;
        points.swap(kept);
    }
    return true;
}

namespace {

// Solves the n x n system a x = b in place by Gaussian elimination with partial pivoting.
bool Solve(double* a, double* b, int n) {
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int row = col + 1; row < n; ++row) {
            if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col]))
                pivot = row;
        }
        if (std::fabs(a[pivot * n + col]) < 1e-12)
            return false;
        if (pivot != col) {
            for (int k = 0; k < n; ++k)
                std::swap(a[col * n + k], a[pivot * n + k]);
            std::swap(b[col], b[pivot]);
        }
        for (int row = col + 1; row < n; ++row) {
            const double f = a[row * n + col] / a[col * n + col];
            for (int k = col; k < n; ++k)
                a[row * n + k] -= f * a[col * n + k];
            b[row] -= f * b[col];
        }
    }
    for (int row = n - 1; row >= 0; --row) {
        double sum = b[row];
        for (int k = row + 1; k < n; ++k)
            sum -= a[row * n + k] * b[k];
        b[row] = sum / a[row * n + row];
    }
    return true;
}

}  // namespace

bool Homography::FromPoints(const Point from[4], const Point to[4], Homography& h) {
    double a[64] = {};
    double b[8];
    for (int i = 0; i < 4; ++i) {
        const double x = from[i].x, y = from[i].y, u = to[i].x, v = to[i].y;
        double* r1 = a + (2 * i) * 8;
        double* r2 = a + (2 * i + 1) * 8;
        r1[0] = x, r1[1] = y, r1[2] = 1, r1[6] = -u * x, r1[7] = -u * y;
        r2[3] = x, r2[4] = y, r2[5] = 1, r2[6] = -v * x, r2[7] = -v * y;
        b[2 * i] = u;
        b[2 * i + 1] = v;
    }
    if (!Solve(a, b, 8))
        return false;
    std::copy(b, b + 8, h.m);
    h.m[8] = 1;
    return true;
}

Homography Homography::After(const Homography& other) const {
    Homography r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += m[i * 3 + k] * other.m[k * 3 + j];
            r.m[i * 3 + j] = sum;
        }
    }
    return r;
}

void OrderCorners(Point corners[4]) {
    Point centre{};
    for (int i = 0; i < 4; ++i)
        centre = centre + 0.25 * corners[i];
    // Clockwise as displayed (y down) is increasing atan2 angle.
    std::sort(corners, corners + 4, [&](Point a, Point b) {
        return std::atan2(a.y - centre.y, a.x - centre.x) <
               std::atan2(b.y - centre.y, b.x - centre.x);
    });
    // Corner 0 starts the side whose direction is nearest to pointing right.
    int best = 0;
    double bestCos = -2;
    for (int i = 0; i < 4; ++i) {
        const Point side = corners[(i + 1) % 4] - corners[i];
        const double c = side.x / Length(side);
        if (c > bestCos) {
            bestCos = c;
            best = i;
        }
    }
    std::rotate(corners, corners + best, corners + 4);
}

double PolygonArea(const Point* corners, int count) {
    double twice = 0;
    for (int i = 0; i < count; ++i)
        twice += Cross(corners[i], corners[(i + 1) % count]);
    return std::fabs(twice) / 2;
}

}  // namespace imgdesk::scan
