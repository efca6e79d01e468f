#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "imagefile/GdiImage.h"
#include "platform/codecs/Codecs.h"
#include "service/CoreKit.h"
#include "support/HeapProbe.h"
#include "support/MemoryProbe.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using namespace Gdiplus;

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
    std::string WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
        return dir_.Write(name, AsString(bytes));
    }
    CString Wide(const std::string& path) { return Utf8ToWide(path.c_str()); }

    ULONG_PTR token_ = 0;
    TempDir dir_;
    ScopedEnv cache_{"XDG_CACHE_HOME", dir_.File("cache")};
    MemoryProbe memory_;
};

Color PixelAt(CGdiImage& image, int x, int y) {
    Color colour;
    static_cast<Bitmap*>(image.GetImage())->GetPixel(x, y, &colour);
    return colour;
}

IStream* StreamOver(const std::vector<unsigned char>& bytes) {
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
    struct Case {
        codecs::Format format;
        int bits;
        bool grey, alpha;
        const char* name;
    } cases[] = {{codecs::Format::Png, 8, false, false, "palette.png"},
                 {codecs::Format::Png, 32, false, true, "alpha.png"},
                 {codecs::Format::Bmp, 24, false, false, "colour.bmp"},
                 {codecs::Format::Tiff, 8, true, false, "grey.tif"},
                 {codecs::Format::Gif, 8, false, false, "palette.gif"},
                 {codecs::Format::Tiff, 32, false, true, "alpha.tif"}};
    for (const Case& c : cases) {
        const codecs::Dib picture = MakePicture(11, 6, c.bits, c.grey, c.alpha);
        const std::string path = WriteFile(c.name, EncodeBytes(c.format, picture));
        CGdiImage image;
        ASSERT_EQ(1, image.NewImageFormFile(Wide(path))) << c.name;
        ASSERT_EQ(0, std::remove(path.c_str()));  // the copy does not need the file
        EXPECT_EQ(PixelFormat32bppARGB, image.GetImage()->GetPixelFormat());
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 11; ++x) {
                unsigned char want[4];
                PixelOf(picture, x, y, want);
                // Fully transparent pixels come out transparent black, as drawing blends them.
                const ARGB expected =
                    want[3] ? Color::MakeARGB(want[3], want[2], want[1], want[0]) : 0;
                EXPECT_EQ(expected, PixelAt(image, x, y).GetValue())
                    << c.name << " " << x << "," << y;
            }
    }
}

TEST_F(GdiImage, FailedLoadsKeepTheOldImageFailedReplacementsDropIt) {
    const std::string path =
        WriteFile("a.png", EncodeBytes(codecs::Format::Png, MakePicture(7, 3, 24)));
    CGdiImage image;
    ASSERT_EQ(1, image.NewImageFormFile(Wide(path)));
    EXPECT_EQ(0, image.NewImageFormFile(Wide(dir_.File("missing.png"))));
    EXPECT_EQ(7ul, image.GetImageWidth());
    EXPECT_EQ(0, image.NewImageFormFile(nullptr));

    // Overwriting the file with garbage does not touch the copy; loading the garbage fails.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "garbage";
    EXPECT_EQ(0, image.NewImageFormFile(Wide(path)));
    EXPECT_EQ(3ul, image.GetImageHeight());

    for (const std::vector<unsigned char>& bytes :
         {std::vector<unsigned char>{}, std::vector<unsigned char>{0xFF, 0xD8, 0xFF},
          EncodeBytes(codecs::Format::Jpeg, MakePicture(16, 16, 24))}) {
        std::vector<unsigned char> cut(bytes.begin(),
                                       bytes.begin() + static_cast<long>(bytes.size() / 2));
        IStream* stream = StreamOver(cut);
        EXPECT_EQ(0, image.NewImageFormStream(stream));
        stream->Release();
        EXPECT_EQ(7ul, image.GetImageWidth());
    }
    EXPECT_EQ(0, image.NewImageFormRES(nullptr, 99, L"PNG"));
    EXPECT_EQ(7ul, image.GetImageWidth());

    EXPECT_EQ(0, image.NewImageFormImage(image.GetImage(), 0, 5));
    EXPECT_EQ(nullptr, image.GetImage());
    unsigned long width = 9, height = 9;
    EXPECT_EQ(0, image.GetImageSize(width, height));
    EXPECT_EQ(0ul, width);
    EXPECT_EQ(0ul, height);

    ASSERT_EQ(1, image.NewImageFormFile(Wide(dir_.Write(
                     "b.bmp", AsString(EncodeBytes(codecs::Format::Bmp, MakePicture(2, 2, 24)))))));
    BITMAPINFO bad{{40, 2, 2, 1, 24, 3, 0, 0, 0, 0, 0}, {}};
    unsigned char bits[16] = {};
    EXPECT_EQ(0, image.NewImageFormData(&bad, bits));
    EXPECT_EQ(nullptr, image.GetImage());
}

