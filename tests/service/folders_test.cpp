#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "platform/Files.h"
#include "service/CoreKit.h"
#include "support/Printers.h"
#include "support/TempDir.h"

namespace {

using imgdesk::test::ScopedEnv;
using imgdesk::test::TempDir;

bool IsFolder(const CString& path) {
    struct stat info;
    return ::stat(WideToUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The override variables win; then the XDG base folders (absolute ones only); then the home
// folder's defaults. Each folder is created and named without a trailing separator.
TEST(Folders, OverridesThenXdgThenHome) {
    TempDir dir;
    {
        ScopedEnv temp("IMGDESK_TEMP_DIR", dir.File("deep/temp/"));
        ScopedEnv bind("IMGDESK_BIND_DIR", dir.File("bind"));
        EXPECT_EQ(dir.WideFile("deep/temp"), GetTempDataPath());
        EXPECT_EQ(dir.WideFile("bind"), GetBindPath());
        EXPECT_TRUE(IsFolder(GetTempDataPath()));
    }
    ScopedEnv noTemp("IMGDESK_TEMP_DIR", ""), noBind("IMGDESK_BIND_DIR", "");
    {
        ScopedEnv cache("XDG_CACHE_HOME", dir.File("cache")), data("XDG_DATA_HOME", dir.File("d"));
        EXPECT_EQ(dir.WideFile("cache/imgdesk/temp"), GetTempDataPath());
        EXPECT_EQ(dir.WideFile("d/imgdesk/bind"), GetBindPath());
    }
    ScopedEnv home("HOME", dir.Path());
    ScopedEnv cache("XDG_CACHE_HOME", "relative/cache"), data("XDG_DATA_HOME", "");
    EXPECT_EQ(dir.WideFile(".cache/imgdesk/temp"), GetTempDataPath());
    EXPECT_EQ(dir.WideFile(".local/share/imgdesk/bind"), GetBindPath());
    EXPECT_TRUE(IsFolder(GetBindPath()));
}

TEST(SysTime, TextIsSafeInFileNames) {
    const std::string text = WideToUtf8(GetSysTime());
    EXPECT_TRUE(std::regex_match(text, std::regex("20[0-9]{6}-[0-9]{6}"))) << text;
}

// Names match without regard to case, across the whole name, files only, sorted within one
// pattern; the list is appended to and never cleared.
TEST(FileSearch, MatchesWholeNamesOfFilesAndAppends) {
    TempDir dir;
    for (const char* name :
         {"b.jpg", "A.JPG", "c.Jpg", "d.jpeg", "e.png", "notes.txt", "x.jpg.bak"})
        dir.Write(name, "x");
    ::mkdir(dir.File("folder.jpg").c_str(), 0700);
    std::list<CString> found{L"kept"};
    EXPECT_EQ(3, SearchFileList(dir.WideFile("*.jpg"), found));
    SearchFileList(dir.WideFile("?.jpeg"), found);
    EXPECT_EQ(1, SearchFileList(dir.WideFile("*.j*g.*"), found));
    EXPECT_EQ((std::list<CString>{L"kept", dir.WideFile("A.JPG"), dir.WideFile("b.jpg"),
                                  dir.WideFile("c.Jpg"), dir.WideFile("d.jpeg"),
                                  dir.WideFile("x.jpg.bak")}),
              found);
    EXPECT_EQ(0, SearchFileList(dir.WideFile("*.jp"), found));
    EXPECT_EQ(0, SearchFileList(dir.WideFile("missing/*.jpg"), found));
    EXPECT_EQ(7, SearchFileList(dir.WideFile("*"), found));

    EXPECT_NE(0, DelFile(dir.WideFile("e.png")));
    EXPECT_EQ(0, DelFile(dir.WideFile("e.png")));
    EXPECT_EQ(0, SearchFileList(dir.WideFile("*.png"), found));
}

}  // namespace
