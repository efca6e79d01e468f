#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/com/ObjBase.h"
#include "platform/com/Resources.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdiplus/GdiPlus.h"
#include "support/HeapProbe.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using namespace Gdiplus;

class GdiplusSession : public ::testing::Test {
protected:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(Ok, GdiplusStartup(&token_, &input, nullptr));
    }
    void TearDown() override { GdiplusShutdown(token_); }
    ULONG_PTR token_ = 0;
};

IStream* StreamOver(const std::vector<unsigned char>& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(block, TRUE, &stream));
    return stream;
}

TEST(Startup, CallsBeforeStartupAndAfterShutdownFail) {
    Bitmap early(4, 4);
    EXPECT_EQ(GdiplusNotInitialized, early.GetLastStatus());
    UINT count = 9, size = 9;
    EXPECT_EQ(GdiplusNotInitialized, GetImageEncodersSize(&count, &size));
    EXPECT_EQ(0u, size);

    ULONG_PTR first = 0, second = 0;
    GdiplusStartupInput input;
    ASSERT_EQ(Ok, GdiplusStartup(&first, &input, nullptr));
    ASSERT_EQ(Ok, GdiplusStartup(&second, &input, nullptr));
    GdiplusShutdown(first);
    Bitmap nested(4, 4);  // the second instance still runs
    EXPECT_EQ(Ok, nested.GetLastStatus());
    GdiplusShutdown(second);
    Bitmap late(4, 4);
    EXPECT_EQ(GdiplusNotInitialized, late.GetLastStatus());

    GdiplusStartupInput bad;
    bad.GdiplusVersion = 7;
    EXPECT_EQ(UnsupportedGdiplusVersion, GdiplusStartup(&first, &bad, nullptr));
    GdiplusStartupInput quiet(nullptr, TRUE);
    EXPECT_EQ(InvalidParameter, GdiplusStartup(&first, &quiet, nullptr));
}

TEST_F(GdiplusSession, EncodersComeInThePlatformOrderWithMimeTypes) {
    UINT count = 0, size = 0;
    ASSERT_EQ(Ok, GetImageEncodersSize(&count, &size));
    ASSERT_EQ(5u, count);
    std::vector<unsigned char> block(size);
    auto* list = reinterpret_cast<ImageCodecInfo*>(block.data());
    EXPECT_NE(Ok, GetImageEncoders(count, size - 1, list));
    ASSERT_EQ(Ok, GetImageEncoders(count, size, list));
    const wchar_t* mimes[] = {L"image/bmp", L"image/jpeg", L"image/gif", L"image/tiff",
                              L"image/png"};
    for (UINT i = 0; i < count; ++i) {
        EXPECT_STREQ(mimes[i], list[i].MimeType);
        // Strings live inside the block the caller gave.
        EXPECT_GE(reinterpret_cast<const unsigned char*>(list[i].MimeType), block.data());
        EXPECT_LT(reinterpret_cast<const unsigned char*>(list[i].MimeType), block.data() + size);
    }
    EXPECT_EQ(ImageFormatJPEG, list[1].FormatID);
    EXPECT_EQ(0, std::memcmp(list[1].SigPattern, "\xFF\xD8", 2));
}

TEST_F(GdiplusSession, BitmapsFromSizesAndDibs) {
    Bitmap blank(3, 2);
    ASSERT_EQ(Ok, blank.GetLastStatus());
    EXPECT_EQ(PixelFormat32bppARGB, blank.GetPixelFormat());
    Color colour;
    ASSERT_EQ(Ok, blank.GetPixel(2, 1, &colour));
    EXPECT_EQ(0u, colour.GetValue());  // transparent black
    EXPECT_EQ(InvalidParameter, blank.GetPixel(3, 0, &colour));

    EXPECT_EQ(InvalidParameter, Bitmap(0, 5).GetLastStatus());
    EXPECT_EQ(InvalidParameter, Bitmap(60000, 60000).GetLastStatus());  // pixel memory past 2^31

    // An 8-bit DIB with a two-entry colour table, top-down; the caller's bits are copied.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{{40, 2, -2, 1, 8, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 255, 0}, {255, 0, 0, 0}}};
    unsigned char bits[8] = {0, 1, 0, 0, 1, 1, 0, 0};
    Bitmap indexed(reinterpret_cast<BITMAPINFO*>(&info), bits);
    ASSERT_EQ(Ok, indexed.GetLastStatus());
    std::memset(bits, 0, sizeof(bits));
    EXPECT_EQ(PixelFormat8bppIndexed, indexed.GetPixelFormat());
    indexed.GetPixel(1, 0, &colour);
    EXPECT_EQ(Color::MakeARGB(255, 0, 0, 255), colour.GetValue());  // entry 1: blue
    indexed.GetPixel(0, 0, &colour);
    EXPECT_EQ(Color::MakeARGB(255, 255, 0, 0), colour.GetValue());  // entry 0: red
    // Indexed images take no graphics object.
    Graphics refused(&indexed);
    EXPECT_EQ(OutOfMemory, refused.GetLastStatus());

    BITMAPINFO bad{{40, 2, 2, 1, 12, BI_RGB, 0, 0, 0, 0, 0}, {}};
    EXPECT_EQ(InvalidParameter, Bitmap(&bad, bits).GetLastStatus());
    EXPECT_EQ(InvalidParameter, Bitmap(nullptr, bits).GetLastStatus());
}

