#pragma once

// Zip archives: COnZipFile packs files into a new archive, CUnZipFile unpacks one into a folder.
// Entry names are UTF-8 (flagged so in the archive, so that other tools read non-ASCII names back).
#include <cstddef>
#include <new>

#include "module/Export.h"

// Writes a new zip archive. The archive is built under a temporary name beside the target and
// takes the target's name when the object is destroyed, replacing an archive already there; a
// folder that cannot be written to leaves nothing behind and every AddFile fails.
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
class IMGDESK_API CUnZipFile {
public:
    CUnZipFile(const wchar_t* archive, const wchar_t* folder);
    virtual ~CUnZipFile();
    CUnZipFile(const CUnZipFile&) = delete;
    CUnZipFile& operator=(const CUnZipFile&) = delete;
};
