#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell/Shell.h"
#include "support/ArchiveTools.h"
#include "support/RecordingProgram.h"
#include "support/TempDir.h"

namespace imgdesk::test {
namespace {

std::intptr_t Start(const wchar_t* file, const wchar_t* parameters,
                    const wchar_t* directory = nullptr, const wchar_t* verb = L"open") {
    return reinterpret_cast<std::intptr_t>(
        ShellExecuteW(nullptr, verb, file, parameters, directory, SW_SHOWNORMAL));
}

// The parameters arrive as one argument that no shell reads; none means no argument, a null verb
// means open, and the program is not left as a child of the caller.
TEST(ShellExecute, StartsTheProgramWithOneUninterpretedArgument) {
    TempDir work;
    const std::wstring tricky = L"a b\"; touch injected; echo \"$(touch injected2) `touch x` ü";
    {
        RecordingProgram program("outlook.exe");
        EXPECT_GT(Start(L"outlook.exe", tricky.c_str(), Utf8ToWide(work.Path().c_str())), 32);
        const std::vector<ProgramRun> runs = program.WaitForRuns(1);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].arguments, std::vector<std::string>{WideToUtf8(tricky.c_str())});
        EXPECT_EQ(runs[0].folder, work.Path());
        EXPECT_TRUE(FolderTree(work.Path()).empty());
    }
    RecordingProgram program("outlook.exe");
    EXPECT_GT(Start(L"outlook.exe", L"", nullptr, nullptr), 32);
    EXPECT_GT(Start(Utf8ToWide(program.Path().c_str()), nullptr), 32);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    const std::vector<ProgramRun> runs = program.WaitForRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].arguments.empty() && runs[1].arguments.empty());
}

TEST(ShellExecute, FailuresFollowThePlatformsResultCodes) {
    TempDir dir;
    RecordingProgram program("outlook.exe");
    dir.Write("plain.exe", "#!/bin/sh\n");
    dir.Write("garbage.exe", std::string("\x7f"
                                         "ELF broken",
                                         11));
    ::chmod(dir.File("garbage.exe").c_str(), 0755);
    const CString missing = dir.WideFile("missing.exe"), plain = dir.WideFile("plain.exe"),
                  garbage = dir.WideFile("garbage.exe"), noFolder = dir.WideFile("no such folder");
    const struct {
        const wchar_t *file, *folder, *verb;
        std::intptr_t result;
    } cases[] = {{L"no-such-program.exe", nullptr, L"open", ERROR_FILE_NOT_FOUND},
                 {nullptr, nullptr, L"open", ERROR_FILE_NOT_FOUND},
                 {L"", nullptr, L"open", ERROR_FILE_NOT_FOUND},
                 {missing, nullptr, L"open", ERROR_FILE_NOT_FOUND},
                 {plain, nullptr, L"open", SE_ERR_ACCESSDENIED},
                 {garbage, nullptr, L"open", ERROR_BAD_FORMAT},
                 {L"outlook.exe", noFolder, L"open", ERROR_PATH_NOT_FOUND},
                 {L"outlook.exe", nullptr, L"print", SE_ERR_NOASSOC}};
    for (const auto& c : cases)
        EXPECT_EQ(Start(c.file, L"x", c.folder, c.verb), c.result) << WideToUtf8(c.file);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
}  // namespace imgdesk::test
