// The four visible sides of a frame: corner to corner inside the grid, or from where a line
// crosses the grid's border when one of its corners lies outside.
#include <cstdlib>

#include "pixel/DataHandler.h"
#include "pixel/internal/LineGeometry.h"

namespace imgdesk::pixel {
namespace {

struct Point {
    int x = -1;
    int y = -1;
    bool Found() const { return x != -1; }
};

// A position counts as on a line for the corner test when within this many distance steps.
constexpr long long kCornerReach = 1;
// The last crossing follows later crossings until it stands this far before the first one.
constexpr int kCrossingSpread = 10;

long long Gap(int distance, int lineDistance) {
    return std::llabs(static_cast<long long>(distance) - lineDistance);
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::SearchRect(unsigned char* edges, int width, int height, _STRAIGHTLINE* lines,
                             _SEGMENT* segments) {
    if (!edges || width < 1 || height < 1)
        return 0;
    // Corners are named by their lines: 0-1, 1-2, 2-3, 3-0.
    Point corner[4];
    Point first[4], last[4];
    const Direction dirA = Direction::OfAngle(lines[0].angle);
    const Direction dirB = Direction::OfAngle(lines[1].angle);

    for (int y = 0; y < height; ++y) {
        const bool borderRow = y == 0 || y == height - 1;
        for (int x = 0; x < width; ++x) {
            const int ra = dirA.Distance(x, y), rb = dirB.Distance(x, y);
            const int along[4] = {ra, rb, ra, rb};
            bool near[4];
            for (int k = 0; k < 4; ++k)
                near[k] = Gap(along[k], lines[k].distance) <= kCornerReach;
            for (int c = 0; c < 4; ++c) {
                if (near[c] && near[(c + 1) % 4]) {
                    corner[c] = Point{x, y};
                    break;
                }
            }
            if (!borderRow && x != 0 && x != width - 1)
                continue;
            for (int k = 0; k < 4; ++k) {
                if (along[k] != lines[k].distance)
                    continue;
                if (!first[k].Found())
                    first[k] = Point{x, y};
                else if (!last[k].Found() || (first[k].x - last[k].x < kCrossingSpread &&
                                              first[k].y - last[k].y < kCrossingSpread))
                    last[k] = Point{x, y};
            }
        }
    }

    // Segment k runs on line k from corner (k + 3) % 4, shared with line m = (k + 3) % 4, to
    // corner k, shared with line m = (k + 1) % 4.
    for (int k = 0; k < 4; ++k) {
        const Point& start = corner[(k + 3) % 4];
        const Point& end = corner[k];
        Point from, to;
        if (start.Found() == end.Found()) {
            from = start.Found() ? start : first[k];
            to = start.Found() ? end : last[k];
        } else {
            const int m = start.Found() ? (k + 3) % 4 : (k + 1) % 4;
            to = start.Found() ? start : end;
            // The crossing to keep is the one on the frame's side of the other line: below a far
            // line (0, 1), above a near one (2, 3).
            const int side = Direction::OfAngle(lines[m].angle).Distance(first[k].x, first[k].y);
            const bool inside = m < 2 ? side < lines[m].distance : side > lines[m].distance;
            from = inside ? first[k] : last[k];
        }
        segments[k] = _SEGMENT{from.x, from.y, to.x, to.y};
    }
    return 1;
}
