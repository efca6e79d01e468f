#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "service/CoreKit.h"
#include "support/ArchiveTools.h"
#include "support/TempDir.h"

namespace imgdesk::test {
namespace {

using Names = std::vector<std::string>;

std::string PseudoRandomBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

void Extract(const std::string& archive, const std::string& folder) {
    CUnZipFile unzip(Utf8ToWide(archive.c_str()), Utf8ToWide(folder.c_str()));
}

// Files go in under their own names, clashes numbered; what cannot be packed is refused and the
// rest still counts; other tools read the archive back byte for byte.
TEST(Zip, PacksFilesUnderTheirOwnNamesAndOtherToolsReadThemBack) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("one"));
    std::filesystem::create_directories(dir.File("two/folder.jpg"));
    const std::string big = PseudoRandomBytes(300 * 1024, 7);  // several read blocks
    dir.Write("one/page.jpg", big);
    dir.Write("two/page.jpg", "second page");
    dir.Write("two/PAGE.JPG", "third page");
    dir.Write("Zürich scan 1.jpg", "non-ASCII name");
    const std::string archive = dir.File("out.zip");
    {
        COnZipFile zip(Utf8ToWide(archive.c_str()));
        const std::pair<const char*, int> adds[] = {{"one/page.jpg", 1}, {"missing.jpg", 0},
                                                    {"two/page.jpg", 1}, {"two/folder.jpg", 0},
                                                    {"two/PAGE.JPG", 1}, {"Zürich scan 1.jpg", 1}};
        for (const auto& [name, added] : adds)
            EXPECT_EQ(zip.AddFile(dir.WideFile(name)), added) << name;
        EXPECT_EQ(zip.AddFile(nullptr), 0);
        // Nothing appears under the target name until the archive is complete.
        EXPECT_FALSE(std::filesystem::exists(archive));
    }
    std::vector<std::uint16_t> flags;
    EXPECT_EQ(ListZip(archive, &flags),
              (Names{"page.jpg", "page (2).jpg", "PAGE (3).JPG", "Zürich scan 1.jpg"}));
    ASSERT_EQ(flags.size(), 4u);
    EXPECT_EQ(flags[0] & 0x800, 0);
    EXPECT_NE(flags[3] & 0x800, 0) << "non-ASCII names are flagged as UTF-8";
    EXPECT_TRUE(UnzipTestPasses(archive));

    TempDir out;
    Extract(archive, out.Path());
    EXPECT_EQ(FolderTree(out.Path()),
              (Names{"PAGE (3).JPG", "Zürich scan 1.jpg", "page (2).jpg", "page.jpg"}));
    EXPECT_EQ(ReadBytes(out.File("page.jpg")), big);
    EXPECT_EQ(ReadBytes(out.File("page (2).jpg")), "second page");
    EXPECT_EQ(ReadBytes(out.File("Zürich scan 1.jpg")), "non-ASCII name");
}

TEST(Zip, ArchivesThatCannotBeWrittenRefuseEveryFile) {
    TempDir dir;
    dir.Write("a.jpg", "a");
    for (const CString& path : {dir.WideFile("no such folder/out.zip"), CString(L"")}) {
        COnZipFile zip(path);
        EXPECT_EQ(zip.AddFile(dir.WideFile("a.jpg")), 0);
    }
    COnZipFile null(nullptr);
    EXPECT_EQ(null.AddFile(dir.WideFile("a.jpg")), 0);
    EXPECT_EQ(FolderTree(dir.Path()), Names{"a.jpg"});
}

