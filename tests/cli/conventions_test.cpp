// The tool's command-line conventions, run as a user runs it: how options are parsed and mistakes
// reported, one overwrite rule for every command that writes, '-' for standard input and output,
// the man page and completions made from the command table, palette pictures treated as their
// colour copies, and motion verdicts.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ToolRun.h"
#include "support/TempDir.h"

namespace imgdesk::test {
namespace {

class Conventions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, Tool(dir, "sample --width 96 --height 64 -o " + photo).status);
        ASSERT_EQ(0, Tool(dir, "sample --width 96 --height 64 -o " + jpeg).status);
    }
    bool Exists(const std::string& path) const { return std::ifstream(path).good(); }
    // The commands the overview lists.
    std::vector<std::string> CommandNames() {
        std::vector<std::string> names;
        std::istringstream lines(Tool(dir, "--help").out);
        for (std::string line; std::getline(lines, line);) {
            if (line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ')
                names.push_back(line.substr(2, line.find(' ', 2) - 2));
        }
        return names;
    }
    // The long options a command's --help lists.
    std::set<std::string> OptionsOf(const std::string& command) {
        std::set<std::string> options;
        std::istringstream lines(Tool(dir, command + " --help").out);
        const std::regex option("^  (?:-[a-zA-Z], |    )--([a-z-]+)");
        std::smatch found;
        for (std::string line; std::getline(lines, line);) {
            if (std::regex_search(line, found, option))
                options.insert(found[1]);
        }
        return options;
    }

    TempDir dir;
    const std::string photo = dir.File("photo.png");
    const std::string jpeg = dir.File("photo.jpg");
};

TEST_F(Conventions, OptionsFollowTheUsualRules) {
    const std::string out = dir.File("out.png");
    struct Case {
        std::string arguments;
        int status;
        std::string said;  // in standard output or error
    };
    const std::string in = " " + photo + " ";
    for (const Case& c : std::vector<Case>{
             // Unknown options are named, and never take the next argument as their value.
             {"grey --bogus" + in + "-o " + out, 2, "unknown option --bogus"},
             {"grey -x" + in + "-o " + out, 2, "unknown option -x"},
             {"grey" + in + "--colour red -o " + out, 2, "unknown option --colour"},
             {"grey" + in, 2, "-o/--output is required"},
             {"zoom" + in + "-o " + out + " --scale", 2, "--scale needs a value"},
             {"zoom --scale 2 --scale 3" + in + "-o " + out, 2, "given twice"},
             {"grey" + in + "-o " + out + " --force=yes", 2, "--force takes no value"},
             {"straighten --rect 0,0,9,9" + in + "-o " + out, 2, "--rect needs --angle"},
             {"grey -qv" + in + "-o " + out, 2, "contradict"},
             {"grey" + in + "-o " + dir.File("noext"), 2, "names no format"},
             {"grey" + in + "-o " + out + " --format webp", 2, "'webp' is not one of"},
             {"grey" + in + "-o -", 2, "needs --format"},
             {"bind" + in + "-o -", 2, "not standard output"},
             {"grey --max-pixels 100" + in + "-o " + out, 1, "larger than 100"},
             // An optional value is given only with '=': "classic" is a photo here.
             {"scan --mono classic" + in + "-o " + dir.File("m.pdf"), 1, "'classic'"},
             {"scan --mono=sepia" + in + "-o " + dir.File("m.pdf"), 2, "sepia"},
             {"--frobnicate", 2, "unknown option --frobnicate"},
             {"--version", 0, "imgdesk "},
         }) {
        const Outcome run = Tool(dir, c.arguments);
        EXPECT_EQ(c.status, run.status) << c.arguments << "\n" << run.err;
        EXPECT_NE(std::string::npos, (run.out + run.err).find(c.said)) << c.arguments << "\n"
                                                                       << run.err;
        EXPECT_FALSE(Exists(out)) << c.arguments;
    }
    // Flags take no value, so an input after one stays an input; options go anywhere; '--' ends
    // them; short options take their value attached or apart; -q leaves only results.
    for (const std::string& arguments : {
             "grey" + in + "--force -o " + out,
             "grey --output=" + out + in + "--force",
             "zoom -o" + out + " --scale=0.5 --force" + in,
             "grey -o " + out + " --force --" + in,
             "negative -q --force" + in + "--output " + out,
         }) {
        const Outcome run = Tool(dir, arguments);
        EXPECT_EQ(0, run.status) << arguments << "\n" << run.err;
        EXPECT_TRUE(Exists(out)) << arguments;
    }
    const Outcome quiet = Tool(dir, "pdf -q" + in + "-o " + dir.File("q.pdf"));
    EXPECT_EQ(0, quiet.status) << quiet.err;
    EXPECT_EQ("", quiet.out + quiet.err);
    const Outcome verbose = Tool(dir, "pdf -v" + in + "-o " + dir.File("v.pdf"));
    EXPECT_NE(std::string::npos, verbose.out.find("bytes")) << verbose.out;
}

