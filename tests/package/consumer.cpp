// A host program written against the installed headers and library only.
#include "pixel/DataHandler.h"
#include "service/CoreKit.h"

int main() {
    auto* pixels = static_cast<unsigned char*>(NewMem(4));
    if (!pixels) return 1;
    pixels[0] = 100;
    CDataHandler handler;
    const int done = handler.AdjustLuminosity(pixels, 1, 1, 8, 50);
    const bool ok = done == 1 && pixels[0] == 150;
    DelMem(pixels);
    return ok ? 0 : 1;
}
