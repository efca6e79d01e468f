#include <list>
#include <new>

#include "document/DocDesk.h"
#include "platform/Files.h"
#include "platform/shell/Shell.h"
#include "service/CoreKit.h"

namespace {

// Hands one file to the desktop mail program. Whether it starts is not reported: a missing mail
// program shows whatever the shell shows.
void HandToMailProgram(const wchar_t* path) {
    ShellExecuteW(nullptr, L"open", L"outlook.exe", path, nullptr, SW_SHOWNORMAL);
}

}  // namespace

int CDocDesk::SendOutLook(std::list<CString> paths) {
    if (paths.empty())
        return 0;
    if (paths.size() == 1) {
        HandToMailProgram(paths.front());
        return 1;
    }
    const CString archive = GetTempDataPath() + kPathSeparator + GetSysTime() + L".zip";
    COnZipFile* zip = new (std::nothrow) COnZipFile(archive);
    if (!zip)
        return 0;
    for (const CString& path : paths)
        zip->AddFile(path);
    delete zip;
    HandToMailProgram(archive);
    return 1;
}
