#pragma once

// Zip archives: COnZipFile packs files into a new archive, CUnZipFile unpacks one into a folder.
// Entry names are UTF-8 (flagged so in the archive, so that other tools read non-ASCII names back).
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "module/Export.h"

// Writes a new zip archive. The archive is built under a temporary name beside the target and
// takes the target's name when the object is destroyed, never replacing a file already there (two
// writers of one archive cannot lose each other's work): an archive that cannot take its name
// stays under the temporary one when it holds entries. A folder that cannot be written to leaves
// nothing behind and every AddFile fails.
class IMGDESK_API COnZipFile {
public:
    explicit COnZipFile(const wchar_t* path);
    virtual ~COnZipFile();
    COnZipFile(const COnZipFile&) = delete;
    COnZipFile& operator=(const COnZipFile&) = delete;

    // Adds one regular file, named by its own file name. A name already in the archive (letters
    // compared without regard to case, as archives are often unpacked where case does not count)
    // gets a number: "a.jpg", then "a (2).jpg". When it returns 1 the file's bytes are in the
    // archive file on disk, so the caller may delete the source. 0 when the file cannot be read,
    // is not a regular file, is the archive itself, or the archive cannot be written.
    int AddFile(const wchar_t* path);

    // Objects made with new come from the service library's memory (NewMem), like every block
    // the library hands out; the nothrow form gives null when memory is short.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;

private:
    struct State;
    State* state_;
};

// Extracts every entry of a zip archive into a folder (an empty folder text is the current
// folder). The work is done when construction ends. Regular files and folders are extracted;
// links, devices and entries whose names are absolute or climb out with ".." are passed over, so
// nothing is written outside the folder. Existing files are never replaced: a file whose name is
// taken gets a number ("a (2).jpg"). An entry that cannot be read in full leaves no file.
// Extraction stops at the limits of ZipLimitsInForce, so that a small archive cannot fill the
// disk.
class IMGDESK_API CUnZipFile {
public:
    CUnZipFile(const wchar_t* archive, const wchar_t* folder);
    virtual ~CUnZipFile();
    CUnZipFile(const CUnZipFile&) = delete;
    CUnZipFile& operator=(const CUnZipFile&) = delete;
};

// What an archive may unpack to: more than maxEntries entries, more than maxBytes in all, or a
// total more than maxRatio times the archive's size (once past 16 MiB) is refused.
struct ZipLimits {
    long long maxBytes;
    long long maxEntries;
    long long maxRatio;
};
// 8 GiB, 65536 entries, 1000:1; IMGDESK_MAX_UNPACK_BYTES raises (or lowers) the byte limit.
IMGDESK_API ZipLimits ZipLimitsInForce();

enum class ZipVerdict { Whole, Unreadable, NotZip, Damaged, Encrypted, TooLarge };

struct ZipEntrySize {
    std::string name;  // UTF-8, as stored
    long long size;
};

// Reads a zip archive through from its central directory, every entry's data checked against its
// CRC, without writing anything. Whole when every entry reads back in full within the limits;
// files then lists the regular-file entries in archive order. detail says what was wrong.
IMGDESK_API ZipVerdict InspectZip(const wchar_t* archive, std::vector<ZipEntrySize>& files,
                                  std::string& detail);
