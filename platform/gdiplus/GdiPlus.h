#pragma once

// GDI+ as the library uses it: start-up and shutdown, images loaded from files and streams,
// bitmaps, a graphics object that draws images and hands out a device context, the list of image
// encoders and the encoder parameters. Names, values and return conventions are the platform's:
// objects are made with new (null when memory is short) and report failures through
// GetLastStatus. Before GdiplusStartup every object is created in the GdiplusNotInitialized state
// and the encoder list is refused.
#include <cstddef>
#include <cstdint>

#include "module/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/ObjBase.h"
#include "platform/gdi/Gdi.h"

// X11's Xlib.h defines Status as a macro (for int). GDI+'s Status is an enum in the Gdiplus
// namespace, so the macro is set aside while this header is read and restored at its end; a host
// that includes both writes Gdiplus::Status after #undef Status, or includes this header first.
#pragma push_macro("Status")
#undef Status

using ULONG_PTR = std::uintptr_t;
using UINT32 = std::uint32_t;
using UINT_PTR = std::uintptr_t;
using VOID = void;

namespace imgdesk::gdiplus {
struct ImageData;
}

namespace Gdiplus {

using REAL = float;
using ARGB = DWORD;
using PixelFormat = INT;

enum Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
};

// --- Pixel formats ------------------------------------------------------------------------------
constexpr PixelFormat PixelFormatIndexed = 0x00010000;
constexpr PixelFormat PixelFormatGDI = 0x00020000;
constexpr PixelFormat PixelFormatAlpha = 0x00040000;
constexpr PixelFormat PixelFormatPAlpha = 0x00080000;
constexpr PixelFormat PixelFormatExtended = 0x00100000;
constexpr PixelFormat PixelFormatCanonical = 0x00200000;
constexpr PixelFormat PixelFormatUndefined = 0;
constexpr PixelFormat PixelFormatDontCare = 0;
constexpr PixelFormat PixelFormat1bppIndexed = 1 | (1 << 8) | PixelFormatIndexed | PixelFormatGDI;
constexpr PixelFormat PixelFormat4bppIndexed = 2 | (4 << 8) | PixelFormatIndexed | PixelFormatGDI;
constexpr PixelFormat PixelFormat8bppIndexed = 3 | (8 << 8) | PixelFormatIndexed | PixelFormatGDI;
constexpr PixelFormat PixelFormat24bppRGB = 8 | (24 << 8) | PixelFormatGDI;
constexpr PixelFormat PixelFormat32bppRGB = 9 | (32 << 8) | PixelFormatGDI;
constexpr PixelFormat PixelFormat32bppARGB =
    10 | (32 << 8) | PixelFormatAlpha | PixelFormatGDI | PixelFormatCanonical;
constexpr PixelFormat PixelFormat32bppPARGB =
    11 | (32 << 8) | PixelFormatAlpha | PixelFormatPAlpha | PixelFormatGDI;

constexpr UINT GetPixelFormatSize(PixelFormat format) {
    return (static_cast<UINT>(format) >> 8) & 0xFF;
}
constexpr BOOL IsIndexedPixelFormat(PixelFormat format) {
    return (format & PixelFormatIndexed) != 0;
}
constexpr BOOL IsAlphaPixelFormat(PixelFormat format) {
    return (format & PixelFormatAlpha) != 0;
}

enum ImageLockMode { ImageLockModeRead = 1, ImageLockModeWrite = 2, ImageLockModeUserInputBuf = 4 };

struct BitmapData {
    UINT Width;
    UINT Height;
    INT Stride;
    Gdiplus::PixelFormat PixelFormat;
    VOID* Scan0;
    UINT_PTR Reserved;
};

// --- Geometry and colour ------------------------------------------------------------------------
class Rect {
public:
    Rect() : X(0), Y(0), Width(0), Height(0) {}
    Rect(INT x, INT y, INT width, INT height) : X(x), Y(y), Width(width), Height(height) {}
    INT X, Y, Width, Height;
};

