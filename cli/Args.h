#pragma once

// Command-line arguments of one subcommand, parsed against the options it declares, with the
// conventions of common Unix tools: --name VALUE, --name=VALUE, -x VALUE, -xVALUE, bundled short
// flags (-qv), flags that never take a value, values that may be given only with '='
// (--mono[=classic]), '--' ending the options and '-' as a positional argument (standard input
// or output). An undeclared option is a usage error at once: it never takes the next argument.
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

enum class Takes { Nothing, Value, OptionalValue };

struct Option {
    std::string name;  // the long name, without dashes
    char letter = 0;   // the short name, if any
    Takes takes = Takes::Nothing;
    std::string value;  // the value's placeholder in help: N, OUTPUT, LANGS
    std::string help;   // lines of help; lines after the first are continuations
    // How shells complete the value: "" free text, "FILE" file names, else the words allowed.
    std::string choices;
};

// "-o/--output" or "--amount": how messages name an option.
std::string Describe(const Option& option);

class Args {
public:
    // Throws UsageError for an undeclared option, a missing value, a value given to a flag, or
    // an option with a value given twice.
    Args(const std::vector<std::string>& arguments, std::vector<Option> options);

    bool Flag(const std::string& name);
    // An option with an optional value (--mono, --mono=classic): nullopt when not given, an
    // empty text when given without a value.
    std::optional<std::string> FlagValue(const std::string& name);
    std::optional<std::string> Text(const std::string& name);
    std::string Text(const std::string& name, const std::string& fallback);
    std::string RequiredText(const std::string& name);
    int Int(const std::string& name, int fallback, int minimum, int maximum);
    int RequiredInt(const std::string& name, int minimum, int maximum);
    double Number(const std::string& name, double fallback, double minimum, double maximum);
    double RequiredNumber(const std::string& name, double minimum, double maximum);
    // Whether the command declares the option.
    bool Declares(const std::string& name) const;

    const std::vector<std::string>& Positionals() const { return positionals_; }
    // Exactly count positional arguments, named for the message.
    const std::vector<std::string>& RequirePositionals(size_t count, const char* what);
    const std::vector<std::string>& RequireAtLeast(size_t count, const char* what);

    // Throws UsageError for an option given that the command did not use in this run (--rect
    // without --angle, say).
    void Finish() const;

private:
    const Option& Declared(const std::string& name) const;
    void Give(const Option& option, const std::optional<std::string>& value,
              const std::string& spelled);

    std::vector<Option> options_;
    std::map<std::string, std::string> values_;  // by long name; flags have an empty value
    std::set<std::string> read_;
    std::vector<std::string> positionals_;
};

// Whole-number and decimal parsing with clear messages ("--scale: '2x' is not a number").
int ParseInt(const std::string& option, const std::string& text, int minimum, int maximum);
double ParseNumber(const std::string& option, const std::string& text, double minimum,
                   double maximum);

}  // namespace imgdesk::cli
