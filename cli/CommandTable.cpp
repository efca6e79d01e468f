// The help text made from the command table, and the options every command shares.
#include <sstream>

#include "cli/Command.h"

namespace imgdesk::cli {

const std::vector<Option>& CommonOptions() {
    static const std::vector<Option> common = {
        {"help", 'h', Takes::Nothing, "", "show this help and stop", ""},
        {"quiet", 'q', Takes::Nothing, "", "say nothing but results, warnings and errors", ""},
        {"verbose", 'v', Takes::Nothing, "", "also say what is written where", ""},
        {"max-pixels", 0, Takes::Value, "N",
         "refuse pictures above N pixels, from their header\n"
         "(default $IMGDESK_MAX_PIXELS, else 100 million)",
         ""},
    };
    return common;
}

std::vector<Option> OutputOptions(const std::string& what, const std::string& formats) {
    const bool several = formats.find(' ') != std::string::npos;
    return {
        {"output", 'o', Takes::Value, "OUTPUT",
         "the " + what + " to write; - writes it to standard output" +
             (several ? "\n(its extension, else --format, picks the format)" : ""),
         "FILE"},
        {"format", 0, Takes::Value, "FORMAT",
         several ? "the format to write when OUTPUT has no extension or is -"
                 : "the format written",
         formats},
        {"force", 0, Takes::Nothing, "", "replace OUTPUT if it exists", ""},
    };
}

namespace {

std::string Label(const Option& option) {
    std::string label = option.letter ? std::string("-") + option.letter + ", " : "    ";
    label += "--" + option.name;
    if (option.takes == Takes::Value)
        label += " " + option.value;
    else if (option.takes == Takes::OptionalValue)
        label += "[=" + option.value + "]";
    return label;
}

void ListOptions(std::ostringstream& out, const std::vector<Option>& options) {
    constexpr size_t kColumn = 24;
    for (const Option& option : options) {
        const std::string label = "  " + Label(option);
        std::istringstream help(option.help);
        std::string line;
        std::getline(help, line);
        if (label.size() + 2 > kColumn)
            out << label << "\n" << std::string(kColumn, ' ') << line << "\n";
        else
            out << label << std::string(kColumn - label.size(), ' ') << line << "\n";
        while (std::getline(help, line))
            out << std::string(kColumn, ' ') << line << "\n";
    }
}

}  // namespace

std::string Usage(const Command& command) {
    std::ostringstream out;
    std::istringstream synopsis(command.synopsis);
    std::string line;
    bool first = true;
    while (std::getline(synopsis, line)) {
        out << (first ? "usage: " : "       ") << "imgdesk " << command.name
            << (line.empty() ? "" : " " + line) << "\n";
        first = false;
    }
    if (first)
        out << "usage: imgdesk " << command.name << "\n";
    out << "\n" << command.description;
    if (!command.options.empty()) {
        out << "\noptions:\n";
        ListOptions(out, command.options);
    }
    out << "\ncommon options:\n";
    ListOptions(out, CommonOptions());
    return out.str();
}

std::vector<Command> AllCommands() {
    std::vector<Command> all;
    for (auto list : {PixelCommands, DetectionCommands, DocumentCommands}) {
        for (auto& command : list())
            all.push_back(std::move(command));
    }
    all.push_back(SampleCommand());
    return all;
}

}  // namespace imgdesk::cli
