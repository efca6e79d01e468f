// imgdesk: the command-line face of the library. One subcommand per capability; `imgdesk help`
// lists them and `imgdesk COMMAND --help` explains one.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Job.h"

namespace {

using imgdesk::cli::Args;
using imgdesk::cli::Command;

constexpr const char* kVersion = "imgdesk 0.1.0";

std::vector<Command> AllCommands() {
    std::vector<Command> all;
    for (auto list : {imgdesk::cli::PixelCommands, imgdesk::cli::DetectionCommands,
                      imgdesk::cli::DocumentCommands}) {
        for (auto& command : list())
            all.push_back(std::move(command));
    }
    all.push_back(imgdesk::cli::SampleCommand());
    return all;
}

void PrintOverview(std::FILE* out, const std::vector<Command>& commands) {
    std::fputs(
        "usage: imgdesk COMMAND [options] [files]\n"
        "\n"
        "Pixel work and document output for photographed and scanned pages: find the page on\n"
        "the desk, straighten and crop it, clean it to black and white, bind pages into a PDF\n"
        "or a zip, print or mail them.\n",
        out);
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
        "imgdesk COMMAND --help explains one command. Pictures are read in any format the\n"
        "library decodes (JPEG, PNG, TIFF, GIF, BMP); the output format follows the extension.\n"
        "Pictures above 100 million pixels are refused before they are decoded; --max-pixels N\n"
        "after any command, or IMGDESK_MAX_PIXELS, sets another limit.\n"
        "Exit status: 0 done, 1 the work failed, 2 a mistake in the command line.\n",
        out);
}

constexpr long long kDefaultMaxPixels = 100000000;

// --max-pixels N (or --max-pixels=N) may follow any command: the largest picture read, checked
// from the file's header before it is decoded. Without it IMGDESK_MAX_PIXELS, else 100 million.
std::vector<std::string> TakePixelLimit(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest;
    std::string limit;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            rest.insert(rest.end(), arguments.begin() + static_cast<long>(i), arguments.end());
            break;
        }
        if (argument == "--max-pixels") {
            if (i + 1 == arguments.size())
                throw imgdesk::cli::UsageError("--max-pixels needs a value");
            limit = arguments[++i];
        } else if (argument.rfind("--max-pixels=", 0) == 0) {
            limit = argument.substr(13);
        } else {
            rest.push_back(argument);
        }
    }
    if (!limit.empty()) {
        char* end = nullptr;
        const long long value = std::strtoll(limit.c_str(), &end, 10);
        if (end == limit.c_str() || *end || value <= 0)
            throw imgdesk::cli::UsageError("--max-pixels: '" + limit + "' is not a positive number");
        ::setenv("IMGDESK_MAX_PIXELS", limit.c_str(), 1);
    } else if (!std::getenv("IMGDESK_MAX_PIXELS")) {
        ::setenv("IMGDESK_MAX_PIXELS", std::to_string(kDefaultMaxPixels).c_str(), 1);
    }
    return rest;
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
    const std::vector<Command> commands = AllCommands();
    if (argc < 2) {
        PrintOverview(stderr, commands);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        if (argc > 2) {
            for (const Command& command : commands) {
                if (command.name == argv[2]) {
                    std::fputs(command.usage.c_str(), stdout);
                    return 0;
                }
            }
        }
        PrintOverview(stdout, commands);
        return 0;
    }
    if (name == "--version") {
        std::puts(kVersion);
        return 0;
    }
    for (const Command& command : commands) {
        if (command.name != name)
            continue;
        const std::vector<std::string> arguments(argv + 2, argv + argc);
        if (WantsHelp(arguments)) {
            std::fputs(command.usage.c_str(), stdout);
            return 0;
        }
        std::vector<std::string> rest;
        try {
            rest = TakePixelLimit(arguments);
        } catch (const imgdesk::cli::UsageError& error) {
            std::fprintf(stderr, "imgdesk %s: %s\n", name.c_str(), error.what());
            return 2;
        }
        // Every command may be told to replace its outputs; those that write none refuse it.
        std::set<std::string> flags = command.flags;
        flags.insert("force");
        imgdesk::cli::StartJob();
        struct JobEnd {
            ~JobEnd() { imgdesk::cli::EndJob(); }
        } jobEnd;
        try {
            Args args(rest, flags);
            return command.run(args);
        } catch (const imgdesk::cli::UsageError& error) {
            std::fprintf(stderr, "imgdesk %s: %s (see imgdesk %s --help)\n", name.c_str(),
                         error.what(), name.c_str());
            return 2;
        } catch (const imgdesk::cli::RunError& error) {
            std::fprintf(stderr, "imgdesk %s: %s\n", name.c_str(), error.what());
            return 1;
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "imgdesk %s: out of memory\n", name.c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "imgdesk: unknown command '%s' (see imgdesk --help)\n", name.c_str());
    return 2;
}
