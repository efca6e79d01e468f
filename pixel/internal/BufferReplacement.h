#pragma once

// Handing a finished picture over in place of the caller's buffer, for the operations that take
// the buffer pointer by reference.
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {

// Releases the caller's buffer, leaves the reference null, then asks NewMem for a block of the
// result's size. When that succeeds the reference receives the result and true is returned; when
// memory is short the reference stays null (the caller's picture is gone) and false is returned.
// Either way the result's scratch block is released or handed over.
//
// The result already sits in a NewMem block of exactly that size whose bytes outside the picture
// are those the caller must receive, so that block is handed over and the fresh one given back
// unused: memory is still asked for at this point, so a shortage ends the same way, but the
// picture is not copied once more.
inline bool ReplaceBuffer(unsigned char*& buffer, ScratchPtr<>& result, long long bytes) {
    DelMem(buffer);
    buffer = nullptr;
    const ScratchPtr<> fresh = NewScratch(bytes);
    if (!fresh) {
        result.reset();
        return false;
    }
    buffer = result.release();
    return true;
}

}  // namespace imgdesk::pixel
