#include "cli/Job.h"

#include <fcntl.h>
#include <ftw.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "cli/Args.h"
#include "cli/Messages.h"
#include "platform/CString.h"
#include "platform/Files.h"
#include "service/CoreKit.h"

namespace imgdesk::cli {
namespace {

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
// Folders removed when the job ends or is interrupted.
std::set<std::string>& Registry() {
    static std::set<std::string> folders;
    return folders;
}
std::string& JobFolder() {
    static std::string folder;
    return folder;
}
std::string& SharedFolder() {
    static std::string folder;
    return folder;
}

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}

void RemoveTree(const std::string& folder) {
    if (!folder.empty())
        ::nftw(folder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void Register(const std::string& folder) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().insert(folder);
}

void Unregister(const std::string& folder) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().erase(folder);
}

void RemoveEverythingStaged() {
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const auto& folder : Registry())
        RemoveTree(folder);
    Registry().clear();
}

// Waits for SIGINT and SIGTERM, which every thread blocks, and cleans up in ordinary thread
// context before leaving with the signal's status.
void CleanUpOnSignals(sigset_t signals) {
    int received = 0;
    while (::sigwait(&signals, &received) != 0) {
    }
    RemoveEverythingStaged();
    ::_exit(128 + received);
}

// Job folders are "job-PID-XXXXXX" and staging folders ".imgdesk-PID-XXXXXX": one whose process
// is gone belongs to a job that died (killed outright, or the machine went down).
void SweepDeadJobs(const std::string& parent, const char* prefix) {
    DIR* folder = ::opendir(parent.c_str());
    if (!folder)
        return;
    const std::string format = std::string(prefix) + "%ld-%15s";
    while (const dirent* entry = ::readdir(folder)) {
        long pid = 0;
        char tail[16];
        if (std::sscanf(entry->d_name, format.c_str(), &pid, tail) != 2 || pid <= 0 ||
            pid == ::getpid() || std::strlen(tail) != 6)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            RemoveTree(parent + "/" + entry->d_name);
    }
    ::closedir(folder);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string& OutputFormat() {
    static std::string format;
    return format;
}

std::string Extension(const std::string& path) {
    const std::string name = BaseName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::string();
    std::string extension = name.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(' ', start), text.size());
        if (end > start)
            words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// A file inside the job's folder (the shared temporary folder when the job has none).
std::string JobFile(const std::string& name) {
    return (JobFolder().empty() ? SharedTemporaryFolder() : JobFolder()) + "/" + name;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

void StartJob() {
    sigset_t signals;
    ::sigemptyset(&signals);
    ::sigaddset(&signals, SIGINT);
    ::sigaddset(&signals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(CleanUpOnSignals, signals).detach();

    const std::string temporary = WideToUtf8(GetTempDataPath());
    SharedFolder() = temporary;
    SweepDeadJobs(temporary, "job-");
    std::string pattern = temporary + "/job-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return;  // the library's own folder serves then
    JobFolder() = pattern;
    Register(pattern);
    ::setenv("IMGDESK_TEMP_DIR", pattern.c_str(), 1);
}

void EndJob() {
    RemoveEverythingStaged();
}

std::string SharedTemporaryFolder() {
    return SharedFolder().empty() ? WideToUtf8(GetTempDataPath()) : SharedFolder();
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

StagingFolder::StagingFolder(const std::string& target) {
    const std::string folder = FolderOf(target);
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw RunError("the folder '" + folder + "' does not exist");
    SweepDeadJobs(folder, ".imgdesk-");
    std::string pattern = folder + "/.imgdesk-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw RunError("cannot write in the folder '" + folder + "': " + std::strerror(errno));
    }
    path_ = pattern;
    Register(path_);
}

StagingFolder::~StagingFolder() {
    RemoveTree(path_);
    Unregister(path_);
}

PendingOutput::PendingOutput(const std::string& target, bool replace)
    : target_(target),
      replace_(replace),
      staging_(target.empty()  ? throw RunError("the output name is empty")
               : target == "-" ? JobFile("standard-output")
                               : target) {
    if (target == "-") {
        if (OutputFormat().empty())
            throw RunError("writing to standard output needs --format");
        TakeStandardOutput();
        path_ = staging_.Path() + "/standard-output." + OutputFormat();
        return;
    }
    struct stat info;
    if (::stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            throw RunError("'" + target + "' is a folder");
        if (!replace)
            throw RunError("'" + target +
                           "' exists; choose another name or add --force to replace it");
    }
    if (BaseName(target).empty() || target.back() == '/')
        throw RunError("'" + target + "' names a folder, not a file");
    path_ = staging_.Path() + "/" + BaseName(target);
    if (!OutputFormat().empty() && Extension(target) != OutputFormat())
        path_ += "." + OutputFormat();
}

namespace {

void CopyToStandardOutput(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        throw RunError("cannot write to standard output");
    char buffer[64 * 1024];
    bool copied = true;
    size_t got;
    while (copied && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        copied = std::fwrite(buffer, 1, got, stdout) == got;
    copied = copied && !std::ferror(in) && std::fflush(stdout) == 0;
    std::fclose(in);
    if (!copied)
        throw RunError(std::string("cannot write to standard output: ") + std::strerror(errno));
}

}  // namespace

void PendingOutput::Commit() {
    struct stat written;
    const std::string size = ::stat(path_.c_str(), &written) == 0
                                 ? " (" + std::to_string(written.st_size) + " bytes)"
                                 : std::string();
    if (target_ == "-") {
        CopyToStandardOutput(path_);
        Detail("wrote standard output" + size);
        return;
    }
    const int file = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        throw RunError("cannot write '" + target_ + "'");
    const bool synced = ::fsync(file) == 0;
    ::close(file);
    if (!synced)
        throw RunError("cannot write '" + target_ + "': " + std::strerror(errno));
    if (replace_) {
        if (::rename(path_.c_str(), target_.c_str()) != 0)
            throw RunError("cannot write '" + target_ + "': " + std::strerror(errno));
    } else if (!MoveFileW(Utf8ToWide(path_.c_str()), Utf8ToWide(target_.c_str()))) {
        throw RunError("'" + target_ +
                       "' exists; choose another name or add --force to replace it");
    }
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    Detail("wrote " + target_ + size);
}

void SetOutputFormat(const std::string& extension) {
    OutputFormat() = extension;
}

OutputChoice ReadOutput(Args& args, const std::string& formats) {
    OutputChoice choice;
    choice.path = args.RequiredText("output");
    choice.replace = args.Flag("force");
    const std::vector<std::string> known = Words(formats);
    auto isKnown = [&](const std::string& format) {
        return std::find(known.begin(), known.end(), format) != known.end();
    };
    std::string format = args.Text("format", "");
    for (char& c : format)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string listed;
    for (const auto& word : known)
        listed += (listed.empty() ? "" : ", ") + word;
    if (!format.empty() && !isKnown(format))
        throw UsageError("--format: '" + format + "' is not one of " + listed);
    if (format.empty() && known.size() > 1) {
        if (choice.path == "-")
            throw UsageError("-o - (standard output) needs --format: one of " + listed);
        if (!isKnown(Extension(choice.path)))
            throw UsageError("'" + choice.path + "' names no format (" + listed +
                             "): give it one of those extensions, or --format");
    }
    // A command of a single format writes it whatever the name; standard output needs a name too.
    if (format.empty() && (known.size() == 1 || choice.path == "-"))
        format = known.front();
    SetOutputFormat(format);
    return choice;
}

std::string InputFile(const std::string& path) {
    if (path != "-")
        return path;
    static std::string copy;
    if (!copy.empty())
        return copy;
    const std::string target = JobFile("standard-input");
    std::FILE* out = std::fopen(target.c_str(), "wb");
    bool copied = out != nullptr;
    char buffer[64 * 1024];
    size_t got;
    while (copied && (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        copied = std::fwrite(buffer, 1, got, out) == got;
    copied = copied && !std::ferror(stdin);
    if (out && std::fclose(out) != 0)
        copied = false;
    if (!copied)
        throw RunError("cannot read standard input");
    copy = target;
    return copy;
}

std::vector<std::string> InputFiles(const std::vector<std::string>& paths) {
    if (std::count(paths.begin(), paths.end(), "-") > 1)
        throw UsageError("standard input ('-') can be read only once");
    std::vector<std::string> files;
    for (const auto& path : paths)
        files.push_back(InputFile(path));
    return files;
}

void RefuseOutputAmongInputs(const std::string& output, const std::vector<std::string>& inputs) {
    struct stat target;
    if (::stat(output.c_str(), &target) != 0)
        return;
    for (const auto& input : inputs) {
        struct stat source;
        if (::stat(input.c_str(), &source) == 0 && SameFile(source, target))
            throw RunError("the output '" + output + "' is one of the inputs; choose another name");
    }
}

void RequireRegularFile(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        if (errno == ENOENT)
            throw RunError("cannot read '" + path + "': it does not exist");
        throw RunError("cannot read '" + path + "': " + std::strerror(errno));
    }
    struct stat info;
    const bool regular = ::fstat(file, &info) == 0 && S_ISREG(info.st_mode);
    ::close(file);
    if (!regular)
        throw RunError("'" + path + "' is not a regular file");
}

}  // namespace imgdesk::cli
