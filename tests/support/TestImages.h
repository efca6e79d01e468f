#pragma once

// Pictures for the image-file tests, made on the spot: DIBs with recognisable pixels, and encoded
// files written with the project's encoders or directly with libjpeg.
#include <string>
#include <vector>

#include "platform/codecs/Codecs.h"

namespace imgdesk::test {

// A width x height DIB of the bit count whose pixel (x, y) (y from the top) is a function of its
// position; 8-bit pictures get a grey palette when grey is set, else a colour palette.
codecs::Dib MakePicture(int width, int height, int bitCount, bool grey = false, bool alpha = false);

// The expected BGRA of a picture's pixel (x, y), y from the top.
void PixelOf(const codecs::Dib& dib, int x, int y, unsigned char bgra[4]);

std::vector<unsigned char> EncodeBytes(codecs::Format format, const codecs::Dib& dib,
                                       int quality = 90);

// A baseline JPEG written by libjpeg with an EXIF block carrying the orientation (1 to 8).
std::vector<unsigned char> JpegWithOrientation(int width, int height, int orientation);

std::string AsString(const std::vector<unsigned char>& bytes);

}  // namespace imgdesk::test
