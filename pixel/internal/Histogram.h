#pragma once

// The grey-level histogram of a run of bytes.
#include <array>
#include <cstdint>
#include <cstring>

namespace imgdesk::pixel {

using Histogram = std::array<int, 256>;

// Counts each byte value. Four partial tables keep runs of equal bytes from stalling on one
// counter; they are summed at the end.
inline Histogram CountLevels(const unsigned char* bytes, long long count) {
    int partial[4][256] = {};
    long long i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, bytes + i, 8);
        ++partial[0][v & 0xFF];
        ++partial[1][(v >> 8) & 0xFF];
        ++partial[2][(v >> 16) & 0xFF];
        ++partial[3][(v >> 24) & 0xFF];
        ++partial[0][(v >> 32) & 0xFF];
        ++partial[1][(v >> 40) & 0xFF];
        ++partial[2][(v >> 48) & 0xFF];
        ++partial[3][v >> 56];
    }
    for (; i < count; ++i)
        ++partial[0][bytes[i]];
    Histogram histogram{};
    for (int level = 0; level < 256; ++level)
        histogram[level] =
            partial[0][level] + partial[1][level] + partial[2][level] + partial[3][level];
    return histogram;
}

}  // namespace imgdesk::pixel
