// A host program: finds the page in a photograph, cuts it out upright and saves it.
//
//   scan_photo photo.jpg page.png
//
// It loads the photo with ATL::CImage (a DIB section, as the library's own classes use), hands the
// pixels to ScanPage and saves the page it returns in the format the output's extension names.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/CString.h"
#include "platform/atlimage/AtlImage.h"
#include "scan/PageScan.h"
#include "service/CoreKit.h"

namespace {

const char* FoundByText(imgdesk::PageFoundBy how) {
    switch (how) {
        case imgdesk::PageFoundBy::PageEdges:
            return "its edges";
        case imgdesk::PageFoundBy::TextLines:
            return "its text lines";
        case imgdesk::PageFoundBy::Nothing:
            break;
    }
    return "nothing";
}

// Byte distance between rows of a DIB: rows are padded to four bytes.
int DibStride(int width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: scan_photo PHOTO OUTPUT\n");
        return 2;
    }

    ATL::CImage photo;
    if (FAILED(photo.Load(Utf8ToWide(argv[1])))) {
        std::fprintf(stderr, "scan_photo: cannot read %s\n", argv[1]);
        return 1;
    }
    // A bottom-up DIB holds its last row first in memory, which is the layout ScanPage reads, so
    // the picture is passed as it is, starting at that row.
    const int width = photo.GetWidth(), height = photo.GetHeight(), bits = photo.GetBPP();
    const auto* pixels = static_cast<const unsigned char*>(photo.GetPixelAddress(0, height - 1));
    RGBQUAD palette[256] = {};
    if (bits == 8)
        photo.GetColorTable(0, 256, palette);

    imgdesk::PageScanResult page;
    if (!imgdesk::ScanPage(pixels, width, height, bits, bits == 8 ? palette : nullptr, page)) {
        std::fprintf(stderr, "scan_photo: %s is not a picture ScanPage takes\n", argv[1]);
        return 1;
    }

    // The page comes back as a NewMem block in the same layout: one copy into a new DIB section.
    ATL::CImage upright;
    bool saved = false;
    if (upright.Create(page.width, page.height, page.bits)) {
        std::memcpy(upright.GetPixelAddress(0, page.height - 1), page.pixels,
                    static_cast<size_t>(DibStride(page.width, page.bits)) * page.height);
        saved = SUCCEEDED(upright.Save(Utf8ToWide(argv[2])));
    }
    DelMem(page.pixels);
    ATL::CImage::ReleaseGDIPlus();
    if (!saved) {
        std::fprintf(stderr, "scan_photo: cannot write %s\n", argv[2]);
        return 1;
    }
    // turnDegrees is positive for a clockwise turn as displayed.
    std::printf("%s: page of %d x %d found by %s, turned %.2f degrees %s\n", argv[2], page.width,
                page.height, FoundByText(page.foundBy), std::fabs(page.turnDegrees),
                page.turnDegrees < 0 ? "counter-clockwise" : "clockwise");
    return 0;
}
