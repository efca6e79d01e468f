#pragma once

// What the page calls share about their input and scratch memory: which caller pictures they
// accept, and NewMem arrays owned for the length of a call.
#include <climits>
#include <memory>

#include "pixel/internal/PixelLayout.h"
#include "platform/WinTypes.h"
#include "service/CoreKit.h"

namespace imgdesk::scan {

struct MemDeleter {
    void operator()(void* block) const { DelMem(block); }
};
template <typename T>
using Mem = std::unique_ptr<T[], MemDeleter>;

// A zero-filled NewMem array, or null when the count is not positive, too large or memory is short.
template <typename T>
Mem<T> Allocate(long long count) {
    if (count <= 0 || count > INT_MAX / static_cast<long long>(sizeof(T)))
        return Mem<T>();
    return Mem<T>(static_cast<T*>(NewMem(static_cast<int>(count * sizeof(T)))));
}

// A picture the calls take: pixels, a size of at least 1 x 1, 8, 24 or 32 bits (8 with its
// palette), and no more bytes than a NewMem block can hold.
inline bool IsUsablePicture(const unsigned char* pixels, int width, int height, int bits,
                            const tagRGBQUAD* palette) {
    return pixels && width >= 1 && height >= 1 && pixel::IsSupportedBitCount(bits) &&
           (bits != 8 || palette) &&
           static_cast<long long>(pixel::RowStride(width, bits)) * height <= INT_MAX;
}

}  // namespace imgdesk::scan
