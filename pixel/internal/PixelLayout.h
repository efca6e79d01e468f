#pragma once

// The layout of a pixel buffer, shared by every pixel operation.

namespace imgdesk::pixel {

constexpr bool IsSupportedBitCount(int bitsPerPixel) {
    return bitsPerPixel == 8 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

// Bytes of pixel data in one row: (width x bits per pixel) / 8, truncating.
constexpr int RowBytes(int width, int bitsPerPixel) {
    return width * bitsPerPixel / 8;
}

// Bytes from the start of one row to the start of the next: the row bytes padded up to a multiple
// of four, except that widths that are multiples of four and 32-bit rows take no padding.
constexpr int RowStride(int width, int bitsPerPixel) {
    const int rowBytes = RowBytes(width, bitsPerPixel);
    const bool unpadded = width % 4 == 0 || bitsPerPixel == 32;
    return unpadded ? rowBytes : rowBytes + 4 - rowBytes % 4;
}

}  // namespace imgdesk::pixel

namespace imgdesk::pixel {

// Calls visit(row, rowBytes) for each row of a pixel buffer, in memory order. Padding bytes are
// not part of the span handed over.
template <typename Visit>
void ForEachRow(unsigned char* buffer, int width, int height, int bitsPerPixel, Visit visit) {
    const int stride = RowStride(width, bitsPerPixel);
    const int rowBytes = RowBytes(width, bitsPerPixel);
    for (int y = 0; y < height; ++y)
        visit(buffer + static_cast<long long>(y) * stride, rowBytes);
}

}  // namespace imgdesk::pixel
