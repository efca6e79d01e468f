#include "support/ArchiveTools.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace imgdesk::test {
namespace {

std::uint32_t Crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::uint32_t Get(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<ZipEntryFacts> ListZip(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<ZipEntryFacts> entries;
    // The end record: the last "PK\5\6" (no archive comment is ever written).
    const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos || end + 22 > bytes.size())
        return entries;
    const std::uint32_t count = Get(bytes, end + 10, 2);
    std::size_t at = Get(bytes, end + 16, 4);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 46 > bytes.size() || Get(bytes, at, 4) != 0x02014b50u)
            return {};
        const std::uint32_t nameLength = Get(bytes, at + 28, 2);
        ZipEntryFacts entry{bytes.substr(at + 46, nameLength),
                            static_cast<std::uint16_t>(Get(bytes, at + 8, 2))};
        entries.push_back(entry);
        at += 46 + nameLength + Get(bytes, at + 30, 2) + Get(bytes, at + 32, 2);
    }
    return entries;
}

std::string CraftZip(const std::vector<CraftedEntry>& entries) {
    std::string archive, central;
    for (const CraftedEntry& entry : entries) {
        const std::uint32_t crc = Crc32(entry.data) ^ (entry.badCrc ? 1u : 0u);
        const std::uint32_t flags = entry.utf8Flag ? 0x800 : 0;
        const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
        Put32(archive, 0x04034b50u);
        Put16(archive, 10);  // version needed
        Put16(archive, flags);
        Put16(archive, 0);  // stored
        Put32(archive, 0);  // time, date
        Put32(archive, crc);
        Put32(archive, static_cast<std::uint32_t>(entry.data.size()));
        Put32(archive, static_cast<std::uint32_t>(entry.data.size()));
        Put16(archive, static_cast<std::uint32_t>(entry.name.size()));
        Put16(archive, 0);
        archive += entry.name;
        archive += entry.data;

        Put32(central, 0x02014b50u);
        Put16(central, 0x031E);  // made by Unix, so the mode below counts
        Put16(central, 10);
        Put16(central, flags);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, crc);
        Put32(central, static_cast<std::uint32_t>(entry.data.size()));
        Put32(central, static_cast<std::uint32_t>(entry.data.size()));
        Put16(central, static_cast<std::uint32_t>(entry.name.size()));
        Put16(central, 0);  // extra
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, entry.unixMode << 16);
        Put32(central, offset);
        central += entry.name;
    }
    const std::uint32_t centralAt = static_cast<std::uint32_t>(archive.size());
    archive += central;
    Put32(archive, 0x06054b50u);
    Put32(archive, 0);
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put32(archive, static_cast<std::uint32_t>(central.size()));
    Put32(archive, centralAt);
    Put16(archive, 0);
    return archive;
}

bool UnzipTestPasses(const std::string& path) {
    // Test paths hold no single quotes.
    const std::string command = "unzip -tqq '" + path + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> FolderTree(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::string name = it->path().lexically_relative(folder).string();
        if (it->is_directory() && !it->is_symlink())
            name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace imgdesk::test