class RectF {
public:
    RectF() : X(0), Y(0), Width(0), Height(0) {}
    RectF(REAL x, REAL y, REAL width, REAL height) : X(x), Y(y), Width(width), Height(height) {}
    REAL X, Y, Width, Height;
};

class Color {
public:
    Color() : Argb(0xFF000000) {}
    Color(BYTE r, BYTE g, BYTE b) : Argb(MakeARGB(255, r, g, b)) {}
    Color(BYTE a, BYTE r, BYTE g, BYTE b) : Argb(MakeARGB(a, r, g, b)) {}
    explicit Color(ARGB argb) : Argb(argb) {}
    BYTE GetA() const { return static_cast<BYTE>(Argb >> 24); }
    BYTE GetR() const { return static_cast<BYTE>(Argb >> 16); }
    BYTE GetG() const { return static_cast<BYTE>(Argb >> 8); }
    BYTE GetB() const { return static_cast<BYTE>(Argb); }
    ARGB GetValue() const { return Argb; }
    void SetValue(ARGB argb) { Argb = argb; }
    static ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b) {
        return static_cast<ARGB>(b) | static_cast<ARGB>(g) << 8 | static_cast<ARGB>(r) << 16 |
               static_cast<ARGB>(a) << 24;
    }

protected:
    ARGB Argb;
};

// --- Codecs and encoder parameters
// ----------------------------------------------------------------
enum ImageCodecFlags {
    ImageCodecFlagsEncoder = 0x00000001,
    ImageCodecFlagsDecoder = 0x00000002,
    ImageCodecFlagsSupportBitmap = 0x00000004,
    ImageCodecFlagsSupportVector = 0x00000008,
    ImageCodecFlagsSeekableEncode = 0x00000010,
    ImageCodecFlagsBlockingDecode = 0x00000020,
    ImageCodecFlagsBuiltin = 0x00010000,
    ImageCodecFlagsSystem = 0x00020000,
    ImageCodecFlagsUser = 0x00040000,
};

struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    DWORD Flags;
    DWORD Version;
    DWORD SigCount;
    DWORD SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
};

enum EncoderParameterValueType {
    EncoderParameterValueTypeByte = 1,
    EncoderParameterValueTypeASCII = 2,
    EncoderParameterValueTypeShort = 3,
    EncoderParameterValueTypeLong = 4,
    EncoderParameterValueTypeRational = 5,
    EncoderParameterValueTypeLongRange = 6,
    EncoderParameterValueTypeUndefined = 7,
    EncoderParameterValueTypeRationalRange = 8,
    EncoderParameterValueTypePointer = 9,
};

struct EncoderParameter {
    GUID Guid;
    ULONG NumberOfValues;
    ULONG Type;
    VOID* Value;
};

struct EncoderParameters {
    UINT Count;
    EncoderParameter Parameter[1];
};

