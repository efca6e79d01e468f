// Nearest-pixel scaling of a pixel buffer into a new buffer handed to the caller.
#include <cstring>
#include <memory>
#include <new>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

// The source index of output index n: n / scale + 0.5, truncated.
inline long long SourceIndex(long long n, double scale) {
    return static_cast<long long>(double(n) / scale + 0.5);
}

// A new side: side x scale + 0.5, truncated; -1 when no buffer could have it.
inline long long ScaledSide(int side, double scale) {
    const double scaled = side * scale + 0.5;
    return scaled < 2147483648.0 ? static_cast<long long>(scaled) : -1;
}

// Copies the pixels of one output row: columns[x] is the byte offset of its source pixel in the
// source row.
template <int kBytes>
void GatherRow(const unsigned char* in, const int* columns, int count, unsigned char* out) {
    for (int x = 0; x < count; ++x)
        std::memcpy(out + x * kBytes, in + columns[x], kBytes);
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::ZoomData(unsigned char* source, int width, int height, int bitsPerPixel,
                           float scale, unsigned char*& output, int& outWidth, int& outHeight) {
    if (!source || width < 1 || height < 1 || !(scale > 0.0f))
        return 0;
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    const double factor = scale;
    const long long newWidth = ScaledSide(width, factor);
    const long long newHeight = ScaledSide(height, factor);
    // A scale so small that a side rounds to 0 pixels asks for a picture that does not exist: it
    // is refused like a scale of 0, rather than handing over an empty block.
    if (newWidth == 0 || newHeight == 0)
        return 0;

    output = nullptr;
    if (newWidth < 0 || newHeight < 0)
        return 0;  // no buffer of that size can be had
    const long long newStride = RowStride(static_cast<int>(newWidth), bitsPerPixel);
    if (newStride < newWidth)
        return 0;  // the row size itself overflows
    // NewMem's zero fill leaves unwritten pixels and padding 0.
    ScratchPtr<> result = NewScratch(newStride * newHeight);
    if (!result)
        return 0;
    output = result.release();
    outWidth = static_cast<int>(newWidth);
    outHeight = static_cast<int>(newHeight);

    // Source positions only grow with the output position, so the pixels that have a source
    // form a leading run of each row and a leading run of rows. The byte offsets of the columns'
    // source pixels are worked out once, when there is room for them.
    const int bytesPerPixel = bitsPerPixel / 8;
    const std::unique_ptr<int[]> offsets(new (std::nothrow) int[newWidth]);
    int columns = 0;
    for (; columns < newWidth; ++columns) {
        const long long sourceColumn = SourceIndex(columns, factor);
        if (sourceColumn >= width)
            break;
        if (offsets)
            offsets[columns] = static_cast<int>(sourceColumn) * bytesPerPixel;
    }
    const int sourceStride = RowStride(width, bitsPerPixel);
    long long previousRow = -1;
    for (long long y = 0; y < newHeight; ++y) {
        const long long sourceRow = SourceIndex(y, factor);
        if (sourceRow >= height)
            break;
        unsigned char* out = output + y * newStride;
        if (sourceRow == previousRow) {
            // Enlarging repeats rows: the row above has the very same bytes.
            std::memcpy(out, out - newStride, static_cast<size_t>(columns) * bytesPerPixel);
            continue;
        }
        previousRow = sourceRow;
        const unsigned char* in = source + sourceRow * sourceStride;
        if (!offsets) {
            for (int x = 0; x < columns; ++x) {
                std::memcpy(out + x * bytesPerPixel, in + SourceIndex(x, factor) * bytesPerPixel,
                            bytesPerPixel);
            }
            continue;
        }
        switch (bytesPerPixel) {
            case 1:
                GatherRow<1>(in, offsets.get(), columns, out);
                break;
            case 3:
                GatherRow<3>(in, offsets.get(), columns, out);
                break;
            default:
                GatherRow<4>(in, offsets.get(), columns, out);
                break;
        }
    }
    return 1;
}
