#pragma once

// The per-format halves of the codec interface, and helpers they share.
#include "platform/codecs/Codecs.h"

namespace imgdesk::codecs::detail {

Result DecodeBmp(const unsigned char* data, std::size_t size, DecodedImage& image);
Result DecodeJpeg(const unsigned char* data, std::size_t size, DecodedImage& image);
Result DecodePng(const unsigned char* data, std::size_t size, DecodedImage& image);
Result DecodeGif(const unsigned char* data, std::size_t size, DecodedImage& image);
Result DecodeTiff(const unsigned char* data, std::size_t size, DecodedImage& image);

Result EncodeBmp(const DibView& image, std::vector<unsigned char>& out);
Result EncodeJpeg(const DibView& image, const EncodeOptions& options,
                  std::vector<unsigned char>& out);
Result EncodePng(const DibView& image, const EncodeOptions& options,
                 std::vector<unsigned char>& out);
Result EncodeGif(const DibView& image, std::vector<unsigned char>& out);
Result EncodeTiff(const DibView& image, std::vector<unsigned char>& out);

// Whether a width x height picture of bitCount bits fits the pixel-memory limit.
bool FitsLimit(long long width, long long height, int bitCount);

// Appends bytes to out; false when memory is short (out unchanged).
bool Append(std::vector<unsigned char>& out, const void* bytes, std::size_t size);

// Pixels per metre <-> dots per inch.
inline double DpiFromPerMetre(double perMetre) {
    return perMetre * 0.0254;
}
inline long PerMetreFromDpi(double dpi) {
    return static_cast<long>(dpi / 0.0254 + 0.5);
}

}  // namespace imgdesk::codecs::detail
