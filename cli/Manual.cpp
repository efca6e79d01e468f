#include "cli/Manual.h"

#include <sstream>

namespace imgdesk::cli {
namespace {

// Text as roff shows it literally: backslashes escaped, dashes as minus signs (so that options
// can be searched and copied), and no line starting with a control character.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string RoffLabel(const Option& option) {
    std::string label = "\\fB";
    if (option.letter)
        label += std::string("\\-") + option.letter + "\\fR, \\fB";
    label += "\\-\\-" + Roff(option.name) + "\\fR";
    if (option.takes == Takes::Value)
        label += " \\fI" + Roff(option.value) + "\\fR";
    else if (option.takes == Takes::OptionalValue)
        label += "[=\\fI" + Roff(option.value) + "\\fR]";
    return label;
}

void RoffOptions(std::ostringstream& out, const std::vector<Option>& options) {
    for (const Option& option : options)
        out << ".TP\n" << RoffLabel(option) << "\n" << Roff(option.help) << "\n";
}

std::string ShellWords(const std::vector<Option>& options) {
    std::string words;
    for (const Option& option : options) {
        if (option.letter)
            words += std::string(words.empty() ? "" : " ") + "-" + option.letter;
        words += (words.empty() ? "--" : " --") + option.name;
    }
    return words;
}

// Inside zsh single quotes: a quote is closed, escaped and reopened; brackets and colons, which
// _arguments reads, are escaped.
std::string ZshText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '[' || c == ']' || c == ':' || c == '\\')
            out += std::string("\\") + c;
        else if (c == '\n')
            out += ' ';
        else
            out += c;
    }
    return out;
}

std::string ZshAction(const Option& option) {
    if (option.takes == Takes::Nothing)
        return "";
    const std::string value = ZshText(option.value);
    if (option.choices == "FILE")
        return ":" + value + ":_files";
    if (!option.choices.empty())
        return ":" + value + ":(" + option.choices + ")";
    return ":" + value + ": ";
}

}  // namespace

std::string ManPage(const std::vector<Command>& commands, const std::string& about,
                    const std::string& version) {
    std::ostringstream out;
    out << ".TH IMGDESK 1 \"\" \"" << Roff(version) << "\" \"User Commands\"\n"
        << ".SH NAME\nimgdesk \\- find, straighten, clean and bind photographed pages\n"
        << ".SH SYNOPSIS\n.B imgdesk\n.I COMMAND\n[\\fIoptions\\fR] [\\fIfiles\\fR]\n"
        << ".br\n.B imgdesk\n\\fB\\-\\-help\\fR | "
           "\\fB\\-\\-version\\fR | \\fB\\-\\-man\\fR | \\fB\\-\\-completion\\fR "
           "\\fBbash\\fR|\\fBzsh\\fR\n"
        << ".SH DESCRIPTION\n"
        << Roff(about) << "\n"
        << ".SH COMMANDS\n";
    std::string group;
    for (const Command& command : commands) {
        if (command.group != group) {
            group = command.group;
            out << ".SS " << Roff(group) << "\n";
        }
        // The usage lines are the tag; the description and the options go below.
        const std::string named = "\\fBimgdesk " + Roff(command.name) + "\\fR";
        std::istringstream synopsis(command.synopsis);
        std::string line;
        out << ".TP\n";
        for (bool first = true; std::getline(synopsis, line); first = false)
            out << (first ? "" : ".br\n") << named << " " << Roff(line) << "\n";
        if (command.synopsis.empty())
            out << named << "\n";
        out << Roff(command.description);
        if (!command.options.empty()) {
            out << ".RS\n";
            RoffOptions(out, command.options);
            out << ".RE\n";
        }
    }
    out << ".SH COMMON OPTIONS\nEvery command takes these:\n";
    RoffOptions(out, CommonOptions());
    out << ".SH CONVENTIONS\n"
        << Roff(
               "Options and files may come in any order; -- ends the options. A flag never "
               "takes a value; an option with an optional value takes it only after '=' "
               "(--mono=classic). An existing output is replaced only with --force. Where a "
               "command reads or writes one file, - stands for standard input or output; "
               "--format then names the output's format.\n")
        << ".SH EXIT STATUS\n"
        << Roff("0 done, 1 the work failed, 2 a mistake in the command line.\n")
        << ".SH ENVIRONMENT\n"
        << ".TP\n.B IMGDESK_MAX_PIXELS\nthe largest picture read, in pixels\n"
        << ".TP\n.B IMGDESK_MAX_UNPACK_BYTES\nthe most an archive may unpack to\n"
        << ".TP\n.B IMGDESK_BIND_DIR\nthe bind folder\n"
        << ".TP\n.B IMGDESK_PRINTER\nthe printer when \\fB\\-\\-printer\\fR is not given\n";
    return out.str();
}

