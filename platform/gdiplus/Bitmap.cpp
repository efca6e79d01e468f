#include <climits>
#include <cstring>
#include <new>

#include "platform/gdiplus/ImageData.h"

namespace imgdesk::gdiplus {

Gdiplus::Status LoadFile(const WCHAR* filename, bool isBitmap, ImageData*& data);
Gdiplus::Status LoadStream(IStream* stream, bool isBitmap, ImageData*& data);

namespace {

// A new empty bitmap of the size and bit count; null with the status when it cannot be made.
ImageData* NewBitmapData(long long width, long long height, int bitCount, bool alpha,
                         Gdiplus::Status& status) {
    status = Gdiplus::Ok;
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        status = Gdiplus::InvalidParameter;
        return nullptr;
    }
    auto* data = new (std::nothrow) ImageData;
    if (!data) {
        status = Gdiplus::OutOfMemory;
        return nullptr;
    }
    const codecs::Result result =
        codecs::AllocateDib(data->dib, static_cast<int>(width), static_cast<int>(height), bitCount);
    if (result != codecs::Result::Ok) {
        delete data;
        status = result == codecs::Result::OutOfMemory ? Gdiplus::OutOfMemory
                                                       : Gdiplus::InvalidParameter;
        return nullptr;
    }
    data->dib.hasAlpha = alpha;
    data->isBitmap = true;
    return data;
}

// Reads pixel x of a DIB row of 1 to 32 bits into the bitmap's form.
void CopyDibRow(const unsigned char* in, int bits, int width, unsigned char* out) {
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
            for (int x = 0; x < width; ++x, out += 4) {
                const unsigned v = in[2 * x] | in[2 * x + 1] << 8;
                out[0] = static_cast<unsigned char>(((v & 31) * 255 + 15) / 31);
                out[1] = static_cast<unsigned char>((((v >> 5) & 31) * 255 + 15) / 31);
                out[2] = static_cast<unsigned char>((((v >> 10) & 31) * 255 + 15) / 31);
                out[3] = 255;
            }
            break;
        case 32:
            for (int x = 0; x < width; ++x, out += 4, in += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 255;
            }
            break;
    }
}

}  // namespace
}  // namespace imgdesk::gdiplus

namespace Gdiplus {

using imgdesk::gdiplus::ImageData;
namespace codecs = imgdesk::codecs;

Bitmap::Bitmap(const WCHAR* filename, BOOL) {
    loadStatus = imgdesk::gdiplus::LoadFile(filename, true, nativeImage);
    lastResult = loadStatus;
}

Bitmap::Bitmap(IStream* stream, BOOL) {
    loadStatus = imgdesk::gdiplus::LoadStream(stream, true, nativeImage);
    lastResult = loadStatus;
}

Bitmap::Bitmap(INT width, INT height, PixelFormat format) {
    if (!imgdesk::gdiplus::IsStarted()) {
        lastResult = loadStatus = GdiplusNotInitialized;
        return;
    }
    int bits = 0;
    if (format == PixelFormat24bppRGB)
        bits = 24;
    if (format == PixelFormat32bppRGB || format == PixelFormat32bppARGB)
        bits = 32;
    if (!bits) {
        lastResult = loadStatus =
            format == PixelFormat32bppPARGB ? NotImplemented : InvalidParameter;
        return;
    }
    Status status;
    nativeImage = imgdesk::gdiplus::NewBitmapData(width, height, bits,
                                                  format == PixelFormat32bppARGB, status);
    lastResult = loadStatus = status;
}

Bitmap::Bitmap(const BITMAPINFO* info, VOID* bits) {
    if (!imgdesk::gdiplus::IsStarted()) {
        lastResult = loadStatus = GdiplusNotInitialized;
        return;
    }
    lastResult = loadStatus = InvalidParameter;
    if (!info || !bits)
        return;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const int bitCount = header.biBitCount;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biCompression != BI_RGB)
        return;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return;
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT_MIN)
        return;
    const bool topDown = header.biHeight < 0;
    const long long width = header.biWidth;
    const long long height = topDown ? -static_cast<long long>(header.biHeight) : header.biHeight;
    const int held = bitCount <= 8 ? 8 : bitCount == 24 ? 24 : 32;
    Status status;
    ImageData* data = imgdesk::gdiplus::NewBitmapData(width, height, held, false, status);
    if (!data) {
        lastResult = loadStatus = status;
        return;
    }
    if (bitCount <= 8) {
        const DWORD maxColours = 1u << bitCount;
        const DWORD colours =
            header.biClrUsed && header.biClrUsed < maxColours ? header.biClrUsed : maxColours;
        std::memcpy(data->dib.palette, info->bmiColors, colours * sizeof(RGBQUAD));
        data->dib.paletteSize = static_cast<int>(colours);
    }
    const long long sourceStride = codecs::DibRowBytes(width, bitCount);
    const auto* source = static_cast<const unsigned char*>(bits);
    for (long long y = 0; y < height; ++y) {
        const unsigned char* in = source + (topDown ? height - 1 - y : y) * sourceStride;
        imgdesk::gdiplus::CopyDibRow(in, bitCount, static_cast<int>(width),
                                     data->dib.Row(static_cast<int>(y)));
    }
    if (header.biXPelsPerMeter > 0)
        data->dib.dpiX = header.biXPelsPerMeter * 0.0254;
    if (header.biYPelsPerMeter > 0)
        data->dib.dpiY = header.biYPelsPerMeter * 0.0254;
    nativeImage = data;
    lastResult = loadStatus = Ok;
}

