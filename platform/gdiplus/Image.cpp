#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/CString.h"
#include "platform/Files.h"
#include "platform/gdiplus/Encoders.h"
#include "platform/gdiplus/ImageData.h"

namespace imgdesk::gdiplus {

Gdiplus::PixelFormat ImageData::Format() const {
    switch (dib.bitCount) {
        case 8:
            return Gdiplus::PixelFormat8bppIndexed;
        case 24:
            return Gdiplus::PixelFormat24bppRGB;
        case 32:
            return dib.hasAlpha ? Gdiplus::PixelFormat32bppARGB : Gdiplus::PixelFormat32bppRGB;
        default:
            return Gdiplus::PixelFormatUndefined;
    }
}

namespace {

Gdiplus::Status StatusOf(codecs::Result result) {
    switch (result) {
        case codecs::Result::Ok:
            return Gdiplus::Ok;
        case codecs::Result::NotFound:
            return Gdiplus::FileNotFound;
        case codecs::Result::ReadError:
        case codecs::Result::WriteError:
            return Gdiplus::Win32Error;
        case codecs::Result::UnknownFormat:
        case codecs::Result::Unsupported:
            return Gdiplus::UnknownImageFormat;
        case codecs::Result::TooLarge:
        case codecs::Result::OutOfMemory:
            return Gdiplus::OutOfMemory;
        case codecs::Result::Corrupt:
        case codecs::Result::InvalidArgument:
            return Gdiplus::InvalidParameter;
    }
    return Gdiplus::GenericError;
}

// Moves a decoded picture into a new ImageData; null when memory is short.
ImageData* Adopt(codecs::DecodedImage& decoded, bool isBitmap) {
    auto* data = new (std::nothrow) ImageData;
    if (!data)
        return nullptr;
    static_cast<codecs::Dib&>(data->dib) = std::move(static_cast<codecs::Dib&>(decoded));
    data->rawFormat = RawFormatOf(decoded.format);
    data->isBitmap = isBitmap;
    data->orientation =
        decoded.orientation >= 2 && decoded.orientation <= 8 ? decoded.orientation : 0;
    return data;
}

// The bytes from a stream's current position to its end.
Gdiplus::Status ReadStream(IStream* stream, codecs::HeapBytes& bytes, std::size_t& size) {
    size = 0;
    if (!stream)
        return Gdiplus::InvalidParameter;
    STATSTG stat;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER position;
    if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) &&
        SUCCEEDED(stream->Seek(zero, STREAM_SEEK_CUR, &position))) {
        const ULONGLONG left =
            stat.cbSize.QuadPart > position.QuadPart ? stat.cbSize.QuadPart - position.QuadPart : 0;
        if (left > 0x7FFFFFFFu)
            return Gdiplus::OutOfMemory;
        bytes.reset(static_cast<unsigned char*>(
            imgdesk::platform::HeapAllocate(static_cast<std::size_t>(left))));
        if (!bytes)
            return Gdiplus::OutOfMemory;
        ULONG read = 0;
        if (left && FAILED(stream->Read(bytes.get(), static_cast<ULONG>(left), &read)))
            return Gdiplus::Win32Error;
        size = read;
        return Gdiplus::Ok;
    }
    // A stream that cannot tell its size: read it in growing pieces.
    std::size_t capacity = 0;
    for (;;) {
        if (size == capacity) {
            const std::size_t grown = capacity ? capacity * 2 : 65536;
            if (grown > 0x7FFFFFFFu)
                return Gdiplus::OutOfMemory;
            codecs::HeapBytes larger(
                static_cast<unsigned char*>(imgdesk::platform::HeapAllocate(grown)));
            if (!larger)
                return Gdiplus::OutOfMemory;
            if (size)
                std::memcpy(larger.get(), bytes.get(), size);
            bytes = std::move(larger);
            capacity = grown;
        }
        ULONG read = 0;
        const HRESULT result =
            stream->Read(bytes.get() + size, static_cast<ULONG>(capacity - size), &read);
        if (FAILED(result))
            return Gdiplus::Win32Error;
        size += read;
        if (read == 0 || result == S_FALSE)
            return Gdiplus::Ok;
    }
}

}  // namespace

