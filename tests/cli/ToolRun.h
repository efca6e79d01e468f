#pragma once

// Running the imgdesk tool as a program from the tests: through the shell, with both streams
// captured.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"

namespace imgdesk::test {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Runs a command line through the shell, capturing both streams.
inline Outcome Shell(const TempDir& dir, const std::string& command) {
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    const int raw = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
}

inline Outcome Tool(const TempDir& dir, const std::string& arguments) {
    return Shell(dir, std::string("'") + IMGDESK_CLI + "' " + arguments);
}

}  // namespace imgdesk::test
