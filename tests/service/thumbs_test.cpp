#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "platform/codecs/Codecs.h"
#include "service/CoreKit.h"
#include "service/internal/ThumbnailNames.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

// The text chunks and size of a PNG file, read with libpng itself.
struct PngFacts {
    bool ok = false;
    int width = 0, height = 0, colourType = 0;
    std::map<std::string, std::string> text;
};

PngFacts ReadPng(const std::string& path) {
    PngFacts facts;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return facts;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        facts.width = static_cast<int>(png_get_image_width(png, info));
        facts.height = static_cast<int>(png_get_image_height(png, info));
        facts.colourType = png_get_color_type(png, info);
        png_textp texts = nullptr;
        const int count = png_get_text(png, info, &texts, nullptr);
        for (int i = 0; i < count; ++i)
            facts.text[texts[i].key] = texts[i].text;
        facts.ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return facts;
}

class Thumbs : public ::testing::Test {
protected:
    TempDir dir_;
    ScopedEnv cache_{"XDG_CACHE_HOME", dir_.File("cache")};
};

TEST_F(Thumbs, NamesFollowTheFreedesktopThumbnailRules) {
    // The freedesktop.org documentation's own example.
    EXPECT_EQ("file:///home/jens/photos/me.png", service::FileUri("/home/jens/photos/me.png"));
    EXPECT_EQ(dir_.File("cache") + "/thumbnails/normal/c6ee772d9e49320e97ec29a7eb5b1697.png",
              service::ThumbnailPath("file:///home/jens/photos/me.png"));
    EXPECT_EQ("file:///tmp/a%20b/%C3%A9t%C3%A9%23&=.jpg",
              service::FileUri("/tmp/./x/../a b//été#&=.jpg"));
}

TEST_F(Thumbs, WriteThumbMakesA128PixelPngWithUriAndMTime) {
    const std::string path = dir_.Write(
        "big photo.jpg", AsString(EncodeBytes(codecs::Format::Jpeg, MakePicture(400, 300, 24))));
    const CString written = CThumbs().WriteThumb(Utf8ToWide(path.c_str()));
    const std::string uri = service::FileUri(path);
    ASSERT_EQ(service::ThumbnailPath(uri), WideToUtf8(written));
    const PngFacts facts = ReadPng(WideToUtf8(written));
    ASSERT_TRUE(facts.ok);
    EXPECT_EQ(std::make_pair(128, 96), std::make_pair(facts.width, facts.height));
    EXPECT_EQ(PNG_COLOR_TYPE_RGB_ALPHA, facts.colourType);
    EXPECT_EQ(uri, facts.text.at("Thumb::URI"));
    EXPECT_EQ("image/jpeg", facts.text.at("Thumb::Mimetype"));
    struct stat source, thumb;
    ASSERT_EQ(0, ::stat(path.c_str(), &source));
    ASSERT_EQ(0, ::stat(WideToUtf8(written).c_str(), &thumb));
    EXPECT_EQ(std::to_string(source.st_mtime), facts.text.at("Thumb::MTime"));
    EXPECT_EQ(0600u, thumb.st_mode & 0777);
}

TEST_F(Thumbs, SmallPicturesStaySmallAndExifOrientationTurnsTheThumbnail) {
    const std::string small =
        dir_.Write("small.png", AsString(EncodeBytes(codecs::Format::Png, MakePicture(30, 20, 8))));
    PngFacts facts = ReadPng(WideToUtf8(CThumbs().WriteThumb(Utf8ToWide(small.c_str()))));
    EXPECT_EQ(std::make_pair(30, 20), std::make_pair(facts.width, facts.height));

    // Orientation 6: the stored picture is turned a quarter clockwise for display.
    const std::string turned = dir_.Write("turned.jpg", AsString(JpegWithOrientation(200, 100, 6)));
    const std::string thumbnail = WideToUtf8(CThumbs().WriteThumb(Utf8ToWide(turned.c_str())));
    codecs::DecodedImage decoded;
    ASSERT_EQ(codecs::Result::Ok, codecs::DecodeFile(thumbnail.c_str(), decoded));
    EXPECT_EQ(std::make_pair(64, 128), std::make_pair(decoded.width, decoded.height));
    // The red top-left quarter of the stored picture ends up top-right.
    unsigned char topRight[4], topLeft[4];
    PixelOf(decoded, 60, 5, topRight);
    PixelOf(decoded, 3, 5, topLeft);
    EXPECT_GT(topRight[2], 200);
    EXPECT_LT(topRight[1], 60);
    EXPECT_GT(topLeft[1], 200);
}

TEST_F(Thumbs, UnreadableFilesGiveNoThumbnail) {
    EXPECT_TRUE(CThumbs().WriteThumb(nullptr).IsEmpty());
    for (const std::string& path :
         {dir_.File("missing.jpg"), dir_.Write("junk.jpg", "\xFF\xD8\xFF not really")}) {
        EXPECT_TRUE(CThumbs().WriteThumb(Utf8ToWide(path.c_str())).IsEmpty());
        EXPECT_FALSE(ReadPng(service::ThumbnailPath(service::FileUri(path))).ok);
    }
}

}  // namespace
}  // namespace imgdesk::test
