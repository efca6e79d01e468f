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

TEST(SendOutLook, OneFileIsHandedOverUnchangedWithoutAnArchive) {
    TempDir files, temp;
    ScopedEnv tempDir("IMGDESK_TEMP_DIR", temp.Path());
    RecordingProgram mail("outlook.exe");
    files.Write("my scan ü.jpg", "page");
    EXPECT_EQ(CDocDesk().SendOutLook({files.WideFile("my scan ü.jpg")}), 1);
    const std::vector<ProgramRun> runs = mail.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, Names{files.File("my scan ü.jpg")}) << "one argument, no quotes";
    EXPECT_TRUE(FolderTree(temp.Path()).empty());
    EXPECT_TRUE(std::filesystem::exists(files.File("my scan ü.jpg")));
}

TEST(SendOutLook, SeveralFilesGoAsOneArchiveNamedAfterTheTime) {
    TempDir files, temp;
    ScopedEnv tempDir("IMGDESK_TEMP_DIR", temp.Path());
    RecordingProgram mail("outlook.exe");
    files.Write("a.jpg", "a");
    files.Write("b c.jpg", "b");
    EXPECT_EQ(CDocDesk().SendOutLook({files.WideFile("a.jpg"), files.WideFile("b c.jpg")}), 1);
    const std::vector<ProgramRun> runs = mail.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].arguments.size(), 1u);
    const std::string archive = runs[0].arguments[0];
    const Names inTemp = FolderTree(temp.Path());
    ASSERT_EQ(inTemp.size(), 1u);
    EXPECT_EQ(archive, temp.File(inTemp[0]));
    EXPECT_TRUE(std::regex_match(inTemp[0], std::regex(R"(\d{8}-\d{6}\.zip)"))) << inTemp[0];
    const std::vector<ZipEntryFacts> entries = ListZip(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.jpg");
    EXPECT_EQ(entries[1].name, "b c.jpg");
    EXPECT_TRUE(UnzipTestPasses(archive));
    EXPECT_EQ(FolderTree(files.Path()), (Names{"a.jpg", "b c.jpg"}));
}

TEST(SendOutLook, RefusesAnEmptyListOrAMissingZipObject) {
    TempDir files, temp;
    ScopedEnv tempDir("IMGDESK_TEMP_DIR", temp.Path());
    RecordingProgram mail("outlook.exe");
    files.Write("a.jpg", "a");
    files.Write("b.jpg", "b");
    EXPECT_EQ(CDocDesk().SendOutLook({}), 0);

    const std::list<CString> paths{files.WideFile("a.jpg"), files.WideFile("b.jpg")};
    MemoryProbe probe;
    probe.FailAllocation(1);
    EXPECT_EQ(CDocDesk().SendOutLook(paths), 0);
    EXPECT_TRUE(probe.FailureInjected());
    EXPECT_EQ(probe.LiveBlocks(), 0);
    EXPECT_TRUE(FolderTree(temp.Path()).empty());

    probe.ResetCounts();
    EXPECT_EQ(CDocDesk().SendOutLook(paths), 1);
    EXPECT_EQ(probe.Allocations(), 1) << "the zip object is the only block taken";
    EXPECT_EQ(probe.LiveBlocks(), 0);
    EXPECT_EQ(mail.WaitForRuns(1).size(), 1u) << "only the clean run starts the mail program";
}

TEST(SendOutLook, AMissingMailProgramStillCountsAsDone) {
    TempDir files, temp, emptyPath;
    ScopedEnv tempDir("IMGDESK_TEMP_DIR", temp.Path());
    ScopedEnv path("PATH", emptyPath.Path());
    files.Write("a.jpg", "a");
    EXPECT_EQ(CDocDesk().SendOutLook({files.WideFile("a.jpg")}), 1);
}

}  // namespace
}  // namespace imgdesk::test
