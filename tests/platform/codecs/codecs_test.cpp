#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/codecs/Codecs.h"
#include "support/HeapProbe.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using codecs::Format;
using codecs::Result;

void ExpectSamePixels(const codecs::Dib& expected, const codecs::Dib& actual, int tolerance = 0) {
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            unsigned char want[4], got[4];
            PixelOf(expected, x, y, want);
            PixelOf(actual, x, y, got);
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(want[c], got[c], tolerance)
                    << "pixel " << x << "," << y << " channel " << c;
        }
    }
}

struct LosslessCase {
    Format format;
    int bitCount;
    bool grey;
    bool alpha;
    int decodedBits;  // the bit depth the platform reports for such a file
};

class Lossless : public ::testing::TestWithParam<LosslessCase> {};

// Every lossless format keeps palette, grey, colour and alpha pictures exactly, with the bit depth
// the platform reports.
TEST_P(Lossless, RoundTripKeepsPixelsAndDepth) {
    const LosslessCase c = GetParam();
    HeapProbe probe;
    {
        codecs::Dib picture = MakePicture(13, 7, c.bitCount, c.grey, c.alpha);
        const std::vector<unsigned char> bytes = EncodeBytes(c.format, picture);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(c.format, codecs::DetectFormat(bytes.data(), bytes.size()));
        codecs::DecodedImage decoded;
        ASSERT_EQ(Result::Ok, codecs::Decode(bytes.data(), bytes.size(), decoded));
        EXPECT_EQ(c.format, decoded.format);
        EXPECT_EQ(c.decodedBits, decoded.bitCount);
        EXPECT_EQ(c.alpha, decoded.hasAlpha);
        if (c.grey) {
            EXPECT_TRUE(codecs::IsGreyPalette(decoded.palette, 256));
        }
        ExpectSamePixels(picture, decoded);
    }
    EXPECT_EQ(0, probe.LiveBlocks());
}

INSTANTIATE_TEST_SUITE_P(Formats, Lossless,
                         ::testing::Values(LosslessCase{Format::Png, 8, false, false, 8},
                                           LosslessCase{Format::Png, 8, true, false, 8},
                                           LosslessCase{Format::Png, 24, false, false, 24},
                                           LosslessCase{Format::Png, 32, false, true, 32},
                                           LosslessCase{Format::Bmp, 8, false, false, 8},
                                           LosslessCase{Format::Bmp, 24, false, false, 24},
                                           LosslessCase{Format::Bmp, 32, false, false, 32},
                                           LosslessCase{Format::Tiff, 8, false, false, 8},
                                           LosslessCase{Format::Tiff, 8, true, false, 8},
                                           LosslessCase{Format::Tiff, 24, false, false, 24},
                                           LosslessCase{Format::Tiff, 32, false, true, 32},
                                           LosslessCase{Format::Gif, 8, false, false, 8},
                                           LosslessCase{Format::Gif, 8, true, false, 8}));

TEST(Jpeg, ColourIs24BitsGreyIs8WithGreyPaletteAndQualityMatters) {
    codecs::Dib colour = MakePicture(40, 24, 24);
    codecs::DecodedImage decoded;
    const auto best = EncodeBytes(Format::Jpeg, colour, 100);
    ASSERT_EQ(Result::Ok, codecs::Decode(best.data(), best.size(), decoded));
    EXPECT_EQ(24, decoded.bitCount);
    EXPECT_EQ(Format::Jpeg, decoded.format);
    EXPECT_EQ(1, decoded.orientation);

    const auto worst = EncodeBytes(Format::Jpeg, colour, 0);
    EXPECT_LT(worst.size(), best.size());

    codecs::Dib grey = MakePicture(16, 16, 8, true);
    for (int y = 0; y < 16; ++y)
        std::memset(grey.Row(y), 100 + y, 16);  // smooth, so JPEG keeps it
    const auto greyBytes = EncodeBytes(Format::Jpeg, grey, 100);
    ASSERT_EQ(Result::Ok, codecs::Decode(greyBytes.data(), greyBytes.size(), decoded));
    EXPECT_EQ(8, decoded.bitCount);
    EXPECT_TRUE(codecs::IsGreyPalette(decoded.palette, 256));
    ExpectSamePixels(grey, decoded, 2);

    // Out-of-range quality is refused rather than clamped.
    std::vector<unsigned char> out;
    codecs::EncodeOptions options;
    options.quality = 101;
    EXPECT_EQ(Result::InvalidArgument,
              codecs::Encode(Format::Jpeg, codecs::DibView::Of(colour), options, out));
}

