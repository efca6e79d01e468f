#pragma once

// Edge images for the line detectors: outlines of turned rectangles drawn with the detectors' own
// rounded distances, so that the frame they should find is known exactly.
#include <vector>

#include "pixel/DataHandler.h"

namespace lines_test {

using Bytes = std::vector<unsigned char>;

inline int Distance(int angle, int x, int y) {
    _STRAIGHTLINE line{0, 0, angle};
    return CDataHandler().GetDistance(line, x, y);
}

// The outline of the frame nearA ... farA at angle a and nearB ... farB at angle (a + 45) % 90:
// every pixel on one of the four lines and within the other pair.
inline Bytes Outline(int width, int height, int a, int nearA, int farA, int nearB, int farB,
                     unsigned char level = 255) {
    const int b = (a + 45) % 90;
    Bytes edges(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int ra = Distance(a, x, y), rb = Distance(b, x, y);
            const bool withinA = ra >= nearA && ra <= farA, withinB = rb >= nearB && rb <= farB;
            if (((ra == nearA || ra == farA) && withinB) ||
                ((rb == nearB || rb == farB) && withinA))
                edges[static_cast<size_t>(y) * width + x] = level;
        }
    }
    return edges;
}

// A frame of half sizes halfA and halfB at angle a centred on (cx, cy).
struct Frame {
    int a, nearA, farA, nearB, farB;
};
inline Frame Centred(int a, int cx, int cy, int halfA, int halfB) {
    const int ca = Distance(a, cx, cy), cb = Distance((a + 45) % 90, cx, cy);
    return Frame{a, ca - halfA, ca + halfA, cb - halfB, cb + halfB};
}
inline Bytes Outline(int width, int height, const Frame& f) {
    return Outline(width, height, f.a, f.nearA, f.farA, f.nearB, f.farB);
}

inline void Set(Bytes& edges, int width, int x, int y, unsigned char level = 255) {
    edges[static_cast<size_t>(y) * width + x] = level;
}

}  // namespace lines_test