// {1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}
constexpr GUID EncoderQuality = {
    0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

constexpr GUID ImageFormatUndefined = {
    0xB96B3CA9, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID ImageFormatMemoryBMP = {
    0xB96B3CAA, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID ImageFormatBMP = {
    0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID ImageFormatJPEG = {
    0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID ImageFormatPNG = {
    0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID ImageFormatGIF = {
    0xB96B3CB0, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID ImageFormatTIFF = {
    0xB96B3CB1, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// --- Start-up -----------------------------------------------------------------------------------
using DebugEventProc = void (*)(int level, char* message);
using NotificationHookProc = Status (*)(ULONG_PTR* token);
using NotificationUnhookProc = void (*)(ULONG_PTR token);

struct GdiplusStartupInput {
    UINT32 GdiplusVersion;
    DebugEventProc DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
    GdiplusStartupInput(DebugEventProc debugEventCallback = nullptr,
                        BOOL suppressBackgroundThread = FALSE, BOOL suppressExternalCodecs = FALSE)
        : GdiplusVersion(1),
          DebugEventCallback(debugEventCallback),
          SuppressBackgroundThread(suppressBackgroundThread),
          SuppressExternalCodecs(suppressExternalCodecs) {}
};

struct GdiplusStartupOutput {
    NotificationHookProc NotificationHook;
    NotificationUnhookProc NotificationUnhook;
};

// Starts GDI+ (instances nest; each token is shut down once). Version 1 to 3; a suppressed
// background thread needs output for the notification hooks.
IMGDESK_API Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                  GdiplusStartupOutput* output);
IMGDESK_API void GdiplusShutdown(ULONG_PTR token);

// The built-in encoders, in the platform's order: BMP, JPEG, GIF, TIFF, PNG. size is the byte size
// of the whole list (records, then the strings and signatures they point to).
IMGDESK_API Status GetImageEncodersSize(UINT* numEncoders, UINT* size);
IMGDESK_API Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders);
IMGDESK_API Status GetImageDecodersSize(UINT* numDecoders, UINT* size);
IMGDESK_API Status GetImageDecoders(UINT numDecoders, UINT size, ImageCodecInfo* decoders);

// --- Image flags and properties ---------------------------------------------------------------

// Of the image flags, the one that says the file names its resolution.
enum ImageFlags { ImageFlagsNone = 0, ImageFlagsHasRealDPI = 0x00001000 };

using PROPID = ULONG;
// Of the property tags, the EXIF orientation (a SHORT, 1 to 8).
constexpr PROPID PropertyTagOrientation = 0x0112;
constexpr WORD PropertyTagTypeShort = 3;

struct PropertyItem {
    PROPID id;
    ULONG length;  // bytes of value
    WORD type;
    void* value;
};

// --- Objects ------------------------------------------------------------------------------------

// GDI+ objects come from GDI+'s own heap: new gives null instead of throwing when it is short.
class IMGDESK_API GdiplusBase {
public:
    static void* operator new(std::size_t size) noexcept;
    static void* operator new[](std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    static void operator delete[](void* block) noexcept;
};

class Graphics;

class IMGDESK_API Image : public GdiplusBase {
public:
    // Decodes the file or stream (read from its current position to its end). A failure leaves an
    // image whose GetLastStatus tells why and whose queries fail with InvalidParameter.
    Image(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    Image(IStream* stream, BOOL useEmbeddedColorManagement = FALSE);
    static Image* FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    static Image* FromStream(IStream* stream, BOOL useEmbeddedColorManagement = FALSE);
    virtual ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    UINT GetWidth();
    UINT GetHeight();
    Gdiplus::PixelFormat GetPixelFormat();
    Status GetRawFormat(GUID* format);
    // Dots per inch; 96 when the file names none.
    REAL GetHorizontalResolution();
    REAL GetVerticalResolution();
    // ImageFlagsHasRealDPI when the file names its resolution; 0 for an image that failed.
    UINT GetFlags();
    // The orientation property of a JPEG that names one other than 1 (the pixels as stored): the
    // item with its value right after it, in a buffer of GetPropertyItemSize bytes. Otherwise
    // PropertyNotFound (size 0).
    UINT GetPropertyItemSize(PROPID propId);
    Status GetPropertyItem(PROPID propId, UINT propSize, PropertyItem* buffer);

    // Encodes with the encoder of that class identifier. The JPEG encoder takes EncoderQuality
    // (one Long value, 0 to 100; 75 when absent). The file is replaced.
    Status Save(const WCHAR* filename, const CLSID* clsidEncoder,
                const EncoderParameters* encoderParams = nullptr);
    Status Save(IStream* stream, const CLSID* clsidEncoder,
                const EncoderParameters* encoderParams = nullptr);

    // The last failure recorded on the object, reset to Ok by reading it.
    Status GetLastStatus() const;

protected:
    Image();
    Status SetStatus(Status status) const;
    void SetNativeImage(imgdesk::gdiplus::ImageData* image);

    imgdesk::gdiplus::ImageData* nativeImage;
    mutable Status lastResult;
    Status loadStatus;

    friend class Graphics;
};

class IMGDESK_API Bitmap : public Image {
public:
    Bitmap(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    Bitmap(IStream* stream, BOOL useEmbeddedColorManagement = FALSE);
    // A zero-filled (transparent black) bitmap. Formats: 24bppRGB, 32bppRGB, 32bppARGB.
    Bitmap(INT width, INT height, Gdiplus::PixelFormat format = PixelFormat32bppARGB);
    // A bitmap copied from a DIB: 1, 4 or 8 bits with colour table (held as 8bppIndexed), 24 or 32
    // bits, BI_RGB, bottom-up or top-down. The caller's bits are not kept.
    Bitmap(const BITMAPINFO* gdiBitmapInfo, VOID* gdiBitmapData);
    static Bitmap* FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    static Bitmap* FromStream(IStream* stream, BOOL useEmbeddedColorManagement = FALSE);
    static Bitmap* FromBITMAPINFO(const BITMAPINFO* gdiBitmapInfo, VOID* gdiBitmapData);

    Status GetPixel(INT x, INT y, Color* color);
    Status SetPixel(INT x, INT y, const Color& color);
    // Top-down access to a rectangle (null: the whole bitmap) in the bitmap's own format or in
    // 24bppRGB, 32bppRGB or 32bppARGB. Writes are stored back by UnlockBits.
    Status LockBits(const Rect* rect, UINT flags, Gdiplus::PixelFormat format,
                    BitmapData* lockedBitmapData);
    Status UnlockBits(BitmapData* lockedBitmapData);
};

class IMGDESK_API Graphics : public GdiplusBase {
public:
    // A graphics object drawing on an image; indexed images are refused (OutOfMemory).
    Graphics(Image* image);
    static Graphics* FromImage(Image* image);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    // Draws an image scaled into the rectangle, blended over what is there (source over).
    Status DrawImage(Image* image, const RectF& rect);
    Status DrawImage(Image* image, REAL x, REAL y, REAL width, REAL height);
    Status DrawImage(Image* image, const Rect& rect);
    Status DrawImage(Image* image, INT x, INT y, INT width, INT height);
    Status DrawImage(Image* image, INT x, INT y);
    // Fills the whole image with a colour, replacing what is there.
    Status Clear(const Color& color);

    // A device context over the image's pixels; while it is out, other calls fail with ObjectBusy.
    // What GDI draws through it is opaque.
    HDC GetHDC();
    void ReleaseHDC(HDC hdc);

    Status GetLastStatus() const;

private:
    Status SetStatus(Status status) const;

    Image* target;
    HDC hdc;
    mutable Status lastResult;
};

}  // namespace Gdiplus

// On the platform the pixel formats are macros, usable without the namespace.
using Gdiplus::PixelFormat1bppIndexed;
using Gdiplus::PixelFormat24bppRGB;
using Gdiplus::PixelFormat32bppARGB;
using Gdiplus::PixelFormat32bppPARGB;
using Gdiplus::PixelFormat32bppRGB;
using Gdiplus::PixelFormat4bppIndexed;
using Gdiplus::PixelFormat8bppIndexed;
using Gdiplus::PixelFormatAlpha;
using Gdiplus::PixelFormatCanonical;
using Gdiplus::PixelFormatDontCare;
using Gdiplus::PixelFormatExtended;
using Gdiplus::PixelFormatGDI;
using Gdiplus::PixelFormatIndexed;
using Gdiplus::PixelFormatPAlpha;
using Gdiplus::PixelFormatUndefined;

#pragma pop_macro("Status")
