#pragma once

// The file functions of the platform the library calls, over POSIX. Wide paths become UTF-8 here.
#include <cstdio>

#include "module/Export.h"
#include "platform/CString.h"
#include "platform/WinTypes.h"

// The separator between folder and file name in the paths the library builds.
constexpr wchar_t kPathSeparator = L'/';

// Opens a file like fopen; null on failure.
IMGDESK_API FILE* _wfopen(const wchar_t* path, const wchar_t* mode);
// Deletes a file; nonzero on success.
IMGDESK_API BOOL DeleteFileW(const wchar_t* path);
// Renames a file. Like the platform's, it never replaces an existing target: FALSE when the
// target exists or the rename fails.
IMGDESK_API BOOL MoveFileW(const wchar_t* from, const wchar_t* to);

// The file-name part of a path: a pointer to what follows the last separator, or the whole path.
IMGDESK_API const wchar_t* PathFindFileNameW(const wchar_t* path);
