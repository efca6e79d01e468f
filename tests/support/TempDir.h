#pragma once

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
#include <string>

#include "platform/CString.h"

namespace imgdesk::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // The folder's path joined with a name, as UTF-8 and as a wide string.
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    CString WideFile(const std::string& name) const { return Utf8ToWide(File(name).c_str()); }
    // Writes bytes to a file in the folder; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// Sets an environment variable for the life of the object, then restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_;
};

}  // namespace imgdesk::test
