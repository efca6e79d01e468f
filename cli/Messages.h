#pragma once

// What the tool says besides its results: reports of what was done ("wrote pages.pdf (3
// pages)"), silenced by -q/--quiet, and details that only -v/--verbose shows. They go to standard
// output unless the output file itself goes there (-o -), then to standard error. Warnings and
// errors always go to standard error; results asked for (a measured angle, a rectangle) always
// go to standard output.
#include <string>

namespace imgdesk::cli {

enum class Verbosity { Quiet, Normal, Verbose };

void SetVerbosity(Verbosity verbosity);
Verbosity CurrentVerbosity();
// Standard output carries an output file from now on: reports go to standard error.
void TakeStandardOutput();

// A report of what was done (shown unless quiet).
void Report(const std::string& line);
// A detail of the work (shown when verbose).
void Detail(const std::string& line);

}  // namespace imgdesk::cli
