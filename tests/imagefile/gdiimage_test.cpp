#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "imagefile/GdiImage.h"
#include "platform/codecs/Codecs.h"
#include "service/CoreKit.h"
#include "service/internal/ThumbnailNames.h"
#include "support/HeapProbe.h"
#include "support/MemoryProbe.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using namespace Gdiplus;
using codecs::Format;
using Bytes = std::vector<unsigned char>;

class GdiImage : public ::testing::Test {
protected:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(Ok, GdiplusStartup(&token_, &input, nullptr));
    }
    void TearDown() override {
        EXPECT_EQ(0, memory_.LiveBlocks());
        GdiplusShutdown(token_);
    }
    CString Write(const std::string& name, const Bytes& bytes) {
        return Utf8ToWide(dir_.Write(name, AsString(bytes)).c_str());
    }
    CString Write(const std::string& name, Format format, const codecs::Dib& picture) {
        return Write(name, EncodeBytes(format, picture));
    }
    static ARGB At(CGdiImage& image, int x, int y) {
        Color colour;
        static_cast<Bitmap*>(image.GetImage())->GetPixel(x, y, &colour);
        return colour.GetValue();
    }
    static bool Exists(const std::string& path) {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0;
    }

    ULONG_PTR token_ = 0;
    TempDir dir_;
    ScopedEnv cache_{"XDG_CACHE_HOME", dir_.File("cache")};
    MemoryProbe memory_;
};

// A stream that owns a movable global block holding the bytes.
IStream* StreamOver(const Bytes& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!bytes.empty()) {
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(block, TRUE, &stream);
    return stream;
}

// Files of every format become a 32-bit ARGB copy with the file's pixels; the file is free at once.
TEST_F(GdiImage, NewImageFormFileCopiesEveryFormatAndFreesTheFile) {
    const struct {
        Format format;
        int bits;
        bool grey, alpha;
        const char* name;
    } cases[] = {{Format::Png, 8, false, false, "palette.png"},
                 {Format::Png, 32, false, true, "alpha.png"},
                 {Format::Bmp, 24, false, false, "colour.bmp"},
                 {Format::Tiff, 8, true, false, "grey.tif"},
                 {Format::Gif, 8, false, false, "palette.gif"},
                 {Format::Tiff, 32, false, true, "alpha.tif"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const codecs::Dib picture = MakePicture(11, 6, c.bits, c.grey, c.alpha);
        CGdiImage image;
        ASSERT_EQ(1, image.NewImageFormFile(Write(c.name, c.format, picture)));
        ASSERT_EQ(0, std::remove(dir_.File(c.name).c_str()));  // the copy does not need the file
        EXPECT_EQ(PixelFormat32bppARGB, image.GetImage()->GetPixelFormat());
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 11; ++x) {
                unsigned char want[4];
                PixelOf(picture, x, y, want);
                // Fully transparent pixels come out transparent black, as drawing blends them.
                EXPECT_EQ(want[3] ? Color::MakeARGB(want[3], want[2], want[1], want[0]) : 0,
                          At(image, x, y))
                    << x << "," << y;
            }
    }
}

// Loads that cannot read their source keep the old image; replacements drop it first.
TEST_F(GdiImage, FailedLoadsKeepTheOldImageFailedReplacementsDropIt) {
    CGdiImage image;
    ASSERT_EQ(1, image.NewImageFormFile(Write("a.png", Format::Png, MakePicture(7, 3, 24))));
    const auto kept = [&](int result) {
        EXPECT_EQ(0, result);
        EXPECT_EQ(7ul, image.GetImageWidth());
    };
    kept(image.NewImageFormFile(Utf8ToWide(dir_.File("missing.png").c_str())));
    kept(image.NewImageFormFile(nullptr));
    kept(image.NewImageFormFile(Write("a.png", {'b', 'a', 'd'})));  // overwrites the source too
    kept(image.NewImageFormRES(nullptr, 99, L"PNG"));
    kept(image.NewImageFormStream(nullptr));
    const Bytes jpeg = EncodeBytes(Format::Jpeg, MakePicture(16, 16, 24));
    for (const Bytes& bytes :
         {Bytes{}, Bytes{0xFF, 0xD8, 0xFF}, Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)}) {
        IStream* stream = StreamOver(bytes);
        kept(image.NewImageFormStream(stream));
        stream->Release();
    }

    BITMAPINFO badDib{{40, 2, 2, 1, 24, 3, 0, 0, 0, 0, 0}, {}};
    unsigned char bits[16] = {};
    HDC dc = CreateCompatibleDC(nullptr);
    const auto dropped = [&](int result) {
        EXPECT_EQ(0, result);
        EXPECT_EQ(nullptr, image.GetImage());
        image.NewImageFormImage(nullptr, 2, 2);
    };
    dropped(image.NewImageFormImage(image.GetImage(), 0, 5));
    dropped(image.NewImageFormImage(image.GetImage(), 5, 0));
    dropped(image.NewImageFormDC(dc, CRect(5, 5, 5, 9)));
    dropped(image.NewImageFormData(&badDib, bits));
    DeleteDC(dc);
    image.DelImage();
    unsigned long width = 9, height = 9;
    EXPECT_EQ(0, image.GetImageSize(width, height));
    EXPECT_EQ(0ul, width + height);
}

