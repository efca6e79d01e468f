#pragma once

// Zip archives seen from outside the library: the central directory read byte by byte, archives
// built by hand (for names and types the library never writes), and the system's unzip.
#include <cstdint>
#include <string>
#include <vector>

namespace imgdesk::test {

// The entry names of a zip file's central directory, in archive order, and with flags each
// entry's general purpose flags (bit 11 marks a UTF-8 name); empty when it is not a readable zip.
std::vector<std::string> ListZip(const std::string& path,
                                 std::vector<std::uint16_t>* flags = nullptr);

// One entry of a hand-built archive, stored without compression.
struct CraftedEntry {
    std::string name;
    std::string data;
    std::uint32_t unixMode = 0100644;  // S_IFLNK | 0777 makes a symbolic link with data as target
    bool utf8Flag = false;
    bool badCrc = false;
};
// A complete zip archive holding the entries.
std::string CraftZip(const std::vector<CraftedEntry>& entries);

// Runs `unzip -t` on the archive; true when it reports no error.
bool UnzipTestPasses(const std::string& path);

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
// The names in a folder (recursively, as paths relative to it, folders marked with a trailing
// slash), sorted.
std::vector<std::string> FolderTree(const std::string& folder);

}  // namespace imgdesk::test
