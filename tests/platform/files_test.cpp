#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace {

using imgdesk::test::TempDir;

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(Files, MoveNeverReplacesAnExistingFile) {
    TempDir dir;
    dir.Write("a", "new");
    dir.Write("b", "old");
    EXPECT_EQ(FALSE, MoveFileW(dir.WideFile("a"), dir.WideFile("b")));
    EXPECT_EQ("old", Contents(dir.File("b")));
    EXPECT_EQ("new", Contents(dir.File("a")));
    EXPECT_EQ(TRUE, MoveFileW(dir.WideFile("a"), dir.WideFile("c")));
    EXPECT_EQ("new", Contents(dir.File("c")));
    EXPECT_EQ(FALSE, PathFileExistsW(dir.WideFile("a")));
}

TEST(Files, WidePathsReachTheFileSystemAsUtf8) {
    TempDir dir;
    const CString path = dir.WideFile("Seite ü.txt");
    FILE* file = _wfopen(path, L"wb");
    ASSERT_NE(nullptr, file);
    std::fputs("x", file);
    std::fclose(file);
    EXPECT_EQ("x", Contents(dir.File("Seite ü.txt")));
    EXPECT_EQ(TRUE, DeleteFileW(path));
    EXPECT_EQ(FALSE, DeleteFileW(path));
    EXPECT_EQ(nullptr, _wfopen(path, L"rb"));
}

TEST(Files, FileNameIsThePartAfterTheLastSeparator) {
    EXPECT_STREQ(L"p1.png", PathFindFileNameW(L"/scans/today/p1.png"));
    EXPECT_STREQ(L"p1.png", PathFindFileNameW(L"p1.png"));
    EXPECT_EQ(nullptr, PathFindFileNameW(nullptr));
}

}  // namespace
