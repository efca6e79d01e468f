#pragma once

// Command-line arguments of one subcommand: options (--name value, --name=value, -x value, flags)
// and positional arguments. Every option a command reads is declared when it is read; whatever was
// given and never read is reported as unknown by Finish, so typos do not pass silently.
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace imgdesk::cli {

// A mistake in the command line; the message says what and the tool exits with status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A failure while doing the work (unreadable file, failed operation); exit status 1.
struct RunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Args {
public:
    // flagNames: options that take no value (given without the leading dashes).
    Args(const std::vector<std::string>& arguments, const std::set<std::string>& flagNames);

    bool Flag(const std::string& name);
    // A flag that may carry a value (--mono, --mono=classic): nullopt when not given, an empty
    // text when given without a value.
    std::optional<std::string> FlagValue(const std::string& name);
    std::optional<std::string> Text(const std::string& name);
    std::string Text(const std::string& name, const std::string& fallback);
    std::string RequiredText(const std::string& name);
    int Int(const std::string& name, int fallback, int minimum, int maximum);
    int RequiredInt(const std::string& name, int minimum, int maximum);
    double Number(const std::string& name, double fallback, double minimum, double maximum);
    double RequiredNumber(const std::string& name, double minimum, double maximum);

    const std::vector<std::string>& Positionals() const { return positionals_; }
    // Exactly count positional arguments, named for the message.
    const std::vector<std::string>& RequirePositionals(size_t count, const char* what);
    const std::vector<std::string>& RequireAtLeast(size_t count, const char* what);

    // Throws UsageError for any option that no call above asked for.
    void Finish() const;

private:
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    std::map<std::string, std::string> flagValues_;
    std::set<std::string> read_;
    std::vector<std::string> positionals_;
};

// Whole-number and decimal parsing with clear messages ("--scale: '2x' is not a number").
int ParseInt(const std::string& option, const std::string& text, int minimum, int maximum);
double ParseNumber(const std::string& option, const std::string& text, double minimum,
                   double maximum);

}  // namespace imgdesk::cli
