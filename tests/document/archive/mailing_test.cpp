#include <gtest/gtest.h>

#include <filesystem>
#include <list>
#include <regex>
#include <string>
#include <vector>

#include "document/DocDesk.h"
#include "service/CoreKit.h"
#include "support/ArchiveTools.h"
#include "support/MemoryProbe.h"
#include "support/RecordingProgram.h"
#include "support/TempDir.h"

namespace imgdesk::test {
namespace {

using Names = std::vector<std::string>;

class SendOutLook : public ::testing::Test {
protected:
    TempDir files, temp;
    ScopedEnv tempDir{"IMGDESK_TEMP_DIR", temp.Path()};
    RecordingProgram mail{"outlook.exe"};
};

// One file is handed over as it is: one argument, no quotes, no archive.
TEST_F(SendOutLook, OneFileIsHandedOverUnchangedWithoutAnArchive) {
    files.Write("my scan ü.jpg", "page");
    EXPECT_EQ(CDocDesk().SendOutLook({files.WideFile("my scan ü.jpg")}), 1);
    const std::vector<ProgramRun> runs = mail.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, Names{files.File("my scan ü.jpg")});
    EXPECT_TRUE(FolderTree(temp.Path()).empty());
    EXPECT_TRUE(std::filesystem::exists(files.File("my scan ü.jpg")));
}

// Several files go as one archive named after the time; the archive is the zip object, the only
// block taken, so a failing allocation refuses the call and starts nothing.
TEST_F(SendOutLook, SeveralFilesGoAsOneArchiveNamedAfterTheTime) {
    files.Write("a.jpg", "a");
    files.Write("b c.jpg", "b");
    EXPECT_EQ(CDocDesk().SendOutLook({}), 0);
    MemoryProbe probe;
    int result = -1;
    const int allocations = ForEachFailingAllocation(
        probe,
        [&] {
            result = CDocDesk().SendOutLook({files.WideFile("a.jpg"), files.WideFile("b c.jpg")});
        },
        [&](int) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(probe.LiveBlocks(), 0);
            EXPECT_TRUE(FolderTree(temp.Path()).empty());
        });
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(probe.LiveBlocks(), 0);
    const std::vector<ProgramRun> runs = mail.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u) << "only the clean run starts the mail program";
    const Names inTemp = FolderTree(temp.Path());
    ASSERT_EQ(inTemp.size(), 1u);
    EXPECT_TRUE(std::regex_match(inTemp[0], std::regex(R"(\d{8}-\d{6}\.zip)"))) << inTemp[0];
    EXPECT_EQ(runs[0].arguments, Names{temp.File(inTemp[0])});
    EXPECT_EQ(ListZip(temp.File(inTemp[0])), (Names{"a.jpg", "b c.jpg"}));
    EXPECT_TRUE(UnzipTestPasses(temp.File(inTemp[0])));
    EXPECT_EQ(FolderTree(files.Path()), (Names{"a.jpg", "b c.jpg"}));
}

TEST_F(SendOutLook, AMissingMailProgramStillCountsAsDone) {
    ScopedEnv path("PATH", files.Path());
    files.Write("a.jpg", "a");
    EXPECT_EQ(CDocDesk().SendOutLook({files.WideFile("a.jpg")}), 1);
}

}  // namespace
}  // namespace imgdesk::test