Gdiplus::Status LoadFile(const WCHAR* filename, bool isBitmap, ImageData*& data) {
    data = nullptr;
    if (!IsStarted())
        return Gdiplus::GdiplusNotInitialized;
    if (!filename)
        return Gdiplus::InvalidParameter;
    codecs::DecodedImage decoded;
    const codecs::Result result = codecs::DecodeFile(WideToUtf8(filename).c_str(), decoded);
    if (result != codecs::Result::Ok)
        return StatusOf(result);
    data = Adopt(decoded, isBitmap);
    return data ? Gdiplus::Ok : Gdiplus::OutOfMemory;
}

Gdiplus::Status LoadStream(IStream* stream, bool isBitmap, ImageData*& data) {
    data = nullptr;
    if (!IsStarted())
        return Gdiplus::GdiplusNotInitialized;
    codecs::HeapBytes bytes;
    std::size_t size = 0;
    Gdiplus::Status status = ReadStream(stream, bytes, size);
    if (status != Gdiplus::Ok)
        return status;
    codecs::DecodedImage decoded;
    const codecs::Result result = codecs::Decode(bytes.get(), size, decoded);
    if (result != codecs::Result::Ok)
        return StatusOf(result);
    data = Adopt(decoded, isBitmap);
    return data ? Gdiplus::Ok : Gdiplus::OutOfMemory;
}

Gdiplus::Status Encode(const ImageData& data, const CLSID* clsid,
                       const Gdiplus::EncoderParameters* parameters,
                       std::vector<unsigned char>& out) {
    if (!clsid)
        return Gdiplus::InvalidParameter;
    const BuiltinCodec* codec = FindCodec(*clsid);
    if (!codec)
        return Gdiplus::FileNotFound;  // no encoder of that class
    codecs::EncodeOptions options;
    if (parameters) {
        for (UINT i = 0; i < parameters->Count; ++i) {
            const Gdiplus::EncoderParameter& parameter = parameters->Parameter[i];
            if (parameter.Guid != Gdiplus::EncoderQuality)
                continue;
            if (codec->format != codecs::Format::Jpeg || parameter.NumberOfValues != 1 ||
                parameter.Type != Gdiplus::EncoderParameterValueTypeLong || !parameter.Value)
                return Gdiplus::InvalidParameter;
            const ULONG quality = *static_cast<const ULONG*>(parameter.Value);
            if (quality > 100)
                return Gdiplus::InvalidParameter;
            options.quality = static_cast<int>(quality);
        }
    }
    return StatusOf(codecs::Encode(codec->format, data.View(), options, out));
}

}  // namespace imgdesk::gdiplus

namespace Gdiplus {

using imgdesk::gdiplus::ImageData;

Image::Image() : nativeImage(nullptr), lastResult(Ok), loadStatus(Ok) {}

Image::Image(const WCHAR* filename, BOOL) : Image() {
    loadStatus = imgdesk::gdiplus::LoadFile(filename, false, nativeImage);
    lastResult = loadStatus;
}

Image::Image(IStream* stream, BOOL) : Image() {
    loadStatus = imgdesk::gdiplus::LoadStream(stream, false, nativeImage);
    lastResult = loadStatus;
}

Image* Image::FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement) {
    return new Image(filename, useEmbeddedColorManagement);
}

Image* Image::FromStream(IStream* stream, BOOL useEmbeddedColorManagement) {
    return new Image(stream, useEmbeddedColorManagement);
}

Image::~Image() {
    delete nativeImage;
}

void Image::SetNativeImage(ImageData* image) {
    delete nativeImage;
    nativeImage = image;
}

Status Image::SetStatus(Status status) const {
    if (status != Ok)
        lastResult = status;
    return status;
}

