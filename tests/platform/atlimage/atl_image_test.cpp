#include "platform/atlimage/AtlImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdiplus/GdiPlus.h"
#include "platform/gdiplus/ImageData.h"
#include "support/HeapProbe.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

using imgdesk::codecs::Dib;
using imgdesk::codecs::Format;
using imgdesk::test::HeapProbe;
using imgdesk::test::MakePicture;
using imgdesk::test::PixelOf;
using imgdesk::test::TempDir;

CString WriteImage(const TempDir& dir, const std::string& name, Format format, const Dib& dib) {
    dir.Write(name, imgdesk::test::AsString(imgdesk::test::EncodeBytes(format, dib)));
    return dir.WideFile(name);
}

// The colour of picture pixel (x, y) (y from the top) as blue, green, red through the image's own
// addressing and colour table.
void ColourAt(ATL::CImage& image, int x, int y, unsigned char bgr[3]) {
    const auto* p = static_cast<const unsigned char*>(image.GetPixelAddress(x, y));
    if (image.GetBPP() == 8) {
        RGBQUAD entry;
        image.GetColorTable(*p, 1, &entry);
        bgr[0] = entry.rgbBlue, bgr[1] = entry.rgbGreen, bgr[2] = entry.rgbRed;
    } else {
        bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
    }
}

void ExpectSamePicture(ATL::CImage& image, const Dib& dib) {
    ASSERT_EQ(image.GetWidth(), dib.width);
    ASSERT_EQ(image.GetHeight(), dib.height);
    for (int y = 0; y < dib.height; ++y)
        for (int x = 0; x < dib.width; ++x) {
            unsigned char expected[4], actual[3];
            PixelOf(dib, x, y, expected);
            ColourAt(image, x, y, actual);
            ASSERT_EQ(0, std::memcmp(expected, actual, 3)) << "at " << x << ", " << y;
        }
}

