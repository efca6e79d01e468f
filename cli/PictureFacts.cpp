#include "cli/PictureFacts.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/CString.h"
#include "platform/gdiplus/GdiPlus.h"

namespace imgdesk::cli {
namespace {

// The resolution in the first directory of a JPEG's EXIF block (XResolution, YResolution,
// ResolutionUnit in inches or centimetres), as phones write it without a JFIF density. The
// decoder reports the JFIF density only; a JFIF density, where there is one, wins.
void ReadExifResolution(const std::string& path, PictureFacts& facts) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return;
    std::vector<unsigned char> exif;
    unsigned char marker[4];
    bool jpeg = std::fread(marker, 1, 2, file) == 2 && marker[0] == 0xFF && marker[1] == 0xD8;
    // The markers up to the first scan; the EXIF block is the first APP1 starting "Exif".
    while (jpeg && exif.empty() && std::fread(marker, 1, 4, file) == 4 && marker[0] == 0xFF &&
           marker[1] != 0xDA && marker[1] != 0xD9) {
        const unsigned length = unsigned(marker[2]) << 8 | marker[3];
        if (length < 2)
            break;
        std::vector<unsigned char> segment(length - 2);
        if (std::fread(segment.data(), 1, segment.size(), file) != segment.size())
            break;
        if (marker[1] == 0xE1 && segment.size() >= 14 &&
            std::memcmp(segment.data(), "Exif\0\0", 6) == 0)
            exif.assign(segment.begin() + 6, segment.end());
    }
    std::fclose(file);
    if (exif.size() < 8)
        return;
    const bool little = exif[0] == 'I' && exif[1] == 'I';
    if (!little && !(exif[0] == 'M' && exif[1] == 'M'))
        return;
    auto u16 = [&](size_t at) -> unsigned {
        return little ? exif[at] | unsigned(exif[at + 1]) << 8
                      : unsigned(exif[at]) << 8 | exif[at + 1];
    };
    auto u32 = [&](size_t at) -> unsigned long {
        return little ? u16(at) | static_cast<unsigned long>(u16(at + 2)) << 16
                      : static_cast<unsigned long>(u16(at)) << 16 | u16(at + 2);
    };
    const unsigned long directory = u32(4);
    if (directory > exif.size() - 2)
        return;
    double x = 0, y = 0;
    unsigned unit = 2;  // inches unless the file says otherwise
    for (unsigned e = 0, entries = u16(directory); e < entries; ++e) {
        const size_t at = directory + 2 + size_t(e) * 12;
        if (at + 12 > exif.size())
            break;
        const unsigned tag = u16(at), type = u16(at + 2);
        if (tag == 0x0128 && type == 3) {
            unit = u16(at + 8);
        } else if ((tag == 0x011A || tag == 0x011B) && type == 5) {
            const unsigned long offset = u32(at + 8);
            if (offset > exif.size() || exif.size() - offset < 8)
                continue;
            const unsigned long denominator = u32(offset + 4);
            (tag == 0x011A ? x : y) = denominator ? double(u32(offset)) / denominator : 0;
        }
    }
    if (x > 0 && y > 0 && (unit == 2 || unit == 3)) {
        const double perInch = unit == 3 ? 2.54 : 1;
        facts.dpiX = x * perInch;
        facts.dpiY = y * perInch;
    }
}

}  // namespace

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
    if (facts.dpiX <= 0)
        ReadExifResolution(path, facts);
    // The resolution is the stored picture's; a picture shown a quarter turned or transposed
    // takes its across resolution from the stored down one.
    if (facts.orientation >= 5)
        std::swap(facts.dpiX, facts.dpiY);
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
        unsigned char* out =
            shown.data() + static_cast<long long>(shown.height - 1 - v) * outStride;
        for (int u = 0; u < shown.width; ++u) {
            int x = u, y = v;
            switch (orientation) {
                case 2:
                    x = w - 1 - u;
                    break;
                case 3:
                    x = w - 1 - u, y = h - 1 - v;
                    break;
                case 4:
                    y = h - 1 - v;
                    break;
                case 5:
                    x = v, y = u;
                    break;
                case 6:
                    x = v, y = h - 1 - u;
                    break;
                case 7:
                    x = w - 1 - v, y = h - 1 - u;
                    break;
                case 8:
                    x = w - 1 - v, y = u;
                    break;
            }
            const unsigned char* in =
                picture.data() + static_cast<long long>(h - 1 - y) * inStride + x * bytes;
            std::memcpy(out + u * bytes, in, bytes);
        }
    }
    return shown;
}

}  // namespace imgdesk::cli
