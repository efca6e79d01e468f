#include "support/ArchiveTools.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/PdfTools.h"

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

// Little-endian fields, as zip stores them.
void Put(std::string& out, std::size_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> 8 * i) & 0xFF);
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

std::vector<std::string> ListZip(const std::string& path, std::vector<std::uint16_t>* flags) {
    const std::string bytes = ReadBytes(path);
    std::vector<std::string> names;
    // The end record: the last "PK\5\6" (no archive comment is ever written).
    const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos || end + 22 > bytes.size())
        return names;
    std::size_t at = Get(bytes, end + 16, 4);
    for (std::uint32_t i = 0, count = Get(bytes, end + 10, 2); i < count; ++i) {
        if (at + 46 > bytes.size() || Get(bytes, at, 4) != 0x02014b50u)
            return {};
        const std::uint32_t nameLength = Get(bytes, at + 28, 2);
        names.push_back(bytes.substr(at + 46, nameLength));
        if (flags)
            flags->push_back(static_cast<std::uint16_t>(Get(bytes, at + 8, 2)));
        at += 46 + nameLength + Get(bytes, at + 30, 2) + Get(bytes, at + 32, 2);
    }
    return names;
}

std::string CraftZip(const std::vector<CraftedEntry>& entries) {
    std::string archive, central;
    for (const CraftedEntry& entry : entries) {
        // The fields the local header and the central record share, from "version needed" on.
        std::string common;
        Put(common, 10, 2);
        Put(common, entry.utf8Flag ? 0x800 : 0, 2);
        Put(common, 0, 6);  // stored; time and date
        Put(common, Crc32(entry.data) ^ (entry.badCrc ? 1u : 0u), 4);
        Put(common, entry.data.size(), 4);
        Put(common, entry.data.size(), 4);
        Put(common, entry.name.size(), 2);
        Put(common, 0, 2);  // no extra field
        Put(central, 0x02014b50u, 4);
        Put(central, 0x031E, 2);  // made by Unix, so the mode below counts
        central += common;
        Put(central, 0, 6);  // comment, disk, internal attributes
        Put(central, std::size_t(entry.unixMode) << 16, 4);
        Put(central, archive.size(), 4);
        central += entry.name;
        Put(archive, 0x04034b50u, 4);
        archive += common + entry.name + entry.data;
    }
    const std::size_t centralAt = archive.size();
    archive += central;
    Put(archive, 0x06054b50u, 4);
    Put(archive, 0, 4);
    Put(archive, entries.size(), 2);
    Put(archive, entries.size(), 2);
    Put(archive, central.size(), 4);
    Put(archive, centralAt, 4);
    Put(archive, 0, 2);
    return archive;
}

bool UnzipTestPasses(const std::string& path) {
    return RunCommand("unzip -tqq '" + path + "'") == 0;  // test paths hold no single quotes
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