TEST(AtlImageLoad, GivesThePlatformBitDepthsAndPixelsOfEachFormat) {
    TempDir dir;
    struct Case {
        const char* name;
        Format format;
        int bitCount;
        bool grey, alpha;
        int loadedBits;
    } cases[] = {
        {"colour.png", Format::Png, 24, false, false, 24},
        {"alpha.png", Format::Png, 32, false, true, 32},
        {"grey.png", Format::Png, 8, true, false, 8},
        {"palette.png", Format::Png, 8, false, false, 8},
        {"colour.tif", Format::Tiff, 24, false, false, 24},
        {"palette.gif", Format::Gif, 8, false, false, 8},
        {"colour.bmp", Format::Bmp, 24, false, false, 24},
        {"palette.bmp", Format::Bmp, 8, false, false, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Dib dib = MakePicture(7, 5, c.bitCount, c.grey, c.alpha);
        ATL::CImage image;
        ASSERT_EQ(S_OK, image.Load(WriteImage(dir, c.name, c.format, dib)));
        EXPECT_EQ(c.loadedBits, image.GetBPP());
        EXPECT_EQ(-static_cast<int>(dib.Stride()), image.GetPitch());
        ExpectSamePicture(image, dib);
    }
}

TEST(AtlImageLoad, ReadsAJpegAs24BitsAndRefusesWhatItCannotRead) {
    TempDir dir;
    ATL::CImage image;
    ASSERT_EQ(S_OK, image.Load(WriteImage(dir, "a.jpg", Format::Jpeg, MakePicture(33, 17, 24))));
    EXPECT_EQ(24, image.GetBPP());
    EXPECT_EQ(33, image.GetWidth());
    EXPECT_EQ(17, image.GetHeight());

    EXPECT_TRUE(FAILED(image.Load(dir.WideFile("missing.png"))));
    EXPECT_TRUE(image.IsNull());
    dir.Write("junk.png", "not a picture");
    EXPECT_EQ(E_FAIL, image.Load(dir.WideFile("junk.png")));
    EXPECT_TRUE(image.IsNull());
}

TEST(AtlImageLoad, FailingHeapAllocationsLeaveNoPictureAndNoBlock) {
    TempDir dir;
    const CString path = WriteImage(dir, "p.png", Format::Png, MakePicture(9, 4, 24));
    HeapProbe probe;
    const int before = probe.LiveBlocks();
    const int allocations = imgdesk::test::ForEachFailingHeapAllocation(
        probe,
        [&] {
            ATL::CImage image;
            if (SUCCEEDED(image.Load(path)))
                EXPECT_FALSE(image.IsNull());
            else
                EXPECT_TRUE(image.IsNull());
        },
        [&](int) { EXPECT_EQ(before, probe.LiveBlocks()); });
    EXPECT_GT(allocations, 0);
    EXPECT_EQ(before, probe.LiveBlocks());
}

TEST(AtlImageSave, ChoosesTheEncoderByExtensionOrFormat) {
    TempDir dir;
    const Dib dib = MakePicture(6, 3, 24);
    ATL::CImage image;
    ASSERT_EQ(S_OK, image.Load(WriteImage(dir, "in.bmp", Format::Bmp, dib)));
    for (const char* name : {"out.PNG", "out.tiff", "out.bmp", "out.gif", "out.jpeg"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(S_OK, image.Save(dir.WideFile(name)));
        ATL::CImage back;
        ASSERT_EQ(S_OK, back.Load(dir.WideFile(name)));
        EXPECT_EQ(6, back.GetWidth());
        if (std::string(name) != "out.jpeg" && std::string(name) != "out.gif")
            ExpectSamePicture(back, dib);
    }
    // An explicit format wins over the name.
    ASSERT_EQ(S_OK, image.Save(dir.WideFile("named.dat"), Gdiplus::ImageFormatPNG));
    ATL::CImage back;
    ASSERT_EQ(S_OK, back.Load(dir.WideFile("named.dat")));
    ExpectSamePicture(back, dib);

    EXPECT_EQ(E_FAIL, image.Save(dir.WideFile("no-extension")));
    EXPECT_EQ(E_FAIL, image.Save(dir.WideFile("nowhere/out.png")));
    ATL::CImage empty;
    EXPECT_EQ(E_FAIL, empty.Save(dir.WideFile("empty.png")));
}

TEST(AtlImageSave, KeepsThePaletteAndAlphaOfCreatedPictures) {
    TempDir dir;
    ATL::CImage image;
    ASSERT_TRUE(image.Create(4, 2, 8));
    RGBQUAD colours[2] = {{10, 20, 30, 0}, {200, 100, 50, 0}};
    image.SetColorTable(0, 2, colours);
    static_cast<unsigned char*>(image.GetPixelAddress(3, 1))[0] = 1;
    ASSERT_EQ(S_OK, image.Save(dir.WideFile("p.png")));
    ATL::CImage back;
    ASSERT_EQ(S_OK, back.Load(dir.WideFile("p.png")));
    ASSERT_EQ(8, back.GetBPP());
    unsigned char bgr[3];
    ColourAt(back, 3, 1, bgr);
    EXPECT_EQ(200, bgr[0]);
    ColourAt(back, 0, 0, bgr);
    EXPECT_EQ(30, bgr[2]);

    ASSERT_TRUE(image.Create(2, 2, 32, ATL::CImage::createAlphaChannel));
    static_cast<unsigned char*>(image.GetBits())[3] = 128;
    ASSERT_EQ(S_OK, image.Save(dir.WideFile("a.png")));
    ASSERT_EQ(S_OK, back.Load(dir.WideFile("a.png")));
    EXPECT_EQ(32, back.GetBPP());
    EXPECT_EQ(128, static_cast<unsigned char*>(back.GetBits())[3]);
}

TEST(AtlImageCreate, LaysOutBottomUpAndTopDownSections) {
    ATL::CImage image;
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(nullptr, static_cast<HBITMAP>(image));
    ASSERT_TRUE(image.Create(5, 3, 24));
    EXPECT_FALSE(image.IsNull());
    EXPECT_NE(nullptr, static_cast<HBITMAP>(image));
    EXPECT_EQ(-16, image.GetPitch());
    auto* top = static_cast<unsigned char*>(image.GetBits());
    EXPECT_EQ(top + 2 * -16 + 4 * 3, image.GetPixelAddress(4, 2));
    EXPECT_EQ(0, image.GetMaxColorTableEntries());

    ASSERT_TRUE(image.Create(5, -3, 8));
    EXPECT_EQ(3, image.GetHeight());
    EXPECT_EQ(8, image.GetPitch());
    EXPECT_EQ(256, image.GetMaxColorTableEntries());
    RGBQUAD entry;
    image.GetColorTable(77, 1, &entry);
    EXPECT_EQ(77, entry.rgbRed);

    EXPECT_FALSE(image.Create(5, 3, 16));
    EXPECT_TRUE(image.IsNull());
    EXPECT_FALSE(image.Create(0, 3, 24));
    EXPECT_FALSE(image.Create(3, 0, 24));
    EXPECT_EQ(0, image.GetWidth());
    image.Destroy();  // twice is harmless
}

TEST(AtlImageDc, NestsAndDrawsOnThePicture) {
    ATL::CImage image;
    ASSERT_TRUE(image.Create(3, 2, 32));
    HDC dc = image.GetDC();
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(dc, image.GetDC());
    image.ReleaseDC();
    SetPixel(dc, 2, 0, RGB(1, 2, 3));
    image.ReleaseDC();
    const auto* p = static_cast<const unsigned char*>(image.GetPixelAddress(2, 0));
    EXPECT_EQ(3, p[0]);
    EXPECT_EQ(1, p[2]);
    // Destroy with a context still out releases it.
    image.GetDC();
    image.Destroy();
    EXPECT_EQ(nullptr, image.GetDC());
}

TEST(AtlImageGdiPlus, LoadStartsItsOwnInstanceAndReleaseEndsIt) {
    TempDir dir;
    const CString path = WriteImage(dir, "p.bmp", Format::Bmp, MakePicture(2, 2, 24));
    ATL::CImage::ReleaseGDIPlus();
    EXPECT_FALSE(imgdesk::gdiplus::IsStarted());
    ATL::CImage image;
    ASSERT_EQ(S_OK, image.Load(path));
    EXPECT_TRUE(imgdesk::gdiplus::IsStarted());
    ATL::CImage::ReleaseGDIPlus();
    EXPECT_FALSE(imgdesk::gdiplus::IsStarted());
    ATL::CImage::ReleaseGDIPlus();
    EXPECT_EQ(S_OK, image.Load(path));
    ATL::CImage::ReleaseGDIPlus();
}

}  // namespace