// The arguments that make each command write its file to OUT, and the file's extension.
struct Writing {
    std::string arguments;
    std::string extension = ".png";
};

std::map<std::string, Writing> WritingCommands(const std::string& photo, const std::string& jpeg) {
    const std::string picture = " " + photo + " -o OUT";
    return {
        {"brightness", {"--amount 5" + picture}},
        {"contrast", {"--amount 5" + picture}},
        {"saturation", {"--amount 5" + picture}},
        {"channel-gain", {"--red 9" + picture}},
        {"grey", {picture}},
        {"colour", {picture}},
        {"mono", {picture}},
        {"negative", {picture}},
        {"relief", {picture}},
        {"sharpen", {picture}},
        {"turn", {"--by cw" + picture}},
        {"rotate", {"--degrees 10" + picture}},
        {"straighten", {"--angle 3" + picture}},
        {"zoom", {"--scale 0.5" + picture}},
        {"stretch", {picture}},
        {"threshold", {"--level 99" + picture}},
        {"binarize", {picture}},
        {"convolve", {"--kernel 1,2,1" + picture}},
        {"edges", {picture}},
        {"smooth", {picture}},
        {"smooth-colour", {picture}},
        {"erode", {picture}},
        {"largest-region", {picture}},
        {"wavelet", {picture}},
        {"clean-border", {picture}},
        {"clean", {picture}},
        {"grey-copy", {" " + jpeg + " -o OUT"}},
        {"sample", {"--width 64 --height 64 -o OUT"}},
        {"scan", {picture, ".pdf"}},
        {"pdf", {picture, ".pdf"}},
        {"border", {photo + " --draw OUT"}},
        {"frame", {"FRAME --cut OUT"}},
        {"bind", {"SOURCE -o OUT", ".zip"}},
    };
}

TEST_F(Conventions, EveryCommandThatWritesRefusesAnExistingOutputUnlessForced) {
    const std::string frame = dir.File("frame.jpg");
    ASSERT_EQ(0, Tool(dir, "sample --angle 8 --width 400 --height 300 -o " + frame).status);
    const auto commands = WritingCommands(photo, jpeg);
    int tried = 0;
    for (const std::string& name : CommandNames()) {
        if (!OptionsOf(name).count("force"))
            continue;
        const auto found = commands.find(name);
        ASSERT_NE(commands.end(), found) << name << " writes a file this test does not try";
        const std::string target = dir.Write("out-" + name + found->second.extension, "keep");
        const std::string source = dir.Write("source-" + name + ".txt", "bound");
        std::string arguments =
            std::regex_replace(found->second.arguments, std::regex("OUT"), target);
        arguments = std::regex_replace(arguments, std::regex("FRAME"), frame);
        arguments = std::regex_replace(arguments, std::regex("SOURCE"), source);

        const Outcome refused = Tool(dir, name + " " + arguments);
        EXPECT_EQ(1, refused.status) << name << ": " << refused.err;
        EXPECT_NE(std::string::npos, refused.err.find("--force")) << name << ": " << refused.err;
        EXPECT_EQ("keep", ReadFile(target)) << name;
        EXPECT_EQ("bound", ReadFile(source)) << name;
        const Outcome forced = Tool(dir, name + " --force " + arguments);
        EXPECT_EQ(0, forced.status) << name << ": " << forced.err;
        EXPECT_NE("keep", ReadFile(target)) << name;
        ++tried;
    }
    EXPECT_EQ(commands.size(), static_cast<size_t>(tried));
}

