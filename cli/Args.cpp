#include "cli/Args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace imgdesk::cli {

namespace {

std::string Describe(const std::string& option) {
    return "--" + option;
}

std::string Shortest(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

Args::Args(const std::vector<std::string>& arguments, const std::set<std::string>& flagNames) {
    bool onlyPositionals = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPositionals || argument.size() < 2 || argument[0] != '-') {
            positionals_.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyPositionals = true;
            continue;
        }
        // "-o x" is "--o x"; "--name=value" carries its value.
        std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        std::optional<std::string> value;
        if (const size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (flagNames.count(name)) {
            // Whether a flag may carry a value is known only when the command reads it.
            if (value)
                flagValues_[name] = *value;
            flags_.insert(name);
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size())
                throw UsageError(Describe(name) + " needs a value");
            value = arguments[++i];
        }
        if (values_.count(name))
            throw UsageError(Describe(name) + " is given twice");
        values_[name] = *value;
    }
}

bool Args::Flag(const std::string& name) {
    read_.insert(name);
    if (flagValues_.count(name))
        throw UsageError(Describe(name) + " takes no value");
    return flags_.count(name) > 0;
}

std::optional<std::string> Args::FlagValue(const std::string& name) {
    read_.insert(name);
    if (!flags_.count(name))
        return std::nullopt;
    auto found = flagValues_.find(name);
    return found == flagValues_.end() ? std::string() : found->second;
}

std::optional<std::string> Args::Text(const std::string& name) {
    read_.insert(name);
    auto found = values_.find(name);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
}

std::string Args::Text(const std::string& name, const std::string& fallback) {
    return Text(name).value_or(fallback);
}

std::string Args::RequiredText(const std::string& name) {
    auto value = Text(name);
    if (!value)
        throw UsageError(Describe(name) + " is required");
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
            throw UsageError("unknown option " + Describe(entry.first));
    }
    for (const auto& flag : flags_) {
        if (!read_.count(flag))
            throw UsageError("unknown option " + Describe(flag));
    }
}

int ParseInt(const std::string& option, const std::string& text, int minimum, int maximum) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno == ERANGE) {
        throw UsageError(Describe(option) + ": '" + text + "' is not a whole number");
    }
    if (value < minimum || value > maximum) {
        throw UsageError(Describe(option) + ": " + text + " is outside " + std::to_string(minimum) +
                         ".." + std::to_string(maximum));
    }
    return static_cast<int>(value);
}

double ParseNumber(const std::string& option, const std::string& text, double minimum,
                   double maximum) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(value)) {
        throw UsageError(Describe(option) + ": '" + text + "' is not a number");
    }
    if (value < minimum || value > maximum) {
        throw UsageError(Describe(option) + ": " + text + " is outside " + Shortest(minimum) +
                         ".." + Shortest(maximum));
    }
    return value;
}

}  // namespace imgdesk::cli