Status Image::GetLastStatus() const {
    const Status status = lastResult;
    lastResult = Ok;
    return status;
}

UINT Image::GetWidth() {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return static_cast<UINT>(nativeImage->dib.width);
}

UINT Image::GetHeight() {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return static_cast<UINT>(nativeImage->dib.height);
}

PixelFormat Image::GetPixelFormat() {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return PixelFormatUndefined;
    }
    return nativeImage->Format();
}

Status Image::GetRawFormat(GUID* format) {
    if (!format || !nativeImage)
        return SetStatus(InvalidParameter);
    *format = nativeImage->rawFormat;
    return Ok;
}

REAL Image::GetHorizontalResolution() {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return nativeImage->dib.dpiX > 0 ? static_cast<REAL>(nativeImage->dib.dpiX) : 96.0f;
}

UINT Image::GetFlags() {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return nativeImage->dib.dpiX > 0 && nativeImage->dib.dpiY > 0 ? ImageFlagsHasRealDPI
                                                                  : ImageFlagsNone;
}

UINT Image::GetPropertyItemSize(PROPID propId) {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return 0;
    }
    if (propId != PropertyTagOrientation || nativeImage->orientation == 0) {
        SetStatus(PropertyNotFound);
        return 0;
    }
    return sizeof(PropertyItem) + sizeof(WORD);
}

Status Image::GetPropertyItem(PROPID propId, UINT propSize, PropertyItem* buffer) {
    if (!nativeImage || !buffer)
        return SetStatus(InvalidParameter);
    if (propId != PropertyTagOrientation || nativeImage->orientation == 0)
        return SetStatus(PropertyNotFound);
    if (propSize < sizeof(PropertyItem) + sizeof(WORD))
        return SetStatus(InvalidParameter);
    auto* value = reinterpret_cast<WORD*>(buffer + 1);
    *value = static_cast<WORD>(nativeImage->orientation);
    *buffer = {propId, sizeof(WORD), PropertyTagTypeShort, value};
    return Ok;
}

REAL Image::GetVerticalResolution() {
    if (!nativeImage) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return nativeImage->dib.dpiY > 0 ? static_cast<REAL>(nativeImage->dib.dpiY) : 96.0f;
}

namespace {

// The encoded bytes of an image about to be saved; a locked image or one lent out as a device
// context cannot be saved.
Status EncodeForSaving(const imgdesk::gdiplus::ImageData& image, const CLSID* clsidEncoder,
                       const EncoderParameters* encoderParams, std::vector<unsigned char>& bytes) {
    if (image.locked || image.hdcOut)
        return ObjectBusy;
    return imgdesk::gdiplus::Encode(image, clsidEncoder, encoderParams, bytes);
}

}  // namespace

Status Image::Save(const WCHAR* filename, const CLSID* clsidEncoder,
                   const EncoderParameters* encoderParams) {
    if (!filename || !nativeImage)
        return SetStatus(InvalidParameter);
    std::vector<unsigned char> bytes;
    const Status status = EncodeForSaving(*nativeImage, clsidEncoder, encoderParams, bytes);
    if (status != Ok)
        return SetStatus(status);
    std::FILE* file = _wfopen(filename, L"wb");
    if (!file)
        return SetStatus(Win32Error);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written)
        return SetStatus(Win32Error);
    return Ok;
}

Status Image::Save(IStream* stream, const CLSID* clsidEncoder,
                   const EncoderParameters* encoderParams) {
    if (!stream || !nativeImage)
        return SetStatus(InvalidParameter);
    std::vector<unsigned char> bytes;
    const Status status = EncodeForSaving(*nativeImage, clsidEncoder, encoderParams, bytes);
    if (status != Ok)
        return SetStatus(status);
    ULONG written = 0;
    if (bytes.size() > 0xFFFFFFFFu ||
        FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) ||
        written != bytes.size())
        return SetStatus(Win32Error);
    return Ok;
}

}  // namespace Gdiplus
