#include "support/RecordingProgram.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace imgdesk::test {
namespace {

std::string PathWithFirst(const std::string& folder) {
    const char* old = std::getenv("PATH");
    return folder + ":" + (old ? old : "/usr/bin:/bin");
}

}  // namespace

RecordingProgram::RecordingProgram(const std::string& name)
    : path_(folder_.File(name)),
      records_(folder_.File("records")),
      path_variable_("PATH", PathWithFirst(folder_.Path())) {
    std::filesystem::create_directory(records_);
    // Arguments separated by NUL bytes, then the working folder; the record appears whole.
    folder_.Write(name,
                  "#!/bin/sh\n"
                  "record='" +
                      records_ +
                      "/run.'$$\n"
                      "{ for argument in \"$@\"; do printf '%s\\0' \"$argument\"; done; "
                      "printf '\\n%s' \"$(pwd)\"; } > \"$record.part\"\n"
                      "mv \"$record.part\" \"$record\"\n");
    ::chmod(path_.c_str(), 0755);
}

std::vector<ProgramRun> RecordingProgram::WaitForRuns(std::size_t count) const {
    std::vector<ProgramRun> runs;
    for (int attempt = 0; attempt < 500; ++attempt) {
        runs.clear();
        for (const auto& file : std::filesystem::directory_iterator(records_)) {
            if (file.path().extension() == ".part")
                continue;
            std::ifstream in(file.path(), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            const std::size_t newline = text.rfind('\n');
            ProgramRun run;
            run.folder = text.substr(newline + 1);
            for (std::size_t at = 0; at < newline;) {
                const std::size_t end = text.find('\0', at);
                run.arguments.push_back(text.substr(at, end - at));
                at = end + 1;
            }
            runs.push_back(run);
        }
        if (runs.size() >= count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return runs;
}

}  // namespace imgdesk::test