TEST_F(GdiplusSession, DrawImageCopiesScalesAndBlends) {
    codecs::Dib picture = MakePicture(6, 4, 24);
    const auto bytes = EncodeBytes(codecs::Format::Bmp, picture);
    IStream* stream = StreamOver(bytes);
    Image source(stream);
    stream->Release();
    ASSERT_EQ(Ok, source.GetLastStatus());
    EXPECT_EQ(PixelFormat24bppRGB, source.GetPixelFormat());

    Bitmap copy(6, 4);
    Graphics graphics(&copy);
    ASSERT_EQ(Ok, graphics.DrawImage(&source, RectF(0, 0, 6, 4)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            unsigned char want[4];
            PixelOf(picture, x, y, want);
            Color got;
            copy.GetPixel(x, y, &got);
            EXPECT_EQ(Color::MakeARGB(255, want[2], want[1], want[0]), got.GetValue())
                << x << "," << y;
        }

    // Half-transparent red over opaque blue gives the mean; over transparent, red itself.
    Bitmap red(2, 1), target(2, 1);
    red.SetPixel(0, 0, Color(128, 255, 0, 0));
    red.SetPixel(1, 0, Color(128, 255, 0, 0));
    target.SetPixel(0, 0, Color(255, 0, 0, 255));
    Graphics over(&target);
    ASSERT_EQ(Ok, over.DrawImage(&red, 0, 0));
    Color c;
    target.GetPixel(0, 0, &c);
    EXPECT_NEAR(128, c.GetR(), 1);
    EXPECT_NEAR(127, c.GetB(), 1);
    EXPECT_EQ(255, c.GetA());
    target.GetPixel(1, 0, &c);
    EXPECT_EQ(Color(128, 255, 0, 0).GetValue(), c.GetValue());

    // Scaling a flat picture keeps its colour everywhere.
    Bitmap flat(5, 5, PixelFormat24bppRGB);
    Graphics(&flat).Clear(Color(255, 10, 20, 30));
    Bitmap scaled(13, 2);
    Graphics(&scaled).DrawImage(&flat, RectF(0, 0, 13, 2));
    scaled.GetPixel(12, 1, &c);
    EXPECT_EQ(Color(255, 10, 20, 30).GetValue(), c.GetValue());
}

TEST_F(GdiplusSession, DeviceContextOfABitmapTakesBitBlt) {
    BITMAPINFO info{{40, 4, 3, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(nullptr, dib);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, dib);
    SetPixel(source, 0, 0, RGB(1, 2, 3));
    SetPixel(source, 3, 2, RGB(200, 100, 50));
    EXPECT_EQ(RGB(200, 100, 50), GetPixel(source, 3, 2));
    EXPECT_FALSE(DeleteObject(dib));  // still selected

    Bitmap bitmap(4, 3);
    Graphics graphics(&bitmap);
    HDC target = graphics.GetHDC();
    ASSERT_NE(nullptr, target);
    EXPECT_EQ(nullptr, graphics.GetHDC());
    EXPECT_EQ(ObjectBusy, graphics.GetLastStatus());
    EXPECT_TRUE(BitBlt(target, 0, 0, 4, 3, source, 0, 0, SRCCOPY));
    graphics.ReleaseHDC(target);
    Color c;
    bitmap.GetPixel(0, 0, &c);
    EXPECT_EQ(Color(255, 1, 2, 3).GetValue(), c.GetValue());  // GDI drawing is opaque
    bitmap.GetPixel(3, 2, &c);
    EXPECT_EQ(Color(255, 200, 100, 50).GetValue(), c.GetValue());

    SelectObject(source, old);
    EXPECT_TRUE(DeleteDC(source));
    EXPECT_TRUE(DeleteObject(dib));
}

TEST_F(GdiplusSession, SaveChecksQualityAndRecordsStatus) {
    Bitmap bitmap(8, 8);
    Graphics(&bitmap).Clear(Color(255, 90, 160, 20));
    UINT count = 0, size = 0;
    GetImageEncodersSize(&count, &size);
    std::vector<unsigned char> block(size);
    auto* list = reinterpret_cast<ImageCodecInfo*>(block.data());
    GetImageEncoders(count, size, list);
    ULONG quality = 101;
    EncoderParameters parameters{1, {{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality}}};
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    EXPECT_EQ(InvalidParameter, bitmap.Save(stream, &list[1].Clsid, &parameters));
    EXPECT_EQ(InvalidParameter, bitmap.GetLastStatus());
    EXPECT_EQ(Ok, bitmap.GetLastStatus());  // reading the status resets it
    quality = 80;
    ASSERT_EQ(Ok, bitmap.Save(stream, &list[1].Clsid, &parameters));

    LARGE_INTEGER start;
    start.QuadPart = 0;
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    Image reloaded(stream);
    stream->Release();
    ASSERT_EQ(Ok, reloaded.GetLastStatus());
    GUID format;
    reloaded.GetRawFormat(&format);
    EXPECT_EQ(ImageFormatJPEG, format);
    EXPECT_EQ(8u, reloaded.GetWidth());

    Image missing(L"/nonexistent/picture.png");
    EXPECT_EQ(FileNotFound, missing.GetLastStatus());
    EXPECT_EQ(0u, missing.GetWidth());
    EXPECT_EQ(InvalidParameter, missing.GetLastStatus());
}

TEST(GlobalMemory, HandlesStreamsAndResources) {
    const int before = platform::LiveGlobalBlocks();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(4u, GlobalSize(block));
    void* address = GlobalLock(block);
    EXPECT_NE(block, address);
    std::memcpy(address, "abcd", 4);
    EXPECT_FALSE(GlobalUnlock(block));

    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(block, FALSE, &stream));
    char text[8] = {};
    ULONG read = 0;
    EXPECT_EQ(S_FALSE, stream->Read(text, 8, &read));
    EXPECT_EQ(4u, read);
    EXPECT_STREQ("abcd", text);
    EXPECT_EQ(S_OK, stream->Write("efgh", 4, nullptr));  // grows the block
    STATSTG stat;
    stream->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(8u, stat.cbSize.QuadPart);
    EXPECT_EQ(0u, stream->Release());
    EXPECT_EQ(nullptr, GlobalFree(block));  // the stream did not own it
    EXPECT_EQ(block, GlobalFree(block));    // a second free is refused
    EXPECT_EQ(before, platform::LiveGlobalBlocks());

    HMODULE module = reinterpret_cast<HMODULE>(0x1000);
    ASSERT_TRUE(RegisterResourceW(module, MAKEINTRESOURCEW(7), L"Picture", "xyz", 3));
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(7), L"PICTURE");  // types ignore case
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(3u, SizeofResource(module, found));
    EXPECT_EQ(0, std::memcmp(LockResource(LoadResource(module, found)), "xyz", 3));
    EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(8), L"Picture"));
    EXPECT_EQ(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(7), L"Picture"));
    EXPECT_TRUE(UnregisterResourceW(module, MAKEINTRESOURCEW(7), L"Picture"));
    EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(7), L"Picture"));
}

TEST_F(GdiplusSession, FailingHeapAllocationsLeaveNothingBehind) {
    const auto bytes = EncodeBytes(codecs::Format::Png, MakePicture(9, 7, 32, false, true));
    HeapProbe probe;
    const int globals = platform::LiveGlobalBlocks();
    ForEachFailingHeapAllocation(
        probe,
        [&] {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
            if (!block)
                return;
            std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
            GlobalUnlock(block);
            IStream* stream = nullptr;
            if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
                GlobalFree(block);
                return;
            }
            Image* image = new Image(stream);
            stream->Release();
            if (!image)
                return;
            Bitmap* copy = new Bitmap(9, 7);
            if (copy) {
                Graphics(copy).DrawImage(image, RectF(0, 0, 4, 3));
                delete copy;
            }
            delete image;
        },
        [&](int n) {
            EXPECT_EQ(0, probe.LiveBlocks()) << n;
            EXPECT_EQ(globals, platform::LiveGlobalBlocks()) << n;
        });
    EXPECT_EQ(0, probe.LiveBlocks());
}

}  // namespace
}  // namespace imgdesk::test
