// Loads arbitrary bytes as an image through CGdiImage::NewImageFormStream: every input must either
// load or fail with 0, with no crash, no leak and no read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imagefile/GdiImage.h"
#include "platform/codecs/Codecs.h"

namespace {

bool Start() {
    static ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    // A few header bytes must not be able to ask for gigabytes of pixels.
    imgdesk::codecs::SetMaxPixelBytes(64LL << 20);
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool started = Start();
    if (!started)
        return 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return 0;
    if (size) {
        std::memcpy(GlobalLock(block), data, size);
        GlobalUnlock(block);
    }
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
        GlobalFree(block);
        return 0;
    }
    CGdiImage image;
    if (image.NewImageFormStream(stream)) {
        unsigned long width = 0, height = 0;
        image.GetImageSize(width, height);
        if (width == 0 || height == 0)
            __builtin_trap();  // a loaded image always has pixels
    }
    stream->Release();
    return 0;
}
