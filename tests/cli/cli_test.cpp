// The imgdesk tool end to end, run as a program: the main job on photographed pages (a PDF that
// qpdf accepts, one upright page per photo), and what a user sees on mistakes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ToolRun.h"
#include "support/TempDir.h"

namespace {

using imgdesk::test::Outcome;
using imgdesk::test::ReadFile;
using imgdesk::test::ScopedEnv;
using imgdesk::test::Shell;
using imgdesk::test::TempDir;
using imgdesk::test::Tool;

bool Have(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A grey page rendered from a PDF (PGM as pdftoppm writes it).
struct GreyPage {
    int width = 0, height = 0;
    std::vector<unsigned char> levels;
};

GreyPage ReadPgm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    GreyPage page;
    in >> magic >> page.width >> page.height >> maximum;
    in.get();
    page.levels.resize(static_cast<size_t>(page.width) * page.height);
    in.read(reinterpret_cast<char*>(page.levels.data()),
            static_cast<std::streamsize>(page.levels.size()));
    return page;
}

// The turn of the print on a page, in degrees: the angle whose projection of the dark pixels
// gives the sharpest line profile.
// The turn a report line gives ("page found, turned 3.4 degrees clockwise"), clockwise positive.
double ReportedTurn(const std::string& line) {
    const size_t at = line.find("turned ");
    if (at == std::string::npos)
        return 1e9;
    const double degrees = std::stod(line.substr(at + 7));
    return line.find("counter-clockwise", at) != std::string::npos ? -degrees : degrees;
}

double PrintSkew(const GreyPage& page) {
    double best = 0, bestScore = -1;
    for (double angle = -6; angle <= 6.001; angle += 0.25) {
        const double c = std::cos(angle * M_PI / 180), s = std::sin(angle * M_PI / 180);
        std::vector<double> profile(page.width + 2 * page.height, 0);
        // Leave out a margin, where remnants of the desk may stand.
        for (int y = page.height / 10; y < page.height * 9 / 10; ++y) {
            for (int x = page.width / 10; x < page.width * 9 / 10; ++x) {
                if (page.levels[static_cast<size_t>(y) * page.width + x] < 128)
                    profile[static_cast<size_t>(std::lround(y * c - x * s + page.width))] += 1;
            }
        }
        double score = 0;
        for (double bin : profile)
            score += bin * bin;
        if (score > bestScore)
            bestScore = score, best = angle;
    }
    return best;
}

class ScanJob : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Have("qpdf") || !Have("pdftoppm") || !Have("pdfinfo"))
            GTEST_SKIP() << "PDF tools missing";
    }
    TempDir dir;
    ScopedEnv temp{"IMGDESK_TEMP_DIR", dir.File("temp")};
};

TEST_F(ScanJob, PhotographedPagesBecomeOneUprightPageEach) {
    // Pages the generator turns by known angles, and the bundled samples with theirs.
    std::vector<std::pair<std::string, double>> photos;
    int seed = 40;
    for (double turn : {8.0, -13.0, 21.0, -1.0}) {
        const std::string photo = dir.File("photo" + std::to_string(seed) + ".jpg");
        ASSERT_EQ(0, Tool(dir, "sample --angle " + std::to_string(turn) + " --seed " +
                                   std::to_string(seed++) + " -o '" + photo + "'")
                         .status);
        photos.emplace_back(photo, turn);
    }
    std::ifstream truth(std::string(IMGDESK_SAMPLES) + "/truth.tsv");
    std::string name, turn;
    std::getline(truth, name);  // heading
    while (truth >> name >> turn)
        photos.emplace_back(std::string(IMGDESK_SAMPLES) + "/" + name, std::stod(turn));
    ASSERT_GE(photos.size(), 7u);

    std::string arguments = "scan";
    for (const auto& photo : photos)
        arguments += " '" + photo.first + "'";
    const std::string pdf = dir.File("pages.pdf");
    const Outcome scan = Tool(dir, arguments + " -o '" + pdf + "'");
    ASSERT_EQ(0, scan.status) << scan.err;

    EXPECT_EQ(0, Shell(dir, "qpdf --check '" + pdf + "'").status);
    const Outcome info = Shell(dir, "pdfinfo '" + pdf + "'");
    EXPECT_NE(std::string::npos, info.out.find("Pages:           " + std::to_string(photos.size())))
        << info.out;

    std::istringstream report(scan.out);
    for (size_t page = 1; page <= photos.size(); ++page) {
        // The tool reports the turn it applied ...
        std::string line;
        std::getline(report, line);
        EXPECT_NEAR(photos[page - 1].second, ReportedTurn(line), 0.5) << line;
        // ... and the page in the PDF is upright.
        const std::string stem = dir.File("page" + std::to_string(page));
        ASSERT_EQ(0, Shell(dir, "pdftoppm -gray -r 50 -singlefile -f " + std::to_string(page) +
                                    " -l " + std::to_string(page) + " '" + pdf + "' '" + stem + "'")
                         .status);
        const GreyPage rendered = ReadPgm(stem + ".pgm");
        ASSERT_GT(rendered.height, rendered.width) << "a portrait page, page " << page;
        EXPECT_LE(std::abs(PrintSkew(rendered)), 2.0) << photos[page - 1].first;
    }
    // Intermediate pages do not outlive the job.
    EXPECT_EQ(0, Shell(dir, "test -z \"$(ls -A '" + dir.File("temp") + "')\"").status);
}