TEST(Jpeg, ExifOrientationIsReportedAndPixelsStayAsStored) {
    const auto bytes = JpegWithOrientation(32, 16, 6);
    codecs::DecodedImage decoded;
    ASSERT_EQ(Result::Ok, codecs::Decode(bytes.data(), bytes.size(), decoded));
    EXPECT_EQ(6, decoded.orientation);
    EXPECT_EQ(32, decoded.width);
    EXPECT_EQ(16, decoded.height);
    unsigned char topLeft[4], bottomRight[4];
    PixelOf(decoded, 2, 2, topLeft);
    PixelOf(decoded, 29, 13, bottomRight);
    EXPECT_GT(topLeft[2], 200);  // red, top-left as written
    EXPECT_LT(topLeft[1], 60);
    EXPECT_GT(bottomRight[1], 200);
}

TEST(Codecs, ResolutionTravelsWithTheFile) {
    codecs::Dib picture = MakePicture(8, 8, 24);
    picture.dpiX = 300;
    picture.dpiY = 150;
    for (Format format : {Format::Png, Format::Jpeg, Format::Bmp, Format::Tiff}) {
        const auto bytes = EncodeBytes(format, picture);
        codecs::DecodedImage decoded;
        ASSERT_EQ(Result::Ok, codecs::Decode(bytes.data(), bytes.size(), decoded));
        EXPECT_NEAR(300, decoded.dpiX, 0.1) << static_cast<int>(format);
        EXPECT_NEAR(150, decoded.dpiY, 0.1) << static_cast<int>(format);
    }
}

TEST(Gif, TransparentColourGivesAlphaAndColourPicturesAreQuantised) {
    // Two colours only: the quantiser must keep them exactly.
    codecs::Dib picture;
    codecs::AllocateDib(picture, 10, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x) {
            unsigned char* p = picture.Row(y) + 3 * x;
            p[0] = x < 5 ? 200 : 10;
            p[1] = 40;
            p[2] = x < 5 ? 0 : 250;
        }
    const auto bytes = EncodeBytes(Format::Gif, picture);
    codecs::DecodedImage decoded;
    ASSERT_EQ(Result::Ok, codecs::Decode(bytes.data(), bytes.size(), decoded));
    EXPECT_EQ(8, decoded.bitCount);
    ExpectSamePixels(picture, decoded, 4);

    // The same file with a graphics control block naming index of pixel (0,0) transparent.
    std::vector<unsigned char> withAlpha(bytes.begin(),
                                         bytes.begin() + 13 + 3 * (1 << ((bytes[10] & 7) + 1)));
    const unsigned char transparent = decoded.Row(decoded.height - 1)[0];
    const unsigned char control[] = {0x21, 0xF9, 4, 1, 0, 0, transparent, 0};
    withAlpha.insert(withAlpha.end(), control, control + sizeof(control));
    withAlpha.insert(withAlpha.end(),
                     bytes.begin() + static_cast<long>(withAlpha.size()) - sizeof(control),
                     bytes.end());
    codecs::DecodedImage alpha;
    ASSERT_EQ(Result::Ok, codecs::Decode(withAlpha.data(), withAlpha.size(), alpha));
    EXPECT_EQ(32, alpha.bitCount);
    EXPECT_TRUE(alpha.hasAlpha);
    unsigned char left[4], right[4];
    PixelOf(alpha, 0, 0, left);
    PixelOf(alpha, 9, 0, right);
    EXPECT_EQ(0, left[3]);
    EXPECT_EQ(255, right[3]);
}

TEST(Bmp, TopDownSixteenBitAndRleFilesDecode) {
    // A 2 x 2 top-down 16-bit (5-5-5) file: white, red / green, blue.
    std::vector<unsigned char> file(14 + 40 + 8);
    BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 54};
    BITMAPINFOHEADER info{40, 2, -2, 1, 16, 0, 8, 0, 0, 0, 0};
    std::memcpy(file.data(), &header, 14);
    std::memcpy(file.data() + 14, &info, 40);
    const unsigned short pixels[] = {0x7FFF, 0x7C00, 0x03E0, 0x001F};
    std::memcpy(file.data() + 54, pixels, 8);
    codecs::DecodedImage decoded;
    ASSERT_EQ(Result::Ok, codecs::Decode(file.data(), file.size(), decoded));
    EXPECT_EQ(32, decoded.bitCount);
    EXPECT_FALSE(decoded.hasAlpha);
    unsigned char p[4];
    PixelOf(decoded, 1, 0, p);
    EXPECT_EQ((std::vector<int>{0, 0, 255, 255}), (std::vector<int>{p[0], p[1], p[2], p[3]}));
    PixelOf(decoded, 0, 1, p);
    EXPECT_EQ((std::vector<int>{0, 255, 0}), (std::vector<int>{p[0], p[1], p[2]}));

    // RLE8: a 4 x 2 picture, bottom row "3 x index 1, then index 2", top row absolute 2,1,2,1.
    const unsigned char rle[] = {3, 1, 1, 2, 0, 0, 0, 4, 2, 1, 2, 1, 0, 1};
    std::vector<unsigned char> rleFile(14 + 40 + 8 + sizeof(rle));
    BITMAPFILEHEADER rleHeader{0x4D42, static_cast<DWORD>(rleFile.size()), 0, 0, 62};
    BITMAPINFOHEADER rleInfo{40, 4, 2, 1, 8, 1, sizeof(rle), 0, 0, 2, 0};
    const RGBQUAD palette[2] = {{0, 0, 0, 0}, {9, 9, 9, 0}};
    std::memcpy(rleFile.data(), &rleHeader, 14);
    std::memcpy(rleFile.data() + 14, &rleInfo, 40);
    std::memcpy(rleFile.data() + 54, palette, 8);
    std::memcpy(rleFile.data() + 62, rle, sizeof(rle));
    ASSERT_EQ(Result::Ok, codecs::Decode(rleFile.data(), rleFile.size(), decoded));
    EXPECT_EQ(8, decoded.bitCount);
    EXPECT_EQ(0, std::memcmp(decoded.Row(0), "\x01\x01\x01\x02", 4));
    EXPECT_EQ(0, std::memcmp(decoded.Row(1), "\x02\x01\x02\x01", 4));
}

