#include <gtest/gtest.h>

#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "document/DocDesk.h"
#include "service/CoreKit.h"
#include "support/ArchiveTools.h"
#include "support/MemoryProbe.h"
#include "support/Printers.h"
#include "support/TempDir.h"

namespace imgdesk::test {
namespace {

using Names = std::vector<std::string>;

// Every file that exists is packed and deleted (a missing one is skipped); the host's list is left
// alone. Unbinding gives every file back, byte for byte, beside the archive, and removes it.
TEST(BindList, PacksAndDeletesTheFilesAndUnbindingGivesThemBack) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("day two"));
    dir.Write("p1.jpg", "page one");
    dir.Write("day two/p1.jpg", "page one again");
    dir.Write("scan ü 3.jpg", "page three");
    const std::list<CString> paths{dir.WideFile("p1.jpg"), dir.WideFile("missing.jpg"),
                                   dir.WideFile("day two/p1.jpg"), dir.WideFile("scan ü 3.jpg")};
    const std::list<CString> copy = paths;
    const std::string archive = dir.File("bound archive.zip");
    EXPECT_EQ(CDocDesk().BindJpg(paths, Utf8ToWide(archive.c_str())), 1);
    EXPECT_EQ(paths, copy);
    EXPECT_EQ(ListZip(archive), (Names{"p1.jpg", "p1 (2).jpg", "scan ü 3.jpg"}));
    EXPECT_TRUE(UnzipTestPasses(archive));
    EXPECT_EQ(FolderTree(dir.Path()), (Names{"bound archive.zip", "day two/"}));

    EXPECT_NE(CDocDesk().UnBindJpg(Utf8ToWide(archive.c_str())), 0);
    EXPECT_EQ(FolderTree(dir.Path()), (Names{"day two/", "p1 (2).jpg", "p1.jpg", "scan ü 3.jpg"}));
    EXPECT_EQ(ReadBytes(dir.File("p1 (2).jpg")), "page one again");
    EXPECT_EQ(ReadBytes(dir.File("scan ü 3.jpg")), "page three");
}

TEST(BindList, RefusesWithoutArchiveFilesOrMemoryAndTouchesNothing) {
    TempDir dir;
    dir.Write("a.jpg", "a");
    const std::list<CString> paths{dir.WideFile("a.jpg")};
    EXPECT_EQ(CDocDesk().BindJpg(paths, nullptr), 0);
    EXPECT_EQ(CDocDesk().BindJpg(std::list<CString>(), dir.WideFile("out.zip")), 0);
    MemoryProbe probe;
    int result = -1;
    const int allocations = ForEachFailingAllocation(
        probe, [&] { result = CDocDesk().BindJpg(paths, dir.WideFile("out.zip")); },
        [&](int) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(probe.LiveBlocks(), 0);
            EXPECT_EQ(FolderTree(dir.Path()), Names{"a.jpg"});
        });
    EXPECT_EQ(allocations, 1) << "the zip object is the only block taken";
    EXPECT_EQ(result, 1);
    EXPECT_EQ(probe.LiveBlocks(), 0);
    EXPECT_EQ(FolderTree(dir.Path()), Names{"out.zip"});
}

// Only the five patterns are searched, in their order, each sorted; the files stay in place.
TEST(BindFolder, PacksTheFivePatternsInOrderOrNothing) {
    TempDir bind, out;
    ScopedEnv bindDir("IMGDESK_BIND_DIR", bind.Path());
    bind.Write("notes.txt", "text");
    EXPECT_EQ(CDocDesk().BindJpg(out.WideFile("bind.zip")), 0);
    EXPECT_EQ(CDocDesk().BindJpg(static_cast<const wchar_t*>(nullptr)), 0);
    EXPECT_TRUE(FolderTree(out.Path()).empty());

    for (const char* name :
         {"c.jpg", "b.png", "a.jpg", "d.tif", "e.gif", "f.bmp", "G.JPG", "h.jpeg"})
        bind.Write(name, name);
    const std::string archive = out.File("bind.zip");
    EXPECT_EQ(CDocDesk().BindJpg(Utf8ToWide(archive.c_str())), 1);
    EXPECT_EQ(ListZip(archive),
              (Names{"a.jpg", "c.jpg", "G.JPG", "f.bmp", "b.png", "e.gif", "d.tif"}));
    EXPECT_TRUE(UnzipTestPasses(archive));
    EXPECT_EQ(FolderTree(bind.Path()).size(), 9u);
}

// The result is the deletion of the archive only: a damaged one gives nothing and is removed all
// the same. Files already in the folder are kept, and nothing leaves the archive's folder.
TEST(UnBind, ReportsTheDeletionAndKeepsFilesAlreadyThere) {
    TempDir root;
    EXPECT_EQ(CDocDesk().UnBindJpg(nullptr), 0);
    EXPECT_EQ(CDocDesk().UnBindJpg(root.WideFile("missing.zip")), 0);
    root.Write("broken.zip", "PK\x03\x04 not really");
    EXPECT_NE(CDocDesk().UnBindJpg(root.WideFile("broken.zip")), 0);
    EXPECT_TRUE(FolderTree(root.Path()).empty());

    std::filesystem::create_directories(root.File("F"));
    root.Write("F/a.jpg", "already here");
    root.Write("F/in.zip", CraftZip({{"a.jpg", "from archive"},
                                     {"../escape.jpg", "x"},
                                     {"in.zip", "same name as the archive"}}));
    EXPECT_NE(CDocDesk().UnBindJpg(root.WideFile("F/in.zip")), 0);
    EXPECT_EQ(FolderTree(root.Path()), (Names{"F/", "F/a (2).jpg", "F/a.jpg", "F/in (2).zip"}));
    EXPECT_EQ(ReadBytes(root.File("F/a.jpg")), "already here");
    EXPECT_EQ(ReadBytes(root.File("F/a (2).jpg")), "from archive");
}

}  // namespace
}  // namespace imgdesk::test
