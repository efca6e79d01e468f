#pragma once

// How the freedesktop.org thumbnail standard names things: a file's URI, and the thumbnail's path
// derived from it. CThumbs writes by these names; tests check them.
#include <string>

namespace imgdesk::service {

// The file URI of a path (made absolute against the current folder, "." and ".." removed), with
// the characters outside the URI path set escaped as %XX.
std::string FileUri(const std::string& path);
// The path of the normal-size thumbnail of a file URI.
std::string ThumbnailPath(const std::string& uri);

}  // namespace imgdesk::service
