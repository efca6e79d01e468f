// Grey and black-and-white conversion of pictures held by the platform's image class.
#include <cstring>
#include <memory>

#include "document/DocDesk.h"
#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"
#include "platform/com/Heap.h"

namespace {

using imgdesk::pixel::NewScratch;

constexpr int kMonoThreshold = 100;      // stretched levels above it become white
constexpr int kDarkLevel = 125;          // edge pixels below it seed the dark-side removal
constexpr LONG kPixelsPerMetre = 11811;  // 300 dots per inch

void FillGreyRamp(RGBQUAD* colours) {
    for (int i = 0; i < 256; ++i) {
        const BYTE level = static_cast<BYTE>(i);
        colours[i] = {level, level, level, 0};
    }
}

// Whitens the dark areas that touch the edges of a packed grey buffer: every edge pixel still dark
// when its turn comes seeds a fill, rows' ends first, then columns' ends.
void WhitenDarkEdges(unsigned char* grey, int width, int height) {
    CDataHandler handler;
    auto at = [&](int row, int column) {
        return grey[static_cast<long long>(row) * width + column];
    };
    for (int r = 0; r < height; ++r) {
        if (at(r, 0) < kDarkLevel)
            handler.DelBlackSide(grey, width, height, r, 0);
        if (at(r, width - 1) < kDarkLevel)
            handler.DelBlackSide(grey, width, height, r, width - 1);
    }
    for (int c = 0; c < width; ++c) {
        if (at(0, c) < kDarkLevel)
            handler.DelBlackSide(grey, width, height, 0, c);
        if (at(height - 1, c) < kDarkLevel)
            handler.DelBlackSide(grey, width, height, height - 1, c);
    }
}

struct HeapBlock {
    void operator()(void* block) const { imgdesk::platform::HeapRelease(block); }
};

}  // namespace

int CDocDesk::ImageToGray(ATL::CImage& source, ATL::CImage& target) {
    const int width = source.GetWidth();
    const int height = source.GetHeight();
    if (!target.IsNull())
        target.Destroy();
    target.Create(width, height, 8);
    if (target.IsNull())
        return 0;
    RGBQUAD grey[256];
    FillGreyRamp(grey);
    target.SetColorTable(0, 256, grey);
    if (source.GetBPP() / 8 != 3 || target.GetBPP() / 8 != 1)
        return 0;

    const auto* from = static_cast<const unsigned char*>(source.GetBits());
    auto* to = static_cast<unsigned char*>(target.GetBits());
    const long long fromPitch = source.GetPitch(), toPitch = target.GetPitch();
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = from + y * fromPitch;
        unsigned char* out = to + y * toPitch;
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = static_cast<unsigned char>((in[0] + in[1] + in[2]) / 3);
    }
    return 1;
}

int CDocDesk::ImageToSingle(ATL::CImage& image) {
    // A picture that failed to load has no pixels to convert: refuse it like a failure.
    if (image.IsNull())
        return 0;
    const int bitsPerPixel = image.GetBPP();
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    // The first row in memory: the bottom row of a bottom-up picture.
    auto* pixels = static_cast<unsigned char*>(image.GetBits()) +
                   static_cast<long long>(height - 1) * image.GetPitch();

    auto grey = NewScratch(static_cast<long long>(width) * height);
    if (!grey)
        return 0;
    {
        // Without memory for the palette the conversion goes on without it.
        auto palette = bitsPerPixel == 8 ? NewScratch<tagRGBQUAD>(256) : nullptr;
        if (palette)
            image.GetColorTable(0, 256, palette.get());
        CDataHandler().ColourToGreyScale(pixels, width, height, bitsPerPixel, palette.get(),
                                         grey.get(), 0);
        CDataHandler().GreyDegreeExtend(grey.get(), width, height);
        CDataHandler().GreyDegreeSingle(grey.get(), width, height, kMonoThreshold);
    }
    WhitenDarkEdges(grey.get(), width, height);

    const int stride = imgdesk::pixel::RowStride(width, 8);
    auto rows = NewScratch(static_cast<long long>(stride) * height);
    if (!rows)
        return 0;
    for (int r = 0; r < height; ++r)
        std::memcpy(rows.get() + static_cast<long long>(r) * stride,
                    grey.get() + static_cast<long long>(r) * width,
                    static_cast<std::size_t>(width));
    grey.reset();

    std::unique_ptr<void, HeapBlock> block(
        imgdesk::platform::HeapAllocate(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)));
    if (!block)
        return 0;
    auto* info = static_cast<BITMAPINFO*>(block.get());
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(height);
    header.biXPelsPerMeter = kPixelsPerMetre;
    header.biYPelsPerMeter = kPixelsPerMetre;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    FillGreyRamp(reinterpret_cast<RGBQUAD*>(&header + 1));

    HDC dc = image.GetDC();
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, rows.get(), info, DIB_RGB_COLORS,
                  SRCCOPY);
    image.ReleaseDC();
    return 1;
}
