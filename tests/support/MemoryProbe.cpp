#include "support/MemoryProbe.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace imgdesk::test {
namespace {

int g_live = 0;
int g_allocations = 0;
int g_failAt = 0;  // allocation number that fails; 0 none, -1 every one
bool g_injected = false;
MemHooks g_previous{};

void* CountingAllocate(std::size_t size) {
    ++g_allocations;
    if (g_failAt == -1 || g_allocations == g_failAt) {
        g_injected = true;
        return nullptr;
    }
    void* block = std::malloc(size);
    if (block)
        ++g_live;
    return block;
}

void CountingRelease(void* block) {
    --g_live;
    std::free(block);
}

}  // namespace

MemoryProbe::MemoryProbe() {
    ResetCounts();
    g_live = 0;
    g_previous = SetMemHooks({CountingAllocate, CountingRelease});
}

MemoryProbe::~MemoryProbe() {
    SetMemHooks(g_previous);
}

int MemoryProbe::LiveBlocks() const {
    return g_live;
}
int MemoryProbe::Allocations() const {
    return g_allocations;
}

void MemoryProbe::FailAllocation(int n) {
    g_failAt = n > 0 ? g_allocations + n : 0;
    g_injected = false;
}

void MemoryProbe::FailEveryAllocation() {
    g_failAt = -1;
    g_injected = false;
}

bool MemoryProbe::FailureInjected() const {
    return g_injected;
}

void MemoryProbe::ResetCounts() {
    g_allocations = 0;
    g_failAt = 0;
    g_injected = false;
}

int ForEachFailingAllocation(MemoryProbe& probe, const std::function<void()>& operation,
                             const std::function<void(int failedAllocation)>& check) {
    constexpr int kMaxAllocations = 10000;
    for (int n = 1; n <= kMaxAllocations; ++n) {
        probe.FailAllocation(n);
        operation();
        if (!probe.FailureInjected()) {
            probe.FailAllocation(0);
            return n - 1;  // the run made fewer than n allocations: all failures were covered
        }
        check(n);
    }
    ADD_FAILURE() << "operation never stopped allocating";
    return kMaxAllocations;
}

int ExpectCleanFailures(const std::function<void()>& operation,
                        const std::function<void(int failedAllocation)>& check,
                        const std::function<void()>& prepare) {
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    for (int n = 1; n <= 10000; ++n) {
        if (prepare)
            prepare();
        probe.FailAllocation(n);
        operation();
        const bool injected = probe.FailureInjected();
        probe.FailAllocation(0);
        check(injected ? n : 0);
        EXPECT_EQ(live, probe.LiveBlocks())
            << (injected ? "failed allocation " : "clean run ") << n;
        if (!injected)
            return n - 1;
    }
    ADD_FAILURE() << "operation never stopped allocating";
    return -1;
}

std::vector<unsigned char> ExpectCleanRefusals(
    const std::vector<unsigned char>& input, const std::function<int(unsigned char*)>& operation) {
    std::vector<unsigned char> work;
    int result = -1;
    ExpectCleanFailures(
        [&] {
            work = input;
            result = operation(work.data());
        },
        [&](int failed) {
            EXPECT_EQ(failed ? 0 : 1, result) << "failed allocation " << failed;
            if (failed) {
                EXPECT_EQ(input, work) << "failed allocation " << failed;
            }
        });
    return work;
}

}  // namespace imgdesk::test
