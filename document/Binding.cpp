#include <list>
#include <new>

#include "document/DocDesk.h"
#include "platform/Files.h"
#include "service/CoreKit.h"

int CDocDesk::BindJpg(const std::list<CString>& paths, const wchar_t* archive) {
    if (!archive || paths.empty())
        return 0;
    COnZipFile* zip = new (std::nothrow) COnZipFile(archive);
    if (!zip)
        return 0;
    // Each source goes as soon as it is packed; AddFile has its bytes in the archive by then.
    for (const CString& path : paths) {
        zip->AddFile(path);
        DelFile(path);
    }
    delete zip;
    return 1;
}

int CDocDesk::BindJpg(const wchar_t* archive) {
    if (!archive)
        return 0;
    static const wchar_t* const kPatterns[] = {L"*.jpg", L"*.bmp", L"*.png", L"*.gif", L"*.tif"};
    std::list<CString> paths;
    const CString folder = GetBindPath();
    for (const wchar_t* pattern : kPatterns)
        SearchFileList(folder + kPathSeparator + pattern, paths);
    if (paths.empty())
        return 0;
    COnZipFile zip(archive);
    for (const CString& path : paths)
        zip.AddFile(path);
    return 1;
}

int CDocDesk::UnBindJpg(const wchar_t* archive) {
    if (!archive)
        return 0;
    const CString path(archive);
    const int separator = path.ReverseFind(kPathSeparator);
    // No separator: the archive is in the current folder, which CUnZipFile takes the empty folder
    // text to mean. An archive right under the root unpacks into the root, next to itself.
    CString folder = separator > 0 ? path.Left(separator) : CString();
    if (separator == 0)
        folder = CString(kPathSeparator);
    { CUnZipFile unzip(archive, folder); }
    return DelFile(archive);
}
