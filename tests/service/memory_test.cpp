#include <gtest/gtest.h>

#include <cstdint>
#include <new>

#include "service/CoreKit.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::test::MemoryProbe;

TEST(Memory, BlocksAreZeroFilledAlignedWritableAndReleased) {
    MemoryProbe probe;
    // Picture-sized blocks take another path in the default allocator than small ones; a zero-byte
    // block is still a block.
    for (int size : {0, 4096, 4 << 20, (6 << 20) + 5, 40000000}) {
        auto* block = static_cast<unsigned char*>(NewMem(size));
        ASSERT_NE(nullptr, block) << size;
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % 16);
        for (int at : {0, size / 2, size - 1}) {
            if (at >= 0 && at < size) {
                EXPECT_EQ(0, block[at]) << size << " at " << at;
                block[at] = 1;
            }
        }
        EXPECT_EQ(1, probe.LiveBlocks());
        DelMem(block);
    }
    EXPECT_EQ(nullptr, NewMem(-1));
    EXPECT_EQ(5, probe.Allocations());  // a negative size never reaches the allocator
    DelMem(nullptr);
    EXPECT_EQ(0, probe.LiveBlocks());
}

int g_hostAllocations = 0;

TEST(Memory, HostHooksRouteTheLibrarysMemory) {
    auto allocate = [](std::size_t size) {
        ++g_hostAllocations;
        return ::operator new(size, std::nothrow);
    };
    MemHooks previous = SetMemHooks({allocate, [](void* block) { ::operator delete(block); }});
    DelMem(NewMem(10));
    EXPECT_EQ(1, g_hostAllocations);
    // A half-set pair restores the C heap rather than leaving a null function in place.
    SetMemHooks({allocate, nullptr});
    DelMem(NewMem(10));
    EXPECT_EQ(1, g_hostAllocations);
    SetMemHooks(previous);
}

}  // namespace
