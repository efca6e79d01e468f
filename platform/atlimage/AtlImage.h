#pragma once

// ATL::CImage: one picture held as a DIB section. Loaded and created pictures are bottom-up: the
// pitch is negative and GetBits is the address of the top row of the picture, so row y (0 = top)
// starts at GetBits() + y * GetPitch(). The class starts its own GDI+ instance on the first Load
// or Save; ReleaseGDIPlus shuts that instance down (the next Load starts a new one).
#include "module/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/ObjBase.h"
#include "platform/gdi/Gdi.h"

namespace ATL {

class IMGDESK_API CImage {
public:
    // Create flag: a 32-bit picture whose fourth byte is alpha.
    static const DWORD createAlphaChannel = 0x01;

    CImage();
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Replaces the picture with the file's (JPEG, PNG, TIFF, GIF, BMP). Bit depth as decoded: 24
    // for colour without alpha, 8 with the file's colour table for palette and grey pictures, 32
    // for pictures with alpha and for anything else. E_FAIL (and no picture) when it fails.
    HRESULT Load(LPCTSTR path);
    // Writes the picture; with GUID_NULL the encoder follows the file extension (.jpg .jpeg .jpe
    // .jfif, .png, .gif, .tif .tiff, .bmp .dib), otherwise guidFileType is one of the GDI+ image
    // formats. E_FAIL without a picture, an encoder or a writable file.
    HRESULT Save(LPCTSTR path, REFGUID guidFileType = GUID_NULL) const;

    // Replaces the picture with a zero-filled width x height one of 8 (grey colour table), 24 or
    // 32 bits; a positive height gives a bottom-up DIB section, a negative one top-down.
    BOOL Create(int width, int height, int bpp, DWORD flags = 0);
    void Destroy();
    bool IsNull() const;

    int GetWidth() const;
    int GetHeight() const;
    int GetBPP() const;
    int GetPitch() const;                 // bytes from one picture row to the next (top to bottom)
    void* GetBits();                      // the top row of the picture
    void* GetPixelAddress(int x, int y);  // y counted from the top

    // 256 for an 8-bit picture, 0 otherwise.
    int GetMaxColorTableEntries() const;
    void GetColorTable(UINT start, UINT count, RGBQUAD* colours) const;
    void SetColorTable(UINT start, UINT count, const RGBQUAD* colours);

    // A memory device context with the picture selected; calls nest, each GetDC is matched by a
    // ReleaseDC.
    HDC GetDC() const;
    void ReleaseDC() const;

    operator HBITMAP() const;

    static void ReleaseGDIPlus();

private:
    HBITMAP m_hBitmap = nullptr;
    void* m_pBits = nullptr;  // top row
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nPitch = 0;
    int m_nBPP = 0;
    bool m_bHasAlphaChannel = false;
    mutable HDC m_hDC = nullptr;
    mutable int m_nDCRefCount = 0;
    mutable HGDIOBJ m_hOldBitmap = nullptr;
};

}  // namespace ATL