// --- Bad input
// ------------------------------------------------------------------------------------

std::vector<std::vector<unsigned char>> SampleFiles() {
    return {EncodeBytes(Format::Png, MakePicture(9, 5, 24)),
            EncodeBytes(Format::Png, MakePicture(9, 5, 8)),
            EncodeBytes(Format::Jpeg, MakePicture(9, 5, 24)),
            EncodeBytes(Format::Bmp, MakePicture(9, 5, 8)),
            EncodeBytes(Format::Tiff, MakePicture(9, 5, 32, false, true)),
            EncodeBytes(Format::Gif, MakePicture(9, 5, 8))};
}

TEST(BadInput, EmptyAndUnknownBytesAreRefused) {
    codecs::DecodedImage decoded;
    EXPECT_EQ(Result::UnknownFormat, codecs::Decode(nullptr, 0, decoded));
    const unsigned char junk[] = "not a picture";
    EXPECT_EQ(Result::UnknownFormat, codecs::Decode(junk, sizeof(junk), decoded));
    EXPECT_EQ(nullptr, decoded.pixels);
}

// Every prefix of every sample file either decodes or fails cleanly: no crash, no block left.
TEST(BadInput, TruncatedFilesFailCleanly) {
    HeapProbe probe;
    for (const auto& file : SampleFiles()) {
        ASSERT_FALSE(file.empty());
        for (std::size_t length = 0; length < file.size(); ++length) {
            codecs::DecodedImage decoded;
            const Result result = codecs::Decode(file.data(), length, decoded);
            if (result != Result::Ok) {
                EXPECT_EQ(nullptr, decoded.pixels);
            }
        }
        // Cut well inside the pixel data: always a failure, never a half-grey picture.
        codecs::DecodedImage decoded;
        EXPECT_NE(Result::Ok, codecs::Decode(file.data(), file.size() * 2 / 3, decoded))
            << static_cast<int>(codecs::DetectFormat(file.data(), file.size()));
    }
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(BadInput, CorruptBytesNeverCrash) {
    HeapProbe probe;
    for (const auto& original : SampleFiles()) {
        for (std::size_t at = 0; at < original.size(); at += 3) {
            std::vector<unsigned char> file = original;
            file[at] ^= 0xA5;
            codecs::DecodedImage decoded;
            codecs::Decode(file.data(), file.size(), decoded);
        }
    }
    EXPECT_EQ(0, probe.LiveBlocks());
}

// Headers that promise more pixel memory than 32-bit sizes allow are refused before allocating.
TEST(BadInput, HugeAndZeroSizedPicturesAreRefused) {
    codecs::DecodedImage decoded;
    // BMP: 70000 x 70000 at 32 bits.
    std::vector<unsigned char> bmp(14 + 40 + 16);
    BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(bmp.size()), 0, 0, 54};
    BITMAPINFOHEADER info{40, 70000, 70000, 1, 32, 0, 0, 0, 0, 0, 0};
    std::memcpy(bmp.data(), &header, 14);
    std::memcpy(bmp.data() + 14, &info, 40);
    EXPECT_NE(Result::Ok, codecs::Decode(bmp.data(), bmp.size(), decoded));
    info.biWidth = 0;
    std::memcpy(bmp.data() + 14, &info, 40);
    EXPECT_EQ(Result::Corrupt, codecs::Decode(bmp.data(), bmp.size(), decoded));

    // GIF: a 65535 x 65535 logical screen with a 1 x 1 frame.
    const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0,
                                 0,   0,   0,   0,   255, 255, 255,  0x2C, 0,    0,    0,    0,
                                 1,   0,   1,   0,   0,   2,   2,    0x44, 1,    0,    0x3B};
    EXPECT_EQ(Result::TooLarge, codecs::Decode(gif, sizeof(gif), decoded));

    // JPEG, PNG and TIFF of 60000 x 60000: re-sized headers of small real files.
    auto jpeg = EncodeBytes(Format::Jpeg, MakePicture(8, 8, 24));
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
            jpeg[i + 5] = 0xEA;
            jpeg[i + 6] = 0x60;
            jpeg[i + 7] = 0xEA;
            jpeg[i + 8] = 0x60;
            break;
        }
    }
    EXPECT_EQ(Result::TooLarge, codecs::Decode(jpeg.data(), jpeg.size(), decoded));

    const auto png = EncodeBytes(Format::Png, MakePicture(40, 40, 24));
    const auto tiff = EncodeBytes(Format::Tiff, MakePicture(40, 40, 24));
    codecs::SetMaxPixelBytes(1000);  // small limit: the TIFF and PNG checks without huge headers
    EXPECT_EQ(Result::TooLarge, codecs::Decode(png.data(), png.size(), decoded));
    EXPECT_EQ(Result::TooLarge, codecs::Decode(tiff.data(), tiff.size(), decoded));
    codecs::SetMaxPixelBytes(0x7FFFFFFF);
    EXPECT_EQ(Result::Ok, codecs::Decode(png.data(), png.size(), decoded));

    codecs::Dib dib;
    EXPECT_EQ(Result::TooLarge, codecs::AllocateDib(dib, 50000, 50000, 32));
    EXPECT_EQ(Result::TooLarge, codecs::AllocateDib(dib, 0, 10, 32));
}

