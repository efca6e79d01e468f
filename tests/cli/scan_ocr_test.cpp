// scan --ocr end to end: a page of known prose photographed on a desk, lying each way round,
// comes out upright with its words searchable; OCR without language data fails clearly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TextPage.h"

namespace {

using imgdesk::test::ScopedEnv;
using imgdesk::test::TempDir;

struct Outcome {
    int status;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

Outcome Shell(const TempDir& dir, const std::string& command) {
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    const int raw = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

Outcome Tool(const TempDir& dir, const std::string& arguments) {
    return Shell(dir, std::string("'") + IMGDESK_CLI + "' " + arguments);
}

class ScanOcr : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"qpdf", "pdftoppm", "pdftotext", "pdfinfo"})
            if (std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()))
                GTEST_SKIP() << program << " is not installed";
    }
    TempDir dir;
    ScopedEnv temp{"IMGDESK_TEMP_DIR", dir.File("temp")};
};

TEST_F(ScanOcr, PagesLyingAnyWayRoundComeOutUprightAndSearchable) {
    const imgdesk::test::GreyImage page = imgdesk::test::RenderTextPage(150);
    const struct {
        double turn;  // counter-clockwise, as the page lies on the desk
        const char* report;
    } photos[] = {{4, nullptr},
                  {94, ", turned a quarter turn clockwise"},
                  {184, ", turned upside down"},
                  {274, ", turned a quarter turn counter-clockwise"}};
    std::string arguments = "scan --ocr";
    for (const auto& photo : photos) {
        const std::string path = dir.File("turned" + std::to_string(int(photo.turn)) + ".bmp");
        ASSERT_TRUE(
            imgdesk::test::WriteBmp(imgdesk::test::PhotographTurned(page, photo.turn), path));
        arguments += " '" + path + "'";
    }
    const std::string pdf = dir.File("searchable.pdf");
    const Outcome scan = Tool(dir, arguments + " -o '" + pdf + "'");
    ASSERT_EQ(0, scan.status) << scan.err;
    EXPECT_EQ(0, Shell(dir, "qpdf --check '" + pdf + "'").status);

    std::istringstream report(scan.out);
    for (size_t i = 0; i < std::size(photos); ++i) {
        std::string line;
        std::getline(report, line);
        EXPECT_NE(std::string::npos, line.find("page found")) << line;
        if (photos[i].report)
            EXPECT_NE(std::string::npos, line.find(photos[i].report)) << line;
        else
            EXPECT_EQ(std::string::npos, line.find("quarter")) << line;
        EXPECT_EQ(std::string::npos, photos[i].report ? std::string::npos : line.find("upside"))
            << line;

        const std::string number = std::to_string(i + 1);
        const Outcome info =
            Shell(dir, "pdfinfo -f " + number + " -l " + number + " '" + pdf + "'");
        double width = 0, height = 0;
        const size_t at = info.out.find("size:");
        ASSERT_NE(std::string::npos, at) << info.out;
        std::sscanf(info.out.c_str() + at + 5, "%lf x %lf", &width, &height);
        EXPECT_GT(height, width) << "upright, page " << number;
        const Outcome text =
            Shell(dir, "pdftotext -f " + number + " -l " + number + " '" + pdf + "' -");
        EXPECT_GE(imgdesk::test::WordRecall(text.out), 0.9) << "page " << number << "\n"
                                                            << text.out;
    }
    EXPECT_EQ(0, Shell(dir, "test -z \"$(ls -A '" + dir.File("temp") + "')\"").status);
}

TEST_F(ScanOcr, MissingLanguageDataFailsBeforeAnyWork) {
    const std::string photo = dir.File("p.png"), pdf = dir.File("none.pdf");
    ASSERT_EQ(0, Tool(dir, "sample --width 200 --height 150 -o '" + photo + "'").status);
    const Outcome run = Tool(dir, "scan --ocr=eng+zzz '" + photo + "' -o '" + pdf + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("no Tesseract language data for 'eng+zzz'"))
        << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("Error opening data file")) << run.err;
    EXPECT_FALSE(std::ifstream(pdf).good());
    const Outcome empty = Tool(dir, "scan --ocr=+ '" + photo + "' -o '" + dir.File("e.pdf") + "'");
    EXPECT_EQ(2, empty.status) << empty.err;
}

}  // namespace
