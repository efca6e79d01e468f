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

TEST(Folders, OverrideVariableWinsAndIsCreatedWithoutTrailingSeparator) {
    TempDir dir;
    ScopedEnv temp("IMGDESK_TEMP_DIR", dir.File("deep/temp/"));
    ScopedEnv bind("IMGDESK_BIND_DIR", dir.File("bind"));
    EXPECT_EQ(Utf8ToWide(dir.File("deep/temp").c_str()), GetTempDataPath());
    EXPECT_TRUE(IsFolder(GetTempDataPath()));
    EXPECT_EQ(Utf8ToWide(dir.File("bind").c_str()), GetBindPath());
    EXPECT_TRUE(IsFolder(GetBindPath()));
}

TEST(Folders, XdgBaseFoldersAndHomeDefaults) {
    TempDir dir;
    ScopedEnv noTemp("IMGDESK_TEMP_DIR", "");
    ScopedEnv noBind("IMGDESK_BIND_DIR", "");
    {
        ScopedEnv cache("XDG_CACHE_HOME", dir.File("cache"));
        ScopedEnv data("XDG_DATA_HOME", dir.File("data"));
        EXPECT_EQ(Utf8ToWide(dir.File("cache/imgdesk/temp").c_str()), GetTempDataPath());
        EXPECT_EQ(Utf8ToWide(dir.File("data/imgdesk/bind").c_str()), GetBindPath());
    }
    ScopedEnv home("HOME", dir.Path());
    ScopedEnv relative("XDG_CACHE_HOME", "relative/cache");  // ignored: XDG folders are absolute
    ScopedEnv data("XDG_DATA_HOME", "");
    EXPECT_EQ(Utf8ToWide(dir.File(".cache/imgdesk/temp").c_str()), GetTempDataPath());
    EXPECT_EQ(Utf8ToWide(dir.File(".local/share/imgdesk/bind").c_str()), GetBindPath());
    EXPECT_TRUE(IsFolder(GetBindPath()));
}

TEST(SysTime, TextIsSafeInFileNames) {
    const std::string text = WideToUtf8(GetSysTime());
    EXPECT_TRUE(std::regex_match(text, std::regex("20[0-9]{6}-[0-9]{6}"))) << text;
}

class FileSearch : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"b.jpg", "A.JPG", "c.Jpg", "d.jpeg", "e.png", "notes.txt", "x.jpg.bak"})
            dir.Write(name, "x");
        ::mkdir(dir.File("folder.jpg").c_str(), 0700);  // a folder is not a file
    }
    TempDir dir;
};

TEST_F(FileSearch, MatchesNamesWithoutRegardToCaseInSortedOrder) {
    std::list<CString> found;
    EXPECT_EQ(3, SearchFileList(dir.WideFile("*.jpg"), found));
    std::list<CString> expected{dir.WideFile("A.JPG"), dir.WideFile("b.jpg"),
                                dir.WideFile("c.Jpg")};
    EXPECT_EQ(expected, found);
}

TEST_F(FileSearch, AppendsWithoutClearingAcrossPatterns) {
    std::list<CString> found{L"kept"};
    SearchFileList(dir.WideFile("*.png"), found);
    SearchFileList(dir.WideFile("?.jpeg"), found);
    SearchFileList(dir.WideFile("*.gif"), found);
    std::list<CString> expected{L"kept", dir.WideFile("e.png"), dir.WideFile("d.jpeg")};
    EXPECT_EQ(expected, found);
}

TEST_F(FileSearch, WildcardsCoverTheWholeName) {
    std::list<CString> found;
    EXPECT_EQ(1, SearchFileList(dir.WideFile("*.j*g.*"), found));  // x.jpg.bak
    EXPECT_EQ(0, SearchFileList(dir.WideFile("*.jp"), found));
    EXPECT_EQ(0, SearchFileList(dir.WideFile("missing/*.jpg"), found));
    EXPECT_EQ(8, SearchFileList(dir.WideFile("*"), found) + 1);  // seven files, no folder
}

TEST_F(FileSearch, DelFileReportsSuccess) {
    EXPECT_NE(0, DelFile(dir.WideFile("e.png")));
    EXPECT_EQ(0, DelFile(dir.WideFile("e.png")));
    std::list<CString> found;
    EXPECT_EQ(0, SearchFileList(dir.WideFile("*.png"), found));
}

}  // namespace