Bitmap* Bitmap::FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement) {
    return new Bitmap(filename, useEmbeddedColorManagement);
}
Bitmap* Bitmap::FromStream(IStream* stream, BOOL useEmbeddedColorManagement) {
    return new Bitmap(stream, useEmbeddedColorManagement);
}
Bitmap* Bitmap::FromBITMAPINFO(const BITMAPINFO* info, VOID* bits) {
    return new Bitmap(info, bits);
}

Status Bitmap::GetPixel(INT x, INT y, Color* color) {
    if (!color || !nativeImage)
        return SetStatus(InvalidParameter);
    const codecs::Dib& dib = nativeImage->dib;
    if (x < 0 || y < 0 || x >= dib.width || y >= dib.height)
        return SetStatus(InvalidParameter);
    const unsigned char* p =
        dib.Row(dib.height - 1 - y) + static_cast<long long>(x) * (dib.bitCount / 8);
    if (dib.bitCount == 8) {
        const RGBQUAD& entry = dib.palette[*p];
        *color = Color(255, entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
    } else {
        *color = Color(dib.bitCount == 32 && dib.hasAlpha ? p[3] : 255, p[2], p[1], p[0]);
    }
    return Ok;
}

Status Bitmap::SetPixel(INT x, INT y, const Color& color) {
    if (!nativeImage)
        return SetStatus(InvalidParameter);
    const codecs::Dib& dib = nativeImage->dib;
    if (x < 0 || y < 0 || x >= dib.width || y >= dib.height)
        return SetStatus(InvalidParameter);
    if (dib.bitCount == 8)
        return SetStatus(InvalidParameter);
    unsigned char* p = dib.Row(dib.height - 1 - y) + static_cast<long long>(x) * (dib.bitCount / 8);
    p[0] = color.GetB();
    p[1] = color.GetG();
    p[2] = color.GetR();
    if (dib.bitCount == 32)
        p[3] = dib.hasAlpha ? color.GetA() : 255;
    return Ok;
}

Status Bitmap::LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* locked) {
    if (!nativeImage || !locked)
        return SetStatus(InvalidParameter);
    ImageData& data = *nativeImage;
    if (data.locked || data.hdcOut)
        return SetStatus(WrongState);
    const codecs::Dib& dib = data.dib;
    const Rect area = rect ? *rect : Rect(0, 0, dib.width, dib.height);
    if (area.X < 0 || area.Y < 0 || area.Width <= 0 || area.Height <= 0 ||
        area.X > dib.width - area.Width || area.Y > dib.height - area.Height)
        return SetStatus(InvalidParameter);
    const PixelFormat own = data.Format();
    int bits = 0;
    if (format == own)
        bits = dib.bitCount;
    if (format == PixelFormat24bppRGB)
        bits = 24;
    if (format == PixelFormat32bppRGB || format == PixelFormat32bppARGB)
        bits = 32;
    if (!bits)
        return SetStatus(InvalidParameter);
    const bool writing = (flags & ImageLockModeWrite) != 0;
    if (writing && dib.bitCount == 8 && format != own)
        return SetStatus(NotImplemented);
    if (flags & ImageLockModeUserInputBuf)
        return SetStatus(NotImplemented);

    const long long stride = codecs::DibRowBytes(area.Width, bits);
    codecs::HeapBytes buffer(static_cast<unsigned char*>(
        imgdesk::platform::HeapAllocate(static_cast<std::size_t>(stride * area.Height))));
    if (!buffer)
        return SetStatus(OutOfMemory);
    codecs::HeapBytes row(static_cast<unsigned char*>(
        imgdesk::platform::HeapAllocate(static_cast<std::size_t>(dib.width) * 4)));
    if (!row)
        return SetStatus(OutOfMemory);
    const codecs::DibView view = data.View();
    for (int j = 0; j < area.Height; ++j) {
        const int memoryRow = dib.height - 1 - (area.Y + j);
        unsigned char* out = buffer.get() + j * stride;
        if (bits == dib.bitCount &&
            (bits != 32 || (format == PixelFormat32bppARGB) == dib.hasAlpha)) {
            std::memcpy(out, dib.Row(memoryRow) + static_cast<long long>(area.X) * (bits / 8),
                        static_cast<std::size_t>(area.Width) * (bits / 8));
            continue;
        }
        codecs::RowToBgra(view, memoryRow, row.get());
        const unsigned char* in = row.get() + static_cast<long long>(area.X) * 4;
        for (int i = 0; i < area.Width; ++i, in += 4, out += bits / 8) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if (bits == 32)
                out[3] = format == PixelFormat32bppARGB ? in[3] : 255;
        }
    }
    locked->Width = static_cast<UINT>(area.Width);
    locked->Height = static_cast<UINT>(area.Height);
    locked->Stride = static_cast<INT>(stride);
    locked->PixelFormat = format;
    locked->Scan0 = buffer.get();
    locked->Reserved = 0;
    data.lockBuffer = std::move(buffer);
    data.lockRect = area;
    data.lockFlags = flags;
    data.lockFormat = format;
    data.locked = true;
    return Ok;
}

