#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "service/CoreKit.h"

namespace {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Creates every missing folder along the path (like mkdir -p); existing folders are fine.
void CreateFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string prefix = path.substr(0, at);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
                return;
        }
    }
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folder named by the override variable, else the XDG base folder (or its default under the
// home folder) with the given tail.
CString ServiceFolder(const char* overrideVariable, const char* xdgVariable,
                      const char* xdgDefaultUnderHome, const char* tail) {
    std::string folder = EnvironmentValue(overrideVariable);
    if (folder.empty()) {
        std::string base = EnvironmentValue(xdgVariable);
        // The XDG rules ignore relative base folders.
        if (base.empty() || base[0] != '/') {
            std::string home = EnvironmentValue("HOME");
            base = (home.empty() ? std::string("/tmp") : home) + "/" + xdgDefaultUnderHome;
        }
        folder = base + "/" + tail;
    }
    folder = WithoutTrailingSeparators(folder);
    CreateFolders(folder);
    return Utf8ToWide(folder.c_str());
}

}  // namespace

CString GetTempDataPath() {
    return ServiceFolder("IMGDESK_TEMP_DIR", "XDG_CACHE_HOME", ".cache", "imgdesk/temp");
}

CString GetBindPath() {
    return ServiceFolder("IMGDESK_BIND_DIR", "XDG_DATA_HOME", ".local/share", "imgdesk/bind");
}
