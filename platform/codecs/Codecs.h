#pragma once

// The image codecs behind the platform's image classes: decode a file or memory into a
// device-independent bitmap, encode such a bitmap into a file or memory. JPEG, PNG, TIFF and GIF
// go through libjpeg-turbo, libpng, libtiff and giflib; BMP is the DIB format itself.
//
// Decoded pictures come as bottom-up DIBs with the bit depth the platform reports for the file:
//   8  palette and grey images (a grey image gets a 256-entry grey palette),
//   24 colour JPEGs and other 8-bit-per-channel colour images without alpha,
//   32 images with alpha (straight, not premultiplied: blue, green, red, alpha),
//   32 anything else (16-bit channels, 16-bit BMPs, CMYK), the fourth byte 255.
// Every pixel buffer comes from the platform heap (platform/com/Heap.h). Pictures whose pixel
// memory would exceed MaxPixelBytes() are refused before anything large is allocated.
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/com/Heap.h"

namespace imgdesk::codecs {

enum class Format { Unknown, Bmp, Jpeg, Gif, Tiff, Png };

enum class Result {
    Ok,
    NotFound,       // the file does not exist
    ReadError,      // the file exists but cannot be read
    WriteError,     // the target cannot be written
    UnknownFormat,  // no codec recognises the bytes
    Corrupt,        // recognised, but truncated or damaged
    TooLarge,       // the pixel memory would exceed the limit
    OutOfMemory,
    Unsupported,  // a valid file using a feature the codec does not handle
    InvalidArgument,
};

using HeapBytes = std::unique_ptr<unsigned char[], platform::HeapDeleter>;

// Bytes of one DIB row: the row of bitCount-bit pixels rounded up to whole 32-bit words.
constexpr long long DibRowBytes(long long width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// A bottom-up device-independent bitmap that owns its pixels: memory row 0 is the bottom row of
// the picture, rows are DibRowBytes apart.
struct Dib {
    int width = 0;
    int height = 0;
    int bitCount = 0;       // 8, 24 or 32
    bool hasAlpha = false;  // 32 bits: the fourth byte is alpha
    RGBQUAD palette[256] = {};
    int paletteSize = 0;  // entries that the file defines (8 bits); the rest are black
    HeapBytes pixels;
    double dpiX = 0;  // resolution in dots per inch; 0 when the file names none
    double dpiY = 0;

    long long Stride() const { return DibRowBytes(width, bitCount); }
    unsigned char* Row(int memoryRow) const { return pixels.get() + memoryRow * Stride(); }
};

struct DecodedImage : Dib {
    Format format = Format::Unknown;
    // EXIF orientation of a JPEG (1 to 8; 1 when absent). The pixels are as stored: like the
    // platform's image classes the decoder does not turn them.
    int orientation = 1;
};

// A bitmap to encode, owned by someone else. Rows are stride bytes apart in memory, memory row 0
// is the bottom row (a negative stride with bits at the top row describes a top-down bitmap).
struct DibView {
    int width = 0;
    int height = 0;
    int bitCount = 0;  // 8 (with palette), 24 or 32
    bool hasAlpha = false;
    const RGBQUAD* palette = nullptr;
    int paletteSize = 0;
    const unsigned char* bits = nullptr;
    long long stride = 0;
    double dpiX = 0;
    double dpiY = 0;

    static DibView Of(const Dib& dib);
    const unsigned char* Row(int memoryRow) const { return bits + memoryRow * stride; }
};

struct EncodeOptions {
    int quality = 75;  // JPEG, 0 to 100
    // Text chunks of a PNG (keyword, value), in order.
    std::vector<std::pair<std::string, std::string>> text;
};

// The format of encoded bytes by their signature.
Format DetectFormat(const unsigned char* data, std::size_t size);

Result Decode(const unsigned char* data, std::size_t size, DecodedImage& image);
// Reads the whole file first, so the file is free again when this returns.
Result DecodeFile(const char* path, DecodedImage& image);

// Encodes into out (replacing its contents). PNG and TIFF keep alpha, BMP keeps the fourth byte,
// JPEG drops it; GIF quantises colour pictures to 256 colours and drops alpha.
Result Encode(Format format, const DibView& image, const EncodeOptions& options,
              std::vector<unsigned char>& out);
// Encodes, then writes the file (replacing it).
Result EncodeFile(Format format, const DibView& image, const EncodeOptions& options,
                  const char* path);

// Sets up dib as a zero-filled width x height bitmap of bitCount bits; TooLarge or OutOfMemory
// leave it empty.
Result AllocateDib(Dib& dib, int width, int height, int bitCount);

// Fills the first 256 palette entries with the grey ramp.
void SetGreyPalette(Dib& dib);
// Whether the palette is the grey ramp over its used entries (entry i = (i, i, i)).
bool IsGreyPalette(const RGBQUAD* palette, int paletteSize);

// The largest pixel memory a decoded or created picture may take: 2^31 - 1 bytes by default, the
// platform's 32-bit limit. Lowered by fuzzing, so that a few bytes cannot ask for gigabytes.
long long MaxPixelBytes();
void SetMaxPixelBytes(long long bytes);
// The largest picture in pixels: IMGDESK_MAX_PIXELS when set to a positive number, else no limit
// beyond the bytes above. Checked from a file's header, before its pixels are decoded.
long long MaxPixels();

// Picture rows converted to 32-bit blue, green, red, alpha (alpha 255 where the source has none).
void RowToBgra(const DibView& image, int memoryRow, unsigned char* out);

// Scales a picture of any bit count to a 32-bit one (straight alpha) of width x height: a triangle
// filter widened to the scale when shrinking (an area average), bilinear when enlarging, weighted
// by alpha.
Result ResampleBgra(const DibView& source, int width, int height, Dib& target);

}  // namespace imgdesk::codecs
