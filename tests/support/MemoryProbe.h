#pragma once

// Routes the library's NewMem/DelMem through counting hooks for the life of the probe: counts
// live blocks and allocations, and can make a chosen allocation fail.
#include <functional>
#include <vector>

#include "service/CoreKit.h"

namespace imgdesk::test {

class MemoryProbe {
public:
    MemoryProbe();
    ~MemoryProbe();
    MemoryProbe(const MemoryProbe&) = delete;
    MemoryProbe& operator=(const MemoryProbe&) = delete;

    // Blocks allocated through the hooks and not yet released.
    int LiveBlocks() const;
    // Allocations requested since the probe was made (or since Reset), failed ones included.
    int Allocations() const;
    // Makes the n-th allocation from now fail (1 = the next one); 0 makes none fail.
    void FailAllocation(int n);
    // Makes every allocation from now fail.
    void FailEveryAllocation();
    // Whether an injected failure has been handed out since the last FailAllocation.
    bool FailureInjected() const;
    void ResetCounts();
};

// Runs operation once for every allocation it makes, failing that allocation, then once with no
// failure. check(failedAllocation) is called after each failing run (1-based index), with the
// probe's live-block count still observable. Returns how many allocations the clean run made.
// Each run must start from the same state: operation sets up its own inputs.
int ForEachFailingAllocation(MemoryProbe& probe, const std::function<void()>& operation,
                             const std::function<void(int failedAllocation)>& check);

// The failure check every pixel suite shares, with a probe of its own (hold no other probe while it
// runs): prepare sets up a fresh caller state, then operation runs once per allocation it makes
// with that allocation failing, and once cleanly. After each run check(n) inspects the outcome (n
// is the failed allocation, 0 for the clean run) and releases what the caller owns; then the live
// blocks must be back where they were before prepare. Returns the clean run's allocation count.
int ExpectCleanFailures(const std::function<void()>& operation,
                        const std::function<void(int failedAllocation)>& check,
                        const std::function<void()>& prepare = {});

// ExpectCleanFailures for an operation that changes a buffer in place and returns 1 or 0: every
// failing run must return 0 and leave a fresh copy of input as it was, the clean run must return 1.
// Returns the clean run's picture.
std::vector<unsigned char> ExpectCleanRefusals(const std::vector<unsigned char>& input,
                                               const std::function<int(unsigned char*)>& operation);

}  // namespace imgdesk::test
