#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/com/Heap.h"
#include "platform/com/ObjBase.h"

namespace {

using imgdesk::platform::HeapAllocate;
using imgdesk::platform::HeapRelease;

struct Block {
    void* data = nullptr;  // for a fixed block, the handle itself
    SIZE_T size = 0;
    bool movable = false;
    int locks = 0;
};

// Every live handle, so that a stale or foreign handle is refused instead of trusted.
struct Registry {
    std::mutex mutex;
    std::unordered_map<HGLOBAL, Block> blocks;
};

Registry& Blocks() {
    static Registry registry;
    return registry;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    Block block;
    block.movable = (flags & GMEM_MOVEABLE) != 0;
    block.size = bytes;
    // A movable block of size 0 has no memory yet; every other block gets at least one byte so
    // that its address is unique.
    if (!block.movable || bytes > 0) {
        block.data = HeapAllocate(bytes);
        if (!block.data)
            return nullptr;
    }
    HGLOBAL handle = block.data;
    if (block.movable) {
        handle = HeapAllocate(1);  // a unique token that is not the block's address
        if (!handle) {
            HeapRelease(block.data);
            return nullptr;
        }
    }
    Registry& registry = Blocks();
    try {
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.blocks.emplace(handle, block);
    } catch (const std::bad_alloc&) {
        if (block.movable)
            HeapRelease(handle);
        HeapRelease(block.data);
        return nullptr;
    }
    return handle;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.blocks.find(handle);
    if (found == registry.blocks.end())
        return nullptr;
    Block& block = found->second;
    // A fixed block would move, and its handle with it: refused, as the platform does for a
    // fixed block without GMEM_MOVEABLE.
    if (!block.movable) {
        if (bytes <= block.size) {
            block.size = bytes;
            return handle;
        }
        (void)flags;
        return nullptr;
    }
    void* data = HeapAllocate(bytes);
    if (!data)
        return nullptr;
    if (block.data)
        std::memcpy(data, block.data, bytes < block.size ? bytes : block.size);
    HeapRelease(block.data);
    block.data = data;
    block.size = bytes;
    return handle;
}

LPVOID GlobalLock(HGLOBAL handle) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.blocks.find(handle);
    if (found == registry.blocks.end() || !found->second.data)
        return nullptr;
    if (found->second.movable)
        ++found->second.locks;
    return found->second.data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.blocks.find(handle);
    if (found == registry.blocks.end() || found->second.locks == 0)
        return FALSE;
    return --found->second.locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL handle) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.blocks.find(handle);
    return found == registry.blocks.end() ? 0 : found->second.size;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
    if (!handle)
        return nullptr;
    Block block;
    {
        Registry& registry = Blocks();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.blocks.find(handle);
        if (found == registry.blocks.end())
            return handle;
        block = found->second;
        registry.blocks.erase(found);
    }
    HeapRelease(block.data);
    if (block.movable)
        HeapRelease(handle);
    return nullptr;
}

namespace imgdesk::platform {

int LiveGlobalBlocks() {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return static_cast<int>(registry.blocks.size());
}

}  // namespace imgdesk::platform
