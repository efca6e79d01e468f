#include "platform/atlimage/AtlImage.h"

#include <cstring>
#include <cwctype>
#include <mutex>
#include <string>

#include "platform/CString.h"
#include "platform/codecs/Codecs.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/gdiplus/GdiPlus.h"

namespace {

using imgdesk::codecs::Format;

// The GDI+ instance the image class starts for itself, as the platform's class does.
struct GdiPlusInstance {
    std::mutex mutex;
    ULONG_PTR token = 0;
    bool started = false;
};

GdiPlusInstance& Instance() {
    static GdiPlusInstance instance;
    return instance;
}

bool InitGdiPlus() {
    GdiPlusInstance& instance = Instance();
    std::lock_guard<std::mutex> lock(instance.mutex);
    if (!instance.started) {
        Gdiplus::GdiplusStartupInput input;
        instance.started = Gdiplus::GdiplusStartup(&instance.token, &input, nullptr) == Gdiplus::Ok;
    }
    return instance.started;
}

// A BITMAPINFO with room for a full colour table.
struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

Format FormatOfExtension(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'/' || *p == L'\\')
            name = p + 1;
    const wchar_t* dot = std::wcsrchr(name, L'.');
    if (!dot)
        return Format::Unknown;
    std::wstring extension;
    for (const wchar_t* p = dot + 1; *p; ++p)
        extension += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(*p)));
    struct Entry {
        const wchar_t* extension;
        Format format;
    };
    static const Entry entries[] = {
        {L"jpg", Format::Jpeg},  {L"jpeg", Format::Jpeg}, {L"jpe", Format::Jpeg},
        {L"jfif", Format::Jpeg}, {L"png", Format::Png},   {L"gif", Format::Gif},
        {L"tif", Format::Tiff},  {L"tiff", Format::Tiff}, {L"bmp", Format::Bmp},
        {L"dib", Format::Bmp},   {L"rle", Format::Bmp},
    };
    for (const Entry& entry : entries)
        if (extension == entry.extension)
            return entry.format;
    return Format::Unknown;
}

Format FormatOfGuid(const GUID& guid) {
    if (guid == Gdiplus::ImageFormatJPEG)
        return Format::Jpeg;
    if (guid == Gdiplus::ImageFormatPNG)
        return Format::Png;
    if (guid == Gdiplus::ImageFormatGIF)
        return Format::Gif;
    if (guid == Gdiplus::ImageFormatTIFF)
        return Format::Tiff;
    if (guid == Gdiplus::ImageFormatBMP || guid == Gdiplus::ImageFormatMemoryBMP)
        return Format::Bmp;
    return Format::Unknown;
}

// The platform's encoder default (GDI+ saves JPEGs at quality 75 when given no parameter).
constexpr int kDefaultJpegQuality = 75;

}  // namespace

