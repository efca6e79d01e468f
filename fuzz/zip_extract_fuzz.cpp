// Extracts arbitrary bytes as a zip archive with CUnZipFile: every input must extract or fail
// without a crash, and nothing may appear outside the destination folder, nor any link inside it.
// The whole-archive check that the tool runs before unpacking reads the same bytes first.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "service/CoreKit.h"

namespace fs = std::filesystem;

namespace {

fs::path g_root;

void RemoveRoot() {
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
}

fs::path MakeRoot() {
    std::string pattern = (fs::temp_directory_path() / "zip-extract-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    g_root = pattern;
    std::atexit(RemoveRoot);
    return g_root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path root = MakeRoot();
    const fs::path run = root / "run";
    const fs::path archive = run / "input.zip";
    const fs::path destination = run / "out";
    fs::remove_all(run);
    fs::create_directories(destination);
    std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), size);

    // The whole-archive check never crashes, lists nothing unless the archive is whole, and
    // never lists more than the limits allow.
    std::vector<ZipEntrySize> files;
    std::string detail;
    const ZipVerdict verdict = InspectZip(archive.wstring().c_str(), files, detail);
    if (verdict != ZipVerdict::Whole && !files.empty())
        std::abort();
    if (static_cast<long long>(files.size()) > ZipLimitsInForce().maxEntries)
        std::abort();

    { CUnZipFile unzip(archive.wstring().c_str(), destination.wstring().c_str()); }

    // Beside the destination only the archive, unchanged in place; inside it no links.
    for (const auto& entry : fs::directory_iterator(run)) {
        if (entry.path() != archive && entry.path() != destination)
            std::abort();
    }
    if (fs::file_size(archive) != size)
        std::abort();
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        if (entry.is_symlink())
            std::abort();
    }
    if (fs::exists(root / "escaped") || fs::exists(root.parent_path() / "escaped"))
        std::abort();
    return 0;
}
