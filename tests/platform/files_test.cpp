#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace {

std::string Contents(const std::string& path) {
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

TEST(Files, MoveNeverReplacesAndWidePathsReachTheFileSystemAsUtf8) {
    imgdesk::test::TempDir dir;
    dir.Write("a", "new");
    dir.Write("b", "old");
    EXPECT_EQ(FALSE, MoveFileW(dir.WideFile("a"), dir.WideFile("b")));
    EXPECT_EQ("old", Contents(dir.File("b")));
    EXPECT_EQ(TRUE, MoveFileW(dir.WideFile("a"), dir.WideFile("c")));
    EXPECT_EQ("new", Contents(dir.File("c")));

    const CString path = dir.WideFile("Seite ü.txt");
    FILE* file = _wfopen(path, L"wb");
    ASSERT_NE(nullptr, file);
    std::fputs("x", file);
    std::fclose(file);
    EXPECT_EQ("x", Contents(dir.File("Seite ü.txt")));
    EXPECT_EQ(TRUE, DeleteFileW(path));
    EXPECT_EQ(FALSE, DeleteFileW(path));
    EXPECT_EQ(nullptr, _wfopen(path, L"rb"));

    EXPECT_STREQ(L"p1.png", PathFindFileNameW(L"/scans/today/p1.png"));
    EXPECT_STREQ(L"p1.png", PathFindFileNameW(L"p1.png"));
    EXPECT_EQ(nullptr, PathFindFileNameW(nullptr));
}

}  // namespace
