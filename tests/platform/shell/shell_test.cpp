#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/Shell.h"
#include "support/ArchiveTools.h"
#include "support/RecordingProgram.h"
#include "support/TempDir.h"

namespace imgdesk::test {
namespace {

using Arguments = std::vector<std::string>;

std::intptr_t Start(const wchar_t* file, const wchar_t* parameters,
                    const wchar_t* directory = nullptr, const wchar_t* verb = L"open") {
    return reinterpret_cast<std::intptr_t>(
        ShellExecuteW(nullptr, verb, file, parameters, directory, SW_SHOWNORMAL));
}

TEST(ShellExecute, TheParametersArriveAsOneArgumentThatNoShellReads) {
    TempDir work;
    RecordingProgram program("outlook.exe");
    const std::wstring tricky = L"a b\"; touch injected; echo \"$(touch injected2) `touch x` ü";
    EXPECT_GT(Start(L"outlook.exe", tricky.c_str(), Utf8ToWide(work.Path().c_str())), 32);
    // Nothing is left to reap: the program is not a child of the caller.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    const std::vector<ProgramRun> runs = program.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, Arguments{WideToUtf8(tricky.c_str())});
    EXPECT_EQ(runs[0].folder, work.Path());
    EXPECT_TRUE(FolderTree(work.Path()).empty());
}

TEST(ShellExecute, NoParametersMeansNoArgumentAndNullVerbMeansOpen) {
    RecordingProgram program("outlook.exe");
    EXPECT_GT(Start(L"outlook.exe", L"", nullptr, nullptr), 32);
    EXPECT_GT(Start(Utf8ToWide(program.Path().c_str()), nullptr), 32);
    const std::vector<ProgramRun> runs = program.WaitForRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].arguments.empty());
    EXPECT_TRUE(runs[1].arguments.empty());
}

TEST(ShellExecute, FailuresFollowThePlatformsResultCodes) {
    TempDir dir;
    RecordingProgram program("outlook.exe");
    dir.Write("plain.exe", "#!/bin/sh\n");
    dir.Write("garbage.exe", std::string("\x7f"
                                         "ELF broken",
                                         11));
    ::chmod(dir.File("garbage.exe").c_str(), 0755);

    EXPECT_EQ(Start(L"no-such-program.exe", L"x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Start(nullptr, L"x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Start(L"", L"x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Start(dir.WideFile("missing.exe"), L"x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Start(dir.WideFile("plain.exe"), L"x"), SE_ERR_ACCESSDENIED);
    EXPECT_EQ(Start(dir.WideFile("garbage.exe"), L"x"), ERROR_BAD_FORMAT);
    EXPECT_EQ(Start(L"outlook.exe", L"x", dir.WideFile("no such folder")), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Start(L"outlook.exe", L"x", nullptr, L"print"), SE_ERR_NOASSOC);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
}  // namespace imgdesk::test
