#include "platform/Files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

FILE* _wfopen(const wchar_t* path, const wchar_t* mode) {
    if (!path || !mode)
        return nullptr;
    return std::fopen(WideToUtf8(path).c_str(), WideToUtf8(mode).c_str());
}

BOOL DeleteFileW(const wchar_t* path) {
    if (!path)
        return FALSE;
    return ::unlink(WideToUtf8(path).c_str()) == 0 ? TRUE : FALSE;
}

BOOL MoveFileW(const wchar_t* from, const wchar_t* to) {
    if (!from || !to)
        return FALSE;
    std::string source = WideToUtf8(from), target = WideToUtf8(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return TRUE;
    if (errno != EINVAL && errno != ENOSYS)
        return FALSE;
    // File systems without an atomic no-replace rename: a hard link fails when the target exists.
    if (::link(source.c_str(), target.c_str()) != 0)
        return FALSE;
    ::unlink(source.c_str());
    return TRUE;
}

const wchar_t* PathFindFileNameW(const wchar_t* path) {
    if (!path)
        return nullptr;
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == kPathSeparator && p[1])
            name = p + 1;
    }
    return name;
}
