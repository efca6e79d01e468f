#include <gtest/gtest.h>

#include <cstring>

#include "platform/codecs/Codecs.h"
#include "support/HeapProbe.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using codecs::Format;
using codecs::Result;
using Bytes = std::vector<unsigned char>;

void ExpectSamePixels(const codecs::Dib& expected, const codecs::Dib& actual, int tolerance = 0) {
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            unsigned char want[4], got[4];
            PixelOf(expected, x, y, want);
            PixelOf(actual, x, y, got);
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(want[c], got[c], tolerance) << x << "," << y << " channel " << c;
        }
}

Result DecodeBytes(const Bytes& bytes, codecs::DecodedImage& decoded) {
    return codecs::Decode(bytes.data(), bytes.size(), decoded);
}

// A BMP file: the two headers, then colour table and pixels as payload.
Bytes BmpFile(BITMAPINFOHEADER info, const void* payload, std::size_t size) {
    Bytes file(14 + 40 + size);
    const BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(file.size()), 0, 0,
                                  static_cast<DWORD>(54 + 4 * info.biClrUsed)};
    std::memcpy(file.data(), &header, 14);
    std::memcpy(file.data() + 14, &info, 40);
    std::memcpy(file.data() + 54, payload, size);
    return file;
}

// Every lossless format keeps palette, grey, colour and alpha pictures exactly, with the bit depth
// the platform reports, and leaves no block behind.
TEST(Codecs, LosslessRoundTripsKeepPixelsAndDepth) {
    const struct {
        Format format;
        int bitCount;
        bool grey, alpha;
    } cases[] = {{Format::Png, 8, false, false},  {Format::Png, 8, true, false},
                 {Format::Png, 24, false, false}, {Format::Png, 32, false, true},
                 {Format::Bmp, 8, false, false},  {Format::Bmp, 24, false, false},
                 {Format::Bmp, 32, false, false}, {Format::Tiff, 8, false, false},
                 {Format::Tiff, 8, true, false},  {Format::Tiff, 24, false, false},
                 {Format::Tiff, 32, false, true}, {Format::Gif, 8, false, false},
                 {Format::Gif, 8, true, false}};
    HeapProbe probe;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.format) << " " << c.bitCount << " " << c.grey);
        const codecs::Dib picture = MakePicture(13, 7, c.bitCount, c.grey, c.alpha);
        const Bytes bytes = EncodeBytes(c.format, picture);
        EXPECT_EQ(c.format, codecs::DetectFormat(bytes.data(), bytes.size()));
        codecs::DecodedImage decoded;
        ASSERT_EQ(Result::Ok, DecodeBytes(bytes, decoded));
        EXPECT_EQ(c.format, decoded.format);
        EXPECT_EQ(c.bitCount, decoded.bitCount);
        EXPECT_EQ(c.alpha, decoded.hasAlpha);
        EXPECT_EQ(c.grey, c.grey && codecs::IsGreyPalette(decoded.palette, 256));
        ExpectSamePixels(picture, decoded);
    }
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(Codecs, JpegDepthsQualityOrientationAndResolution) {
    const codecs::Dib colour = MakePicture(40, 24, 24);
    codecs::DecodedImage decoded;
    const Bytes best = EncodeBytes(Format::Jpeg, colour, 100);
    ASSERT_EQ(Result::Ok, DecodeBytes(best, decoded));
    EXPECT_EQ(24, decoded.bitCount);
    EXPECT_EQ(1, decoded.orientation);
    EXPECT_LT(EncodeBytes(Format::Jpeg, colour, 0).size(), best.size());
    Bytes refused;
    codecs::EncodeOptions options;
    options.quality = 101;  // refused rather than clamped
    EXPECT_EQ(Result::InvalidArgument,
              codecs::Encode(Format::Jpeg, codecs::DibView::Of(colour), options, refused));

    codecs::Dib grey = MakePicture(16, 16, 8, true);
    for (int y = 0; y < 16; ++y)
        std::memset(grey.Row(y), 100 + y, 16);  // smooth, so JPEG keeps it
    ASSERT_EQ(Result::Ok, DecodeBytes(EncodeBytes(Format::Jpeg, grey, 100), decoded));
    EXPECT_EQ(8, decoded.bitCount);
    EXPECT_TRUE(codecs::IsGreyPalette(decoded.palette, 256));
    ExpectSamePixels(grey, decoded, 2);

    // The EXIF orientation is reported; the pixels stay as stored (red top-left quarter).
    ASSERT_EQ(Result::Ok, DecodeBytes(JpegWithOrientation(32, 16, 6), decoded));
    EXPECT_EQ(6, decoded.orientation);
    unsigned char topLeft[4], bottomRight[4];
    PixelOf(decoded, 2, 2, topLeft);
    PixelOf(decoded, 29, 13, bottomRight);
    EXPECT_TRUE(topLeft[2] > 200 && topLeft[1] < 60 && bottomRight[1] > 200);

    codecs::Dib dpi = MakePicture(8, 8, 24);
    dpi.dpiX = 300;
    dpi.dpiY = 150;
    for (Format format : {Format::Png, Format::Jpeg, Format::Bmp, Format::Tiff}) {
        ASSERT_EQ(Result::Ok, DecodeBytes(EncodeBytes(format, dpi), decoded));
        EXPECT_NEAR(300, decoded.dpiX, 0.1) << int(format);
        EXPECT_NEAR(150, decoded.dpiY, 0.1) << int(format);
    }
}

