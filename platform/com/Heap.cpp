#include "platform/com/Heap.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace imgdesk::platform {
namespace {

// Every default block starts with this header, so release knows where the block came from.
struct alignas(16) Header {
    void* mapping;       // start of the mapping, or null for a C-heap block
    std::size_t length;  // length of the mapping
};

constexpr std::size_t kLargeBlock = 4u << 20;
constexpr std::size_t kHugePage = 2u << 20;

// Pictures are large: a 12-megapixel one faults in some 9000 fresh pages, which costs more than
// decoding it. Large blocks therefore come straight from mmap, aligned to and advised for
// transparent huge pages (fresh mappings are zero-filled, as the contract asks).
void* AllocateLarge(std::size_t size) {
    const std::size_t length = size + kHugePage + sizeof(Header);
    void* mapping =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t user = (base + sizeof(Header) + kHugePage - 1) & ~(kHugePage - 1);
    ::madvise(reinterpret_cast<void*>(user), size, MADV_HUGEPAGE);
    auto* header = reinterpret_cast<Header*>(user) - 1;
    header->mapping = mapping;
    header->length = length;
    return reinterpret_cast<void*>(user);
}

void* DefaultAllocate(std::size_t size) {
    if (size > SIZE_MAX - kHugePage - sizeof(Header))
        return nullptr;
    if (size >= kLargeBlock)
        return AllocateLarge(size);
    auto* header = static_cast<Header*>(std::calloc(1, sizeof(Header) + size));
    if (!header)
        return nullptr;
    header->mapping = nullptr;
    header->length = 0;
    return header + 1;
}

void DefaultRelease(void* block) {
    Header* header = static_cast<Header*>(block) - 1;
    if (header->mapping) {
        ::munmap(header->mapping, header->length);
    } else {
        std::free(header);
    }
}

std::atomic<void* (*)(std::size_t)> g_allocate{DefaultAllocate};
std::atomic<void (*)(void*)> g_release{DefaultRelease};

}  // namespace

HeapHooks SetHeapHooks(HeapHooks hooks) {
    if (!hooks.allocate || !hooks.release)
        hooks = {DefaultAllocate, DefaultRelease};
    HeapHooks previous{g_allocate.exchange(hooks.allocate), g_release.exchange(hooks.release)};
    return previous;
}

void* HeapAllocate(std::size_t size) {
    return g_allocate.load()(size);
}

void HeapRelease(void* block) {
    if (block)
        g_release.load()(block);
}

}  // namespace imgdesk::platform
