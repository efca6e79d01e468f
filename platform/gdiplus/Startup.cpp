#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "platform/com/Heap.h"
#include "platform/gdiplus/ImageData.h"

namespace imgdesk::gdiplus {
namespace {

struct Instances {
    std::mutex mutex;
    std::vector<ULONG_PTR> tokens;
    ULONG_PTR next = 1;
};

Instances& Started() {
    static Instances instances;
    return instances;
}

Gdiplus::Status HookNothing(ULONG_PTR* token) {
    if (token)
        *token = 0;
    return Gdiplus::Ok;
}
void UnhookNothing(ULONG_PTR) {}

}  // namespace

bool IsStarted() {
    Instances& instances = Started();
    std::lock_guard<std::mutex> lock(instances.mutex);
    return !instances.tokens.empty();
}

}  // namespace imgdesk::gdiplus

namespace Gdiplus {

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                      GdiplusStartupOutput* output) {
    if (!token || !input)
        return InvalidParameter;
    if (input->GdiplusVersion < 1 || input->GdiplusVersion > 3)
        return UnsupportedGdiplusVersion;
    if (input->SuppressBackgroundThread && !output)
        return InvalidParameter;
    if (output) {
        output->NotificationHook = imgdesk::gdiplus::HookNothing;
        output->NotificationUnhook = imgdesk::gdiplus::UnhookNothing;
    }
    auto& instances = imgdesk::gdiplus::Started();
    try {
        std::lock_guard<std::mutex> lock(instances.mutex);
        instances.tokens.push_back(instances.next);
        *token = instances.next++;
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    return Ok;
}

void GdiplusShutdown(ULONG_PTR token) {
    auto& instances = imgdesk::gdiplus::Started();
    std::lock_guard<std::mutex> lock(instances.mutex);
    auto found = std::find(instances.tokens.begin(), instances.tokens.end(), token);
    if (found != instances.tokens.end())
        instances.tokens.erase(found);
}

void* GdiplusBase::operator new(std::size_t size) noexcept {
    return imgdesk::platform::HeapAllocate(size);
}
void* GdiplusBase::operator new[](std::size_t size) noexcept {
    return imgdesk::platform::HeapAllocate(size);
}
void GdiplusBase::operator delete(void* block) noexcept {
    imgdesk::platform::HeapRelease(block);
}
void GdiplusBase::operator delete[](void* block) noexcept {
    imgdesk::platform::HeapRelease(block);
}

}  // namespace Gdiplus
