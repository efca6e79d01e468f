#pragma once

// A stand-in program on PATH that records how it was started: each run leaves one record with
// its arguments and working folder. Used to check what the library hands to programs it starts.
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace imgdesk::test {

struct ProgramRun {
    std::vector<std::string> arguments;  // without the program name
    std::string folder;                  // its working folder
};

class RecordingProgram {
public:
    // Writes an executable script of that name into a fresh folder and puts the folder first on
    // PATH for the life of the object.
    explicit RecordingProgram(const std::string& name);

    const std::string& Path() const { return path_; }
    // Waits (up to a few seconds; the programs run detached) until at least count runs have
    // been recorded, and returns every run recorded so far, in the order they were recorded.
    std::vector<ProgramRun> WaitForRuns(std::size_t count) const;

private:
    TempDir folder_;
    std::string path_;
    std::string records_;
    ScopedEnv path_variable_;
};

}  // namespace imgdesk::test