TEST(Codecs, GifQuantisesColourAndTransparentIndexGivesAlpha) {
    codecs::Dib picture;
    codecs::AllocateDib(picture, 10, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x)
            std::memcpy(picture.Row(y) + 3 * x, x < 5 ? "\xC8\x28\x00" : "\x0A\x28\xFA", 3);
    const Bytes bytes = EncodeBytes(Format::Gif, picture);
    codecs::DecodedImage decoded;
    ASSERT_EQ(Result::Ok, DecodeBytes(bytes, decoded));
    EXPECT_EQ(8, decoded.bitCount);
    ExpectSamePixels(picture, decoded, 4);

    // The same file with a graphics control block naming the index of pixel (0,0) transparent.
    const std::size_t tableEnd = 13 + 3 * (1 << ((bytes[10] & 7) + 1));
    Bytes withAlpha(bytes.begin(), bytes.begin() + static_cast<long>(tableEnd));
    const unsigned char control[] = {0x21, 0xF9, 4, 1, 0, 0, decoded.Row(3)[0], 0};
    withAlpha.insert(withAlpha.end(), control, control + sizeof(control));
    withAlpha.insert(withAlpha.end(), bytes.begin() + static_cast<long>(tableEnd), bytes.end());
    ASSERT_EQ(Result::Ok, DecodeBytes(withAlpha, decoded));
    EXPECT_EQ(32, decoded.bitCount);
    unsigned char left[4], right[4];
    PixelOf(decoded, 0, 0, left);
    PixelOf(decoded, 9, 0, right);
    EXPECT_EQ(0, left[3]);
    EXPECT_EQ(255, right[3]);
}

TEST(Codecs, BmpTopDownSixteenBitAndRle8Decode) {
    // 2 x 2 top-down 5-5-5: white, red / green, blue.
    const unsigned short pixels[] = {0x7FFF, 0x7C00, 0x03E0, 0x001F};
    codecs::DecodedImage decoded;
    ASSERT_EQ(Result::Ok,
              DecodeBytes(BmpFile({40, 2, -2, 1, 16, 0, 8, 0, 0, 0, 0}, pixels, 8), decoded));
    EXPECT_EQ(32, decoded.bitCount);
    EXPECT_FALSE(decoded.hasAlpha);
    unsigned char p[4];
    PixelOf(decoded, 1, 0, p);
    EXPECT_EQ(0, std::memcmp(p, "\x00\x00\xFF\xFF", 4));
    PixelOf(decoded, 0, 1, p);
    EXPECT_EQ(0, std::memcmp(p, "\x00\xFF\x00", 3));

    // RLE8, 4 x 2: bottom row "3 x index 1, then index 2", top row absolute 2,1,2,1.
    const unsigned char rle[] = {0, 0, 0, 0, 9, 9, 9, 0, 3, 1, 1, 2, 0, 0, 0, 4, 2, 1, 2, 1, 0, 1};
    ASSERT_EQ(Result::Ok,
              DecodeBytes(BmpFile({40, 4, 2, 1, 8, 1, 14, 0, 0, 2, 0}, rle, sizeof(rle)), decoded));
    EXPECT_EQ(8, decoded.bitCount);
    EXPECT_EQ(0, std::memcmp(decoded.Row(0), "\x01\x01\x01\x02", 4));
    EXPECT_EQ(0, std::memcmp(decoded.Row(1), "\x02\x01\x02\x01", 4));
}