TEST_F(GdiImage, ConstructorsKeepTheLoadedImageOrStayEmpty) {
    const Bytes bytes = EncodeBytes(Format::Jpeg, MakePicture(20, 10, 24));
    CGdiImage fromFile(Write("c.jpg", bytes));
    EXPECT_EQ(PixelFormat24bppRGB, fromFile.GetImage()->GetPixelFormat());  // the file's own
    IStream* stream = StreamOver(bytes);
    CGdiImage fromStream(stream);
    stream->Release();
    unsigned long width = 0, height = 0;
    EXPECT_EQ(1, fromStream.GetImageSize(width, height));
    EXPECT_EQ(20ul, width);
    EXPECT_EQ(10ul, height);
    CGdiImage missing(L"/nonexistent.jpg");
    EXPECT_EQ(nullptr, missing.GetImage());
    EXPECT_EQ(0ul, missing.GetImageWidth());
}

TEST_F(GdiImage, ReplacementsScaleImagesCopyContextsFromTheOriginAndKeepDibFormats) {
    CGdiImage image;
    Bitmap source(4, 4, PixelFormat24bppRGB);
    Graphics(&source).Clear(Color(255, 40, 80, 120));
    ASSERT_EQ(1, image.NewImageFormImage(&source, 9, 2));
    EXPECT_EQ(9ul, image.GetImageWidth());
    EXPECT_EQ(Color(255, 40, 80, 120).GetValue(), At(image, 8, 1));
    ASSERT_EQ(1, image.NewImageFormImage(image.GetImage(), 3, 3));  // its own image as source
    EXPECT_EQ(Color(255, 40, 80, 120).GetValue(), At(image, 2, 2));
    ASSERT_EQ(1, image.NewImageFormImage(nullptr, 2, 2));  // a null source: transparent
    EXPECT_EQ(0u, At(image, 1, 1));

    BITMAPINFO info{{40, 8, 8, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* pixels = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            SetPixel(dc, x, y, RGB(static_cast<BYTE>(x * 30), static_cast<BYTE>(y * 30), 7));
    ASSERT_EQ(1, image.NewImageFormDC(dc, CRect(3, 2, 6, 6)));
    EXPECT_EQ(3ul, image.GetImageWidth());
    EXPECT_EQ(4ul, image.GetImageHeight());
    EXPECT_EQ(Color(255, 0, 0, 7).GetValue(), At(image, 0, 0));
    EXPECT_EQ(Color(255, 60, 90, 7).GetValue(), At(image, 2, 3));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);

    BITMAPINFO rgb{{40, 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    unsigned char bits[24] = {1, 2, 3};  // bottom-left pixel
    ASSERT_EQ(1, image.NewImageFormData(&rgb, bits));
    EXPECT_EQ(PixelFormat24bppRGB, image.GetImage()->GetPixelFormat());
    EXPECT_EQ(Color(255, 3, 2, 1).GetValue(), At(image, 0, 1));
}

// Resources are found by identifier and type; file and resource copies free every block, the
// resource's global block included, whichever allocation fails.
TEST_F(GdiImage, FileAndResourceCopiesLeaveNothingBehindWhicheverAllocationFails) {
    HMODULE module = reinterpret_cast<HMODULE>(0x5150);
    const Bytes png = EncodeBytes(Format::Png, MakePicture(5, 4, 8, true));
    ASSERT_TRUE(RegisterResourceW(module, MAKEINTRESOURCEW(101), L"PNG", png.data(),
                                  static_cast<DWORD>(png.size())));
    const CString path = Write("f.gif", Format::Gif, MakePicture(6, 5, 8));
    const int globals = platform::LiveGlobalBlocks();
    CGdiImage image;
    EXPECT_EQ(0, image.NewImageFormRES(module, 102, L"PNG"));
    EXPECT_EQ(0, image.NewImageFormRES(module, 101, L"GIF"));
    const struct {
        std::function<int()> load;
        unsigned long width;
    } loads[] = {{[&] { return image.NewImageFormFile(path); }, 6},
                 {[&] { return image.NewImageFormRES(module, 101, L"PNG"); }, 5}};
    for (const auto& load : loads) {
        HeapProbe probe;
        const int clean = ForEachFailingHeapAllocation(probe, load.load, [&](int n) {
            image.DelImage();
            EXPECT_EQ(0, probe.LiveBlocks()) << n;
            EXPECT_EQ(globals, platform::LiveGlobalBlocks()) << n;
        });
        EXPECT_GT(clean, 2);
        EXPECT_EQ(load.width, image.GetImageWidth());  // the clean run
        image.DelImage();
        EXPECT_EQ(0, probe.LiveBlocks());
        EXPECT_EQ(globals, platform::LiveGlobalBlocks());
    }
    UnregisterResourceW(module, MAKEINTRESOURCEW(101), L"PNG");
}

TEST_F(GdiImage, EncoderLookupAndSaveJpgWritingTheFileAndItsThumbnailOrNothing) {
    CGdiImage image;
    CLSID clsid{};
    EXPECT_EQ(1, image.GetEncoderClsid(L"image/jpeg", &clsid));
    EXPECT_EQ(0x557CF401u, clsid.Data1);
    EXPECT_EQ(4, image.GetEncoderClsid(L"image/png", &clsid));
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/JPEG", &clsid));
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/jpe", &clsid));
    {
        HeapProbe probe;
        probe.FailAllocation(1);
        EXPECT_EQ(-1, image.GetEncoderClsid(L"image/jpeg", &clsid));
    }
    EXPECT_EQ(0, image.SaveJpg(Utf8ToWide(dir_.File("empty.jpg").c_str()), 50));
    ASSERT_EQ(1, image.NewImageFormFile(Write("p.png", Format::Png, MakePicture(300, 200, 24))));
    EXPECT_EQ(0, image.SaveJpg(nullptr, 50));

    const std::string low = dir_.File("low.jpg"), high = dir_.File("high.jpg");
    ASSERT_EQ(1, image.SaveJpg(Utf8ToWide(low.c_str()), 50));
    ASSERT_EQ(1, image.SaveJpg(Utf8ToWide(high.c_str()), 95));
    codecs::DecodedImage saved;
    ASSERT_EQ(codecs::Result::Ok, codecs::DecodeFile(low.c_str(), saved));
    EXPECT_EQ(Format::Jpeg, saved.format);
    EXPECT_EQ(300, saved.width);
    const std::string thumbnail = service::ThumbnailPath(service::FileUri(low));
    EXPECT_EQ(0u, thumbnail.rfind(dir_.File("cache/thumbnails/normal/"), 0));
    EXPECT_TRUE(Exists(thumbnail));
    EXPECT_LT(std::filesystem::file_size(low), std::filesystem::file_size(high));

    const struct {
        const char* path;
        int quality;
        Status status;
    } refused[] = {{"q.jpg", 101, InvalidParameter},
                   {"q.jpg", -1, InvalidParameter},
                   {"nowhere/x.jpg", 50, Win32Error}};
    for (const auto& r : refused) {
        EXPECT_EQ(0, image.SaveJpg(Utf8ToWide(dir_.File(r.path).c_str()), r.quality));
        EXPECT_EQ(r.status, image.GetImage()->GetLastStatus()) << r.quality;
        EXPECT_FALSE(Exists(dir_.File(r.path)));
    }
}

TEST(GdiImageWithoutGdiplus, EveryLoadFailsCleanly) {
    TempDir dir;
    const CString path = Utf8ToWide(
        dir.Write("x.bmp", AsString(EncodeBytes(Format::Bmp, MakePicture(2, 2, 24)))).c_str());
    CGdiImage image(path);
    EXPECT_EQ(nullptr, image.GetImage());
    EXPECT_EQ(0, image.NewImageFormFile(path));
    EXPECT_EQ(0, image.NewImageFormImage(nullptr, 2, 2));
    CLSID clsid;
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/jpeg", &clsid));
}

}  // namespace
}  // namespace imgdesk::test
