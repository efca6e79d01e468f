#pragma once

// The subcommands of the tool. Each area of the library contributes a list; main gathers them.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "cli/Args.h"

namespace imgdesk::cli {

struct Command {
    std::string name;
    std::string group;    // heading in the tool's help
    std::string summary;  // one line
    std::string usage;    // the command's own help: synopsis, options, what it prints or writes
    std::set<std::string> flags;    // options without a value
    std::function<int(Args&)> run;  // returns the exit status
};

std::vector<Command> PixelCommands();
std::vector<Command> DetectionCommands();
std::vector<Command> DocumentCommands();
Command SampleCommand();

}  // namespace imgdesk::cli
