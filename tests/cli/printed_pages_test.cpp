// Pictures as printed pages, run as a user runs the tool: phone photos shown the way their EXIF
// orientation says, PDF pages at the size the picture's own resolution gives (or --dpi, or fitted
// to a paper), black-and-white pages as 1-bit CCITT images, grey pages as grey and colour JPEGs
// embedded byte for byte, and unreadable inputs named instead of silently dropped.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ToolRun.h"
#include "support/PdfTools.h"
#include "support/TempDir.h"

// After the standard headers: jpeglib.h needs size_t and FILE.
#include <jpeglib.h>

namespace imgdesk::test {
namespace {

using Bytes = std::vector<unsigned char>;

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Big- or little-endian values appended to a byte string, as TIFF and EXIF store them.
struct Writer {
    bool little;
    Bytes bytes;
    void Put(unsigned long value, int count) {
        for (int i = 0; i < count; ++i)
            bytes.push_back((value >> 8 * (little ? i : count - 1 - i)) & 0xFF);
    }
};

// The APP1 body of an EXIF block whose first directory holds only the orientation tag.
Bytes ExifOrientation(int orientation, bool little) {
    Writer w{little, {'E', 'x', 'i', 'f', 0, 0}};
    w.Put(little ? 0x4949 : 0x4D4D, 2), w.Put(42, 2), w.Put(8, 4);
    w.Put(1, 2);
    w.Put(0x0112, 2), w.Put(3, 2), w.Put(1, 4), w.Put(orientation, 2), w.Put(0, 2);
    w.Put(0, 4);
    return w.bytes;
}

// A light colour JPEG, as stored, with a dark block in its top-left corner: a third of the width
// and a bit more than a third of the height. The block tells where the stored top-left ends up.
constexpr int kMarkedWidth = 96, kMarkedHeight = 64;
Bytes MarkedJpeg(const Bytes& exif) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &memory, &size);
    info.image_width = kMarkedWidth;
    info.image_height = kMarkedHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    if (!exif.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    Bytes row(kMarkedWidth * 3);
    while (info.next_scanline < info.image_height) {
        const bool blockRow = info.next_scanline < 24;
        for (int x = 0; x < kMarkedWidth; ++x) {
            const bool dark = blockRow && x < 32;
            row[3 * x] = dark ? 20 : 230, row[3 * x + 1] = dark ? 30 : 220,
                    row[3 * x + 2] = dark ? 40 : 200;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes bytes(memory, memory + size);
    jpeg_destroy_compress(&info);
    std::free(memory);
    return bytes;
}

// A grey picture, top row first.
struct Levels {
    int width = 0, height = 0;
    std::vector<unsigned char> at;
    // The mean level of a square a twelfth of the picture wide around the centre of the corner's
    // third: where the marked block's middle lies when it sits in that corner.
    double Corner(bool right, bool bottom) const {
        const int cx = right ? width - width / 6 : width / 6;
        const int cy = bottom ? height - height / 6 : height / 6;
        const int r = std::max(1, std::min(width, height) / 24);
        double sum = 0;
        int count = 0;
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x)
                sum += at[size_t(y) * width + x], ++count;
        return sum / count;
    }
};

// An 8-bit (palette) or 24-bit BMP as the tool writes it, as grey levels.
bool ReadBmp(const std::string& path, Levels& out) {
    const std::string file = ReadFile(path);
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return false;
    auto u = [&](size_t at, int count) {
        unsigned long value = 0;
        for (int i = count - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(file[at + i]);
        return value;
    };
    const unsigned long offset = u(10, 4), header = u(14, 4), bits = u(28, 2);
    const int width = int(u(18, 4)), rawHeight = int(static_cast<int32_t>(u(22, 4)));
    const int height = std::abs(rawHeight);
    if ((bits != 8 && bits != 24) || width <= 0 || height == 0)
        return false;
    const size_t stride = (size_t(width) * bits / 8 + 3) / 4 * 4;
    if (file.size() < offset + stride * height)
        return false;
    out.width = width, out.height = height;
    out.at.assign(size_t(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        const size_t row = offset + stride * size_t(rawHeight > 0 ? height - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            // The green sample stands for the level: the picture is grey or nearly so.
            out.at[size_t(y) * width + x] =
                bits == 8 ? static_cast<unsigned char>(file[14 + header + 4 * u(row + x, 1) + 1])
                          : static_cast<unsigned char>(file[row + 3 * x + 1]);
        }
    }
    return true;
}

Levels Rendered(const std::string& pdf, int page) {
    RenderedPage rgb;
    EXPECT_TRUE(RenderPage(pdf, page, 18, rgb)) << pdf;
    Levels out;
    out.width = rgb.width, out.height = rgb.height;
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x)
            out.at.push_back(rgb.At(x, y)[1]);
    return out;
}

// Page sizes in points as pdfinfo reads them.
std::vector<std::pair<double, double>> PageBoxes(const std::string& pdf) {
    std::string text;
    EXPECT_EQ(0, RunCommand("pdfinfo -f 1 -l 100 " + Quoted(pdf), &text)) << text;
    std::vector<std::pair<double, double>> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        int number = 0;
        double width = 0, height = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, &width, &height) == 3)
            found.emplace_back(width, height);
    }
    return found;
}

