#include "cli/PictureFacts.h"

#include <cstring>
#include <vector>

#include "platform/CString.h"
#include "platform/gdiplus/GdiPlus.h"

namespace imgdesk::cli {

PictureFacts ReadPictureFacts(const std::string& path) {
    PictureFacts facts;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return facts;
    {
        Gdiplus::Image image(Utf8ToWide(path.c_str()));
        if (image.GetLastStatus() == Gdiplus::Ok) {
            if (image.GetFlags() & Gdiplus::ImageFlagsHasRealDPI) {
                facts.dpiX = image.GetHorizontalResolution();
                facts.dpiY = image.GetVerticalResolution();
            }
            const UINT size = image.GetPropertyItemSize(Gdiplus::PropertyTagOrientation);
            if (size >= sizeof(Gdiplus::PropertyItem) + sizeof(WORD)) {
                std::vector<unsigned char> buffer(size);
                auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
                if (image.GetPropertyItem(Gdiplus::PropertyTagOrientation, size, item) ==
                        Gdiplus::Ok &&
                    item->type == Gdiplus::PropertyTagTypeShort)
                    facts.orientation = *static_cast<const WORD*>(item->value);
            }
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return facts;
}

Picture Upright(Picture picture, int orientation) {
    if (orientation < 2 || orientation > 8)
        return picture;
    const int w = picture.width, h = picture.height;
    const bool swaps = orientation >= 5;
    Picture shown = NewPicture(swaps ? h : w, swaps ? w : h, picture.bits);
    shown.hasPalette = picture.hasPalette;
    std::memcpy(shown.palette, picture.palette, sizeof shown.palette);
    const int bytes = picture.bits / 8, inStride = picture.Stride(), outStride = shown.Stride();
    // (u, v) shown, (x, y) stored, both counted from the top-left as displayed.
    for (int v = 0; v < shown.height; ++v) {
        unsigned char* out = shown.data() + static_cast<long long>(shown.height - 1 - v) * outStride;
        for (int u = 0; u < shown.width; ++u) {
            int x = u, y = v;
            switch (orientation) {
            case 2: x = w - 1 - u; break;
            case 3: x = w - 1 - u, y = h - 1 - v; break;
            case 4: y = h - 1 - v; break;
            case 5: x = v, y = u; break;
            case 6: x = v, y = h - 1 - u; break;
            case 7: x = w - 1 - v, y = h - 1 - u; break;
            case 8: x = w - 1 - v, y = u; break;
            }
            const unsigned char* in =
                picture.data() + static_cast<long long>(h - 1 - y) * inStride + x * bytes;
            std::memcpy(out + u * bytes, in, bytes);
        }
    }
    return shown;
}

}  // namespace imgdesk::cli
