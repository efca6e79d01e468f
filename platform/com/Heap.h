#pragma once

// The process heap behind the platform stand-ins: global memory blocks, GDI+ objects and bitmap
// pixels, decoded pictures. Like the service library's NewMem it can be routed through hooks, so a
// host can supply its own allocator and tests can count blocks and make chosen allocations fail.
#include <cstddef>

#include "module/Export.h"

namespace imgdesk::platform {

// allocate returns a zero-filled block of size bytes (size may be 0) or null; release is never
// called with null.
struct HeapHooks {
    void* (*allocate)(std::size_t size);
    void (*release)(void* block);
};

// Installs hooks and returns the previous ones; a pair with a null member restores the C heap.
IMGDESK_API HeapHooks SetHeapHooks(HeapHooks hooks);

// A zero-filled block of at least size bytes, or null.
IMGDESK_API void* HeapAllocate(std::size_t size);
// Releases a HeapAllocate block; null is ignored.
IMGDESK_API void HeapRelease(void* block);

struct HeapDeleter {
    void operator()(void* block) const { HeapRelease(block); }
};

}  // namespace imgdesk::platform