TEST_F(Conventions, StandardInputAndOutputStandForOneFile) {
    const std::string viaFile = dir.File("file.png");
    ASSERT_EQ(0, Tool(dir, "grey " + photo + " -o " + viaFile).status);
    const Outcome piped = Tool(dir, "grey - -o - --format png < " + photo);
    ASSERT_EQ(0, piped.status) << piped.err;
    EXPECT_EQ(ReadFile(viaFile), piped.out);
    const Outcome bmp = Tool(dir, "negative --format bmp - -o - < " + jpeg);
    EXPECT_EQ("BM", bmp.out.substr(0, 2));

    // A PDF on standard output is the whole of it; the report goes to standard error.
    const Outcome pdf = Tool(dir, "scan - -o - < " + jpeg);
    ASSERT_EQ(0, pdf.status) << pdf.err;
    EXPECT_EQ(0u, pdf.out.rfind("%PDF-", 0));
    EXPECT_NE(std::string::npos, pdf.out.find("%%EOF", pdf.out.size() - 8));
    EXPECT_NE(std::string::npos, pdf.err.find("wrote standard output (1 page)")) << pdf.err;

    EXPECT_EQ(Tool(dir, "skew --edges " + photo).out, Tool(dir, "skew --edges - < " + photo).out);
    EXPECT_EQ(2, Tool(dir, "pdf - - -o x.pdf < " + photo).status);
}

TEST_F(Conventions, ManualAndCompletionsComeFromTheCommandTable) {
    const std::string man = Tool(dir, "--man").out;
    const std::string bash = Tool(dir, "--completion bash").out;
    const std::string zsh = Tool(dir, "--completion zsh").out;
    ASSERT_EQ(0u, man.rfind(".TH IMGDESK 1", 0));
    EXPECT_EQ(2, Tool(dir, "--completion fish").status);
    const std::vector<std::string> names = CommandNames();
    ASSERT_GE(names.size(), 30u);
    for (const std::string& name : names) {
        EXPECT_NE(
            std::string::npos,
            man.find("\\fBimgdesk " + std::regex_replace(name, std::regex("-"), "\\-") + "\\fR"))
            << name;
        const size_t bashCase = bash.find("\n    " + name + ")\n");
        const size_t zshCase = zsh.find("\n    " + name + ")\n");
        ASSERT_NE(std::string::npos, bashCase) << name;
        ASSERT_NE(std::string::npos, zshCase) << name;
        const std::string bashOptions =
            bash.substr(bashCase, bash.find(";;\n    ", bashCase + 1) - bashCase);
        const std::string zshSpecs = zsh.substr(zshCase, zsh.find(";;", zshCase) - zshCase);
        const std::set<std::string> options = OptionsOf(name);
        EXPECT_TRUE(options.count("quiet") && options.count("help")) << name;
        for (const std::string& option : options) {
            EXPECT_NE(std::string::npos,
                      man.find("\\-\\-" + std::regex_replace(option, std::regex("-"), "\\-")))
                << name << " --" << option;
            EXPECT_NE(std::string::npos, zshSpecs.find("--" + option)) << name << " --" << option;
            const bool common = option == "help" || option == "quiet" || option == "verbose" ||
                                option == "max-pixels";
            EXPECT_TRUE(common || bashOptions.find("--" + option) != std::string::npos)
                << name << " --" << option;
        }
    }
    // The completion works in bash: option names, then the values an option allows.
    const std::string script = dir.Write("imgdesk.bash", bash);
    const Outcome completed = Shell(
        dir,
        "bash -c 'source " + script +
            "; COMP_WORDS=(imgdesk turn --b); COMP_CWORD=2; _imgdesk; echo ${COMPREPLY[@]};"
            " COMP_WORDS=(imgdesk turn --by c); COMP_CWORD=3; _imgdesk; echo ${COMPREPLY[@]}'");
    EXPECT_EQ("--by\ncw ccw\n", completed.out) << completed.err;
}

