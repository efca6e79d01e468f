#pragma once

// The subcommands of the tool, each described by one table entry: its synopsis, what it does and
// every option it takes. The parser, --help, the man page and the shell completions are all made
// from these entries, so they cannot disagree. Each area of the library contributes a list; main
// gathers them.
#include <functional>
#include <string>
#include <vector>

#include "cli/Args.h"

namespace imgdesk::cli {

struct Command {
    std::string name;
    std::string group;            // heading in the tool's help
    std::string summary;          // one line
    std::string synopsis;         // what follows "imgdesk NAME" in the usage line; lines may follow
    std::string description;      // what it does, prints or writes (lines of at most 90 columns)
    std::vector<Option> options;  // the command's own, without the common ones
    std::function<int(Args&)> run;  // returns the exit status
};

// Options every command takes: -h/--help, -q/--quiet, -v/--verbose, --max-pixels.
const std::vector<Option>& CommonOptions();

// The options of a command that writes one file: -o/--output, --format (with the formats it
// writes, space-separated) and --force.
std::vector<Option> OutputOptions(const std::string& what, const std::string& formats);

// The command's help text: usage line, description, its options and the common ones.
std::string Usage(const Command& command);

std::vector<Command> PixelCommands();
std::vector<Command> DetectionCommands();
std::vector<Command> DocumentCommands();
Command SampleCommand();
std::vector<Command> AllCommands();

}  // namespace imgdesk::cli
