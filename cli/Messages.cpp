#include "cli/Messages.h"

#include <atomic>
#include <cstdio>

namespace imgdesk::cli {
namespace {

std::atomic<Verbosity> verbosity{Verbosity::Normal};
std::atomic<bool> standardOutputTaken{false};

void Say(const std::string& line) {
    std::FILE* stream = standardOutputTaken ? stderr : stdout;
    std::fprintf(stream, "%s\n", line.c_str());
}

}  // namespace

void SetVerbosity(Verbosity level) {
    verbosity = level;
}

Verbosity CurrentVerbosity() {
    return verbosity;
}

void TakeStandardOutput() {
    standardOutputTaken = true;
}

void Report(const std::string& line) {
    if (verbosity != Verbosity::Quiet)
        Say(line);
}

void Detail(const std::string& line) {
    if (verbosity == Verbosity::Verbose)
        Say(line);
}

}  // namespace imgdesk::cli