// The share of pixels of a rendered page that are paper white.
double WhiteShare(const TempDir& dir, const std::string& pdf, const std::string& stem) {
    EXPECT_EQ(0,
              Shell(dir, "pdftoppm -gray -r 72 -singlefile '" + pdf + "' '" + dir.File(stem) + "'")
                  .status);
    const GreyPage page = ReadPgm(dir.File(stem + ".pgm"));
    size_t white = 0;
    for (unsigned char level : page.levels)
        white += level >= 245;
    return page.levels.empty() ? 0 : double(white) / page.levels.size();
}

TEST_F(ScanJob, MonoPagesAreBlackAndWhiteAndTargetsAreNotOverwritten) {
    const std::string photo = dir.File("photo.jpg"), pdf = dir.File("mono.pdf"),
                      plain = dir.File("plain.pdf");
    ASSERT_EQ(0, Tool(dir, "sample --angle 5 -o '" + photo + "'").status);
    ASSERT_EQ(0, Tool(dir, "scan --mono '" + photo + "' -o '" + pdf + "'").status);
    ASSERT_EQ(0, Tool(dir, "scan '" + photo + "' -o '" + plain + "'").status);
    // Paper under uneven light is grey in the photo and white once the page is black and white.
    EXPECT_GT(WhiteShare(dir, pdf, "mono"), 0.7);
    EXPECT_LT(WhiteShare(dir, plain, "plain"), 0.3);

    const std::string before = ReadFile(pdf);
    const Outcome again = Tool(dir, "scan '" + photo + "' -o '" + pdf + "'");
    EXPECT_EQ(1, again.status);
    EXPECT_NE(std::string::npos, again.err.find("--force")) << again.err;
    EXPECT_EQ(before, ReadFile(pdf));
    EXPECT_EQ(0, Tool(dir, "scan '" + photo + "' -o '" + pdf + "' --force").status);
}

TEST(Tool, MistakesGiveAClearMessageAndStatus) {
    TempDir dir;
    const std::string notImage = dir.Write("notes.txt", "not a picture");
    const std::string photo = dir.File("p.png");
    ASSERT_EQ(0, Tool(dir, "sample --width 96 --height 64 -o '" + photo + "'").status);
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"", 2, "usage: imgdesk COMMAND"},
             {"frobnicate", 2, "unknown command 'frobnicate'"},
             {"scan missing.jpg -o '" + dir.File("x.pdf") + "'", 1, "missing.jpg"},
             {"scan '" + notImage + "'", 2, "-o/--output is required"},
             {"zoom --scale 2x '" + photo + "' -o out.png", 2, "'2x' is not a number"},
             {"zoom --scale 0 '" + photo + "' -o out.png", 2, "outside"},
             {"brightness --amount 5 --colour red '" + photo + "' -o out.png", 2,
              "unknown option --colour"},
             {"grey '" + notImage + "' -o '" + dir.File("g.png") + "'", 1, "not an image"},
             {"turn --by sideways '" + photo + "' -o out.png", 2, "not cw, ccw"},
             {"brightness --amount 5 missing.png -o out.png", 1, "cannot read 'missing.png'"},
             {"motion only-one.png", 2, "two or more frames"},
         }) {
        const Outcome run = Tool(dir, c.arguments);
        EXPECT_EQ(c.status, run.status) << c.arguments << "\n" << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << c.arguments << "\n" << run.err;
    }
    EXPECT_FALSE(std::ifstream(dir.File("x.pdf")).good());
    EXPECT_FALSE(std::ifstream("out.png").good());
}

TEST(Tool, EveryCommandExplainsItself) {
    TempDir dir;
    const Outcome overview = Tool(dir, "--help");
    ASSERT_EQ(0, overview.status);
    std::istringstream lines(overview.out);
    int commands = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  ", 0) != 0 || line.size() < 3 || line[2] == ' ')
            continue;
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        const Outcome help = Tool(dir, name + " --help");
        EXPECT_EQ(0, help.status) << name;
        EXPECT_EQ(0u, help.out.rfind("usage: imgdesk " + name, 0)) << help.out;
        ++commands;
    }
    EXPECT_GE(commands, 30);
}

TEST(Tool, PixelCommandsChangeThePicture) {
    TempDir dir;
    const std::string photo = dir.File("p.png"), out = dir.File("out.png");
    ASSERT_EQ(0, Tool(dir, "sample --width 96 --height 64 -o '" + photo + "'").status);
    const std::string upright = dir.File("upright.png");
    ASSERT_EQ(0, Tool(dir, "turn --by cw '" + photo + "' -o '" + upright + "'").status);
    ASSERT_EQ(0, Tool(dir, "zoom --scale 0.5 '" + upright + "' -o '" + out + "'").status);
    const Outcome border =
        Tool(dir, "border '" + photo + "' --draw '" + dir.File("drawn.png") + "'");
    EXPECT_EQ(0, border.status) << border.err;
    EXPECT_NE(std::string::npos, border.out.find(',')) << border.out;
    const std::string turned = dir.File("turned.jpg");
    ASSERT_EQ(0, Tool(dir, "sample --angle 10 -o '" + turned + "'").status);
    const Outcome frame =
        Tool(dir, "frame '" + turned + "' --draw '" + dir.File("frame.png") + "'");
    EXPECT_EQ(0, frame.status) << frame.err;
    EXPECT_NEAR(10.0, ReportedTurn(frame.out), 0.5) << frame.out;
    // 96 x 64 turned is 64 x 96, halved 32 x 48: the PNG header says so.
    const std::string png = ReadFile(out);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(32, static_cast<unsigned char>(png[19]));
    EXPECT_EQ(48, static_cast<unsigned char>(png[23]));
}

}  // namespace
