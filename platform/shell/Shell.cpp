#include "platform/shell/Shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/CString.h"

extern char** environ;

namespace {

constexpr INT kStarted = 42;

HINSTANCE Result(INT code) {
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(code));
}

bool IsExecutableFile(const std::string& path, bool& sawFile) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    sawFile = true;
    return ::access(path.c_str(), X_OK) == 0;
}

// The program a name stands for: the name itself when it holds a separator, else the first
// executable file of that name in the folders of PATH. 0, or the failure result.
INT FindProgram(const std::string& name, std::string& program) {
    bool sawFile = false;
    if (name.find('/') != std::string::npos) {
        if (IsExecutableFile(name, sawFile)) {
            program = name;
            return 0;
        }
        return sawFile ? SE_ERR_ACCESSDENIED : ERROR_FILE_NOT_FOUND;
    }
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0;;) {
        const std::size_t end = folders.find(':', start);
        std::string folder = folders.substr(start, end - start);
        if (folder.empty())
            folder = ".";  // an empty entry of PATH is the current folder
        const std::string candidate = folder + "/" + name;
        if (IsExecutableFile(candidate, sawFile)) {
            program = candidate;
            return 0;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return sawFile ? SE_ERR_ACCESSDENIED : ERROR_FILE_NOT_FOUND;
}

INT FromSpawnError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case ENOEXEC:
            return ERROR_BAD_FORMAT;
        case ENOMEM:
        case EAGAIN:
            return SE_ERR_OOM;
        default:
            return SE_ERR_ACCESSDENIED;
    }
}

// How the program starts: default signal handling and an empty signal mask whatever the host set,
// a session of its own (no terminal signals from the host's session), and none of the host's files
// beyond standard input, output and error.
class SpawnSettings {
public:
    explicit SpawnSettings(const std::string& folder) {
        ::posix_spawnattr_init(&attributes_);
        sigset_t none, all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setsigdefault(&attributes_, &all);
        ::posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
        ::posix_spawn_file_actions_init(&actions_);
        ok_ = (folder.empty() ||
               ::posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str()) == 0) &&
              ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }
    ~SpawnSettings() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    bool Ok() const { return ok_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
    bool ok_ = false;
};

}  // namespace

HINSTANCE ShellExecuteW(HWND, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, INT) {
    if (operation && *operation && CString(operation).CompareNoCase(L"open") != 0)
        return Result(SE_ERR_NOASSOC);
    if (!file || !*file)
        return Result(ERROR_FILE_NOT_FOUND);

    std::string name = WideToUtf8(file);
    std::string program;
    // The platform's mail program stands for the desktop's mail composer where there is one.
    std::vector<std::string> leading;
    std::string composer;
    if (CString(file).CompareNoCase(L"outlook.exe") == 0 &&
        FindProgram("xdg-email", composer) == 0) {
        name = "xdg-email";
        program = composer;
        leading.push_back("--attach");
    } else if (const INT failure = FindProgram(name, program)) {
        return Result(failure);
    }
    const std::string folder = directory && *directory ? WideToUtf8(directory) : std::string();
    struct stat info;
    if (!folder.empty() && (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)))
        return Result(ERROR_PATH_NOT_FOUND);

    // The parameters are one argument, as given: no shell splits or interprets them.
    std::string argument = parameters ? WideToUtf8(parameters) : std::string();
    std::vector<char*> arguments{name.data()};
    for (std::string& extra : leading)
        arguments.push_back(extra.data());
    if (!argument.empty())
        arguments.push_back(argument.data());
    arguments.push_back(nullptr);

    SpawnSettings settings(folder);
    if (!settings.Ok())
        return Result(SE_ERR_OOM);

    // Started through a short-lived intermediate process, which is waited for at once: the
    // program is then adopted by init, runs on after the host and never lingers as a zombie of
    // the host. Everything is prepared beforehand; the intermediate only spawns and exits with
    // the spawn's error number.
    const pid_t intermediate = ::fork();
    if (intermediate < 0)
        return Result(SE_ERR_OOM);
    if (intermediate == 0) {
        pid_t started;
        const int error = ::posix_spawn(&started, program.c_str(), settings.Actions(),
                                        settings.Attributes(), arguments.data(), environ);
        ::_exit(error);
    }
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(intermediate, &status, 0)) < 0 && errno == EINTR) {
    }
    // A host that lets the system reap its children (SIGCHLD ignored) leaves nothing to wait for:
    // the start can then only be assumed.
    if (waited < 0)
        return Result(kStarted);
    if (!WIFEXITED(status))
        return Result(SE_ERR_OOM);
    const int error = WEXITSTATUS(status);
    return Result(error == 0 ? kStarted : FromSpawnError(error));
}
