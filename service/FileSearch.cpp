#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "service/CoreKit.h"

namespace {

bool SameLetter(wchar_t a, wchar_t b) {
    return std::towlower(a) == std::towlower(b);
}

// Wildcard match of a whole name: '*' matches any run (also empty), '?' any one character,
// letters match without regard to case. Iterative, with one back-tracking point per '*'.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*name) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == L'?' || (*pattern && SameLetter(*pattern, *name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*')
        ++pattern;
    return *pattern == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool LessNoCase(const CString& a, const CString& b) {
    int folded = a.CompareNoCase(b);
    return folded != 0 ? folded < 0 : a.Compare(b) < 0;
}

}  // namespace

int SearchFileList(const wchar_t* pattern, std::list<CString>& list) {
    if (!pattern)
        return 0;
    CString full(pattern);
    int separator = full.ReverseFind(kPathSeparator);
    CString folder = separator < 0 ? CString(L".") : full.Left(separator);
    CString namePattern = separator < 0 ? full : full.Mid(separator + 1);
    if (folder.IsEmpty())
        folder = CString(kPathSeparator);  // a pattern right under the root

    std::string folderBytes = WideToUtf8(folder);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folderBytes.c_str()));
    if (!dir)
        return 0;

    std::vector<CString> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        CString name = Utf8ToWide(entry->d_name);
        // A name that is not valid UTF-8 cannot be named by a wide path; it is passed over.
        if (WideToUtf8(name) != entry->d_name)
            continue;
        if (name == L"." || name == L".." || !WildcardMatch(namePattern, name))
            continue;
        std::string path = folderBytes + (folderBytes == "/" ? "" : "/") + entry->d_name;
        if (IsRegularFile(path))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), LessNoCase);

    // Paths are rebuilt from the folder as given (a "." folder stays relative: the caller chose
    // it).
    CString prefix = separator < 0 ? CString() : full.Left(separator + 1);
    for (const CString& name : names)
        list.push_back(prefix + name);
    return static_cast<int>(names.size());
}

int DelFile(const wchar_t* path) {
    return DeleteFileW(path);
}
