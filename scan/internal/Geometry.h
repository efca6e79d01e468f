#pragma once

// Plane geometry of the page finder: points, lines fitted to edge points, and the homography
// between a page's corners and a rectangle.
#include <vector>

namespace imgdesk::scan {

struct Point {
    double x = 0;
    double y = 0;
};

inline Point operator+(Point a, Point b) {
    return {a.x + b.x, a.y + b.y};
}
inline Point operator-(Point a, Point b) {
    return {a.x - b.x, a.y - b.y};
}
inline Point operator*(double s, Point a) {
    return {s * a.x, s * a.y};
}
inline double Dot(Point a, Point b) {
    return a.x * b.x + a.y * b.y;
}
inline double Cross(Point a, Point b) {
    return a.x * b.y - a.y * b.x;
}
double Length(Point a);

// The line of points p with Dot(normal, p) == offset; normal has unit length.
struct Line {
    Point normal;
    double offset = 0;

    double Distance(Point p) const { return Dot(normal, p) - offset; }
    Point Direction() const { return {-normal.y, normal.x}; }
    // The normal's angle in degrees, folded into [0, 180): a line and its reverse agree.
    double AngleDegrees() const;
    static Line FromAngle(double normalDegrees, double offset);
    static Line Through(Point a, Point b);
};

// The crossing of two lines; false when they are (nearly) parallel.
bool Intersect(const Line& a, const Line& b, Point& crossing);

// Total least-squares line through weighted points; false for fewer than two distinct points.
struct WeightedPoint {
    Point p;
    double weight;
};
bool FitLine(const std::vector<WeightedPoint>& points, Line& line);

// Fits a line robustly: least squares, then again without the points farther than the larger of
// minResidual and three times the median distance, twice. Returns false when too few remain.
bool FitLineRobust(std::vector<WeightedPoint> points, double minResidual, Line& line);

// A projective map of the plane.
struct Homography {
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    Point Map(Point p) const {
        const double w = m[6] * p.x + m[7] * p.y + m[8];
        return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
    }
    // Maps from[i] to to[i]; false when the points are degenerate.
    static bool FromPoints(const Point from[4], const Point to[4], Homography& h);
    // This map after other: p -> Map(other.Map(p)).
    Homography After(const Homography& other) const;
};

// The corners of a convex quadrilateral ordered clockwise as displayed (y down), starting with
// the one that makes the turn from its first side to the horizontal smallest: after ordering,
// corner 0 is the top-left of the page made upright by a turn within (-45, 45] degrees.
void OrderCorners(Point corners[4]);

// Area of a polygon given clockwise or counter-clockwise (always positive).
double PolygonArea(const Point* corners, int count);

}  // namespace imgdesk::scan