TEST(Zip, ASecondArchiveOnTheSamePathNeverReplacesTheFirst) {
    TempDir dir;
    dir.Write("a.jpg", "a");
    dir.Write("b.jpg", "b");
    const CString archive = dir.WideFile("out.zip");
    COnZipFile(archive).AddFile(dir.WideFile("a.jpg"));
    {
        COnZipFile zip(archive);
        zip.AddFile(dir.WideFile("b.jpg"));
        // The archive being built is never packed into itself.
        EXPECT_EQ(zip.AddFile(archive), 1) << "the finished first archive is an ordinary file";
    }
    EXPECT_EQ(ListZip(dir.File("out.zip")), (Names{"a.jpg"}));
    // The second keeps its entries under its temporary name.
    const Names left = FolderTree(dir.Path());
    ASSERT_EQ(left.size(), 4u);
    EXPECT_EQ(left[3].rfind("out.zip.", 0), 0u);
    EXPECT_EQ(ListZip(dir.File(left[3])), (Names{"b.jpg", "out.zip"}));
}

// A whole archive is read back entry by entry; anything short of whole is named, never passed.
TEST(Zip, InspectionFindsWhatIsWrongWithAnArchive) {
    TempDir dir;
    const std::string whole = CraftZip({{"one.txt", "one"}, {"sub/two.txt", "two!"}});
    std::string encrypted = whole;
    encrypted[6] |= 1;
    encrypted[encrypted.find("PK\x01\x02") + 8] |= 1;
    struct Case {
        std::string bytes;
        ZipVerdict verdict;
    };
    for (const Case& c : std::vector<Case>{
             {whole, ZipVerdict::Whole},
             {CraftZip({}), ZipVerdict::Whole},
             {"", ZipVerdict::NotZip},
             {"just text, not an archive", ZipVerdict::NotZip},
             {whole.substr(0, whole.size() - 10), ZipVerdict::Damaged},
             {whole.substr(0, whole.find("PK\x01\x02")), ZipVerdict::Damaged},
             {CraftZip({{"a", "a"}, {"b", "bad", 0100644, false, true}}), ZipVerdict::Damaged},
             {encrypted, ZipVerdict::Encrypted},
         }) {
        std::vector<ZipEntrySize> files;
        std::string detail;
        EXPECT_EQ(InspectZip(dir.WideFile("x.zip"), files, detail), ZipVerdict::Unreadable);
        dir.Write("x.zip", c.bytes);
        EXPECT_EQ(InspectZip(dir.WideFile("x.zip"), files, detail), c.verdict) << c.bytes.size();
        if (c.bytes == whole) {
            ASSERT_EQ(files.size(), 2u);
            EXPECT_EQ(files[1].name, "sub/two.txt");
            EXPECT_EQ(files[1].size, 4);
        }
        ::unlink(dir.File("x.zip").c_str());
    }
    ASSERT_EQ(0, ::mkfifo(dir.File("pipe.zip").c_str(), 0600));
    std::vector<ZipEntrySize> files;
    std::string detail;
    EXPECT_EQ(InspectZip(dir.WideFile("pipe.zip"), files, detail), ZipVerdict::NotZip);
}

// Past the byte limit nothing more is unpacked, whatever the archive says.
TEST(Zip, UnpackingStopsAtTheLimits) {
    TempDir dir, out;
    ScopedEnv limit("IMGDESK_MAX_UNPACK_BYTES", "6000");
    dir.Write("big.zip", CraftZip({{"a.bin", std::string(4000, 'a')},
                                   {"b.bin", std::string(4000, 'b')},
                                   {"c.bin", "c"}}));
    std::vector<ZipEntrySize> files;
    std::string detail;
    EXPECT_EQ(InspectZip(dir.WideFile("big.zip"), files, detail), ZipVerdict::TooLarge);
    Extract(dir.File("big.zip"), out.Path());
    EXPECT_EQ(FolderTree(out.Path()), (Names{"a.bin"}));
}

