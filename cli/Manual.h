#pragma once

// The man page and the shell completions, made from the command table (as --help is), so that
// none of them can name a command or option the tool lacks, or miss one it has.
#include <string>
#include <vector>

#include "cli/Command.h"

namespace imgdesk::cli {

// The man page in roff (man(7) macros). about: the tool's description paragraphs; version: the
// tool's name and version.
std::string ManPage(const std::vector<Command>& commands, const std::string& about,
                    const std::string& version);
// A bash completion script for complete -F; completes commands, options, option values with a
// fixed set of choices, and file names.
std::string BashCompletion(const std::vector<Command>& commands);
// A zsh completion function (#compdef imgdesk), with each option's help.
std::string ZshCompletion(const std::vector<Command>& commands);

}  // namespace imgdesk::cli
