#pragma once

// Routes the platform heap (GDI+ objects, bitmap pixels, decoded pictures, global memory) through
// counting hooks for the life of the probe, and can make a chosen allocation fail.
#include "platform/com/Heap.h"

namespace imgdesk::test {

class HeapProbe {
public:
    HeapProbe();
    ~HeapProbe();
    HeapProbe(const HeapProbe&) = delete;
    HeapProbe& operator=(const HeapProbe&) = delete;

    int LiveBlocks() const;
    // Makes the n-th allocation from now fail (1 = the next one); 0 makes none fail.
    void FailAllocation(int n);
    bool FailureInjected() const;
};

// Runs operation with its 1st, 2nd, ... heap allocation failing until a run makes no failing
// allocation; check(n) runs after each failing run. Returns the clean run's allocation count.
template <typename Operation, typename Check>
int ForEachFailingHeapAllocation(HeapProbe& probe, Operation operation, Check check) {
    for (int n = 1; n < 100000; ++n) {
        probe.FailAllocation(n);
        operation();
        if (!probe.FailureInjected()) {
            probe.FailAllocation(0);
            return n - 1;
        }
        probe.FailAllocation(0);
        check(n);
    }
    return -1;
}

}  // namespace imgdesk::test
