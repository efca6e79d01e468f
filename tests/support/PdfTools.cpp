#include "support/PdfTools.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TempDir.h"

// After the standard headers: jpeglib.h needs size_t and FILE.
#include <jpeglib.h>

// Test paths hold no single quotes, so quoting them in single quotes is enough for the shell.
namespace imgdesk::test {

bool HaveProgram(const char* name) {
    return RunCommand(std::string("command -v ") + name) == 0;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ExpectPdf(const std::string& pdf, const PageSizes& sizes) {
    std::string text;
    // qpdf exits 0 for a clean file, 3 for warnings, 2 for errors.
    EXPECT_EQ(0, RunCommand("qpdf --check '" + pdf + "'", &text)) << text;
    ASSERT_EQ(0, RunCommand("qpdf --show-npages '" + pdf + "'", &text)) << text;
    ASSERT_EQ(int(sizes.size()), std::atoi(text.c_str())) << pdf;
    if (sizes.empty())
        return;
    const std::string last = std::to_string(sizes.size());
    ASSERT_EQ(0, RunCommand("pdfinfo -f 1 -l " + last + " '" + pdf + "'", &text)) << text;
    PageSizes found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        int number = 0;
        double width = 0, height = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, &width, &height) == 3)
            found.emplace_back(width, height);
    }
    EXPECT_EQ(sizes, found) << pdf;
}

bool RenderPage(const std::string& pdf, int page, double dpi, RenderedPage& out) {
    TempDir folder;
    const std::string root = folder.File("page"), number = std::to_string(page);
    if (RunCommand("pdftoppm -singlefile -r " + std::to_string(dpi) + " -f " + number + " -l " +
                   number + " '" + pdf + "' '" + root + "'") != 0)
        return false;
    std::ifstream file(root + ".ppm", std::ios::binary);
    std::string magic;
    int maxValue = 0;
    file >> magic >> out.width >> out.height >> maxValue;
    file.get();
    out.rgb.resize(size_t(out.width) * out.height * 3);
    file.read(reinterpret_cast<char*>(out.rgb.data()), std::streamsize(out.rgb.size()));
    return file && magic == "P6" && maxValue == 255;
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
    const J_COLOR_SPACE spaces[] = {JCS_UNKNOWN, JCS_GRAYSCALE, JCS_UNKNOWN, JCS_RGB, JCS_CMYK};
    info.in_color_space = spaces[recipe.components];
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
    for (JSAMPROW rows[1] = {row.data()}; info.next_scanline < info.image_height;)
        jpeg_write_scanlines(&info, rows, 1);
    jpeg_finish_compress(&info);
    std::vector<unsigned char> bytes(memory, memory + size);
    jpeg_destroy_compress(&info);
    std::free(memory);
    return bytes;
}

std::vector<unsigned char> ExifResolution(unsigned x, unsigned y, unsigned unit, bool little) {
    std::vector<unsigned char> out = {'E', 'x', 'i', 'f', 0, 0};
    auto put = [&](unsigned long value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back((value >> 8 * (little ? i : bytes - 1 - i)) & 0xFF);
    };
    put(little ? 0x4949 : 0x4D4D, 2), put(42, 2), put(8, 4);  // the first directory follows
    // Three entries, then the next-directory link, then the two rationals at offset 8+2+36+4 = 50.
    put(3, 2);
    put(0x011A, 2), put(5, 2), put(1, 4), put(50, 4);
    put(0x011B, 2), put(5, 2), put(1, 4), put(58, 4);
    put(0x0128, 2), put(3, 2), put(1, 4), put(unit, 2), put(0, 2);
    put(0, 4), put(x, 4), put(1, 4), put(y, 4), put(1, 4);
    return out;
}

}  // namespace imgdesk::test
