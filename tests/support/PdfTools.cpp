#include "support/PdfTools.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TempDir.h"

// After the standard headers: jpeglib.h needs size_t and FILE.
#include <jpeglib.h>

namespace imgdesk::test {
namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

bool HaveProgram(const char* name) {
    return RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool QpdfCheck(const std::string& pdf, std::string* report) {
    std::string text;
    // qpdf exits 0 for a clean file, 3 for warnings, 2 for errors.
    const int status = RunCommand("qpdf --check " + Quote(pdf), &text);
    if (report)
        *report = text;
    return status == 0;
}

int QpdfPageCount(const std::string& pdf) {
    std::string text;
    if (RunCommand("qpdf --show-npages " + Quote(pdf), &text) != 0)
        return -1;
    return std::atoi(text.c_str());
}

bool ReadPdfFacts(const std::string& pdf, PdfFacts& facts) {
    facts = PdfFacts();
    std::string text;
    if (RunCommand("pdfinfo " + Quote(pdf), &text) != 0)
        return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Pages:", 0) == 0)
            facts.pages = std::atoi(line.c_str() + 6);
    }
    if (facts.pages <= 0)
        return facts.pages == 0;
    if (RunCommand("pdfinfo -f 1 -l " + std::to_string(facts.pages) + " " + Quote(pdf), &text) != 0)
        return false;
    std::istringstream pages(text);
    for (std::string line; std::getline(pages, line);) {
        int number = 0;
        double width = 0, height = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, &width, &height) == 3)
            facts.sizes.emplace_back(width, height);
    }
    return int(facts.sizes.size()) == facts.pages;
}

bool RenderPage(const std::string& pdf, int page, double dpi, RenderedPage& out) {
    TempDir folder;
    const std::string root = folder.File("page");
    const std::string number = std::to_string(page);
    if (RunCommand("pdftoppm -singlefile -r " + std::to_string(dpi) + " -f " + number + " -l " +
                   number + " " + Quote(pdf) + " " + Quote(root)) != 0)
        return false;
    std::ifstream file(root + ".ppm", std::ios::binary);
    std::string magic;
    int maxValue = 0;
    file >> magic >> out.width >> out.height >> maxValue;
    file.get();
    if (!file || magic != "P6" || maxValue != 255)
        return false;
    out.rgb.resize(size_t(out.width) * out.height * 3);
    file.read(reinterpret_cast<char*>(out.rgb.data()), std::streamsize(out.rgb.size()));
    return bool(file);
}

std::vector<unsigned char> MakeJpeg(const JpegRecipe& recipe) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &memory, &size);
    info.image_width = JDIMENSION(recipe.width);
    info.image_height = JDIMENSION(recipe.height);
    info.input_components = recipe.components;
    info.in_color_space = recipe.components == 1   ? JCS_GRAYSCALE
                          : recipe.components == 3 ? JCS_RGB
                          : recipe.components == 4 ? JCS_CMYK
                                                   : JCS_UNKNOWN;
    jpeg_set_defaults(&info);
    if (recipe.components == 2)
        jpeg_set_colorspace(&info, JCS_UNKNOWN);
    info.write_JFIF_header = recipe.jfif && recipe.components != 4 ? TRUE : FALSE;
    info.density_unit = UINT8(recipe.densityUnit);
    info.X_density = UINT16(recipe.densityX);
    info.Y_density = UINT16(recipe.densityY);
    info.arith_code = recipe.arithmetic ? TRUE : FALSE;
    jpeg_set_quality(&info, 90, TRUE);
    if (recipe.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    if (!recipe.exif.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, recipe.exif.data(), unsigned(recipe.exif.size()));
    std::vector<unsigned char> row(size_t(recipe.width) * recipe.components);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = recipe.samples[i % recipe.components];
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<unsigned char> bytes(memory, memory + size);
    jpeg_destroy_compress(&info);
    std::free(memory);
    return bytes;
}

std::vector<unsigned char> ExifResolution(unsigned x, unsigned y, unsigned unit, bool little) {
    std::vector<unsigned char> out = {'E', 'x', 'i', 'f', 0, 0};
    auto put16 = [&](unsigned v) {
        if (little) {
            out.push_back(v & 0xFF), out.push_back(v >> 8 & 0xFF);
        } else {
            out.push_back(v >> 8 & 0xFF), out.push_back(v & 0xFF);
        }
    };
    auto put32 = [&](unsigned long v) {
        little ? (put16(v & 0xFFFF), put16(v >> 16)) : (put16(v >> 16), put16(v & 0xFFFF));
    };
    out.push_back(little ? 'I' : 'M');
    out.push_back(little ? 'I' : 'M');
    put16(42);
    put32(8);  // the first directory follows the header
    // Three entries, then the next-directory link, then the two rationals at offset 8+2+36+4 = 50.
    put16(3);
    put16(0x011A), put16(5), put32(1), put32(50);
    put16(0x011B), put16(5), put32(1), put32(58);
    put16(0x0128), put16(3), put32(1), put16(unit), put16(0);
    put32(0);
    put32(x), put32(1);
    put32(y), put32(1);
    return out;
}

}  // namespace imgdesk::test
