#include "imagefile/GdiImage.h"

#include <cstring>
#include <cwchar>

#include "platform/com/Heap.h"
#include "service/CoreKit.h"

CGdiImage::CGdiImage() : m_pImage(nullptr) {}

CGdiImage::CGdiImage(const wchar_t* path) : m_pImage(new Gdiplus::Image(path)) {
    if (m_pImage && m_pImage->GetLastStatus() != Gdiplus::Ok)
        DelImage();
}

CGdiImage::CGdiImage(IStream* stream) : m_pImage(new Gdiplus::Image(stream)) {
    if (m_pImage && m_pImage->GetLastStatus() != Gdiplus::Ok)
        DelImage();
}

CGdiImage::~CGdiImage() {
    DelImage();
}

void CGdiImage::DelImage() {
    delete m_pImage;
    m_pImage = nullptr;
}

int CGdiImage::CopyAndRelease(Gdiplus::Image* loaded) {
    const UINT width = loaded->GetWidth();
    const UINT height = loaded->GetHeight();
    const int result = NewImageFormImage(loaded, static_cast<int>(width), static_cast<int>(height));
    delete loaded;
    return result;
}

int CGdiImage::NewImageFormFile(const wchar_t* path) {
    Gdiplus::Image* loaded = new Gdiplus::Image(path);
    if (!loaded)
        return 0;
    if (loaded->GetLastStatus() != Gdiplus::Ok) {
        delete loaded;
        return 0;
    }
    return CopyAndRelease(loaded);
}

int CGdiImage::NewImageFormStream(IStream* stream) {
    Gdiplus::Image* loaded = new Gdiplus::Image(stream);
    if (!loaded)
        return 0;
    if (loaded->GetLastStatus() != Gdiplus::Ok) {
        delete loaded;
        return 0;
    }
    return CopyAndRelease(loaded);
}

int CGdiImage::NewImageFormRES(HINSTANCE module, unsigned int id, const wchar_t* type) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!resource)
        return 0;
    const DWORD size = SizeofResource(module, resource);
    const void* bytes = LockResource(LoadResource(module, resource));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return 0;
    if (size > 0) {
        void* target = GlobalLock(block);
        if (!target || !bytes) {
            GlobalFree(block);
            return 0;
        }
        std::memcpy(target, bytes, size);
        GlobalUnlock(block);
    }
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK || !stream) {
        GlobalFree(block);
        return 0;
    }
    const int result = NewImageFormStream(stream);
    stream->Release();  // frees the block as well
    return result;
}

namespace {

// The bitmap when it was made and is ready for use; otherwise it is released and null returned.
Gdiplus::Bitmap* Usable(Gdiplus::Bitmap* bitmap) {
    if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}

}  // namespace

int CGdiImage::NewImageFormImage(Gdiplus::Image* source, int width, int height) {
    // The current image goes first. When it is itself the source it is kept until it has been
    // drawn, so that copying the object's own image works instead of reading freed memory.
    Gdiplus::Image* previous = m_pImage;
    m_pImage = nullptr;
    if (previous != source)
        delete previous;
    struct ReleaseLater {
        Gdiplus::Image* image;
        ~ReleaseLater() { delete image; }
    } keep{previous == source ? previous : nullptr};

    Gdiplus::Bitmap* bitmap = Usable(new Gdiplus::Bitmap(width, height, PixelFormat32bppARGB));
    if (!bitmap)
        return 0;
    m_pImage = bitmap;
    Gdiplus::Graphics graphics(bitmap);
    graphics.DrawImage(source, Gdiplus::RectF(0.0f, 0.0f, static_cast<Gdiplus::REAL>(width),
                                              static_cast<Gdiplus::REAL>(height)));
    return 1;
}

int CGdiImage::NewImageFormDC(HDC dc, CRect rect) {
    DelImage();
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    Gdiplus::Bitmap* bitmap = Usable(new Gdiplus::Bitmap(width, height, PixelFormat32bppARGB));
    if (!bitmap)
        return 0;
    m_pImage = bitmap;
    Gdiplus::Graphics graphics(bitmap);
    HDC target = graphics.GetHDC();
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    graphics.ReleaseHDC(target);
    return 1;
}

int CGdiImage::NewImageFormData(const BITMAPINFO* info, void* bits) {
    DelImage();
    Gdiplus::Bitmap* bitmap = Usable(new Gdiplus::Bitmap(info, bits));
    if (!bitmap)
        return 0;
    m_pImage = bitmap;
    return 1;
}

Gdiplus::Image* CGdiImage::GetImage() {
    return m_pImage;
}

int CGdiImage::GetImageSize(unsigned long& width, unsigned long& height) {
    width = 0;
    height = 0;
    if (!m_pImage)
        return 0;
    width = m_pImage->GetWidth();
    height = m_pImage->GetHeight();
    return 1;
}

unsigned long CGdiImage::GetImageWidth() {
    return m_pImage ? m_pImage->GetWidth() : 0;
}

unsigned long CGdiImage::GetImageHeight() {
    return m_pImage ? m_pImage->GetHeight() : 0;
}

int CGdiImage::GetEncoderClsid(const wchar_t* mime, CLSID* clsid) {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    if (size == 0)
        return -1;
    auto* encoders = static_cast<Gdiplus::ImageCodecInfo*>(imgdesk::platform::HeapAllocate(size));
    if (!encoders)
        return -1;
    Gdiplus::GetImageEncoders(count, size, encoders);
    int found = -1;
    for (UINT i = 0; i < count && mime; ++i) {
        if (encoders[i].MimeType && std::wcscmp(encoders[i].MimeType, mime) == 0) {
            if (clsid)
                *clsid = encoders[i].Clsid;
            found = static_cast<int>(i);
            break;
        }
    }
    imgdesk::platform::HeapRelease(encoders);
    return found;
}

int CGdiImage::SaveJpg(const wchar_t* path, int quality) {
    if (!m_pImage || !path)
        return 0;
    CLSID jpeg;
    if (GetEncoderClsid(L"image/jpeg", &jpeg) < 0)
        return 0;
    ULONG value = static_cast<ULONG>(quality);
    Gdiplus::EncoderParameters parameters;
    parameters.Count = 1;
    parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
    parameters.Parameter[0].NumberOfValues = 1;
    parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    parameters.Parameter[0].Value = &value;
    // A failed save leaves its status on the image (Save records it there).
    if (m_pImage->Save(path, &jpeg, &parameters) != Gdiplus::Ok)
        return 0;
    CThumbs thumbs;
    thumbs.WriteThumb(path);
    return 1;
}
