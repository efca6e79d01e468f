#include "service/Zip.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <cstdint>
#include <cwctype>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "platform/Files.h"
#include "service/CoreKit.h"

namespace {

// libarchive converts entry names through the calling thread's locale. A UTF-8 locale for this
// thread only (never the process's) makes names pass through as UTF-8 whatever the host set, and
// makes the writer flag non-ASCII names as UTF-8.
class ThreadUtf8Locale {
public:
    ThreadUtf8Locale() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0))) {
        if (locale_)
            previous_ = ::uselocale(locale_);
    }
    ~ThreadUtf8Locale() {
        if (locale_) {
            ::uselocale(previous_);
            ::freelocale(locale_);
        }
    }
    ThreadUtf8Locale(const ThreadUtf8Locale&) = delete;
    ThreadUtf8Locale& operator=(const ThreadUtf8Locale&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = locale_t(0);
};

class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

struct ReaderDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct EntryDeleter {
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};

// Numbers for names that are taken stop here; no real archive or folder comes near it.
constexpr int kMaxNumber = 100000;

// Below this many bytes no ratio of unpacked to packed size is suspicious.
constexpr long long kRatioFloor = 16LL << 20;

// "a.jpg" numbered 2 is "a (2).jpg"; a name without an extension (or a folder) just gets the
// number.
std::string NumberedName(const std::string& name, int number, bool keepExtension) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    const std::size_t dot = keepExtension ? name.rfind('.') : std::string::npos;
    if (dot == std::string::npos || dot == 0)
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

// Names compared as a case-insensitive file system would.
std::wstring Folded(const std::string& name) {
    CString wide = Utf8ToWide(name.c_str());
    std::wstring folded(wide.GetString());
    for (wchar_t& ch : folded)
        ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
    return folded;
}

// Zip tools that do not flag their names as UTF-8 write them in the DOS code page 437.
const wchar_t kCodePage437High[129] =
    L"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
    L"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";

std::string EntryNameAsUtf8(const char* raw) {
    if (IsValidUtf8Text(Utf8ToWide(raw)))
        return raw;
    std::wstring wide;
    for (const char* p = raw; *p; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        wide += byte < 0x80 ? static_cast<wchar_t>(byte) : kCodePage437High[byte - 0x80];
    }
    return WideToUtf8(wide.c_str());
}

// Entry names are UTF-8 text: the bytes of a file name that is not valid UTF-8 (escaped in the
// wide name) show as U+FFFD in the archive. The file itself is read by its real name.
std::string EntryNameOf(const wchar_t* fileName) {
    std::wstring name(fileName);
    for (wchar_t& ch : name) {
        if (!IsValidUtf8Text(std::wstring(1, ch).c_str()))
            ch = static_cast<wchar_t>(0xFFFD);
    }
    return WideToUtf8(name.c_str());
}

// The folder and file names of an entry, or false when the entry must not be extracted: an
// absolute name (also a drive letter), or one that climbs with "..". Both separators count, as
// Windows tools write backslashes.
bool SplitEntryName(const std::string& name, std::vector<std::string>& parts) {
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    std::string part;
    for (std::size_t at = 0; at <= name.size(); ++at) {
        if (at < name.size() && name[at] != '/' && name[at] != '\\') {
            part += name[at];
            continue;
        }
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            parts.push_back(part);
        part.clear();
    }
    return !parts.empty();
}

bool WriteAll(int fd, const void* data, std::size_t size, std::int64_t offset) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, bytes, size, offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

// Extracts entries below one root folder. Every folder is opened relative to its parent without
// following links, so neither entry names nor links already in the destination lead outside it.
class Extractor {
public:
    Extractor(int root, long long archiveSize) : root_(root) {
        const ZipLimits limits = ZipLimitsInForce();
        entriesLeft_ = limits.maxEntries;
        bytesLeft_ = limits.maxBytes;
        if (archiveSize > 0 && archiveSize < limits.maxBytes / limits.maxRatio)
            bytesLeft_ = std::max(archiveSize * limits.maxRatio, kRatioFloor);
    }