Status Bitmap::UnlockBits(BitmapData* locked) {
    if (!nativeImage || !locked)
        return SetStatus(InvalidParameter);
    ImageData& data = *nativeImage;
    if (!data.locked || locked->Scan0 != data.lockBuffer.get())
        return SetStatus(WrongState);
    codecs::Dib& dib = data.dib;
    if (data.lockFlags & ImageLockModeWrite) {
        const Rect& area = data.lockRect;
        const int bits = static_cast<int>(GetPixelFormatSize(data.lockFormat));
        const long long stride = codecs::DibRowBytes(area.Width, bits);
        for (int j = 0; j < area.Height; ++j) {
            const unsigned char* in = data.lockBuffer.get() + j * stride;
            unsigned char* out = dib.Row(dib.height - 1 - (area.Y + j)) +
                                 static_cast<long long>(area.X) * (dib.bitCount / 8);
            if (bits == dib.bitCount) {
                std::memcpy(out, in, static_cast<std::size_t>(area.Width) * (bits / 8));
                if (bits == 32 && !dib.hasAlpha)
                    for (int i = 0; i < area.Width; ++i)
                        out[4 * i + 3] = 255;
                continue;
            }
            for (int i = 0; i < area.Width; ++i, in += bits / 8, out += dib.bitCount / 8) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                if (dib.bitCount == 32)
                    out[3] = dib.hasAlpha && bits == 32 ? in[3] : 255;
            }
        }
    }
    data.lockBuffer.reset();
    data.locked = false;
    return Ok;
}

}  // namespace Gdiplus
