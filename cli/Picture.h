#pragma once

// Pictures as the pixel operations take them, read from and written to image files through the
// platform's image class.
#include <memory>
#include <string>

#include "platform/WinTypes.h"
#include "service/CoreKit.h"

namespace imgdesk::cli {

struct DelMemDeleter {
    void operator()(unsigned char* block) const { DelMem(block); }
};
using PixelBlock = std::unique_ptr<unsigned char, DelMemDeleter>;

// A pixel buffer (rows bottom-up at the platform's stride, in a NewMem block) with its size, bit
// depth and, for 8 bits, its palette.
struct Picture {
    PixelBlock pixels;
    int width = 0;
    int height = 0;
    int bits = 0;
    tagRGBQUAD palette[256] = {};
    bool hasPalette = false;

    unsigned char* data() const { return pixels.get(); }
    int Stride() const;
    // Gives up the block to an operation that replaces it by reference, and takes back what the
    // operation left (null after a late failure).
    unsigned char* Release() { return pixels.release(); }
    void Adopt(unsigned char* block) { pixels.reset(block); }
    // Turns the palette into a grey ramp (for 8-bit grey buffers made by the operations).
    void UseGreyPalette();
};

// A NewMem block of width x height pixels at bits, zero-filled; throws RunError when memory is
// short.
Picture NewPicture(int width, int height, int bits);

}  // namespace imgdesk::cli

namespace ATL {
class CImage;
}

namespace imgdesk::cli {

// A picture drawn into an image of the platform's image class (replacing what it held), and back.
void PictureToImage(const Picture& picture, ATL::CImage& image);
Picture ImageToPicture(ATL::CImage& image);

// Reads an image file into a picture, turned as its EXIF orientation says; throws RunError naming
// the file when it cannot be read.
Picture LoadPicture(const std::string& path);
// Writes a picture in the format its extension names (.jpg, .png, .bmp, .tif, .gif). The file
// takes its name only when complete; an existing file is replaced only when replace is true.
// Throws RunError when it cannot be written, and path is untouched then.
void SavePicture(const Picture& picture, const std::string& path, bool replace);

}  // namespace imgdesk::cli