// One row of pdfimages -list.
struct ListedImage {
    std::string type, colour, encoding;
    int width = 0, height = 0, components = 0, bits = 0;
};
std::vector<ListedImage> ListImages(const std::string& pdf) {
    std::string text;
    EXPECT_EQ(0, RunCommand("pdfimages -list " + Quoted(pdf), &text)) << text;
    std::vector<ListedImage> images;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line), std::getline(lines, line);  // the heading and its rule
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int page = 0, number = 0;
        ListedImage image;
        if (fields >> page >> number >> image.type >> image.width >> image.height >> image.colour >>
            image.components >> image.bits >> image.encoding)
            images.push_back(image);
    }
    return images;
}

class PrintedPages : public ::testing::Test {
protected:
    void SetUp() override {
        IMGDESK_REQUIRE_PDF_TOOLS();
        if (!HaveProgram("pdfimages"))
            GTEST_SKIP() << "pdfimages is not installed";
    }
    std::string Save(const std::string& name, const Bytes& bytes) const {
        return dir.Write(name, AsText(bytes));
    }
    // A photographed page from the tool's own generator.
    std::string Sample(const std::string& name, int width, int height, int seed = 1) const {
        const std::string path = dir.File(name);
        const Outcome made = Tool(dir, "sample --width " + std::to_string(width) + " --height " +
                                           std::to_string(height) + " --seed " +
                                           std::to_string(seed) + " -o " + Quoted(path));
        EXPECT_EQ(0, made.status) << made.err;
        return path;
    }
    TempDir dir;
    ScopedEnv temp{"IMGDESK_TEMP_DIR", dir.File("temp")};
};

