#pragma once

// A NewMem block owned for the length of an operation, released on every path.
#include <memory>

#include "service/CoreKit.h"

namespace imgdesk::pixel {

struct DelMemDeleter {
    void operator()(void* block) const { DelMem(block); }
};

template <typename T = unsigned char>
using ScratchPtr = std::unique_ptr<T[], DelMemDeleter>;

// A zero-filled block of count elements, or an empty pointer when memory is short.
template <typename T = unsigned char>
ScratchPtr<T> NewScratch(long long count) {
    const long long bytes = count * static_cast<long long>(sizeof(T));
    if (count < 0 || bytes > 0x7FFFFFFF)
        return ScratchPtr<T>();
    return ScratchPtr<T>(static_cast<T*>(NewMem(static_cast<int>(bytes))));
}

}  // namespace imgdesk::pixel
