#pragma once

// The platform's shell call that starts a program, reduced to what the library uses: starting a
// program by name with one parameter text.
#include "module/Export.h"
#include "platform/WinTypes.h"

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

constexpr INT SW_SHOWNORMAL = 1;

// Failure results of ShellExecuteW (all 32 or less; success is greater than 32).
constexpr INT ERROR_FILE_NOT_FOUND = 2;
constexpr INT ERROR_PATH_NOT_FOUND = 3;
constexpr INT SE_ERR_ACCESSDENIED = 5;
constexpr INT SE_ERR_OOM = 8;
constexpr INT ERROR_BAD_FORMAT = 11;
constexpr INT SE_ERR_NOASSOC = 31;

// Starts the program named file (searched on PATH unless the name holds a separator) with the
// verb "open" (null means "open" too; other verbs give SE_ERR_NOASSOC). The parameters text, when
// not empty, reaches the program as one argument exactly as given: no shell sees it, so nothing in
// it is interpreted. directory, when given, is the program's working folder. The program runs
// detached in a session of its own and is not waited for; no child process is left behind. The
// owner window and show command mean nothing here. The mail program "outlook.exe" is the
// desktop's mail composer where it exists: xdg-email with the parameters after "--attach".
// Returns a value greater than 32 when the
// program started, else ERROR_FILE_NOT_FOUND (no such program), ERROR_PATH_NOT_FOUND (no such
// working folder), SE_ERR_ACCESSDENIED (not executable), ERROR_BAD_FORMAT (not a program the
// system runs) or SE_ERR_OOM (no process could be made).
IMGDESK_API HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                                    LPCWSTR directory, INT showCommand);
