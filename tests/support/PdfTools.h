#pragma once

// PDF checks through the real tools (qpdf, poppler's pdfinfo and pdftoppm), and JPEG files made
// with libjpeg exactly as a test needs them: any component count, density, EXIF resolution.
#include <string>
#include <utility>
#include <vector>

namespace imgdesk::test {

// Whether a program is found on PATH.
bool HaveProgram(const char* name);
// Skips the test when one of the PDF tools is missing.
#define IMGDESK_REQUIRE_PDF_TOOLS()                                                              \
    do {                                                                                         \
        if (!::imgdesk::test::HaveProgram("qpdf") || !::imgdesk::test::HaveProgram("pdfinfo") || \
            !::imgdesk::test::HaveProgram("pdftoppm"))                                           \
            GTEST_SKIP() << "qpdf, pdfinfo or pdftoppm is not installed";                        \
    } while (0)

// Runs a shell command; its exit status, with its standard output and error in output.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Expects the file to pass qpdf --check without errors or warnings and to hold pages of these
// sizes in points, as pdfinfo reads them. qpdf alone counts the pages: poppler refuses a document
// without any.
using PageSizes = std::vector<std::pair<double, double>>;
void ExpectPdf(const std::string& pdf, const PageSizes& sizes);

// A page rendered by pdftoppm at the resolution (dpi), as RGB rows top to bottom.
struct RenderedPage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* At(int x, int y) const { return rgb.data() + (size_t(y) * width + x) * 3; }
};
bool RenderPage(const std::string& pdf, int page, double dpi, RenderedPage& out);

// A JPEG of one uniform colour, written by libjpeg. components 1 (grey), 3 (RGB) or 4 (CMYK,
// stored Adobe-inverted as libjpeg writes it with an Adobe marker); samples holds one value per
// component. densityUnit 0 (none), 1 (dpi) or 2 (dots per cm) with densityX/densityY; exif, when
// not empty, is written as an APP1 marker (the whole segment body, "Exif\0\0" included).
struct JpegRecipe {
    int width = 16, height = 16;
    int components = 3;
    unsigned char samples[4] = {200, 40, 40, 0};
    int densityUnit = 0, densityX = 1, densityY = 1;
    bool jfif = true, progressive = false, arithmetic = false;
    std::vector<unsigned char> exif;
};
std::vector<unsigned char> MakeJpeg(const JpegRecipe& recipe);

// The APP1 body of an EXIF block naming a resolution (unit 2 inches, 3 centimetres).
std::vector<unsigned char> ExifResolution(unsigned x, unsigned y, unsigned unit, bool little);

}  // namespace imgdesk::test
