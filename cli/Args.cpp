#include "cli/Args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace imgdesk::cli {

namespace {

std::string Dashed(const std::string& name) {
    return "--" + name;
}

std::string Shortest(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

std::string Describe(const Option& option) {
    return option.letter ? std::string("-") + option.letter + "/--" + option.name
                         : "--" + option.name;
}

Args::Args(const std::vector<std::string>& arguments, std::vector<Option> options)
    : options_(std::move(options)) {
    auto byName = [&](const std::string& name) -> const Option* {
        for (const Option& option : options_)
            if (option.name == name)
                return &option;
        return nullptr;
    };
    auto byLetter = [&](char letter) -> const Option* {
        for (const Option& option : options_)
            if (option.letter == letter)
                return &option;
        return nullptr;
    };
    bool onlyPositionals = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPositionals || argument.size() < 2 || argument[0] != '-') {
            positionals_.push_back(argument);  // "-" included: standard input or output
            continue;
        }
        if (argument == "--") {
            onlyPositionals = true;
            continue;
        }
        if (argument[1] == '-') {
            std::string name = argument.substr(2);
            std::optional<std::string> value;
            if (const size_t equals = name.find('='); equals != std::string::npos) {
                value = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
            const Option* option = byName(name);
            if (!option)
                throw UsageError("unknown option --" + name);
            if (option->takes == Takes::Value && !value) {
                if (i + 1 >= arguments.size())
                    throw UsageError(Describe(*option) + " needs a value");
                value = arguments[++i];
            }
            Give(*option, value, "--" + name);
            continue;
        }
        // Short options: flags may be bundled (-qv); one that takes a value takes the rest of the
        // argument, or else the next argument.
        for (size_t at = 1; at < argument.size(); ++at) {
            const Option* option = byLetter(argument[at]);
            if (!option)
                throw UsageError(std::string("unknown option -") + argument[at]);
            if (option->takes != Takes::Value) {
                Give(*option, std::nullopt, std::string("-") + argument[at]);
                continue;
            }
            std::string value = argument.substr(at + 1);
            if (value.empty()) {
                if (i + 1 >= arguments.size())
                    throw UsageError(Describe(*option) + " needs a value");
                value = arguments[++i];
            }
            Give(*option, value, std::string("-") + argument[at]);
            break;
        }
    }
}

void Args::Give(const Option& option, const std::optional<std::string>& value,
                const std::string& spelled) {
    if (option.takes == Takes::Nothing && value)
        throw UsageError(spelled + " takes no value");
    if (option.takes == Takes::Value && values_.count(option.name))
        throw UsageError(Describe(option) + " is given twice");
    values_[option.name] = value.value_or("");
}

const Option& Args::Declared(const std::string& name) const {
    for (const Option& option : options_)
        if (option.name == name)
            return option;
    // A command reading an option its table entry lacks: the help would not show it.
    throw std::logic_error("option --" + name + " is read but not declared");
}

bool Args::Declares(const std::string& name) const {
    for (const Option& option : options_)
        if (option.name == name)
            return true;
    return false;
}

bool Args::Flag(const std::string& name) {
    Declared(name);
    read_.insert(name);
    return values_.count(name) > 0;
}

std::optional<std::string> Args::FlagValue(const std::string& name) {
    Declared(name);
    read_.insert(name);
    auto found = values_.find(name);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> Args::Text(const std::string& name) {
    return FlagValue(name);
}

std::string Args::Text(const std::string& name, const std::string& fallback) {
    return Text(name).value_or(fallback);
}

std::string Args::RequiredText(const std::string& name) {
    auto value = Text(name);
    if (!value)
        throw UsageError(Describe(Declared(name)) + " is required");
    return *value;
}

int Args::Int(const std::string& name, int fallback, int minimum, int maximum) {
    auto value = Text(name);
    return value ? ParseInt(name, *value, minimum, maximum) : fallback;
}

int Args::RequiredInt(const std::string& name, int minimum, int maximum) {
    return ParseInt(name, RequiredText(name), minimum, maximum);
}

double Args::Number(const std::string& name, double fallback, double minimum, double maximum) {
    auto value = Text(name);
    return value ? ParseNumber(name, *value, minimum, maximum) : fallback;
}

double Args::RequiredNumber(const std::string& name, double minimum, double maximum) {
    return ParseNumber(name, RequiredText(name), minimum, maximum);
}

const std::vector<std::string>& Args::RequirePositionals(size_t count, const char* what) {
    if (positionals_.size() != count) {
        throw UsageError(std::string("expected ") + what + ", got " +
                         std::to_string(positionals_.size()) + " argument" +
                         (positionals_.size() == 1 ? "" : "s"));
    }
    return positionals_;
}

const std::vector<std::string>& Args::RequireAtLeast(size_t count, const char* what) {
    if (positionals_.size() < count)
        throw UsageError(std::string("expected ") + what);
    return positionals_;
}

void Args::Finish() const {
    for (const auto& entry : values_) {
        if (!read_.count(entry.first))
            throw UsageError(Describe(Declared(entry.first)) + " does not apply here");
    }
}

int ParseInt(const std::string& option, const std::string& text, int minimum, int maximum) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno == ERANGE) {
        throw UsageError(Dashed(option) + ": '" + text + "' is not a whole number");
    }
    if (value < minimum || value > maximum) {
        throw UsageError(Dashed(option) + ": " + text + " is outside " + std::to_string(minimum) +
                         ".." + std::to_string(maximum));
    }
    return static_cast<int>(value);
}

double ParseNumber(const std::string& option, const std::string& text, double minimum,
                   double maximum) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(value)) {
        throw UsageError(Dashed(option) + ": '" + text + "' is not a number");
    }
    if (value < minimum || value > maximum) {
        throw UsageError(Dashed(option) + ": " + text + " is outside " + Shortest(minimum) + ".." +
                         Shortest(maximum));
    }
    return value;
}

}  // namespace imgdesk::cli
