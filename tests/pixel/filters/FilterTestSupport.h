#pragma once

// Shared helpers of the filter suites: deterministic pictures and the failing-allocation check.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "support/MemoryProbe.h"

namespace imgdesk::test {

using Bytes = std::vector<unsigned char>;

// Deterministic noise in lo..hi.
inline Bytes RandomBytes(size_t count, std::uint32_t seed, int lo = 0, int hi = 255) {
    Bytes bytes(count);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(lo + (seed >> 16) % static_cast<unsigned>(hi - lo + 1));
    }
    return bytes;
}

// Runs operation on a fresh copy of input with each of its allocations failing in turn: every
// failing run must return 0, leave the copy as it was and hold no block afterwards; the clean run
// must return 1. Returns the clean run's result picture.
inline Bytes ExpectCleanRefusals(const Bytes& input,
                                 const std::function<int(unsigned char*)>& operation) {
    MemoryProbe probe;
    Bytes work;
    int result = -1;
    const int allocations = ForEachFailingAllocation(
        probe,
        [&] {
            work = input;
            result = operation(work.data());
        },
        [&](int failed) {
            EXPECT_EQ(0, result) << "allocation " << failed << " failed";
            EXPECT_EQ(input, work) << "allocation " << failed << " failed";
            EXPECT_EQ(0, probe.LiveBlocks()) << "allocation " << failed << " failed";
        });
    EXPECT_GE(allocations, 1);
    EXPECT_EQ(1, result);
    EXPECT_EQ(0, probe.LiveBlocks());
    return work;
}

}  // namespace imgdesk::test
