#include "support/HeapProbe.h"

#include <cstdlib>

namespace imgdesk::test {
namespace {

int g_live = 0;
long g_count = 0;
long g_failAt = 0;
bool g_injected = false;
platform::HeapHooks g_previous{};

void* Allocate(std::size_t size) {
    ++g_count;
    if (g_failAt != 0 && g_count == g_failAt) {
        g_injected = true;
        return nullptr;
    }
    void* block = std::calloc(size ? size : 1, 1);
    if (block)
        ++g_live;
    return block;
}

void Release(void* block) {
    --g_live;
    std::free(block);
}

}  // namespace

HeapProbe::HeapProbe() {
    g_live = 0;
    g_count = 0;
    g_failAt = 0;
    g_injected = false;
    g_previous = platform::SetHeapHooks({Allocate, Release});
}

HeapProbe::~HeapProbe() {
    platform::SetHeapHooks(g_previous);
}

int HeapProbe::LiveBlocks() const {
    return g_live;
}

void HeapProbe::FailAllocation(int n) {
    g_failAt = n > 0 ? g_count + n : 0;
    g_injected = false;
}

bool HeapProbe::FailureInjected() const {
    return g_injected;
}

}  // namespace imgdesk::test
