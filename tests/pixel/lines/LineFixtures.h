#pragma once

// Edge images and pictures for the line detectors: frames drawn with the detectors' own rounded
// distances, so that the lines they should find are known exactly.
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"

namespace lines_test {

using Bytes = std::vector<unsigned char>;

inline int Distance(int angle, int x, int y) {
    _STRAIGHTLINE line{0, 0, angle};
    return CDataHandler().GetDistance(line, x, y);
}

// The lines nearA ... farA at angle a and nearB ... farB at angle (a + 45) % 90.
struct Frame {
    int a, nearA, farA, nearB, farB;
    int b() const { return (a + 45) % 90; }
};
inline Frame Centred(int a, int cx, int cy, int halfA, int halfB) {
    const int ca = Distance(a, cx, cy), cb = Distance((a + 45) % 90, cx, cy);
    return Frame{a, ca - halfA, ca + halfA, cb - halfB, cb + halfB};
}

// The frame's records in the detectors' order: far A, far B, near A, near B.
inline void FrameLines(_STRAIGHTLINE* l, const Frame& f, int votes = 0) {
    l[0] = {votes, f.farA, f.a};
    l[1] = {votes, f.farB, f.b()};
    l[2] = {votes, f.nearA, f.a};
    l[3] = {votes, f.nearB, f.b()};
}
inline std::vector<int> Of(const _STRAIGHTLINE* l, int count = 4) {
    // Sized once and filled in place: growing the vector record by record makes GCC 12 at -O3
    // see a copy into the new block that it wrongly takes for an overflow.
    std::vector<int> fields(3 * static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        fields[3 * k] = l[k].votes;
        fields[3 * k + 1] = l[k].distance;
        fields[3 * k + 2] = l[k].angle;
    }
    return fields;
}

// A picture at the stride rule: pixels inside the frame (outline only: on one of its lines) are
// level, the rest background.
inline Bytes Draw(int width, int height, int bpp, const Frame& f, bool outline,
                  unsigned char level = 255, unsigned char background = 0) {
    const int stride = imgdesk::pixel::RowStride(width, bpp), bytes = bpp / 8;
    Bytes picture(static_cast<size_t>(stride) * height, background);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int ra = Distance(f.a, x, y), rb = Distance(f.b(), x, y);
            const bool inA = ra >= f.nearA && ra <= f.farA, inB = rb >= f.nearB && rb <= f.farB;
            const bool onA = ra == f.nearA || ra == f.farA, onB = rb == f.nearB || rb == f.farB;
            if (outline ? (onA && inB) || (onB && inA) : inA && inB)
                for (int c = 0; c < bytes; ++c)
                    picture[static_cast<size_t>(y) * stride + x * bytes + c] = level;
        }
    return picture;
}
inline Bytes Outline(int width, int height, const Frame& f, unsigned char level = 255) {
    return Draw(width, height, 8, f, true, level);
}

}  // namespace lines_test
