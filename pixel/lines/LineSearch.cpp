// The frame of an edge image's pixels along a direction and its perpendicular, and the geometry
// of frame lines: distances, frame positions and drawing.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "pixel/DataHandler.h"
#include "pixel/internal/LineGeometry.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

constexpr int kFrameLines = 4;

// Fills the histogram of the edge pixels' rounded distances along one direction (index =
// distance + diagonal) and sets far to the largest and near to the smallest distance found.
void OutermostLines(const unsigned char* edges, int width, int height, int diagonal, int* counts,
                    _STRAIGHTLINE& far, _STRAIGHTLINE& near) {
    std::fill(counts, counts + 2 * diagonal, 0);
    const Direction direction = Direction::OfAngle(far.angle);
    const unsigned char* pixel = edges;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, ++pixel)
            if (*pixel > kEdgeAbove)
                ++counts[direction.Distance(x, y) + diagonal];
    for (int index = 2 * diagonal - 1; index >= 0; --index) {
        if (counts[index] > 0) {
            far.distance = index - diagonal;
            break;
        }
    }
    for (int index = 0; index < 2 * diagonal; ++index) {
        if (counts[index] > 0) {
            near.distance = index - diagonal;
            break;
        }
    }
}

// Rounded half away from zero, then truncated.
int RoundHalfAway(float value) {
    return static_cast<int>(value > 0 ? value + 0.5 : value - 0.5);
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::SearchLine(unsigned char* edges, int width, int height, _STRAIGHTLINE& seed,
                             _STRAIGHTLINE* lines) {
    if (!edges || width < 1 || height < 1)
        return 0;
    const int diagonal = DiagonalLength(width, height);
    const int a = seed.angle;
    const int b = (a + 45) % 90;
    lines[0].distance = 0;
    lines[0].angle = a;
    lines[2].distance = diagonal;
    lines[2].angle = a;
    lines[1].distance = 0;
    lines[1].angle = b;
    lines[3].distance = diagonal;
    lines[3].angle = b;

    ScratchPtr<int> counts = NewScratch<int>(2LL * diagonal);
    if (!counts)
        return 0;
    OutermostLines(edges, width, height, diagonal, counts.get(), lines[0], lines[2]);
    OutermostLines(edges, width, height, diagonal, counts.get(), lines[1], lines[3]);
    return 1;
}

int CDataHandler::GetDistance(_STRAIGHTLINE& line, int x, int y) {
    return Direction::OfAngle(line.angle).Distance(x, y);
}

int CDataHandler::GetPosition(_STRAIGHTLINE* lines, int offsetA, int offsetB, int& x, int& y) {
    const long long spanA = static_cast<long long>(lines[0].distance) - lines[2].distance;
    const long long spanB = static_cast<long long>(lines[1].distance) - lines[3].distance;
    if (spanA <= 0 || spanB <= 0 || offsetA < 0 || offsetA > spanA || offsetB < 0 ||
        offsetB > spanB)
        return 0;
    const Direction dirA = Direction::OfAngle(lines[0].angle);
    const Direction dirB = Direction::OfAngle(lines[1].angle);
    const float rhoA = static_cast<float>(lines[2].distance + offsetA);
    const float rhoB = static_cast<float>(lines[3].distance + offsetB);
    const float det = static_cast<float>(dirA.sine * dirB.cosine - dirA.cosine * dirB.sine);
    if (det == 0)
        return 0;
    const float sineA = static_cast<float>(dirA.sine);
    if (sineA == 0)
        return 0;
    // Where the line of direction A at rhoA meets the line of direction B at rhoB.
    const float px = static_cast<float>((rhoB * dirA.sine - rhoA * dirB.sine) / det);
    const float py = static_cast<float>((rhoA - px * dirA.cosine) / sineA);
    x = RoundHalfAway(px);
    y = RoundHalfAway(py);
    return 1;
}

int CDataHandler::DrawStraightLine(unsigned char* image, int width, int height,
                                   _STRAIGHTLINE* lines) {
    if (!image || width < 1 || height < 1)
        return 0;
    Direction directions[kFrameLines];
    for (int k = 0; k < kFrameLines; ++k)
        directions[k] = Direction::OfAngle(lines[k].angle);
    unsigned char* pixel = image;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, ++pixel) {
            for (int k = 0; k < kFrameLines; ++k)
                if (directions[k].Distance(x, y) == lines[k].distance)
                    *pixel = 255;
        }
    }
    return 1;
}
