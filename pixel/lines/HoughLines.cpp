// Straight-line Hough transform: the dominant line of an edge image over 90 directions.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "pixel/DataHandler.h"
#include "pixel/internal/LineGeometry.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

// Cells within this many distance steps and angle steps of a peak are cleared after it is taken.
constexpr int kSuppressDistance = 9;
constexpr int kSuppressAngle = 1;
constexpr int kCandidates = 4;

struct Candidate {
    int count = 0;
    int distance = 0;
    int angle = 0;
};

// 22.5 for vertical and horizontal directions down to 0.5 for the diagonals.
double AxisCloseness(int angle) {
    return std::fabs(std::fabs(angle - 45.0) - 22.5);
}

// Votes: rows are distances -diagonal ... diagonal - 1, columns the 90 angle indices.
class Accumulator {
public:
    Accumulator(int* cells, int diagonal) : cells_(cells), diagonal_(diagonal) {}

    void Vote(int x, int y, const Direction* directions) {
        for (int i = 0; i < kDirections; ++i) {
            const int r = directions[i].Distance(x, y);
            ++cells_[static_cast<std::ptrdiff_t>(r + diagonal_) * kDirections + i];
        }
    }

    // The strongest cell above threshold, ties going to the direction nearer an axis and then to
    // the cell visited first; count 0 when no cell is above threshold.
    Candidate Peak(int threshold) const {
        Candidate best;
        const int* cell = cells_;
        for (int row = 0; row < 2 * diagonal_; ++row) {
            for (int i = 0; i < kDirections; ++i, ++cell) {
                const int count = *cell;
                if (count <= threshold || count < best.count)
                    continue;
                if (count == best.count && !(AxisCloseness(i) > AxisCloseness(best.angle)))
                    continue;
                best = Candidate{count, row - diagonal_, i};
            }
        }
        return best;
    }

    void Suppress(const Candidate& peak) {
        const int rowFirst = std::max(peak.distance + diagonal_ - kSuppressDistance, 0);
        const int rowLast =
            std::min(peak.distance + diagonal_ + kSuppressDistance, 2 * diagonal_ - 1);
        const int angleFirst = std::max(peak.angle - kSuppressAngle, 0);
        const int angleLast = std::min(peak.angle + kSuppressAngle, kDirections - 1);
        for (int row = rowFirst; row <= rowLast; ++row)
            for (int i = angleFirst; i <= angleLast; ++i)
                cells_[static_cast<std::ptrdiff_t>(row) * kDirections + i] = 0;
    }

private:
    int* cells_;
    int diagonal_;
};

// Less than 4 degrees from parallel, or from perpendicular; angle indices do not wrap around.
bool Related(const Candidate& a, const Candidate& b) {
    const int apart = std::abs(a.angle - b.angle);
    return std::abs(apart - 45) < 2 || apart < 2;
}

// The first candidate that has a parallel or perpendicular partner among the later ones, else
// the strongest.
const Candidate& Choose(const Candidate (&lines)[kCandidates]) {
    for (int j = 0; j < kCandidates - 1; ++j)
        for (int k = j + 1; k < kCandidates; ++k)
            if (Related(lines[j], lines[k]))
                return lines[j];
    return lines[0];
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::HoughTrans(unsigned char* edges, int width, int height, _STRAIGHTLINE& line) {
    if (!edges || width < 1 || height < 1)
        return 0;
    const int diagonal = DiagonalLength(width, height);
    ScratchPtr<int> cells = NewScratch<int>(2LL * diagonal * kDirections);
    if (!cells)
        return 0;
    Accumulator accumulator(cells.get(), diagonal);

    Direction directions[kDirections];
    for (int i = 0; i < kDirections; ++i)
        directions[i] = Direction::OfAngle(i);

    int minX = width, maxX = 0, minY = height, maxY = 0;
    const unsigned char* pixel = edges;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, ++pixel) {
            if (*pixel <= kEdgeAbove)
                continue;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            accumulator.Vote(x, y, directions);
        }
    }

    // A line must be backed by more votes than a third of the edge pixels' narrower spread.
    const int threshold = std::min(maxX - minX, maxY - minY) / 3;
    Candidate lines[kCandidates];
    if (threshold >= 1) {
        for (int n = 0; n < kCandidates; ++n) {
            if (n > 0)
                accumulator.Suppress(lines[n - 1]);
            lines[n] = accumulator.Peak(threshold);
            if (lines[n].count == 0)
                break;
        }
    }
    cells.reset();

    const Candidate& chosen = Choose(lines);
    line.votes = chosen.count;
    line.distance = chosen.distance;
    line.angle = chosen.angle;
    return 1;
}