// Every format: every prefix and many one-byte corruptions decode or fail cleanly, a cut well into
// the pixels always fails, and every failing allocation leaves no block behind.
TEST(Codecs, TruncatedCorruptAndStarvedFilesFailCleanly) {
    codecs::DecodedImage decoded;
    EXPECT_EQ(Result::UnknownFormat, codecs::Decode(nullptr, 0, decoded));
    EXPECT_EQ(Result::UnknownFormat,
              DecodeBytes({'n', 'o', 't', ' ', 'a', 'n', ' ', 'i'}, decoded));
    EXPECT_EQ(nullptr, decoded.pixels);

    HeapProbe probe;
    for (const Bytes& file : {EncodeBytes(Format::Png, MakePicture(9, 5, 24)),
                              EncodeBytes(Format::Png, MakePicture(9, 5, 8)),
                              EncodeBytes(Format::Jpeg, MakePicture(9, 5, 24)),
                              EncodeBytes(Format::Bmp, MakePicture(9, 5, 8)),
                              EncodeBytes(Format::Tiff, MakePicture(9, 5, 32, false, true)),
                              EncodeBytes(Format::Gif, MakePicture(9, 5, 8))}) {
        SCOPED_TRACE(int(codecs::DetectFormat(file.data(), file.size())));
        for (std::size_t length = 0; length < file.size(); ++length) {
            codecs::DecodedImage part;
            const Result result = codecs::Decode(file.data(), length, part);
            EXPECT_TRUE(result == Result::Ok || part.pixels == nullptr) << length;
        }
        EXPECT_NE(Result::Ok, codecs::Decode(file.data(), file.size() * 2 / 3, decoded));
        for (std::size_t at = 0; at < file.size(); at += 3) {
            Bytes corrupt = file;
            corrupt[at] ^= 0xA5;
            codecs::DecodedImage ignored;
            DecodeBytes(corrupt, ignored);
        }
        EXPECT_EQ(0, probe.LiveBlocks());
        const int clean = ForEachFailingHeapAllocation(
            probe,
            [&] {
                codecs::DecodedImage starved;
                DecodeBytes(file, starved);
            },
            [&](int n) { EXPECT_EQ(0, probe.LiveBlocks()) << "failing allocation " << n; });
        EXPECT_GT(clean, 0);
    }
}

// Headers that promise more pixel memory than 32-bit sizes allow are refused before allocating;
// zero sizes are refused too.
TEST(Codecs, OversizedAndZeroSizedPicturesAreRefused) {
    Bytes jpeg = EncodeBytes(Format::Jpeg, MakePicture(8, 8, 24));
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
            std::memcpy(&jpeg[i + 5], "\xEA\x60\xEA\x60", 4);  // 60000 x 60000
            break;
        }
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0,
                       0,   0,   0,   0,   255, 255, 255,  0x2C, 0,    0,    0,    0,
                       1,   0,   1,   0,   0,   2,   2,    0x44, 1,    0,    0x3B};  // 65535^2
    const unsigned char none[16] = {};
    const struct {
        const char* name;
        Bytes file;
        Result result;
        long long limit;
    } cases[] = {
        {"bmp rle 70000^2", BmpFile({40, 70000, 70000, 1, 8, 1, 16, 0, 0, 0, 0}, none, 16),
         Result::TooLarge, 0x7FFFFFFF},
        {"bmp width 0", BmpFile({40, 0, 70000, 1, 32, 0, 0, 0, 0, 0, 0}, none, 16), Result::Corrupt,
         0x7FFFFFFF},
        {"gif", gif, Result::TooLarge, 0x7FFFFFFF},
        {"jpeg", jpeg, Result::TooLarge, 0x7FFFFFFF},
        // PNG and TIFF against a small limit, without huge headers.
        {"png", EncodeBytes(Format::Png, MakePicture(40, 40, 24)), Result::TooLarge, 1000},
        {"tiff", EncodeBytes(Format::Tiff, MakePicture(40, 40, 24)), Result::TooLarge, 1000},
        {"png in limit", EncodeBytes(Format::Png, MakePicture(40, 40, 24)), Result::Ok, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        codecs::SetMaxPixelBytes(c.limit);
        codecs::DecodedImage decoded;
        EXPECT_EQ(c.result, DecodeBytes(c.file, decoded)) << c.name;
    }
    codecs::SetMaxPixelBytes(0x7FFFFFFF);
    codecs::Dib dib;
    EXPECT_EQ(Result::TooLarge, codecs::AllocateDib(dib, 50000, 50000, 32));
    EXPECT_EQ(Result::TooLarge, codecs::AllocateDib(dib, 0, 10, 32));
}

TEST(Codecs, FileErrorsAreNamed) {
    codecs::DecodedImage decoded;
    EXPECT_EQ(Result::NotFound, codecs::DecodeFile("/nonexistent/folder/picture.png", decoded));
    EXPECT_EQ(Result::ReadError, codecs::DecodeFile("/", decoded));
    const codecs::Dib picture = MakePicture(5, 3, 24);
    EXPECT_EQ(Result::WriteError, codecs::EncodeFile(Format::Bmp, codecs::DibView::Of(picture), {},
                                                     "/nonexistent/x.bmp"));
}

}  // namespace
}  // namespace imgdesk::test
