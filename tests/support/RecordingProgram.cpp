#include "support/RecordingProgram.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/ArchiveTools.h"

namespace imgdesk::test {

RecordingProgram::RecordingProgram(const std::string& name)
    : path_(folder_.File(name)),
      records_(folder_.File("records")),
      path_variable_("PATH", folder_.Path() + ":" +
                                 (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")) {
    std::filesystem::create_directory(records_);
    // Each argument ended by a NUL byte, then the working folder; the record appears whole.
    folder_.Write(name, "#!/bin/sh\nrecord='" + records_ +
                            "/run.'$$\n{ for argument in \"$@\"; do printf '%s\\0' \"$argument\"; "
                            "done; pwd; } > \"$record.part\"\nmv \"$record.part\" \"$record\"\n");
    ::chmod(path_.c_str(), 0755);
}

std::vector<ProgramRun> RecordingProgram::WaitForRuns(std::size_t count) const {
    std::vector<ProgramRun> runs;
    for (int attempt = 0; attempt < 500 && runs.size() < count; ++attempt) {
        if (attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        runs.clear();
        std::vector<std::filesystem::directory_entry> records;
        for (const auto& file : std::filesystem::directory_iterator(records_))
            if (file.path().extension() != ".part")
                records.push_back(file);
        std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
            return a.last_write_time() < b.last_write_time();
        });
        for (const auto& file : records) {
            const std::string text = ReadBytes(file.path().string());
            ProgramRun run;
            std::size_t at = 0;
            for (std::size_t end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
                run.arguments.push_back(text.substr(at, end - at));
            run.folder = text.substr(at, text.size() - at - 1);  // without pwd's newline
            runs.push_back(run);
        }
    }
    return runs;
}

}  // namespace imgdesk::test