    void Run(archive* reader) {
        int unusable = 0;
        for (;;) {
            if (--entriesLeft_ < 0 || bytesLeft_ <= 0)
                return;
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(reader, &entry);
            if (status == ARCHIVE_EOF || status == ARCHIVE_FATAL)
                return;
            if (status < ARCHIVE_WARN) {
                // A damaged entry header: go on with the next one, but not forever.
                if (++unusable > 64)
                    return;
                continue;
            }
            unusable = 0;
            Extract(reader, entry);
        }
    }

private:
    void Extract(archive* reader, archive_entry* entry) {
        const char* raw = archive_entry_pathname(entry);
        if (!raw)
            raw = archive_entry_pathname_utf8(entry);
        std::vector<std::string> parts;
        if (!raw || !SplitEntryName(EntryNameAsUtf8(raw), parts))
            return;
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry))
            return;
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            FileHandle folder(OpenFolder(parts, parts.size()));
        } else if (type == AE_IFREG) {
            FileHandle folder(OpenFolder(parts, parts.size() - 1));
            if (folder.Get() >= 0)
                ExtractFile(reader, entry, folder.Get(), parts.back());
        }
        // Links, devices and pipes are never made.
    }

    // Opens (making what is missing) the real folder for the first count parts of an entry name.
    // A name taken by a file or a link gets a numbered folder, remembered for later entries.
    int OpenFolder(const std::vector<std::string>& parts, std::size_t count) {
        int current = ::dup(root_);
        std::string key;
        for (std::size_t i = 0; i < count && current >= 0; ++i) {
            key += '/';
            key += parts[i];
            auto known = folders_.find(key);
            std::string real = known != folders_.end() ? known->second : parts[i];
            int next =
                ::openat(current, real.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && known == folders_.end()) {
                for (int number = 1; number < kMaxNumber; ++number) {
                    std::string candidate =
                        number == 1 ? parts[i] : NumberedName(parts[i], number, false);
                    if (::mkdirat(current, candidate.c_str(), 0755) == 0) {
                        next = ::openat(current, candidate.c_str(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                        real = candidate;
                        break;
                    }
                    if (errno != EEXIST)
                        break;
                }
            }
            if (next >= 0)
                folders_[key] = real;
            ::close(current);
            current = next;
        }
        return current;
    }

    void ExtractFile(archive* reader, archive_entry* entry, int folder, const std::string& name) {
        std::string chosen;
        int fd = -1;
        for (int number = 1; number < kMaxNumber && fd < 0; ++number) {
            chosen = number == 1 ? name : NumberedName(name, number, true);
            fd = ::openat(folder, chosen.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0 && errno != EEXIST)
                return;
        }
        if (fd < 0)
            return;

        bool complete = false;
        for (;;) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader, &block, &size, &offset);
            if (status == ARCHIVE_EOF) {
                complete = true;
                break;
            }
            if (static_cast<long long>(size) > bytesLeft_) {
                bytesLeft_ = 0;  // past the limit nothing more is unpacked
                break;
            }
            if (status != ARCHIVE_OK || offset < 0 || !WriteAll(fd, block, size, offset))
                break;
            bytesLeft_ -= static_cast<long long>(size);
        }
        if (complete && archive_entry_mtime_is_set(entry)) {
            const timespec times[2] = {
                {0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
            ::futimens(fd, times);
        }
        if (::close(fd) != 0)
            complete = false;
        // A damaged or unreadable entry leaves no half file behind.
        if (!complete)
            ::unlinkat(folder, chosen.c_str(), 0);
    }

    int root_;
    std::map<std::string, std::string> folders_;
    long long entriesLeft_ = 0;
    long long bytesLeft_ = 0;
};

}  // namespace

// --- COnZipFile -------------------------------------------------------------------------------

struct COnZipFile::State {
    std::string target;
    std::string temporary;
    int fd = -1;
    archive* writer = nullptr;
    std::set<std::wstring> names;  // folded, see Folded
    int added = 0;

    std::string UniqueEntryName(const std::string& name) const {
        for (int number = 1; number < kMaxNumber; ++number) {
            std::string candidate = number == 1 ? name : NumberedName(name, number, true);
            if (!names.count(Folded(candidate)))
                return candidate;
        }
        return std::string();
    }
};

COnZipFile::COnZipFile(const wchar_t* path) : state_(new (std::nothrow) State) {
    if (!state_ || !path || !*path)
        return;
    ThreadUtf8Locale utf8;
    try {
        State& state = *state_;
        state.target = WideToUtf8(path);
        // Built under a temporary name, so that an archive already at the target (or a source file
        // of the same name) stays whole until this one is complete.
        std::string temporary = state.target + ".XXXXXX";
        const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (fd < 0)
            return;
        ::fchmod(fd, 0644);
        archive* writer = archive_write_new();
        // No block buffering: each entry reaches the file as it is finished.
        if (!writer || archive_write_set_format_zip(writer) != ARCHIVE_OK ||
            archive_write_set_options(writer, "zip:hdrcharset=UTF-8") != ARCHIVE_OK ||
            archive_write_set_bytes_per_block(writer, 0) != ARCHIVE_OK ||
            archive_write_set_bytes_in_last_block(writer, 1) != ARCHIVE_OK ||
            archive_write_open_fd(writer, fd) != ARCHIVE_OK) {
            if (writer)
                archive_write_free(writer);
            ::close(fd);
            ::unlink(temporary.c_str());
            return;
        }
        state.fd = fd;
        state.temporary = temporary;
        state.writer = writer;
    } catch (const std::bad_alloc&) {
    }
}

