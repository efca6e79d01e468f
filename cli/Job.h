#pragma once

// What one run of the tool leaves on disk: nothing but its finished outputs. Intermediate files
// live in a private folder of the job; outputs are written in a private folder beside their
// target and take the target's name only when complete; an interrupted job removes both.
#include <string>
#include <vector>

#include "cli/Args.h"

namespace imgdesk::cli {

// Makes the job's private temporary folder (under the library's temporary folder, named after
// the process so that later jobs can sweep it once the process is gone), points the library's
// temporary folder there for the rest of the run, removes the folders of jobs that died, and
// cleans up on SIGINT and SIGTERM (exit status 128 + signal). Call once, before any thread.
void StartJob();
// Removes the job's folder and everything staged; called at the end of main.
void EndJob();
// The library's temporary folder as it was before the job took a private one: for files that
// must outlive the job.
std::string SharedTemporaryFolder();

// A private folder made next to a target (so that renames into place stay on one file system),
// removed with its contents when the object goes and when the job is interrupted.
class StagingFolder {
public:
    // Throws RunError when the target's folder does not exist or cannot be written to.
    explicit StagingFolder(const std::string& target);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// One output file in the making: written to Path() (a fresh name with the target's file name,
// in a staging folder beside the target), then moved into place by Commit. The target "-" is
// standard output: the file is staged in the job's folder and copied out by Commit. The format
// set by SetOutputFormat, when there is one, is the staged file's extension, so that it decides
// the format written.
class PendingOutput {
public:
    // Throws RunError when the target is empty, names a folder, or exists and replace is false.
    PendingOutput(const std::string& target, bool replace);

    const std::string& Path() const { return path_; }
    // Flushes the written file to disk and gives it the target's name: atomically replacing an
    // existing file when replace was given, else failing when one has appeared meanwhile.
    // Throws RunError; the target is untouched then.
    void Commit();

private:
    std::string target_;
    bool replace_;
    StagingFolder staging_;
    std::string path_;
};

// The output format --format named (an extension such as "png" or "pdf"; empty for none).
void SetOutputFormat(const std::string& extension);

// Where a command writes its one file: -o/--output, which may be "-", with --format and --force.
struct OutputChoice {
    std::string path;
    bool replace = false;
};
// Reads -o/--output, --format and --force. formats lists the extensions the command writes,
// space-separated, the first being its default. Throws UsageError when a format is unknown, or
// the output is standard output or names no format it can write, and --format is missing while
// the command writes more than one format.
OutputChoice ReadOutput(Args& args, const std::string& formats);

// An input path, with "-" (standard input) read once into a file of the job, whose path is
// returned then. Throws RunError when standard input cannot be read.
std::string InputFile(const std::string& path);
std::vector<std::string> InputFiles(const std::vector<std::string>& paths);

// Throws RunError when the output is one of the inputs (the same file, under any name).
void RefuseOutputAmongInputs(const std::string& output, const std::vector<std::string>& inputs);

// Throws RunError unless path is a regular file that can be opened for reading; a pipe or device
// is refused without waiting for a writer.
void RequireRegularFile(const std::string& path);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

}  // namespace imgdesk::cli
