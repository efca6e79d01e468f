#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "service/CoreKit.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::test::MemoryProbe;

TEST(Memory, BlocksAreZeroFilledAndReleased) {
    MemoryProbe probe;
    auto* block = static_cast<unsigned char*>(NewMem(4096));
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(std::all_of(block, block + 4096, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(1, probe.LiveBlocks());
    DelMem(block);
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(Memory, RefusalsAndNull) {
    MemoryProbe probe;
    EXPECT_EQ(nullptr, NewMem(-1));
    EXPECT_EQ(0, probe.Allocations());  // a negative size never reaches the allocator
    void* empty = NewMem(0);            // a zero-byte block is still a block
    EXPECT_NE(nullptr, empty);
    DelMem(empty);
    DelMem(nullptr);
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(Memory, FailingAllocationGivesNull) {
    MemoryProbe probe;
    probe.FailAllocation(2);
    void* first = NewMem(16);
    void* second = NewMem(16);
    void* third = NewMem(16);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, second);
    EXPECT_NE(nullptr, third);
    EXPECT_TRUE(probe.FailureInjected());
    DelMem(first);
    DelMem(third);
    EXPECT_EQ(0, probe.LiveBlocks());
}

int g_hostAllocations = 0;
void* HostAllocate(std::size_t size) {
    ++g_hostAllocations;
    return ::operator new(size, std::nothrow);
}
void HostRelease(void* block) {
    ::operator delete(block);
}

TEST(Memory, HostHooksRouteTheLibrarysMemory) {
    MemHooks previous = SetMemHooks({HostAllocate, HostRelease});
    void* block = NewMem(10);
    EXPECT_EQ(1, g_hostAllocations);
    DelMem(block);
    // A half-set pair restores the C heap rather than leaving a null function in place.
    SetMemHooks({HostAllocate, nullptr});
    DelMem(NewMem(10));
    EXPECT_EQ(1, g_hostAllocations);
    SetMemHooks(previous);
}

}  // namespace

namespace {

TEST(Memory, LargeBlocksAreZeroFilledWritableAndReleased) {
    // Picture-sized blocks take another path in the default allocator than small ones.
    for (int size : {4 << 20, (6 << 20) + 5, 40000000}) {
        auto* block = static_cast<unsigned char*>(NewMem(size));
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % 16);
        for (int at : {0, size / 2, size - 1}) {
            EXPECT_EQ(0, block[at]);
            block[at] = 1;
        }
        DelMem(block);
    }
}

}  // namespace