std::string BashCompletion(const std::vector<Command>& commands) {
    std::ostringstream out;
    std::string names;
    for (const Command& command : commands)
        names += command.name + " ";
    out << "# bash completion for imgdesk, made by imgdesk --completion bash\n"
        << "_imgdesk() {\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        << "    COMPREPLY=()\n"
        << "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"" << names
        << "--help --version --man --completion\" -- \"$cur\"))\n"
        << "        return\n"
        << "    fi\n"
        << "    local options=\"" << ShellWords(CommonOptions()) << "\"\n"
        << "    case \"${COMP_WORDS[1]}\" in\n";
    for (const Command& command : commands) {
        out << "    " << command.name << ")\n"
            << "        options=\"$options " << ShellWords(command.options) << "\"\n"
            << "        case \"$prev\" in\n";
        for (const Option& option : command.options) {
            if (option.takes != Takes::Value)
                continue;
            out << "        " << (option.letter ? std::string("-") + option.letter + "|" : "")
                << "--" << option.name << ")\n";
            if (option.choices == "FILE")
                out << "            COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
            else if (!option.choices.empty())
                out << "            COMPREPLY=($(compgen -W \"" << option.choices
                    << "\" -- \"$cur\")); return ;;\n";
            else
                out << "            return ;;\n";
        }
        out << "        esac ;;\n";
    }
    out << "    --completion)\n"
        << "        COMPREPLY=($(compgen -W \"bash zsh\" -- \"$cur\")); return ;;\n"
        << "    esac\n"
        << "    if [[ $prev == --max-pixels ]]; then return; fi\n"
        << "    if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        << "    else\n"
        << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -o filenames -F _imgdesk imgdesk\n";
    return out.str();
}

std::string ZshCompletion(const std::vector<Command>& commands) {
    std::ostringstream out;
    auto specs = [&](const std::vector<Option>& options) {
        for (const Option& option : options) {
            const std::string help = "[" + ZshText(option.help) + "]" + ZshAction(option);
            const std::string name =
                option.takes == Takes::OptionalValue ? option.name + "=-" : option.name;
            if (option.letter) {
                out << "            '(-" << option.letter << " --" << option.name << ")'{-"
                    << option.letter << ",--" << name << "}'" << help << "' \\\n";
            } else {
                out << "            '--" << name << help << "' \\\n";
            }
        }
    };
    out << "#compdef imgdesk\n"
        << "# zsh completion for imgdesk, made by imgdesk --completion zsh\n"
        << "_imgdesk() {\n"
        << "    local -a commands\n"
        << "    commands=(\n";
    for (const Command& command : commands)
        out << "        '" << command.name << ":" << ZshText(command.summary) << "'\n";
    out << "    )\n"
        << "    if (( CURRENT == 2 )); then\n"
        << "        _describe 'command' commands\n"
        << "        return\n"
        << "    fi\n"
        << "    local command=$words[2]\n"
        << "    shift words\n"
        << "    (( CURRENT-- ))\n"
        << "    case $command in\n";
    for (const Command& command : commands) {
        out << "    " << command.name << ")\n"
            << "        _arguments -s -S \\\n";
        specs(command.options);
        specs(CommonOptions());
        out << "            '*:file:_files' ;;\n";
    }
    out << "    esac\n"
        << "}\n"
        << "_imgdesk \"$@\"\n";
    return out.str();
}

}  // namespace imgdesk::cli