// Existing files are never replaced: clashes get numbered names. Folders and backslashes become
// folders; names without the UTF-8 flag are code page 437. An empty folder text is the current one.
TEST(Unzip, NeverReplacesExistingFilesAndKeepsFolders) {
    TempDir dir;
    dir.Write("archive.zip", CraftZip({{"a.jpg", "new a"},
                                       {"sub/", ""},
                                       {"sub/deep.jpg", "deep"},
                                       {"win\\style.jpg", "backslashes"},
                                       {"./dot.jpg", "dot"},
                                       {"\x81"
                                        "ber.txt",
                                        "dos"},
                                       {"Z\xc3\xbcrich.txt", "utf8", 0100644, true}}));
    dir.Write("a.jpg", "old a");
    dir.Write("a (2).jpg", "old a 2");
    Extract(dir.File("archive.zip"), dir.Path());
    const std::pair<const char*, const char*> files[] = {{"a.jpg", "old a"},
                                                         {"a (2).jpg", "old a 2"},
                                                         {"a (3).jpg", "new a"},
                                                         {"sub/deep.jpg", "deep"},
                                                         {"win/style.jpg", "backslashes"},
                                                         {"dot.jpg", "dot"},
                                                         {"über.txt", "dos"},
                                                         {"Zürich.txt", "utf8"}};
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(ReadBytes(dir.File(name)), bytes) << name;
    // Unpacking again adds numbered copies and changes nothing that is there.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    { CUnZipFile unzip(L"archive.zip", L""); }
    std::filesystem::current_path(previous);
    EXPECT_EQ(ReadBytes(dir.File("sub/deep.jpg")), "deep");
    EXPECT_EQ(ReadBytes(dir.File("sub/deep (2).jpg")), "deep");
    EXPECT_EQ(ReadBytes(dir.File("a (4).jpg")), "new a");
}

TEST(Unzip, NothingIsWrittenOutsideTheFolder) {
    TempDir root;
    const std::string target = root.File("target"), outside = root.File("outside");
    std::filesystem::create_directories(target);
    std::filesystem::create_directories(outside);
    // A link already in the destination that a name might try to pass through.
    ::symlink(outside.c_str(), (target + "/pre").c_str());
    root.Write("evil.zip", CraftZip({{"../outside/climb.txt", "x"},
                                     {"sub/../../outside/climb2.txt", "x"},
                                     {"..\\outside\\climb3.txt", "x"},
                                     {outside + "/absolute.txt", "x"},
                                     {"C:\\drive.txt", "x"},
                                     {"link", outside, 0120777},
                                     {"link/through.txt", "x"},
                                     {"hard", "x", 0100644},
                                     {"pre/through.txt", "kept"},
                                     {"fifo", "", 0010644},
                                     {"ok.txt", "ok"}}));
    Extract(root.File("evil.zip"), target);
    EXPECT_TRUE(FolderTree(outside).empty());
    EXPECT_EQ(FolderTree(target), (Names{"fifo", "hard", "link/", "link/through.txt", "ok.txt",
                                         "pre", "pre (2)/", "pre (2)/through.txt"}))
        << "links are not made; a name taken by a link gets a folder of its own";
    // A pipe entry is at most an empty ordinary file.
    struct stat info;
    ASSERT_EQ(::lstat((target + "/fifo").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(Unzip, DamagedEntriesLeaveNoFileAndTheGoodOnesArrive) {
    TempDir dir, out;
    dir.Write("bad-crc.zip",
              CraftZip({{"good.txt", "good"}, {"bad.txt", "damaged", 0100644, false, true}}));
    Extract(dir.File("bad-crc.zip"), dir.File("."));
    EXPECT_EQ(ReadBytes(dir.File("good.txt")), "good");
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.txt")));

    const std::string whole = CraftZip({{"cut.txt", PseudoRandomBytes(5000, 3)}});
    for (const std::string& bytes :
         {std::string(), std::string("PK\x03\x04 garbage"), whole.substr(0, whole.size() / 2),
          PseudoRandomBytes(4096, 9)}) {
        dir.Write("broken.zip", bytes);
        Extract(dir.File("broken.zip"), out.Path());
    }
    Extract(dir.File("missing.zip"), out.Path());
    EXPECT_TRUE(FolderTree(out.Path()).empty());
    Extract(dir.File("bad-crc.zip"), dir.File("missing folder"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing folder")));
}

}  // namespace
}  // namespace imgdesk::test
