#include "service/Thumbs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/codecs/Codecs.h"
#include "service/internal/ThumbnailNames.h"

namespace imgdesk::service {
namespace {

constexpr int kNormalSize = 128;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void CreateFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            const std::string prefix = path.substr(0, at);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
                return;
        }
    }
}

std::string ThumbnailFolder() {
    std::string base = Environment("XDG_CACHE_HOME");
    if (base.empty() || base[0] != '/') {  // relative base folders are ignored
        const std::string home = Environment("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/.cache";
    }
    return base + "/thumbnails/normal";
}

// An absolute path with empty, "." and ".." components removed (symbolic links are kept, as a
// file manager names the file by the path it shows).
std::string AbsolutePath(const std::string& path) {
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        std::vector<char> folder(4096);
        if (::getcwd(folder.data(), folder.size()))
            full = std::string(folder.data()) + "/" + full;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= full.size()) {
        std::size_t end = full.find('/', start);
        if (end == std::string::npos)
            end = full.size();
        const std::string part = full.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

std::string Md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr))
        return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

const char* MimeType(codecs::Format format) {
    switch (format) {
        case codecs::Format::Bmp:
            return "image/bmp";
        case codecs::Format::Jpeg:
            return "image/jpeg";
        case codecs::Format::Gif:
            return "image/gif";
        case codecs::Format::Tiff:
            return "image/tiff";
        case codecs::Format::Png:
            return "image/png";
        case codecs::Format::Unknown:
            break;
    }
    return "application/octet-stream";
}

// The picture turned as its EXIF orientation says (1 to 8), as a new 32-bit bitmap.
codecs::Result Orient(const codecs::Dib& source, int orientation, codecs::Dib& target) {
    const bool swaps = orientation >= 5 && orientation <= 8;
    const int w = source.width, h = source.height;
    codecs::Result result = codecs::AllocateDib(target, swaps ? h : w, swaps ? w : h, 32);
    if (result != codecs::Result::Ok)
        return result;
    target.hasAlpha = source.hasAlpha;
    // Coordinates are top-down here: row y of the picture is memory row height - 1 - y.
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = source.Row(h - 1 - y);
        for (int x = 0; x < w; ++x, in += 4) {
            int tx = x, ty = y;
            switch (orientation) {
                case 2:
                    tx = w - 1 - x;
                    break;
                case 3:
                    tx = w - 1 - x;
                    ty = h - 1 - y;
                    break;
                case 4:
                    ty = h - 1 - y;
                    break;
                case 5:
                    tx = y;
                    ty = x;
                    break;
                case 6:
                    tx = h - 1 - y;
                    ty = x;
                    break;
                case 7:
                    tx = h - 1 - y;
                    ty = w - 1 - x;
                    break;
                case 8:
                    tx = y;
                    ty = w - 1 - x;
                    break;
                default:
                    break;
            }
            unsigned char* out = target.Row(target.height - 1 - ty) + 4 * tx;
            std::copy(in, in + 4, out);
        }
    }
    return codecs::Result::Ok;
}

// Writes bytes to path through a temporary file in the same folder and a rename, so a reader
// never sees half a thumbnail. Mode 0600, as the freedesktop.org thumbnail rules ask.
bool WriteAtomically(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

}  // namespace

std::string FileUri(const std::string& path) {
    // Unreserved characters and the reserved ones allowed in a path stay; GLib escapes the same
    // set, so the names match what GNOME and KDE file managers compute.
    static const std::string kKeep = "-_.!~*'()/:@&=+$,";
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : AbsolutePath(path)) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            kKeep.find(static_cast<char>(c)) != std::string::npos) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

std::string ThumbnailPath(const std::string& uri) {
    return ThumbnailFolder() + "/" + Md5Hex(uri) + ".png";
}

}  // namespace imgdesk::service

CString CThumbs::WriteThumb(const wchar_t* path) {
    namespace codecs = imgdesk::codecs;
    using namespace imgdesk::service;
    if (!path)
        return CString();
    try {
        const std::string file = WideToUtf8(path);
        struct stat info;
        if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return CString();

        codecs::DecodedImage decoded;
        if (codecs::DecodeFile(file.c_str(), decoded) != codecs::Result::Ok)
            return CString();
        // Scale first (the longer side to at most 128, never enlarged), then turn upright.
        const int longer = std::max(decoded.width, decoded.height);
        const double scale = longer > kNormalSize ? static_cast<double>(kNormalSize) / longer : 1.0;
        const int width = std::max(1, static_cast<int>(decoded.width * scale + 0.5));
        const int height = std::max(1, static_cast<int>(decoded.height * scale + 0.5));
        codecs::Dib scaled, upright;
        if (codecs::ResampleBgra(codecs::DibView::Of(decoded), width, height, scaled) !=
            codecs::Result::Ok)
            return CString();
        scaled.hasAlpha = decoded.hasAlpha;
        if (Orient(scaled, decoded.orientation, upright) != codecs::Result::Ok)
            return CString();

        const std::string uri = FileUri(file);
        codecs::EncodeOptions options;
        options.text = {
            {"Thumb::URI", uri},
            {"Thumb::MTime", std::to_string(static_cast<long long>(info.st_mtime))},
            {"Thumb::Size", std::to_string(static_cast<long long>(info.st_size))},
            {"Thumb::Mimetype", MimeType(decoded.format)},
            {"Thumb::Image::Width", std::to_string(decoded.width)},
            {"Thumb::Image::Height", std::to_string(decoded.height)},
            {"Software", "imgdesk"},
        };
        // An opaque picture still goes out as RGBA: freedesktop.org thumbnails carry alpha.
        upright.hasAlpha = true;
        if (!decoded.hasAlpha) {
            for (int y = 0; y < upright.height; ++y)
                for (int x = 0; x < upright.width; ++x)
                    upright.Row(y)[4 * x + 3] = 255;
        }
        std::vector<unsigned char> png;
        if (codecs::Encode(codecs::Format::Png, codecs::DibView::Of(upright), options, png) !=
            codecs::Result::Ok)
            return CString();
        const std::string thumbnail = ThumbnailPath(uri);
        CreateFolders(thumbnail.substr(0, thumbnail.rfind('/')));
        if (!WriteAtomically(thumbnail, png))
            return CString();
        return Utf8ToWide(thumbnail.c_str());
    } catch (const std::exception&) {
        return CString();
    }
}
