#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/com/ObjBase.h"
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

    static ARGB At(Bitmap& bitmap, int x, int y) {
        Color c;
        bitmap.GetPixel(x, y, &c);
        return c.GetValue();
    }
    ULONG_PTR token_ = 0;
};

// A stream that owns a movable global block holding the bytes; null when any step fails.
IStream* StreamOver(const std::vector<unsigned char>& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block)
        return nullptr;
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK)
        GlobalFree(block);
    return stream;
}

TEST(GdiplusStartup, CountsInstances) {
    EXPECT_EQ(GdiplusNotInitialized, Bitmap(4, 4).GetLastStatus());
    UINT count = 9, size = 9;
    EXPECT_EQ(GdiplusNotInitialized, GetImageEncodersSize(&count, &size));
    EXPECT_EQ(0u, size);
    ULONG_PTR first = 0, second = 0;
    GdiplusStartupInput input;
    ASSERT_EQ(Ok, GdiplusStartup(&first, &input, nullptr));
    ASSERT_EQ(Ok, GdiplusStartup(&second, &input, nullptr));
    GdiplusShutdown(first);
    EXPECT_EQ(Ok, Bitmap(4, 4).GetLastStatus());  // the second instance still runs
    GdiplusShutdown(second);
    EXPECT_EQ(GdiplusNotInitialized, Bitmap(4, 4).GetLastStatus());
}

TEST_F(GdiplusSession, BitmapsFromSizesAndDibs) {
    Bitmap blank(3, 2);
    EXPECT_EQ(PixelFormat32bppARGB, blank.GetPixelFormat());
    EXPECT_EQ(0u, At(blank, 2, 1));  // transparent black
    Color colour;
    EXPECT_EQ(InvalidParameter, blank.GetPixel(3, 0, &colour));
    EXPECT_EQ(InvalidParameter, Bitmap(0, 5).GetLastStatus());
    EXPECT_EQ(InvalidParameter, Bitmap(60000, 60000).GetLastStatus());  // pixel memory past 2^31

    // An 8-bit top-down DIB with a two-entry colour table; the caller's bits are copied.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{{40, 2, -2, 1, 8, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 255, 0}, {255, 0, 0, 0}}};
    unsigned char bits[8] = {0, 1, 0, 0, 1, 1, 0, 0};
    Bitmap indexed(reinterpret_cast<BITMAPINFO*>(&info), bits);
    std::memset(bits, 0, sizeof(bits));
    EXPECT_EQ(PixelFormat8bppIndexed, indexed.GetPixelFormat());
    EXPECT_EQ(Color::MakeARGB(255, 0, 0, 255), At(indexed, 1, 0));
    EXPECT_EQ(Color::MakeARGB(255, 255, 0, 0), At(indexed, 0, 0));
    EXPECT_EQ(OutOfMemory, Graphics(&indexed).GetLastStatus());  // indexed images take none
    BITMAPINFO bad{{40, 2, 2, 1, 12, BI_RGB, 0, 0, 0, 0, 0}, {}};
    EXPECT_EQ(InvalidParameter, Bitmap(&bad, bits).GetLastStatus());
    EXPECT_EQ(InvalidParameter, Bitmap(nullptr, bits).GetLastStatus());
}

TEST_F(GdiplusSession, DrawImageBlendsStraightAlpha) {
    // Half-transparent red over opaque blue gives the mean; over transparent, red itself.
    Bitmap red(2, 1), target(2, 1);
    red.SetPixel(0, 0, Color(128, 255, 0, 0));
    red.SetPixel(1, 0, Color(128, 255, 0, 0));
    target.SetPixel(0, 0, Color(255, 0, 0, 255));
    ASSERT_EQ(Ok, Graphics(&target).DrawImage(&red, 0, 0));
    Color c;
    target.GetPixel(0, 0, &c);
    EXPECT_NEAR(128, c.GetR(), 1);
    EXPECT_NEAR(127, c.GetB(), 1);
    EXPECT_EQ(255, c.GetA());
    EXPECT_EQ(Color(128, 255, 0, 0).GetValue(), At(target, 1, 0));
}

// The encoders come in the platform's order; a save records a refused quality until it is read.
TEST_F(GdiplusSession, EncodersInPlatformOrderAndSaveRecordsStatusUntilRead) {
    UINT count = 0, size = 0;
    ASSERT_EQ(Ok, GetImageEncodersSize(&count, &size));
    ASSERT_EQ(5u, count);
    std::vector<unsigned char> block(size);
    auto* list = reinterpret_cast<ImageCodecInfo*>(block.data());
    EXPECT_NE(Ok, GetImageEncoders(count, size - 1, list));
    ASSERT_EQ(Ok, GetImageEncoders(count, size, list));
    const wchar_t* mimes[] = {L"image/bmp", L"image/jpeg", L"image/gif", L"image/tiff",
                              L"image/png"};
    for (UINT i = 0; i < count; ++i)
        EXPECT_STREQ(mimes[i], list[i].MimeType);

    Bitmap bitmap(8, 8);
    ULONG quality = 101;
    EncoderParameters parameters{1, {{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality}}};
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    EXPECT_EQ(InvalidParameter, bitmap.Save(stream, &list[1].Clsid, &parameters));
    EXPECT_EQ(InvalidParameter, bitmap.GetLastStatus());
    EXPECT_EQ(Ok, bitmap.GetLastStatus());
    quality = 80;
    ASSERT_EQ(Ok, bitmap.Save(stream, &list[1].Clsid, &parameters));
    LARGE_INTEGER start;
    start.QuadPart = 0;
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    Image reloaded(stream);
    stream->Release();
    GUID format;
    reloaded.GetRawFormat(&format);
    EXPECT_EQ(ImageFormatJPEG, format);
    EXPECT_EQ(8u, reloaded.GetWidth());
}

// A stream reads and grows its block; the block is freed once, by the stream only if it owns it.
TEST(GlobalMemory, StreamsReadAndGrowTheirBlockAndFreeItOnlyWhenOwned) {
    const int before = platform::LiveGlobalBlocks();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(block), "abcd", 4);
    EXPECT_FALSE(GlobalUnlock(block));
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(block, FALSE, &stream));
    char text[8] = {};
    ULONG read = 0;
    EXPECT_EQ(S_FALSE, stream->Read(text, 8, &read));
    EXPECT_EQ(4u, read);
    EXPECT_EQ(S_OK, stream->Write("efgh", 4, nullptr));
    EXPECT_EQ(8u, GlobalSize(block));
    EXPECT_EQ(0u, stream->Release());
    EXPECT_EQ(nullptr, GlobalFree(block));
    EXPECT_EQ(block, GlobalFree(block));  // a second free is refused
    EXPECT_EQ(before, platform::LiveGlobalBlocks());
}

TEST_F(GdiplusSession, FailingHeapAllocationsLeaveNothingBehind) {
    const auto bytes = EncodeBytes(codecs::Format::Png, MakePicture(9, 7, 32, false, true));
    HeapProbe probe;
    const int globals = platform::LiveGlobalBlocks();
    ForEachFailingHeapAllocation(
        probe,
        [&] {
            IStream* stream = StreamOver(bytes);
            if (!stream)
                return;
            Image* image = new Image(stream);  // the objects themselves come from the heap too
            stream->Release();
            Bitmap* copy = image ? new Bitmap(9, 7) : nullptr;
            if (copy)
                Graphics(copy).DrawImage(image, RectF(0, 0, 4, 3));
            delete copy;
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
