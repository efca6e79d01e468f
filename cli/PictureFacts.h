#pragma once

// What an image file says about itself beyond its pixels: its resolution and its EXIF
// orientation, and the picture turned as the orientation says it is to be shown.
#include <string>

#include "cli/Picture.h"

namespace imgdesk::cli {

struct PictureFacts {
    // Pixels per inch across and down the picture as shown (turned as its orientation says);
    // 0: the file names no resolution.
    double dpiX = 0;
    double dpiY = 0;
    int orientation = 1;  // EXIF orientation, 1 to 8
};

// The facts of a readable image file; the defaults for anything else.
PictureFacts ReadPictureFacts(const std::string& path);

// The picture as an EXIF orientation (1 to 8) says it is to be shown: mirrored, turned, or both.
// Orientations outside 2 to 8 give the picture back as it is.
Picture Upright(Picture picture, int orientation);

}  // namespace imgdesk::cli