namespace ATL {

CImage::CImage() = default;

CImage::~CImage() {
    Destroy();
}

HRESULT CImage::Load(LPCTSTR path) {
    Destroy();
    if (!path || !InitGdiPlus())
        return E_FAIL;
    imgdesk::codecs::DecodedImage decoded;
    if (imgdesk::codecs::DecodeFile(WideToUtf8(path).c_str(), decoded) !=
        imgdesk::codecs::Result::Ok)
        return E_FAIL;
    if (!Create(decoded.width, decoded.height, decoded.bitCount,
                decoded.hasAlpha ? createAlphaChannel : 0))
        return E_FAIL;
    if (m_nBPP == 8)
        std::memcpy(m_hBitmap->palette, decoded.palette, sizeof decoded.palette);
    // Both are bottom-up with rows of the platform's row size: one block copy.
    std::memcpy(m_hBitmap->bits, decoded.pixels.get(),
                static_cast<std::size_t>(decoded.Stride() * decoded.height));
    return S_OK;
}

HRESULT CImage::Save(LPCTSTR path, REFGUID guidFileType) const {
    if (IsNull() || !path || !InitGdiPlus())
        return E_FAIL;
    const Format format =
        guidFileType == GUID_NULL ? FormatOfExtension(path) : FormatOfGuid(guidFileType);
    if (format == Format::Unknown)
        return E_FAIL;
    imgdesk::codecs::DibView view;
    view.width = m_nWidth;
    view.height = m_nHeight;
    view.bitCount = m_nBPP;
    view.hasAlpha = m_bHasAlphaChannel;
    view.palette = m_nBPP == 8 ? m_hBitmap->palette : nullptr;
    view.paletteSize = m_nBPP == 8 ? 256 : 0;
    // Memory row 0 of the view is the bottom row of the picture, whichever way rows are stored.
    view.bits = static_cast<const unsigned char*>(m_pBits) +
                static_cast<long long>(m_nHeight - 1) * m_nPitch;
    view.stride = -static_cast<long long>(m_nPitch);
    imgdesk::codecs::EncodeOptions options;
    options.quality = kDefaultJpegQuality;
    return imgdesk::codecs::EncodeFile(format, view, options, WideToUtf8(path).c_str()) ==
                   imgdesk::codecs::Result::Ok
               ? S_OK
               : E_FAIL;
}

BOOL CImage::Create(int width, int height, int bpp, DWORD flags) {
    Destroy();
    if (width <= 0 || height == 0 || (bpp != 8 && bpp != 24 && bpp != 32))
        return FALSE;
    BitmapInfo256 info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bpp);
    info.header.biCompression = BI_RGB;
    if (bpp == 8) {
        // A new 8-bit picture starts with the grey ramp, the table pixel work expects.
        for (int i = 0; i < 256; ++i) {
            const BYTE level = static_cast<BYTE>(i);
            info.colours[i] = {level, level, level, 0};
        }
        info.header.biClrUsed = 256;
    }
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return FALSE;
    m_hBitmap = bitmap;
    m_nWidth = width;
    m_nHeight = height < 0 ? -height : height;
    m_nBPP = bpp;
    m_bHasAlphaChannel = bpp == 32 && (flags & createAlphaChannel) != 0;
    // What GDI draws over a picture with alpha is opaque.
    bitmap->surface.opaqueWrites = m_bHasAlphaChannel;
    m_pBits = bitmap->surface.top;
    m_nPitch = static_cast<int>(bitmap->surface.step);
    return TRUE;
}

void CImage::Destroy() {
    if (m_hDC) {
        SelectObject(m_hDC, m_hOldBitmap);
        DeleteDC(m_hDC);
        m_hDC = nullptr;
        m_hOldBitmap = nullptr;
        m_nDCRefCount = 0;
    }
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
    m_pBits = nullptr;
    m_nWidth = m_nHeight = m_nPitch = m_nBPP = 0;
    m_bHasAlphaChannel = false;
}

bool CImage::IsNull() const {
    return m_hBitmap == nullptr;
}

int CImage::GetWidth() const {
    return m_nWidth;
}

int CImage::GetHeight() const {
    return m_nHeight;
}

int CImage::GetBPP() const {
    return m_nBPP;
}

int CImage::GetPitch() const {
    return m_nPitch;
}

void* CImage::GetBits() {
    return m_pBits;
}

void* CImage::GetPixelAddress(int x, int y) {
    return static_cast<unsigned char*>(m_pBits) + static_cast<long long>(y) * m_nPitch +
           static_cast<long long>(x) * m_nBPP / 8;
}

int CImage::GetMaxColorTableEntries() const {
    return m_nBPP == 8 ? 256 : 0;
}

void CImage::GetColorTable(UINT start, UINT count, RGBQUAD* colours) const {
    HDC dc = GetDC();
    GetDIBColorTable(dc, start, count, colours);
    ReleaseDC();
}

void CImage::SetColorTable(UINT start, UINT count, const RGBQUAD* colours) {
    HDC dc = GetDC();
    SetDIBColorTable(dc, start, count, colours);
    ReleaseDC();
}

HDC CImage::GetDC() const {
    if (!m_hBitmap)
        return nullptr;
    if (!m_hDC) {
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc)
            return nullptr;
        m_hOldBitmap = SelectObject(dc, m_hBitmap);
        if (!m_hOldBitmap) {
            DeleteDC(dc);
            return nullptr;
        }
        m_hDC = dc;
    }
    ++m_nDCRefCount;
    return m_hDC;
}

void CImage::ReleaseDC() const {
    if (!m_hDC || --m_nDCRefCount > 0)
        return;
    SelectObject(m_hDC, m_hOldBitmap);
    DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_hOldBitmap = nullptr;
    m_nDCRefCount = 0;
}

CImage::operator HBITMAP() const {
    return m_hBitmap;
}

void CImage::ReleaseGDIPlus() {
    GdiPlusInstance& instance = Instance();
    std::lock_guard<std::mutex> lock(instance.mutex);
    if (instance.started)
        Gdiplus::GdiplusShutdown(instance.token);
    instance.started = false;
    instance.token = 0;
}

}  // namespace ATL
