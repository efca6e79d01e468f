#pragma once

// Point operations: each byte is replaced by a function of its old value and of its channel.
// The tables define the result; where the function also has the linear form below, whole blocks
// go through a vector path that is checked against the tables over every byte value before it is
// used, so both paths give identical results.
#include <cstdint>

#include "pixel/internal/ByteTable.h"

namespace imgdesk::pixel {

// out = v > ceiling ? 255 : min(255, max(v - subtract, 0) * multiply[channel] / divisor + add),
// with integer division truncating. The product must fit 16 bits: multiply at most 257.
struct LinearMap {
    int subtract = 0;
    int multiply[4] = {1, 1, 1, 1};
    int divisor = 1;
    int add = 0;
    int ceiling = 255;
};

class PointPass {
public:
    // period: how many channels the bytes of a row cycle through (1 for byte-wise passes, 3 or 4
    // for colour pixels); tables: one per channel; linear: the same maps in linear form, or null.
    PointPass(int period, const ByteTable* tables, const LinearMap* linear);

    // Applies the pass to count bytes starting at a channel-0 byte (a row start).
    void Apply(unsigned char* bytes, long long count) const;

    // Whether the vector path is in use (for tests and benchmarks).
    bool Vectorised() const { return vectorised_; }

private:
    // Vector kernels over whole blocks from the start of bytes; each returns how many bytes it
    // did. The wide one runs only on processors with AVX2.
    long long ApplySse2(unsigned char* bytes, long long count) const;
    long long ApplyAvx2(unsigned char* bytes, long long count) const;
    long long ApplyVector(unsigned char* bytes, long long count, bool allowWide) const;
    void ApplyTables(unsigned char* bytes, long long start, long long count) const;
    bool PrepareVector(const LinearMap& linear);
    bool VectorMatchesTables(bool allowWide) const;

    int period_;
    ByteTable tables_[4];
    bool vectorised_ = false;
    bool wide_ = false;
    // The linear map's constants; the multiplier by byte position over 96 bytes, a whole number
    // of 1, 3 and 4-byte pixels and of 16 and 32-byte vectors.
    std::uint8_t subtract_ = 0;
    std::uint8_t ceiling_ = 255;
    std::uint16_t add_ = 0;
    std::uint16_t magic_ = 0;
    int shift_ = 0;
    std::uint16_t multiplyAt_[96] = {};
};

}  // namespace imgdesk::pixel