TEST_F(GdiImage, ConstructorsKeepTheLoadedImageOrStayEmpty) {
    const auto bytes = EncodeBytes(codecs::Format::Jpeg, MakePicture(20, 10, 24));
    CGdiImage fromFile(Wide(WriteFile("c.jpg", bytes)));
    ASSERT_NE(nullptr, fromFile.GetImage());
    EXPECT_EQ(PixelFormat24bppRGB, fromFile.GetImage()->GetPixelFormat());  // the file's own format
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

TEST_F(GdiImage, NewImageFormImageScalesAndCopiesItsOwnImage) {
    CGdiImage image;
    Bitmap source(4, 4, PixelFormat24bppRGB);
    Graphics(&source).Clear(Color(255, 40, 80, 120));
    ASSERT_EQ(1, image.NewImageFormImage(&source, 9, 2));
    EXPECT_EQ(9ul, image.GetImageWidth());
    EXPECT_EQ(Color(255, 40, 80, 120).GetValue(), PixelAt(image, 8, 1).GetValue());
    ASSERT_EQ(1, image.NewImageFormImage(image.GetImage(), 3, 3));
    EXPECT_EQ(Color(255, 40, 80, 120).GetValue(), PixelAt(image, 2, 2).GetValue());
    // A null source still gives a (transparent) bitmap.
    ASSERT_EQ(1, image.NewImageFormImage(nullptr, 2, 2));
    EXPECT_EQ(0u, PixelAt(image, 1, 1).GetValue());
}

TEST_F(GdiImage, NewImageFormDCCopiesFromTheContextOrigin) {
    BITMAPINFO info{{40, 8, 8, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            SetPixel(dc, x, y, RGB(static_cast<BYTE>(x * 30), static_cast<BYTE>(y * 30), 7));
    CGdiImage image;
    ASSERT_EQ(1, image.NewImageFormDC(dc, CRect(3, 2, 6, 6)));
    EXPECT_EQ(3ul, image.GetImageWidth());
    EXPECT_EQ(4ul, image.GetImageHeight());
    EXPECT_EQ(Color(255, 0, 0, 7).GetValue(), PixelAt(image, 0, 0).GetValue());
    EXPECT_EQ(Color(255, 60, 90, 7).GetValue(), PixelAt(image, 2, 3).GetValue());
    EXPECT_EQ(0, image.NewImageFormDC(dc, CRect(5, 5, 5, 9)));
    EXPECT_EQ(nullptr, image.GetImage());
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);
}

TEST_F(GdiImage, NewImageFormDataKeepsTheDibFormat) {
    BITMAPINFO info{{40, 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    unsigned char bits[24] = {1, 2, 3};  // bottom-left pixel
    CGdiImage image;
    ASSERT_EQ(1, image.NewImageFormData(&info, bits));
    EXPECT_EQ(PixelFormat24bppRGB, image.GetImage()->GetPixelFormat());
    EXPECT_EQ(Color(255, 3, 2, 1).GetValue(), PixelAt(image, 0, 1).GetValue());
}

TEST_F(GdiImage, NewImageFormRESLoadsRegisteredResourcesAndFreesTheBlock) {
    HMODULE module = reinterpret_cast<HMODULE>(0x5150);
    const auto bytes = EncodeBytes(codecs::Format::Png, MakePicture(5, 4, 8, true));
    ASSERT_TRUE(RegisterResourceW(module, MAKEINTRESOURCEW(101), L"PNG", bytes.data(),
                                  static_cast<DWORD>(bytes.size())));
    const int globals = platform::LiveGlobalBlocks();
    CGdiImage image;
    EXPECT_EQ(1, image.NewImageFormRES(module, 101, L"PNG"));
    EXPECT_EQ(5ul, image.GetImageWidth());
    EXPECT_EQ(globals, platform::LiveGlobalBlocks());
    EXPECT_EQ(0, image.NewImageFormRES(module, 102, L"PNG"));
    EXPECT_EQ(0, image.NewImageFormRES(module, 101, L"GIF"));

    image.DelImage();
    HeapProbe probe;
    const int clean = ForEachFailingHeapAllocation(
        probe, [&] { image.NewImageFormRES(module, 101, L"PNG"); },
        [&](int n) {
            EXPECT_EQ(globals, platform::LiveGlobalBlocks()) << n;
            // Before the copy begins a failure keeps the image; after, it may leave none.
            EXPECT_TRUE(image.GetImage() == nullptr || image.GetImageWidth() == 5ul) << n;
            image.DelImage();
            EXPECT_EQ(0, probe.LiveBlocks()) << n;
        });
    EXPECT_GT(clean, 2);
    image.DelImage();
    EXPECT_EQ(0, probe.LiveBlocks());
    UnregisterResourceW(module, MAKEINTRESOURCEW(101), L"PNG");
}

TEST_F(GdiImage, GetEncoderClsidMatchesMimeTypesExactly) {
    CGdiImage image;
    CLSID clsid{};
    EXPECT_EQ(1, image.GetEncoderClsid(L"image/jpeg", &clsid));
    EXPECT_EQ(0x557CF401u, clsid.Data1);
    EXPECT_EQ(4, image.GetEncoderClsid(L"image/png", &clsid));
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/JPEG", &clsid));
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/jpe", &clsid));
    HeapProbe probe;
    probe.FailAllocation(1);
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/jpeg", &clsid));
}

TEST_F(GdiImage, SaveJpgWritesTheFileAndItsThumbnail) {
    CGdiImage image;
    EXPECT_EQ(0, image.SaveJpg(Wide(dir_.File("empty.jpg")), 50));
    ASSERT_EQ(1, image.NewImageFormFile(Wide(WriteFile(
                     "p.png", EncodeBytes(codecs::Format::Png, MakePicture(300, 200, 24))))));
    EXPECT_EQ(0, image.SaveJpg(nullptr, 50));

    const std::string target = dir_.File("saved.jpg");
    ASSERT_EQ(1, image.SaveJpg(Wide(target), 50));
    codecs::DecodedImage saved;
    ASSERT_EQ(codecs::Result::Ok, codecs::DecodeFile(target.c_str(), saved));
    EXPECT_EQ(codecs::Format::Jpeg, saved.format);
    EXPECT_EQ(300, saved.width);
    const std::string thumbnail = service::ThumbnailPath(service::FileUri(target));
    EXPECT_EQ(0, thumbnail.rfind(dir_.File("cache/thumbnails/normal/"), 0));
    struct stat info;
    EXPECT_EQ(0, ::stat(thumbnail.c_str(), &info));

    const std::string higher = dir_.File("higher.jpg");
    ASSERT_EQ(1, image.SaveJpg(Wide(higher), 95));
    struct stat low, high;
    ::stat(target.c_str(), &low);
    ::stat(higher.c_str(), &high);
    EXPECT_LT(low.st_size, high.st_size);

    EXPECT_EQ(0, image.SaveJpg(Wide(dir_.File("q.jpg")), 101));
    EXPECT_EQ(InvalidParameter, image.GetImage()->GetLastStatus());
    EXPECT_EQ(0, image.SaveJpg(Wide(dir_.File("q.jpg")), -1));
    EXPECT_NE(0, ::stat(dir_.File("q.jpg").c_str(), &info));
    EXPECT_EQ(0, image.SaveJpg(L"/nonexistent/folder/x.jpg", 50));
    EXPECT_EQ(Win32Error, image.GetImage()->GetLastStatus());
}

TEST_F(GdiImage, FailingAllocationsInACopyLeaveTheObjectEmptyAndNothingBehind) {
    const std::string path =
        WriteFile("f.gif", EncodeBytes(codecs::Format::Gif, MakePicture(6, 5, 8)));
    HeapProbe probe;
    CGdiImage image;
    ForEachFailingHeapAllocation(
        probe,
        [&] {
            image.DelImage();
            image.NewImageFormFile(Wide(path));
        },
        [&](int n) {
            image.DelImage();
            EXPECT_EQ(0, probe.LiveBlocks()) << n;
        });
    EXPECT_EQ(6ul, image.GetImageWidth());
    image.DelImage();
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(GdiImageWithoutGdiplus, EveryLoadFailsCleanly) {
    TempDir dir;
    const std::string path =
        dir.Write("x.bmp", AsString(EncodeBytes(codecs::Format::Bmp, MakePicture(2, 2, 24))));
    CGdiImage image(Utf8ToWide(path.c_str()));
    EXPECT_EQ(nullptr, image.GetImage());
    EXPECT_EQ(0, image.NewImageFormFile(Utf8ToWide(path.c_str())));
    EXPECT_EQ(0, image.NewImageFormImage(nullptr, 2, 2));
    CLSID clsid;
    EXPECT_EQ(-1, image.GetEncoderClsid(L"image/jpeg", &clsid));
}

}  // namespace
}  // namespace imgdesk::test
