#pragma once

// Routes the library's NewMem/DelMem through counting hooks for the life of the probe: counts
// live blocks and allocations, and can make a chosen allocation fail.
#include <functional>

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

}  // namespace imgdesk::test
