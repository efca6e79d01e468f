#pragma once

// CGdiImage: the owner of one GDI+ image. It loads an image from a file, a stream, a module
// resource, a device context, a DIB or another GDI+ image, reports its size and saves it as a JPEG
// of a chosen quality, followed by the file's thumbnail. It never starts GDI+: the host calls
// GdiplusStartup before using any CGdiImage and GdiplusShutdown after the last one is gone.
#include "module/Export.h"
#include "platform/Rect.h"
#include "platform/WinTypes.h"
#include "platform/com/ObjBase.h"
#include "platform/com/Resources.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdiplus/GdiPlus.h"

class IMGDESK_API CGdiImage {
public:
    // An empty object.
    CGdiImage();
    // Keeps the image loaded from the file or stream itself; empty when it cannot be loaded.
    explicit CGdiImage(const wchar_t* path);
    explicit CGdiImage(IStream* stream);
    ~CGdiImage();
    // An object owns its image alone: copying is refused rather than sharing or duplicating it.
    CGdiImage(const CGdiImage&) = delete;
    CGdiImage& operator=(const CGdiImage&) = delete;

    // Releases the image, if any; the object is empty afterwards.
    void DelImage();

    // Loads the file (or the stream, from its current position) and keeps a 32-bit ARGB copy, so
    // the source is free as soon as this returns. 1 on success; 0 when the source cannot be
    // read, and then the current image stays.
    int NewImageFormFile(const wchar_t* path);
    int NewImageFormStream(IStream* stream);
    // Loads the resource (integer identifier id, given type) of the module through a memory
    // stream, as NewImageFormStream. 0 when the resource is missing or memory is short.
    int NewImageFormRES(HINSTANCE module, unsigned int id, const wchar_t* type);
    // Replaces the image by a width x height 32-bit ARGB bitmap with source drawn scaled into it.
    // The old image is released first; 0 (and empty) when the bitmap cannot be made. A null
    // source or a failed drawing still gives 1.
    int NewImageFormImage(Gdiplus::Image* source, int width, int height);
    // Replaces the image by a 32-bit ARGB bitmap of the rectangle's size holding the pixels of the
    // device context copied from its origin (0, 0), whatever the rectangle's left and top.
    int NewImageFormDC(HDC dc, CRect rect);
    // Replaces the image by a bitmap copied from the DIB (header with colour table, and bits), in
    // the DIB's own format; the caller's bits are not kept. 0 (and empty) on a bad DIB.
    int NewImageFormData(const BITMAPINFO* info, void* bits);

    // The image (null when empty); it stays the object's.
    Gdiplus::Image* GetImage();
    // Sets both to 0, then to the image's size; 0 when there is no image.
    int GetImageSize(unsigned long& width, unsigned long& height);
    unsigned long GetImageWidth();
    unsigned long GetImageHeight();

    // Index of the first installed encoder whose MIME type equals mime exactly, with its class
    // identifier copied to clsid; -1 when there is none or the list cannot be had.
    int GetEncoderClsid(const wchar_t* mime, CLSID* clsid);
    // Saves the image as JPEG with quality (0 to 100, passed on unchanged), then writes the file's
    // thumbnail. 0 without an image or path, without a JPEG encoder, or when saving fails (the
    // status is then the image's last status).
    int SaveJpg(const wchar_t* path, int quality);

private:
    // Draws a just-loaded image into a new bitmap of its size, then releases it.
    int CopyAndRelease(Gdiplus::Image* loaded);

    Gdiplus::Image* m_pImage;
};
