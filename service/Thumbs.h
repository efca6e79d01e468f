#pragma once

// Thumbnails of image files, as Linux file managers read them (the freedesktop.org thumbnail
// standard): a PNG of at most 128 x 128 pixels in $XDG_CACHE_HOME/thumbnails/normal (else
// ~/.cache/thumbnails/normal), named by the MD5 of the file's URI, carrying Thumb::URI and
// Thumb::MTime so that a file manager can tell whether it is still current.
#include "module/Export.h"
#include "platform/CString.h"

class IMGDESK_API CThumbs {
public:
    CThumbs() = default;
    ~CThumbs() = default;

    // Writes the thumbnail of the image file at path, turned upright by its EXIF orientation and
    // never enlarged. Returns the thumbnail's path, or an empty string when the file cannot be read
    // or decoded or the thumbnail cannot be written (nothing is left behind then).
    CString WriteThumb(const wchar_t* path);
};