TEST(BadInput, FailingAllocationsLeaveNothingBehind) {
    HeapProbe probe;
    for (const auto& file : SampleFiles()) {
        const int clean = ForEachFailingHeapAllocation(
            probe,
            [&] {
                codecs::DecodedImage decoded;
                codecs::Decode(file.data(), file.size(), decoded);
            },
            [&](int n) { EXPECT_EQ(0, probe.LiveBlocks()) << "failing allocation " << n; });
        EXPECT_GT(clean, 0);
        codecs::DecodedImage decoded;
        EXPECT_EQ(Result::Ok, codecs::Decode(file.data(), file.size(), decoded));
    }
}

TEST(Files, MissingUnreadableAndWrittenFiles) {
    codecs::DecodedImage decoded;
    EXPECT_EQ(Result::NotFound, codecs::DecodeFile("/nonexistent/folder/picture.png", decoded));
    EXPECT_EQ(Result::ReadError, codecs::DecodeFile("/", decoded));
    const codecs::Dib picture = MakePicture(5, 3, 24);
    const std::string path = ::testing::TempDir() + "codecs_file_test.bmp";
    ASSERT_EQ(Result::Ok,
              codecs::EncodeFile(Format::Bmp, codecs::DibView::Of(picture), {}, path.c_str()));
    ASSERT_EQ(Result::Ok, codecs::DecodeFile(path.c_str(), decoded));
    ExpectSamePixels(picture, decoded);
    std::remove(path.c_str());
    EXPECT_EQ(Result::WriteError, codecs::EncodeFile(Format::Bmp, codecs::DibView::Of(picture), {},
                                                     "/nonexistent/folder/x.bmp"));
}

TEST(Resample, AveragesWhenShrinkingAndKeepsFlatColour) {
    codecs::Dib picture;
    codecs::AllocateDib(picture, 4, 2, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            picture.Row(y)[3 * x] = x < 2 ? 0 : 200;
    codecs::Dib half;
    ASSERT_EQ(Result::Ok, codecs::ResampleBgra(codecs::DibView::Of(picture), 2, 1, half));
    unsigned char left[4], right[4];
    PixelOf(half, 0, 0, left);
    PixelOf(half, 1, 0, right);
    EXPECT_LT(left[0], right[0]);
    EXPECT_EQ(255, left[3]);

    codecs::Dib flat;
    codecs::AllocateDib(flat, 7, 5, 32);
    flat.hasAlpha = true;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            std::memcpy(flat.Row(y) + 4 * x, "\x10\x20\x30\x80", 4);
    codecs::Dib big;
    ASSERT_EQ(Result::Ok, codecs::ResampleBgra(codecs::DibView::Of(flat), 20, 3, big));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(0, std::memcmp(big.Row(y) + 4 * x, "\x10\x20\x30\x80", 4));
}

}  // namespace
}  // namespace imgdesk::test
