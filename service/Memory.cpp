#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "service/CoreKit.h"

namespace {

// Default memory: small blocks from the C heap, large ones (whole pictures) mapped directly in
// 2 MiB-aligned runs with transparent huge pages requested. A fresh mapping is already zero, and
// huge pages cut the cost of first touching a 36 MB picture by an order of magnitude. Each block
// starts with a header that says which kind it is.
constexpr std::size_t kHeader = 16;
constexpr std::size_t kLargeBlock = std::size_t(4) << 20;
constexpr std::size_t kHugePage = std::size_t(2) << 20;

struct BlockHeader {
    std::size_t mappedBytes;  // 0 for a C-heap block
    std::size_t reserved;
};
static_assert(sizeof(BlockHeader) == kHeader, "header keeps blocks 16-byte aligned");

void* MapLargeBlock(std::size_t bytes) {
    const std::size_t mapped = (bytes + kHeader + kHugePage - 1) / kHugePage * kHugePage;
    // Over-map by one huge page so that the block can start on a huge-page boundary.
    void* raw = ::mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const std::size_t tail = start + mapped + kHugePage - (aligned + mapped);
    if (tail)
        ::munmap(reinterpret_cast<void*>(aligned + mapped), tail);
    ::madvise(reinterpret_cast<void*>(aligned), mapped, MADV_HUGEPAGE);
    auto* header = reinterpret_cast<BlockHeader*>(aligned);
    header->mappedBytes = mapped;
    return reinterpret_cast<unsigned char*>(header) + kHeader;
}

void* HeapAllocate(std::size_t size) {
    if (size >= kLargeBlock)
        return MapLargeBlock(size);
    auto* header = static_cast<BlockHeader*>(std::calloc(1, size + kHeader));
    if (!header)
        return nullptr;
    return reinterpret_cast<unsigned char*>(header) + kHeader;
}

void HeapRelease(void* block) {
    auto* header = reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(block) - kHeader);
    if (header->mappedBytes) {
        ::munmap(header, header->mappedBytes);
    } else {
        std::free(header);
    }
}

constexpr MemHooks kHeapHooks{HeapAllocate, HeapRelease};
MemHooks g_hooks = kHeapHooks;

}  // namespace

void* NewMem(int size) {
    if (size < 0)
        return nullptr;
    // A zero-byte request still yields a distinct block, as callers test the pointer for null.
    std::size_t bytes = size > 0 ? static_cast<std::size_t>(size) : 1;
    void* block = g_hooks.allocate(bytes);
    // The default allocator hands out zeroed memory already; a host's may not.
    if (block && g_hooks.allocate != kHeapHooks.allocate)
        std::memset(block, 0, bytes);
    return block;
}

void DelMem(void* block) {
    if (block)
        g_hooks.release(block);
}

MemHooks SetMemHooks(MemHooks hooks) {
    MemHooks previous = g_hooks;
    g_hooks = hooks.allocate && hooks.release ? hooks : kHeapHooks;
    return previous;
}