TEST_F(Conventions, PalettePicturesAnswerAsTheirColourCopies) {
    // A palette PNG: a GIF's colours, turned (which keeps the palette), and its colour copy.
    const std::string page = dir.File("page.png"), gif = dir.File("page.gif"),
                      palette = dir.File("palette.png"), colour = dir.File("colour.png");
    ASSERT_EQ(0, Tool(dir, "sample --angle 5 --width 300 --height 200 -o " + page).status);
    ASSERT_EQ(0, Tool(dir, "colour " + page + " -o " + gif).status);
    ASSERT_EQ(0, Tool(dir, "turn --by half " + gif + " -o " + palette).status);
    ASSERT_EQ(0, Tool(dir, "colour " + palette + " -o " + colour).status);
    ASSERT_EQ(3, ReadFile(palette)[25]) << "not a palette PNG";
    for (const char* command : {"skew", "skew --edges", "border", "border --edges"}) {
        const Outcome fromPalette = Tool(dir, std::string(command) + " " + palette);
        EXPECT_EQ(0, fromPalette.status) << command << fromPalette.err;
        EXPECT_EQ(Tool(dir, std::string(command) + " " + colour).out, fromPalette.out) << command;
    }
    // Turning blends neighbours: colours, not palette indices.
    ASSERT_EQ(0, Tool(dir, "straighten --angle 7 " + palette + " -o " + dir.File("a.png")).status);
    ASSERT_EQ(0, Tool(dir, "straighten --angle 7 " + colour + " -o " + dir.File("b.png")).status);
    EXPECT_EQ(ReadFile(dir.File("b.png")), ReadFile(dir.File("a.png")));

    // Rectangles lie within the picture, whatever its size.
    for (int width : {697, 301, 257}) {
        const std::string picture = dir.File("w" + std::to_string(width) + ".png");
        ASSERT_EQ(0, Tool(dir, "sample --angle 8 --height 472 --width " + std::to_string(width) +
                                   " -o " + picture)
                         .status);
        int left, top, right, bottom;
        char comma;
        std::istringstream rect(Tool(dir, "border --edges " + picture).out);
        ASSERT_TRUE(rect >> left >> comma >> top >> comma >> right >> comma >> bottom) << width;
        EXPECT_TRUE(left >= 0 && top >= 0 && right <= width && bottom <= 472 && left < right &&
                    top < bottom)
            << width << ": " << rect.str();
    }
}

TEST_F(Conventions, MotionSaysWhichFramesMoveAndWhichAreStill) {
    const std::string a = dir.File("a.png"), b = dir.File("b.png");
    ASSERT_EQ(0, Tool(dir, "sample --width 200 --height 150 --seed 1 -o " + a).status);
    ASSERT_EQ(0, Tool(dir, "sample --width 200 --height 150 --seed 2 -o " + b).status);
    const Outcome run = Tool(dir, "motion " + a + " " + a + " " + b);
    ASSERT_EQ(0, run.status) << run.err;
    // About a sixth of the pixels change between the two pages: neither still nor moving by the
    // library's measures, and on either side of a threshold.
    std::smatch found;
    ASSERT_TRUE(std::regex_match(run.out, found,
                                 std::regex(a + "\t0\tstill\n" + b + "\t([0-9]+)\tchanging\n")))
        << run.out;
    const std::string changed = found[1];
    EXPECT_NEAR(30000 / 6, std::stoi(changed), 1000);
    EXPECT_EQ(b + "\t" + changed + "\tmoving\n",
              Tool(dir, "motion --threshold 10 " + a + " " + b).out);
    EXPECT_EQ(b + "\t" + changed + "\tstill\n",
              Tool(dir, "motion --threshold 20 " + a + " " + b).out);
    EXPECT_EQ(2, Tool(dir, "motion --threshold 101 " + a + " " + b).status);
}

}  // namespace
}  // namespace imgdesk::test