COnZipFile::~COnZipFile() {
    if (state_ && state_->writer) {
        ThreadUtf8Locale utf8;
        State& state = *state_;
        const bool closed = archive_write_close(state.writer) == ARCHIVE_OK;
        archive_write_free(state.writer);
        ::fsync(state.fd);
        ::close(state.fd);
        // An archive damaged after some entries were added still holds those entries, whose
        // sources may be gone already: it keeps its place rather than being thrown away.
        bool kept = false;
        if (closed || state.added > 0) {
            kept = MoveFileW(Utf8ToWide(state.temporary.c_str()),
                             Utf8ToWide(state.target.c_str())) != FALSE;
        }
        if (!kept && state.added == 0)
            ::unlink(state.temporary.c_str());
    }
    delete state_;
}

int COnZipFile::AddFile(const wchar_t* path) {
    if (!state_ || !state_->writer || !path)
        return 0;
    ThreadUtf8Locale utf8;
    try {
        State& state = *state_;
        // Non-blocking, so that a pipe given by mistake cannot stall the open.
        FileHandle source(
            ::open(WideToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat info;
        if (source.Get() < 0 || ::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode))
            return 0;
        struct stat self;
        if (::fstat(state.fd, &self) == 0 && self.st_dev == info.st_dev &&
            self.st_ino == info.st_ino)
            return 0;

        const std::string name = state.UniqueEntryName(EntryNameOf(PathFindFileNameW(path)));
        std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
        if (name.empty() || !entry)
            return 0;
        archive_entry_set_pathname_utf8(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), info.st_size);
        archive_entry_set_mtime(entry.get(), info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        if (archive_write_header(state.writer, entry.get()) < ARCHIVE_WARN)
            return 0;
        state.names.insert(Folded(name));

        // Exactly the size the header announced: a file that grows meanwhile is cut there, one
        // that shrinks makes the entry short and the call fail.
        char buffer[64 * 1024];
        std::int64_t remaining = info.st_size;
        while (remaining > 0) {
            const std::size_t want =
                remaining < std::int64_t(sizeof buffer) ? std::size_t(remaining) : sizeof buffer;
            const ssize_t got = ::read(source.Get(), buffer, want);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return 0;
            if (archive_write_data(state.writer, buffer, std::size_t(got)) != got)
                return 0;
            remaining -= got;
        }
        if (archive_write_finish_entry(state.writer) != ARCHIVE_OK)
            return 0;
        // The caller may delete the source as soon as this returns.
        if (::fdatasync(state.fd) != 0 && errno != EINVAL)
            return 0;
        ++state.added;
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void* COnZipFile::operator new(std::size_t size) {
    void* block = operator new(size, std::nothrow);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* COnZipFile::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return size <= std::size_t(INT_MAX) ? NewMem(static_cast<int>(size)) : nullptr;
}

void COnZipFile::operator delete(void* block) noexcept {
    DelMem(block);
}

void COnZipFile::operator delete(void* block, const std::nothrow_t&) noexcept {
    DelMem(block);
}

// --- CUnZipFile -------------------------------------------------------------------------------

CUnZipFile::CUnZipFile(const wchar_t* archivePath, const wchar_t* folder) {
    if (!archivePath)
        return;
    ThreadUtf8Locale utf8;
    try {
        const std::string destination = folder && *folder ? WideToUtf8(folder) : std::string(".");
        FileHandle root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (root.Get() < 0)
            return;
        std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
        struct stat info;
        if (!reader || archive_read_support_format_zip(reader.get()) != ARCHIVE_OK ||
            ::stat(WideToUtf8(archivePath).c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            archive_read_open_filename(reader.get(), WideToUtf8(archivePath).c_str(), 64 * 1024) !=
                ARCHIVE_OK)
            return;
        Extractor(root.Get(), info.st_size).Run(reader.get());
    } catch (const std::bad_alloc&) {
    }
}

CUnZipFile::~CUnZipFile() = default;

// --- Inspection -------------------------------------------------------------------------------

ZipLimits ZipLimitsInForce() {
    ZipLimits limits{8LL << 30, 65536, 1000};
    if (const char* text = std::getenv("IMGDESK_MAX_UNPACK_BYTES")) {
        char* end = nullptr;
        const long long value = std::strtoll(text, &end, 10);
        if (end != text && !*end && value > 0)
            limits.maxBytes = value;
    }
    return limits;
}

namespace {

ZipVerdict InspectInto(const wchar_t* archivePath, std::vector<ZipEntrySize>& files,
                       std::string& detail) {
    if (!archivePath)
        return ZipVerdict::Unreadable;
    ThreadUtf8Locale utf8;
    try {
        // Non-blocking, so that a pipe cannot stall the open; only regular files are archives.
        FileHandle file(
            ::open(WideToUtf8(archivePath).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat info;
        if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0) {
            detail = std::strerror(errno);
            return ZipVerdict::Unreadable;
        }
        char magic[4] = {};
        if (!S_ISREG(info.st_mode) || ::pread(file.Get(), magic, 4, 0) != 4 || magic[0] != 'P' ||
            magic[1] != 'K' ||
            !((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6)))
            return ZipVerdict::NotZip;
        // An empty archive is its end record alone, which the reader does not take.
        if (info.st_size == 22 && magic[2] == 5) {
            char record[22];
            return ::pread(file.Get(), record, 22, 0) == 22 && !record[8] && !record[9] &&
                           !record[10] && !record[11]
                       ? ZipVerdict::Whole
                       : ZipVerdict::Damaged;
        }

        std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
        // Seekable reading only: an archive without its central directory is not whole.
        if (!reader || archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK)
            return ZipVerdict::Unreadable;
        if (archive_read_open_fd(reader.get(), file.Get(), 64 * 1024) != ARCHIVE_OK) {
            detail = archive_error_string(reader.get()) ? archive_error_string(reader.get()) : "";
            return ZipVerdict::Damaged;
        }
        const ZipLimits limits = ZipLimitsInForce();
        long long allowed = limits.maxBytes;
        if (info.st_size < limits.maxBytes / limits.maxRatio)
            allowed = std::max(info.st_size * limits.maxRatio, kRatioFloor);
        long long entries = 0, total = 0;
        for (;;) {
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(reader.get(), &entry);
            if (status == ARCHIVE_EOF)
                return ZipVerdict::Whole;
            if (status != ARCHIVE_OK) {
                detail =
                    archive_error_string(reader.get()) ? archive_error_string(reader.get()) : "";
                return ZipVerdict::Damaged;
            }
            if (++entries > limits.maxEntries) {
                detail = "more than " + std::to_string(limits.maxEntries) + " entries";
                return ZipVerdict::TooLarge;
            }
            const char* raw = archive_entry_pathname_utf8(entry);
            if (!raw)
                raw = archive_entry_pathname(entry);
            if (archive_entry_is_encrypted(entry)) {
                detail = raw ? raw : "";
                return ZipVerdict::Encrypted;
            }
            long long size = 0;
            for (;;) {
                const void* block = nullptr;
                std::size_t length = 0;
                la_int64_t offset = 0;
                const int read = archive_read_data_block(reader.get(), &block, &length, &offset);
                if (read == ARCHIVE_EOF)
                    break;
                if (read != ARCHIVE_OK) {
                    detail =
                        std::string(raw ? raw : "") + ": " +
                        (archive_error_string(reader.get()) ? archive_error_string(reader.get())
                                                            : "unreadable");
                    return ZipVerdict::Damaged;
                }
                size += static_cast<long long>(length);
                if (total + size > allowed) {
                    detail = "unpacks to more than " + std::to_string(allowed) + " bytes";
                    return ZipVerdict::TooLarge;
                }
            }
            total += size;
            if (archive_entry_filetype(entry) == AE_IFREG)
                files.push_back({raw ? EntryNameAsUtf8(raw) : std::string(), size});
        }
    } catch (const std::bad_alloc&) {
        detail = "out of memory";
        return ZipVerdict::Unreadable;
    }
}

}  // namespace

ZipVerdict InspectZip(const wchar_t* archivePath, std::vector<ZipEntrySize>& files,
                      std::string& detail) {
    files.clear();
    detail.clear();
    const ZipVerdict verdict = InspectInto(archivePath, files, detail);
    if (verdict != ZipVerdict::Whole)
        files.clear();
    return verdict;
}
