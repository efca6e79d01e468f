#include <cstdlib>
#include <cstring>

#include "service/CoreKit.h"

namespace {

void* HeapAllocate(std::size_t size) { return std::malloc(size); }
void HeapRelease(void* block) { std::free(block); }

constexpr MemHooks kHeapHooks{HeapAllocate, HeapRelease};
MemHooks g_hooks = kHeapHooks;

}  // namespace

void* NewMem(int size) {
    if (size < 0) return nullptr;
    // A zero-byte request still yields a distinct block, as callers test the pointer for null.
    std::size_t bytes = size > 0 ? static_cast<std::size_t>(size) : 1;
    void* block = g_hooks.allocate(bytes);
    if (block) std::memset(block, 0, bytes);
    return block;
}

void DelMem(void* block) {
    if (block) g_hooks.release(block);
}

MemHooks SetMemHooks(MemHooks hooks) {
    MemHooks previous = g_hooks;
    g_hooks = hooks.allocate && hooks.release ? hooks : kHeapHooks;
    return previous;
}
