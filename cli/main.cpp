// imgdesk: the command-line face of the library. One subcommand per capability; `imgdesk help`
// lists them and `imgdesk COMMAND --help` explains one.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Job.h"
#include "cli/Manual.h"
#include "cli/Messages.h"

namespace {

using imgdesk::cli::Args;
using imgdesk::cli::Command;

constexpr const char* kVersion = "imgdesk 0.1.0";

constexpr const char* kAbout =
    "Pixel work and document output for photographed and scanned pages: find the page on\n"
    "the desk, straighten and crop it, clean it to black and white, bind pages into a PDF\n"
    "or a zip, print or mail them.\n";

void PrintOverview(std::FILE* out, const std::vector<Command>& commands) {
    std::fprintf(out, "usage: imgdesk COMMAND [options] [files]\n\n%s", kAbout);
    std::string group;
    for (const Command& command : commands) {
        if (command.group != group) {
            group = command.group;
            std::fprintf(out, "\n%s:\n", group.c_str());
        }
        std::fprintf(out, "  %-16s %s\n", command.name.c_str(), command.summary.c_str());
    }
    std::fputs(
        "\n"
        "imgdesk COMMAND --help explains one command; imgdesk --man prints the manual and\n"
        "imgdesk --completion bash|zsh the shell completion. Pictures are read in any format\n"
        "the library decodes (JPEG, PNG, TIFF, GIF, BMP); the output format follows the\n"
        "extension, or --format. '-' is standard input or output; --force replaces an existing\n"
        "output. Pictures above 100 million pixels are refused before they are decoded;\n"
        "--max-pixels N after any command, or IMGDESK_MAX_PIXELS, sets another limit.\n"
        "Exit status: 0 done, 1 the work failed, 2 a mistake in the command line.\n",
        out);
}

constexpr long long kDefaultMaxPixels = 100000000;

// --max-pixels N: the largest picture read, checked from the file's header before it is
// decoded. Without it IMGDESK_MAX_PIXELS, else 100 million. The library reads the variable.
void SetPixelLimit(const std::optional<std::string>& limit) {
    if (limit) {
        char* end = nullptr;
        const long long value = std::strtoll(limit->c_str(), &end, 10);
        if (end == limit->c_str() || *end || value <= 0)
            throw imgdesk::cli::UsageError("--max-pixels: '" + *limit +
                                           "' is not a positive number");
        ::setenv("IMGDESK_MAX_PIXELS", limit->c_str(), 1);
    } else if (!std::getenv("IMGDESK_MAX_PIXELS")) {
        ::setenv("IMGDESK_MAX_PIXELS", std::to_string(kDefaultMaxPixels).c_str(), 1);
    }
}

bool WantsHelp(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == "--")
            return false;
        if (argument == "-h" || argument == "--help")
            return true;
    }
    return false;
}

// The top-level options that are not commands; -1 when name is none of them.
int RunToolOption(const std::string& name, int argc, char** argv,
                  const std::vector<Command>& commands) {
    if (name == "-h" || name == "--help" || name == "help") {
        if (argc > 2) {
            for (const Command& command : commands) {
                if (command.name == argv[2]) {
                    std::fputs(imgdesk::cli::Usage(command).c_str(), stdout);
                    return 0;
                }
            }
        }
        PrintOverview(stdout, commands);
        return 0;
    }
    if (name == "--version" || name == "-V") {
        std::puts(kVersion);
        return 0;
    }
    if (name == "--man") {
        std::fputs(imgdesk::cli::ManPage(commands, kAbout, kVersion).c_str(), stdout);
        return 0;
    }
    if (name == "--completion") {
        const std::string shell = argc > 2 ? argv[2] : "";
        if (shell == "bash") {
            std::fputs(imgdesk::cli::BashCompletion(commands).c_str(), stdout);
        } else if (shell == "zsh") {
            std::fputs(imgdesk::cli::ZshCompletion(commands).c_str(), stdout);
        } else {
            std::fputs("imgdesk: --completion needs bash or zsh\n", stderr);
            return 2;
        }
        return 0;
    }
    if (name.size() > 1 && name[0] == '-') {
        std::fprintf(stderr, "imgdesk: unknown option %s (see imgdesk --help)\n", name.c_str());
        return 2;
    }
    return -1;
}

int RunCommand(const Command& command, const std::vector<std::string>& arguments) {
    const std::string& name = command.name;
    if (WantsHelp(arguments)) {
        std::fputs(imgdesk::cli::Usage(command).c_str(), stdout);
        return 0;
    }
    std::vector<imgdesk::cli::Option> options = command.options;
    for (const auto& common : imgdesk::cli::CommonOptions())
        options.push_back(common);
    std::optional<Args> args;
    try {
        args.emplace(arguments, options);
        SetPixelLimit(args->Text("max-pixels"));
        const bool quiet = args->Flag("quiet"), verbose = args->Flag("verbose");
        args->Flag("help");
        if (quiet && verbose)
            throw imgdesk::cli::UsageError("-q/--quiet and -v/--verbose contradict each other");
        imgdesk::cli::SetVerbosity(quiet     ? imgdesk::cli::Verbosity::Quiet
                                   : verbose ? imgdesk::cli::Verbosity::Verbose
                                             : imgdesk::cli::Verbosity::Normal);
    } catch (const imgdesk::cli::UsageError& error) {
        std::fprintf(stderr, "imgdesk %s: %s (see imgdesk %s --help)\n", name.c_str(), error.what(),
                     name.c_str());
        return 2;
    }
    imgdesk::cli::StartJob();
    struct JobEnd {
        ~JobEnd() { imgdesk::cli::EndJob(); }
    } jobEnd;
    try {
        return command.run(*args);
    } catch (const imgdesk::cli::UsageError& error) {
        std::fprintf(stderr, "imgdesk %s: %s (see imgdesk %s --help)\n", name.c_str(), error.what(),
                     name.c_str());
        return 2;
    } catch (const imgdesk::cli::RunError& error) {
        std::fprintf(stderr, "imgdesk %s: %s\n", name.c_str(), error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "imgdesk %s: out of memory\n", name.c_str());
        return 1;
    }
}

}  // namespace

// Tesseract, which reads the page text, runs OpenMP teams of its own inside each call; the tool
// already works one page per core, so more threads per page only crowd the machine (a page took
// seven times as long). OpenMP reads its limit once, when the process starts: the tool sets it
// and starts itself again, once.
void LimitTextEngineThreads(char** argv) {
    if (std::getenv("OMP_THREAD_LIMIT"))
        return;
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    ::execv("/proc/self/exe", argv);  // returns only when it could not: carry on as we are
}

int main(int argc, char** argv) {
    LimitTextEngineThreads(argv);
    const std::vector<Command> commands = imgdesk::cli::AllCommands();
    if (argc < 2) {
        PrintOverview(stderr, commands);
        return 2;
    }
    const std::string name = argv[1];
    if (const int status = RunToolOption(name, argc, argv, commands); status >= 0)
        return status;
    for (const Command& command : commands) {
        if (command.name == name)
            return RunCommand(command, std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "imgdesk: unknown command '%s' (see imgdesk --help)\n", name.c_str());
    return 2;
}
