#include "cli/Picture.h"

#include <cstdlib>
#include <cstring>

#include "cli/Args.h"
#include "cli/PictureFacts.h"
#include "cli/Job.h"
#include "platform/CString.h"
#include "platform/atlimage/AtlImage.h"
#include "pixel/internal/PixelLayout.h"

namespace imgdesk::cli {

int Picture::Stride() const {
    return imgdesk::pixel::RowStride(width, bits);
}

void Picture::UseGreyPalette() {
    for (int level = 0; level < 256; ++level) {
        const auto v = static_cast<BYTE>(level);
        palette[level] = {v, v, v, 0};
    }
    hasPalette = true;
}

namespace {

std::string SizeText(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// A picture with no pixels is what an operation leaves when nothing of its input remains: that is
// the message, not a shortage of memory.
void RequirePixels(long long width, long long height) {
    if (width <= 0 || height <= 0)
        throw RunError("nothing is left of the picture (the result would be " +
                       SizeText(width, height) + " pixels)");
}

}  // namespace

Picture NewPicture(int width, int height, int bits) {
    RequirePixels(width, height);
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bits = bits;
    const long long bytes = static_cast<long long>(picture.Stride()) * height;
    if (bytes > 0x7FFFFFFF)
        throw RunError("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " is too large");
    picture.pixels.reset(static_cast<unsigned char*>(NewMem(static_cast<int>(bytes))));
    if (!picture.pixels)
        throw RunError("out of memory for a picture of " + std::to_string(width) + " x " +
                       std::to_string(height));
    return picture;
}

Picture ImageToPicture(ATL::CImage& image) {
    const int bits = image.GetBPP();
    if (bits != 8 && bits != 24 && bits != 32) {
        throw RunError(std::to_string(bits) + " bits per pixel are not supported; 8, 24 or 32 are");
    }
    Picture picture = NewPicture(image.GetWidth(), image.GetHeight(), bits);
    // The image is a bottom-up DIB: its lowest row in memory is the last row of the picture, where
    // the pixel buffer starts too.
    const int stride = picture.Stride();
    for (int row = 0; row < picture.height; ++row) {
        const auto* source =
            static_cast<const unsigned char*>(image.GetPixelAddress(0, picture.height - 1 - row));
        std::memcpy(picture.data() + static_cast<long long>(row) * stride, source, stride);
    }
    if (bits == 8) {
        image.GetColorTable(0, 256, picture.palette);
        picture.hasPalette = true;
    }
    return picture;
}

void PictureToImage(const Picture& picture, ATL::CImage& image) {
    RequirePixels(picture.width, picture.height);
    if (!image.Create(picture.width, picture.height, picture.bits))
        throw RunError("out of memory for an image of " + SizeText(picture.width, picture.height));
    if (picture.bits == 8) {
        Picture grey;
        const tagRGBQUAD* palette = picture.palette;
        if (!picture.hasPalette) {
            grey.UseGreyPalette();
            palette = grey.palette;
        }
        image.SetColorTable(0, 256, palette);
    }
    const int stride = picture.Stride();
    for (int row = 0; row < picture.height; ++row) {
        auto* target =
            static_cast<unsigned char*>(image.GetPixelAddress(0, picture.height - 1 - row));
        std::memcpy(target, picture.data() + static_cast<long long>(row) * stride, stride);
    }
}

Picture LoadPicture(const std::string& path) {
    RequireRegularFile(path);
    ATL::CImage image;
    if (FAILED(image.Load(Utf8ToWide(path.c_str())))) {
        const char* limit = std::getenv("IMGDESK_MAX_PIXELS");
        throw RunError("cannot read '" + path + "': not an image, damaged, or larger than " +
                       (limit ? std::string(limit) : std::string("the")) +
                       " pixels (--max-pixels raises the limit)");
    }
    try {
        // Shown as the camera meant it: a phone photo stored sideways comes out upright.
        return Upright(ImageToPicture(image), ReadPictureFacts(path).orientation);
    } catch (const RunError& error) {
        throw RunError("'" + path + "': " + error.what());
    }
}

void SavePicture(const Picture& picture, const std::string& path, bool replace) {
    PendingOutput output(path, replace);
    ATL::CImage image;
    PictureToImage(picture, image);
    if (FAILED(image.Save(Utf8ToWide(output.Path().c_str())))) {
        throw RunError("cannot write '" + path + "' (check the free space and the extension)");
    }
    output.Commit();
}

}  // namespace imgdesk::cli
