// BMP: the DIB format itself, so it needs no library. Reads the Windows headers of 40 to 124 bytes
// and the old 12-byte core header, 1/4/8-bit palette, 16/24/32-bit and bit-field pixels; writes
// 8-bit (with palette), 24-bit and 32-bit files with the 40-byte header.
#include <algorithm>
#include <cstring>

#include "platform/codecs/CodecInternal.h"

namespace imgdesk::codecs::detail {
namespace {

constexpr DWORD kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

DWORD ReadU32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24;
}
WORD ReadU16(const unsigned char* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

// One colour channel described by a bit mask, scaled to 0..255.
struct Channel {
    DWORD mask = 0;
    int shift = 0;
    int bits = 0;

    static Channel Of(DWORD mask) {
        Channel c;
        c.mask = mask;
        if (!mask)
            return c;
        while (!(mask & 1)) {
            mask >>= 1;
            ++c.shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++c.bits;
        }
        return c;
    }
    BYTE Value(DWORD pixel) const {
        if (!bits)
            return 0;
        const DWORD v = (pixel & mask) >> shift;
        const DWORD max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        return static_cast<BYTE>((static_cast<unsigned long long>(v) * 255 + max / 2) / max);
    }
};

struct Header {
    long long width = 0;
    long long height = 0;  // negative for top-down files
    int bitCount = 0;
    DWORD compression = kBiRgb;
    DWORD colours = 0;
    DWORD masks[4] = {};  // red, green, blue, alpha
    LONG xPerMetre = 0, yPerMetre = 0;
    std::size_t paletteOffset = 0;
    int paletteEntrySize = 4;
};

Result ReadHeader(const unsigned char* data, std::size_t size, Header& header) {
    if (size < 14 + 12)
        return Result::Corrupt;
    const DWORD infoSize = ReadU32(data + 14);
    if (infoSize == 12) {
        header.width = ReadU16(data + 18);
        header.height = static_cast<short>(ReadU16(data + 20));
        header.bitCount = ReadU16(data + 24);
        header.paletteEntrySize = 3;
    } else if (infoSize >= 40 && infoSize <= 124 && infoSize != 64) {
        if (size < 14 + static_cast<std::size_t>(infoSize))
            return Result::Corrupt;
        const unsigned char* info = data + 14;
        header.width = static_cast<LONG>(ReadU32(info + 4));
        header.height = static_cast<LONG>(ReadU32(info + 8));
        header.bitCount = ReadU16(info + 14);
        header.compression = ReadU32(info + 16);
        header.xPerMetre = static_cast<LONG>(ReadU32(info + 24));
        header.yPerMetre = static_cast<LONG>(ReadU32(info + 28));
        header.colours = ReadU32(info + 32);
        if (infoSize >= 52) {
            for (int i = 0; i < 3; ++i)
                header.masks[i] = ReadU32(info + 40 + 4 * i);
        }
        if (infoSize >= 56)
            header.masks[3] = ReadU32(info + 52);
    } else {
        return infoSize == 64 ? Result::Unsupported : Result::Corrupt;
    }
    header.paletteOffset = 14 + infoSize;
    // Bit-field masks of a 40-byte header follow it, where the palette would be.
    if ((header.compression == kBiBitfields || header.compression == kBiAlphaBitfields) &&
        infoSize == 40) {
        const int count = header.compression == kBiAlphaBitfields ? 4 : 3;
        if (size < header.paletteOffset + 4 * count)
            return Result::Corrupt;
        for (int i = 0; i < count; ++i)
            header.masks[i] = ReadU32(data + header.paletteOffset + 4 * i);
        header.paletteOffset += 4 * count;
    }
    if (header.width <= 0 || header.height == 0 || header.height == -2147483648LL)
        return Result::Corrupt;
    return Result::Ok;
}

// Expands RLE8 or RLE4 data into 8-bit indices, bottom-up rows of the DIB. Runs that leave the
// picture are clipped; the data ending early leaves the rest at index 0, as the platform does.
void ExpandRle(const unsigned char* p, const unsigned char* end, bool four, Dib& dib) {
    int x = 0, y = 0;
    auto put = [&](int index) {
        if (x < dib.width && y < dib.height)
            dib.Row(y)[x] = static_cast<unsigned char>(index);
        ++x;
    };
    while (end - p >= 2 && y < dib.height) {
        const int count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? (i % 2 ? value & 15 : value >> 4) : value);
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta
            if (end - p < 2)
                return;
            x += p[0];
            y += p[1];
            p += 2;
        } else {  // absolute run of value pixels, padded to a 16-bit boundary
            const int bytes = four ? (value + 1) / 2 : value;
            if (end - p < bytes)
                return;
            for (int i = 0; i < value; ++i)
                put(four ? (i % 2 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
            p += bytes + (bytes & 1);
        }
    }
}

}  // namespace

Result DecodeBmp(const unsigned char* data, std::size_t size, DecodedImage& image) {
    Header header;
    Result result = ReadHeader(data, size, header);
    if (result != Result::Ok)
        return result;
    const bool topDown = header.height < 0;
    const long long height = topDown ? -header.height : header.height;
    const int bits = header.bitCount;
    const bool rle = header.compression == kBiRle8 || header.compression == kBiRle4;
    const bool fields =
        header.compression == kBiBitfields || header.compression == kBiAlphaBitfields;
    if (header.compression == kBiRle8 && bits != 8)
        return Result::Corrupt;
    if (header.compression == kBiRle4 && bits != 4)
        return Result::Corrupt;
    if (fields && bits != 16 && bits != 32)
        return Result::Corrupt;
    if (!rle && !fields && header.compression != kBiRgb)
        return Result::Unsupported;  // JPEG/PNG inside
    if (rle && topDown)
        return Result::Corrupt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Result::Corrupt;

    const DWORD offBits = ReadU32(data + 10);
    if (offBits >= size)
        return Result::Corrupt;
    const long long sourceStride = DibRowBytes(header.width, bits);
    if (!rle && (sourceStride > static_cast<long long>(size) ||
                 sourceStride * height > static_cast<long long>(size - offBits)))
        return Result::Corrupt;  // truncated pixel data

    const int outBits = bits <= 8 ? 8 : bits == 24 ? 24 : 32;
    if (!FitsLimit(header.width, height, outBits))
        return Result::TooLarge;
    result = AllocateDib(image, static_cast<int>(header.width), static_cast<int>(height), outBits);
    if (result != Result::Ok)
        return result;
    if (header.xPerMetre > 0)
        image.dpiX = DpiFromPerMetre(header.xPerMetre);
    if (header.yPerMetre > 0)
        image.dpiY = DpiFromPerMetre(header.yPerMetre);

    if (bits <= 8) {
        const long long maxColours = 1LL << bits;
        long long colours = header.colours ? header.colours : maxColours;
        if (colours > maxColours)
            colours = maxColours;
        const std::size_t available =
            (offBits > header.paletteOffset ? offBits - header.paletteOffset : 0) /
            header.paletteEntrySize;
        if (static_cast<std::size_t>(colours) > available)
            colours = static_cast<long long>(available);
        for (long long i = 0; i < colours; ++i) {
            const unsigned char* entry = data + header.paletteOffset + i * header.paletteEntrySize;
            image.palette[i] = {entry[0], entry[1], entry[2], 0};
        }
        image.paletteSize = colours > 0 ? static_cast<int>(colours) : static_cast<int>(maxColours);
    }

    if (rle) {
        ExpandRle(data + offBits, data + size, header.compression == kBiRle4, image);
        return Result::Ok;
    }

    Channel channels[4];
    if (bits == 16 || bits == 32) {
        DWORD masks[4] = {header.masks[0], header.masks[1], header.masks[2], header.masks[3]};
        if (!fields) {
            if (bits == 16) {
                masks[0] = 0x7C00;
                masks[1] = 0x03E0;
                masks[2] = 0x001F;
            } else {
                masks[0] = 0xFF0000;
                masks[1] = 0xFF00;
                masks[2] = 0xFF;
            }
            // The alpha mask of a version 4 or 5 header counts for 32-bit BI_RGB files only.
            if (bits == 16)
                masks[3] = 0;
        }
        for (int i = 0; i < 4; ++i)
            channels[i] = Channel::Of(masks[i]);
        image.hasAlpha = bits == 32 && masks[3] != 0;
    }

    for (long long y = 0; y < height; ++y) {
        const unsigned char* in = data + offBits + (topDown ? height - 1 - y : y) * sourceStride;
        unsigned char* out = image.Row(static_cast<int>(y));
        const int width = image.width;
        switch (bits) {
            case 1:
            case 4:
                for (int x = 0; x < width; ++x) {
                    const int bit = x * bits;
                    out[x] = static_cast<unsigned char>((in[bit / 8] >> (8 - bits - bit % 8)) &
                                                        ((1 << bits) - 1));
                }
                break;
            case 8:
            case 24:
                std::memcpy(out, in, static_cast<std::size_t>(width) * (bits / 8));
                break;
            case 16:
            case 32:
                for (int x = 0; x < width; ++x, out += 4) {
                    const DWORD pixel = bits == 16 ? ReadU16(in + 2 * x) : ReadU32(in + 4 * x);
                    out[0] = channels[2].Value(pixel);
                    out[1] = channels[1].Value(pixel);
                    out[2] = channels[0].Value(pixel);
                    out[3] = image.hasAlpha ? channels[3].Value(pixel) : 255;
                }
                break;
        }
    }
    return Result::Ok;
}

Result EncodeBmp(const DibView& image, std::vector<unsigned char>& out) {
    const int bits = image.bitCount;
    const long long stride = DibRowBytes(image.width, bits);
    const int paletteEntries = bits == 8 ? 256 : 0;
    const long long offBits = 14 + 40 + 4LL * paletteEntries;
    const long long fileSize = offBits + stride * image.height;
    if (fileSize > 0x7FFFFFFFLL)
        return Result::TooLarge;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfSize = static_cast<DWORD>(fileSize);
    file.bfOffBits = static_cast<DWORD>(offBits);
    BITMAPINFOHEADER info{};
    info.biSize = 40;
    info.biWidth = image.width;
    info.biHeight = image.height;
    info.biPlanes = 1;
    info.biBitCount = static_cast<WORD>(bits);
    info.biCompression = kBiRgb;
    info.biSizeImage = static_cast<DWORD>(stride * image.height);
    info.biXPelsPerMeter = image.dpiX > 0 ? PerMetreFromDpi(image.dpiX) : 0;
    info.biYPelsPerMeter = image.dpiY > 0 ? PerMetreFromDpi(image.dpiY) : 0;
    try {
        out.reserve(static_cast<std::size_t>(fileSize));
    } catch (const std::exception&) {
        return Result::OutOfMemory;
    }
    Append(out, &file, sizeof(file));
    Append(out, &info, sizeof(info));
    if (bits == 8) {
        RGBQUAD palette[256] = {};
        std::memcpy(
            palette, image.palette,
            sizeof(RGBQUAD) * std::min(image.paletteSize > 0 ? image.paletteSize : 256, 256));
        for (RGBQUAD& entry : palette)
            entry.rgbReserved = 0;
        Append(out, palette, sizeof(palette));
    }
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * (bits / 8);
    const unsigned char padding[4] = {};
    for (int y = 0; y < image.height; ++y) {
        Append(out, image.Row(y), rowBytes);
        Append(out, padding, static_cast<std::size_t>(stride) - rowBytes);
    }
    return Result::Ok;
}

}  // namespace imgdesk::codecs::detail