TEST_F(PrintedPages, PhotosAreShownTheWayTheirOrientationSays) {
    // Where the stored top-left corner is shown, for each EXIF orientation: 1 as stored, 2 mirrored
    // left to right, 3 turned half way, 4 mirrored top to bottom, 5 mirrored about the main
    // diagonal, 6 turned a quarter clockwise, 7 mirrored about the other diagonal, 8 turned a
    // quarter counter-clockwise. 5 to 8 swap width and height.
    const struct {
        int orientation;
        bool right, bottom;
    } cases[] = {{1, false, false}, {2, true, false}, {3, true, true}, {4, false, true},
                 {5, false, false}, {6, true, false}, {7, true, true}, {8, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        const bool swaps = c.orientation >= 5;
        const std::string name = "o" + std::to_string(c.orientation);
        const std::string photo =
            Save(name + ".jpg", MarkedJpeg(ExifOrientation(c.orientation, c.orientation % 2 == 1)));
        const auto expectMarked = [&](const Levels& shown, const char* what) {
            SCOPED_TRACE(what);
            EXPECT_EQ(swaps, shown.height > shown.width) << shown.width << " x " << shown.height;
            for (const bool right : {false, true})
                for (const bool bottom : {false, true}) {
                    const double level = shown.Corner(right, bottom);
                    if (right == c.right && bottom == c.bottom)
                        EXPECT_LT(level, 90) << "right " << right << ", bottom " << bottom;
                    else
                        EXPECT_GT(level, 170) << "right " << right << ", bottom " << bottom;
                }
        };

        const std::string grey = dir.File(name + "-grey.bmp");
        const Outcome converted = Tool(dir, "grey " + Quoted(photo) + " -o " + Quoted(grey));
        ASSERT_EQ(0, converted.status) << converted.err;
        Levels picture;
        ASSERT_TRUE(ReadBmp(grey, picture));
        EXPECT_EQ(swaps ? kMarkedHeight : kMarkedWidth, picture.width);
        EXPECT_EQ(swaps ? kMarkedWidth : kMarkedHeight, picture.height);
        expectMarked(picture, "grey");

        const std::string pdf = dir.File(name + ".pdf");
        const Outcome made = Tool(dir, "pdf " + Quoted(photo) + " -o " + Quoted(pdf));
        ASSERT_EQ(0, made.status) << made.err;
        expectMarked(Rendered(pdf, 1), "pdf");
    }
}

// A PNG of the tool's generator with a pHYs chunk spliced in after its header.
std::string WithPhys(const std::string& png, unsigned long perUnitX, unsigned long perUnitY,
                     int unit) {
    Writer chunk{false, {}};
    chunk.Put(9, 4);
    for (char c : std::string("pHYs"))
        chunk.bytes.push_back(static_cast<unsigned char>(c));
    chunk.Put(perUnitX, 4), chunk.Put(perUnitY, 4), chunk.Put(unit, 1);
    chunk.Put(crc32(0, chunk.bytes.data() + 4, 13), 4);
    const size_t afterHeader = 8 + 4 + 4 + 13 + 4;
    return png.substr(0, afterHeader) + AsText(chunk.bytes) + png.substr(afterHeader);
}

// An uncompressed 8-bit grey TIFF naming its resolution (unit 2 inches, 3 centimetres).
Bytes GreyTiff(int width, int height, unsigned x, unsigned y, unsigned unit, bool little) {
    Writer w{little, {}};
    w.Put(little ? 0x4949 : 0x4D4D, 2), w.Put(42, 2), w.Put(8, 4);
    const unsigned long entries = 12, rationals = 8 + 2 + 12 * entries + 4, pixels = rationals + 16;
    const auto entry = [&](unsigned tag, unsigned type, unsigned long value) {
        w.Put(tag, 2), w.Put(type, 2), w.Put(1, 4);
        if (type == 3)
            w.Put(value, 2), w.Put(0, 2);
        else
            w.Put(value, 4);
    };
    w.Put(entries, 2);
    entry(256, 3, width), entry(257, 3, height), entry(258, 3, 8), entry(259, 3, 1);
    entry(262, 3, 1), entry(273, 4, pixels), entry(277, 3, 1), entry(278, 3, height);
    entry(279, 4, static_cast<unsigned long>(width) * height);
    entry(282, 5, rationals), entry(283, 5, rationals + 8), entry(296, 3, unit);
    w.Put(0, 4);
    w.Put(x, 4), w.Put(1, 4), w.Put(y, 4), w.Put(1, 4);
    w.bytes.resize(w.bytes.size() + size_t(width) * height, 140);
    return w.bytes;
}

TEST_F(PrintedPages, PagesMeasureWhatTheirResolutionSays) {
    // Points are 1/72 inch; pdfinfo prints at most three decimals, the PDF holds four. Every box
    // is checked to 0.01 pt (1/7200 inch), the pHYs rows against the dpi their whole pixels per
    // metre give.
    constexpr double kTolerance = 0.01;
    const std::string plainPng = Sample("plain.png", 300, 200);
    const std::string png = ReadFile(plainPng);
    ASSERT_EQ(std::string::npos, png.find("pHYs")) << "the generator names no resolution";
    const double perMetreDpi = 5906 * 0.0254, tallPerMetreDpi = 11811 * 0.0254;

    JpegRecipe jfif;
    jfif.width = 600, jfif.height = 450, jfif.densityUnit = 1, jfif.densityX = 150,
    jfif.densityY = 150;
    JpegRecipe jfifCm = jfif;
    jfifCm.densityUnit = 2, jfifCm.densityX = 118, jfifCm.densityY = 59;  // dots per centimetre
    JpegRecipe exifOnly;  // as phones write them: EXIF, no JFIF
    exifOnly.width = 400, exifOnly.height = 600, exifOnly.jfif = false;
    exifOnly.exif = ExifResolution(200, 200, 2, true);
    JpegRecipe exifBehindJfif = exifOnly;  // a JFIF header naming only an aspect ratio
    exifBehindJfif.jfif = true;
    exifBehindJfif.exif = ExifResolution(120, 240, 3, false);  // per centimetre, big-endian
    JpegRecipe bare;
    bare.width = 400, bare.height = 300;
    // Stored 4 x 3 inches (400 px at 100 dpi across, 600 at 200 down), shown a quarter turned.
    JpegRecipe turned = exifOnly;
    turned.jfif = true, turned.densityUnit = 1, turned.densityX = 100, turned.densityY = 200;
    turned.exif = ExifOrientation(6, true);

    const struct {
        const char* name;
        std::string path;
        std::string options;
        double width, height;
    } cases[] = {
        {"JFIF dpi", Save("jfif.jpg", MakeJpeg(jfif)), "", 288, 216},
        {"JFIF dots per cm", Save("jfif-cm.jpg", MakeJpeg(jfifCm)), "", 600 * 72 / (118 * 2.54),
         450 * 72 / (59 * 2.54)},
        {"EXIF", Save("exif.jpg", MakeJpeg(exifOnly)), "", 144, 216},
        {"EXIF per cm behind an aspect-only JFIF", Save("exif-cm.jpg", MakeJpeg(exifBehindJfif)),
         "", 400 * 72 / (120 * 2.54), 600 * 72 / (240 * 2.54)},
        {"JFIF, turned by EXIF", Save("turned.jpg", MakeJpeg(turned)), "", 216, 288},
        {"PNG pHYs", dir.Write("phys.png", WithPhys(png, 5906, 11811, 1)), "",
         300 * 72 / perMetreDpi, 200 * 72 / tallPerMetreDpi},
        {"TIFF inches", Save("inch.tif", GreyTiff(300, 600, 100, 300, 2, true)), "", 216, 144},
        {"TIFF centimetres", Save("cm.tif", GreyTiff(254, 127, 50, 50, 3, false)), "",
         254 * 72 / 127.0, 127 * 72 / 127.0},
        // The picture's own resolution wins over --dpi and --paper.
        {"JFIF over --dpi", dir.File("jfif.jpg"), "--dpi 300 --paper letter", 288, 216},
        {"none, --dpi", plainPng, "--dpi 200", 108, 72},
        {"none, aspect-only JFIF, --dpi", Save("bare.jpg", MakeJpeg(bare)), "--dpi 50", 576, 432},
        // Fitted: the proportions kept, as large as the paper allows, turned the page's way.
        {"none, --paper a4", plainPng, "--paper a4", 841.89, 841.89 * 2 / 3},
        {"none, --paper letter", plainPng, "--paper letter", 792, 528},
        {"none, --paper letter, tall", Sample("tall.png", 200, 300), "--paper letter", 528, 792},
        // auto: the paper nearest the page's proportions; 4:3 is nearest letter, 1:1.414 A4.
        {"none, --paper auto, 4:3", dir.File("bare.jpg"), "--paper auto", 792, 594},
        {"none, --paper auto, A4-shaped", Sample("a4.png", 210, 297), "--paper auto", 595.276,
         841.89},
        {"none, no options (auto)", dir.File("a4.png"), "", 595.276, 841.89},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string pdf = dir.File("sized.pdf");
        const Outcome made =
            Tool(dir, "pdf --force " + Quoted(c.path) + " " + c.options + " -o " + Quoted(pdf));
        ASSERT_EQ(0, made.status) << made.err;
        const auto boxes = PageBoxes(pdf);
        ASSERT_EQ(1u, boxes.size());
        EXPECT_NEAR(c.width, boxes[0].first, kTolerance);
        EXPECT_NEAR(c.height, boxes[0].second, kTolerance);
    }
}

TEST_F(PrintedPages, EachKindOfPageIsStoredAsItsKind) {
    const std::string photo = Sample("photo.jpg", 480, 360);
    const std::string greyPng = dir.File("grey.png");
    ASSERT_EQ(0, Tool(dir, "grey " + Quoted(photo) + " -o " + Quoted(greyPng)).status);

    // Black and white: 1-bit, CCITT, a page of the size the scan found.
    const std::string mono = dir.File("mono.pdf");
    const Outcome scanned = Tool(dir, "scan --mono " + Quoted(photo) + " -o " + Quoted(mono));
    ASSERT_EQ(0, scanned.status) << scanned.err;
    auto images = ListImages(mono);
    ASSERT_EQ(1u, images.size());
    EXPECT_EQ("ccitt", images[0].encoding);
    EXPECT_EQ(1, images[0].bits);
    EXPECT_EQ(1, images[0].components);
    EXPECT_EQ("gray", images[0].colour);

    // Grey: 8-bit, one component, from a grey picture through pdf and through scan.
    for (const std::string& command : {std::string("pdf"), std::string("scan")}) {
        SCOPED_TRACE(command);
        const std::string pdf = dir.File(command + "-grey.pdf");
        const Outcome made = Tool(dir, command + " " + Quoted(greyPng) + " -o " + Quoted(pdf));
        ASSERT_EQ(0, made.status) << made.err;
        images = ListImages(pdf);
        ASSERT_EQ(1u, images.size());
        EXPECT_EQ("gray", images[0].colour);
        EXPECT_EQ(1, images[0].components);
        EXPECT_EQ(8, images[0].bits);
    }

    // Colour JPEGs go into the PDF byte for byte; a colour PNG is encoded as a colour JPEG.
    JpegRecipe progressive;
    progressive.width = 64, progressive.height = 48, progressive.progressive = true;
    const std::string second = Save("progressive.jpg", MakeJpeg(progressive));
    const std::string colourPng = Sample("colour.png", 120, 90);
    const std::string pdf = dir.File("colour.pdf");
    const Outcome made = Tool(dir, "pdf " + Quoted(photo) + " " + Quoted(second) + " " +
                                       Quoted(colourPng) + " -o " + Quoted(pdf));
    ASSERT_EQ(0, made.status) << made.err;
    images = ListImages(pdf);
    ASSERT_EQ(3u, images.size());
    for (const auto& image : images) {
        EXPECT_EQ("rgb", image.colour);
        EXPECT_EQ("jpeg", image.encoding);
    }
    EXPECT_EQ(120, images[2].width);
    const std::string root = dir.File("embedded");
    std::string text;
    ASSERT_EQ(0, RunCommand("pdfimages -j -f 1 -l 2 " + Quoted(pdf) + " " + Quoted(root), &text))
        << text;
    EXPECT_TRUE(ReadFile(photo) == ReadFile(root + "-000.jpg"));
    EXPECT_TRUE(ReadFile(second) == ReadFile(root + "-001.jpg"));
}

TEST_F(PrintedPages, UnreadableInputsAreNamedNotDropped) {
    const std::string good = Sample("good.jpg", 320, 240, 3);
    const std::string good2 = Sample("good2.png", 320, 240, 4);
    const std::string whole = ReadFile(good);
    const struct {
        const char* name;
        std::string bytes;
    } broken[] = {
        {"cut.jpg", whole.substr(0, whole.size() / 2)},
        {"notes.jpg", "not a picture at all"},
        {"empty.png", ""},
    };
    for (const auto& bad : broken) {
        const std::string path = dir.Write(bad.name, bad.bytes);
        for (const char* command : {"pdf", "scan"}) {
            SCOPED_TRACE(std::string(command) + " with " + bad.name);
            const std::string inputs =
                " " + Quoted(good) + " " + Quoted(path) + " " + Quoted(good2) + " -o ";
            const std::string pdf = dir.File(std::string(command) + ".pdf");

            const Outcome strict = Tool(dir, command + inputs + Quoted(pdf));
            EXPECT_EQ(1, strict.status);
            EXPECT_NE(std::string::npos, strict.err.find(bad.name)) << strict.err;
            EXPECT_EQ(std::string::npos, strict.err.find("good")) << strict.err;
            EXPECT_FALSE(std::filesystem::exists(pdf));

            const Outcome skipping =
                Tool(dir, command + std::string(" --skip-bad") + inputs + Quoted(pdf));
            ASSERT_EQ(0, skipping.status) << skipping.err;
            EXPECT_NE(std::string::npos, skipping.err.find("warning")) << skipping.err;
            EXPECT_NE(std::string::npos, skipping.err.find(bad.name)) << skipping.err;
            EXPECT_EQ(std::string::npos, skipping.err.find("good")) << skipping.err;
            EXPECT_NE(std::string::npos, skipping.out.find("(2 pages)")) << skipping.out;
            EXPECT_EQ(2u, PageBoxes(pdf).size());
            std::filesystem::remove(pdf);

            // Nothing left to write is a failure, --skip-bad or not.
            const Outcome nothing = Tool(
                dir, command + std::string(" --skip-bad ") + Quoted(path) + " -o " + Quoted(pdf));
            EXPECT_EQ(1, nothing.status) << nothing.err;
            EXPECT_FALSE(std::filesystem::exists(pdf));
        }
    }
    EXPECT_TRUE(whole == ReadFile(good));
}

}  // namespace
}  // namespace imgdesk::test
