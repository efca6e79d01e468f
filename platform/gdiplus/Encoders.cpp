// The codec list GetImageEncoders hands out: one block holding the records, then the strings and
// signature bytes they point to, as the platform lays it out.
#include <cstring>
#include <cwchar>

#include "platform/gdiplus/Encoders.h"
#include "platform/gdiplus/ImageData.h"

namespace imgdesk::gdiplus {
namespace {

constexpr GUID EncoderClsid(BYTE last) {
    return {0x557CF400u + last, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
}

const BuiltinCodec kCodecs[] = {
    {EncoderClsid(0),
     Gdiplus::ImageFormatBMP,
     L"Built-in BMP Codec",
     L"BMP",
     L"*.BMP;*.DIB;*.RLE",
     L"image/bmp",
     codecs::Format::Bmp,
     {{"BM", 2}}},
    {EncoderClsid(1),
     Gdiplus::ImageFormatJPEG,
     L"Built-in JPEG Codec",
     L"JPEG",
     L"*.JPG;*.JPEG;*.JPE;*.JFIF",
     L"image/jpeg",
     codecs::Format::Jpeg,
     {{"\xFF\xD8", 2}}},
    {EncoderClsid(2),
     Gdiplus::ImageFormatGIF,
     L"Built-in GIF Codec",
     L"GIF",
     L"*.GIF",
     L"image/gif",
     codecs::Format::Gif,
     {{"GIF89a", 6}, {"GIF87a", 6}}},
    {EncoderClsid(5),
     Gdiplus::ImageFormatTIFF,
     L"Built-in TIFF Codec",
     L"TIFF",
     L"*.TIF;*.TIFF",
     L"image/tiff",
     codecs::Format::Tiff,
     {{"II*\0", 4}, {"MM\0*", 4}}},
    {EncoderClsid(6),
     Gdiplus::ImageFormatPNG,
     L"Built-in PNG Codec",
     L"PNG",
     L"*.PNG",
     L"image/png",
     codecs::Format::Png,
     {{"\x89PNG\r\n\x1A\n", 8}}},
};
constexpr UINT kCount = sizeof(kCodecs) / sizeof(kCodecs[0]);

std::size_t StringBytes(const wchar_t* text) {
    return (std::wcslen(text) + 1) * sizeof(wchar_t);
}

std::size_t ListSize() {
    std::size_t size = kCount * sizeof(Gdiplus::ImageCodecInfo);
    for (const BuiltinCodec& codec : kCodecs) {
        size += StringBytes(codec.name) + StringBytes(codec.description) +
                StringBytes(codec.extensions) + StringBytes(codec.mime);
        for (const auto& signature : codec.signatures)
            size += 2 * signature.size;
    }
    return size;
}

Gdiplus::Status CodecList(UINT count, UINT size, Gdiplus::ImageCodecInfo* list, bool encoders) {
    if (!IsStarted())
        return Gdiplus::GdiplusNotInitialized;
    if (!list || count != kCount || size != ListSize())
        return Gdiplus::GenericError;
    auto* cursor = reinterpret_cast<unsigned char*>(list + kCount);
    auto place = [&](const void* bytes, std::size_t length) {
        if (length)
            std::memcpy(cursor, bytes, length);
        const unsigned char* at = cursor;
        cursor += length;
        return at;
    };
    auto placeString = [&](const wchar_t* text) {
        // Strings follow the records, so they stay aligned for wchar_t.
        return reinterpret_cast<const WCHAR*>(place(text, StringBytes(text)));
    };
    for (UINT i = 0; i < kCount; ++i) {
        const BuiltinCodec& codec = kCodecs[i];
        Gdiplus::ImageCodecInfo& info = list[i];
        info.Clsid = codec.clsid;
        info.FormatID = codec.formatId;
        info.CodecName = placeString(codec.name);
        info.DllName = nullptr;
        info.FormatDescription = placeString(codec.description);
        info.FilenameExtension = placeString(codec.extensions);
        info.MimeType = placeString(codec.mime);
        info.Flags = Gdiplus::ImageCodecFlagsEncoder | Gdiplus::ImageCodecFlagsDecoder |
                     Gdiplus::ImageCodecFlagsSupportBitmap | Gdiplus::ImageCodecFlagsBuiltin;
        (void)encoders;
        info.Version = 1;
        info.SigCount = 0;
        info.SigSize = 0;
        for (const auto& signature : codec.signatures) {
            if (signature.size) {
                ++info.SigCount;
                info.SigSize = static_cast<DWORD>(signature.size);
            }
        }
        // Patterns of every signature, then their masks (all bits significant).
        info.SigPattern = cursor;
        for (const auto& signature : codec.signatures)
            place(signature.bytes, signature.size);
        info.SigMask = cursor;
        for (const auto& signature : codec.signatures) {
            if (signature.size)
                std::memset(cursor, 0xFF, signature.size);
            cursor += signature.size;
        }
    }
    return Gdiplus::Ok;
}

Gdiplus::Status CodecListSize(UINT* count, UINT* size) {
    if (!count || !size)
        return Gdiplus::InvalidParameter;
    *count = 0;
    *size = 0;
    if (!IsStarted())
        return Gdiplus::GdiplusNotInitialized;
    *count = kCount;
    *size = static_cast<UINT>(ListSize());
    return Gdiplus::Ok;
}

}  // namespace

const BuiltinCodec* FindCodec(const CLSID& clsid) {
    for (const BuiltinCodec& codec : kCodecs) {
        if (codec.clsid == clsid)
            return &codec;
    }
    return nullptr;
}

const GUID& RawFormatOf(codecs::Format format) {
    for (const BuiltinCodec& codec : kCodecs) {
        if (codec.format == format)
            return codec.formatId;
    }
    return Gdiplus::ImageFormatUndefined;
}

}  // namespace imgdesk::gdiplus

namespace Gdiplus {

Status GetImageEncodersSize(UINT* numEncoders, UINT* size) {
    return imgdesk::gdiplus::CodecListSize(numEncoders, size);
}
Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders) {
    return imgdesk::gdiplus::CodecList(numEncoders, size, encoders, true);
}
Status GetImageDecodersSize(UINT* numDecoders, UINT* size) {
    return imgdesk::gdiplus::CodecListSize(numDecoders, size);
}
Status GetImageDecoders(UINT numDecoders, UINT size, ImageCodecInfo* decoders) {
    return imgdesk::gdiplus::CodecList(numDecoders, size, decoders, false);
}

}  // namespace Gdiplus
