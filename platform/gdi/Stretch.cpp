// StretchDIBits, the stretch mode and DIB colour tables.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/codecs/Codecs.h"
#include "platform/gdi/GdiObjects.h"

using imgdesk::gdi::NearestEntry;
using imgdesk::gdi::Surface;

namespace {

const RGBQUAD* GreyRamp() {
    static const struct Ramp {
        RGBQUAD entries[256];
        Ramp() : entries() {
            for (int i = 0; i < 256; ++i)
                entries[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
        }
    } ramp;
    return ramp.entries;
}

// The colour table a target of 8 bits is drawn in (a context over foreign grey memory has none).
const RGBQUAD* TargetTable(const Surface& s) {
    return s.palette ? s.palette : GreyRamp();
}

// Nearest colour-table entries of colours drawn from 24- and 32-bit sources: a search over 256
// entries per pixel is slow, and pictures repeat colours, so results are remembered.
class NearestCache {
public:
    explicit NearestCache(const RGBQUAD* table) : table_(table) {
        for (auto& slot : slots_)
            slot.key = UINT32_MAX;
    }
    unsigned char Find(const unsigned char* bgr) {
        const std::uint32_t key = bgr[0] | bgr[1] << 8 | static_cast<std::uint32_t>(bgr[2]) << 16;
        Slot& slot = slots_[(key * 2654435761u) >> 20];
        if (slot.key != key) {
            const unsigned char bgra[4] = {bgr[0], bgr[1], bgr[2], 0};
            slot.key = key;
            slot.index = static_cast<unsigned char>(NearestEntry(table_, bgra));
        }
        return slot.index;
    }

private:
    struct Slot {
        std::uint32_t key;
        unsigned char index;
    };
    const RGBQUAD* table_;
    Slot slots_[4096];
};

bool ValidDib(const BITMAPINFO* info) {
    if (!info)
        return false;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    return h.biSize >= sizeof(BITMAPINFOHEADER) && h.biCompression == BI_RGB &&
           (h.biBitCount == 8 || h.biBitCount == 24 || h.biBitCount == 32) && h.biWidth > 0 &&
           h.biHeight != 0 && h.biHeight != INT_MIN;
}

// Source offset of destination offset i when count destination pixels show span source pixels:
// the source pixel under the destination pixel's centre.
long long SourceOffset(long long i, long long count, long long span, bool mirror) {
    const long long offset = (2 * i + 1) * span / (2 * count);
    return mirror ? span - 1 - offset : offset;
}

// Colours of an 8-bit source as the target stores them: the target's colour-table index, or
// blue, green, red and the fourth byte in memory order.
void MapTable(const RGBQUAD* colours, const Surface& to, std::uint32_t out[256]) {
    for (int i = 0; i < 256; ++i) {
        const unsigned char bgra[4] = {colours[i].rgbBlue, colours[i].rgbGreen, colours[i].rgbRed,
                                       0};
        if (to.bitCount == 8) {
            out[i] = static_cast<std::uint32_t>(NearestEntry(TargetTable(to), bgra));
        } else {
            const unsigned char bytes[4] = {bgra[0], bgra[1], bgra[2],
                                            static_cast<unsigned char>(to.opaqueWrites ? 255 : 0)};
            std::memcpy(&out[i], bytes, 4);
        }
    }
}

struct Span {
    long long first, last;  // destination columns or rows, last exclusive
};

// Draws one destination row from one source row; columns[i] is the source column of
// destination column first + i, or -1 outside the source.
void DrawRow(const Surface& to, unsigned char* target, const unsigned char* source, int sourceBits,
             const std::uint32_t* table, NearestCache* cache, Span span, const long long* columns) {
    const int toBytes = to.bitCount / 8;
    const int fromBytes = sourceBits / 8;
    for (long long i = 0; i < span.last - span.first; ++i) {
        const long long column = columns[i];
        if (column < 0)
            continue;
        unsigned char* out = target + (span.first + i) * toBytes;
        const unsigned char* in = source + column * fromBytes;
        if (sourceBits == 8) {
            const std::uint32_t value = table[*in];
            if (toBytes == 1)
                *out = static_cast<unsigned char>(value);
            else
                std::memcpy(out, &value, static_cast<std::size_t>(toBytes));
        } else if (toBytes == 1) {
            *out = cache->Find(in);
        } else {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if (toBytes == 4)
                out[3] = to.opaqueWrites ? 255 : (fromBytes == 4 ? in[3] : 0);
        }
    }
}

}  // namespace

int SetStretchBltMode(HDC dc, int mode) {
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE)
        return 0;
    const int previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

int GetStretchBltMode(HDC dc) {
    return dc ? dc->stretchMode : 0;
}

int StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                  int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info,
                  UINT usage, DWORD rop) {
    if (!dc || !bits || !ValidDib(info) || usage != DIB_RGB_COLORS || rop != SRCCOPY)
        return 0;
    if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0)
        return 0;
    const Surface& to = dc->surface;
    if (!to.top || (to.bitCount != 8 && to.bitCount != 24 && to.bitCount != 32))
        return 0;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const int sourceBits = header.biBitCount;
    const long long dibWidth = header.biWidth;
    const bool bottomUp = header.biHeight > 0;
    const long long dibHeight =
        bottomUp ? header.biHeight : -static_cast<long long>(header.biHeight);
    const long long stride = imgdesk::codecs::DibRowBytes(dibWidth, sourceBits);

    // Normalised rectangles; a sign difference between destination and source size mirrors.
    const long long left = width < 0 ? static_cast<long long>(x) + width : x;
    const long long top = height < 0 ? static_cast<long long>(y) + height : y;
    const long long columns = std::llabs(width), rows = std::llabs(height);
    const long long sourceLeft =
        sourceWidth < 0 ? static_cast<long long>(sourceX) + sourceWidth : sourceX;
    const long long sourceSpanX = std::llabs(sourceWidth), sourceSpanY = std::llabs(sourceHeight);
    const long long sourceLow =
        sourceHeight < 0 ? static_cast<long long>(sourceY) + sourceHeight : sourceY;
    // Picture row (from the top) of the source rectangle's top row.
    const long long sourceTop = bottomUp ? dibHeight - sourceLow - sourceSpanY : sourceLow;
    const bool mirrorX = (width < 0) != (sourceWidth < 0);
    const bool mirrorY = (height < 0) != (sourceHeight < 0);

    const Span across{std::max<long long>(left, 0), std::min<long long>(left + columns, to.width)};
    const Span down{std::max<long long>(top, 0), std::min<long long>(top + rows, to.height)};
    if (across.first >= across.last || down.first >= down.last)
        return static_cast<int>(sourceSpanY);

    std::unique_ptr<long long[]> sourceColumns(
        new (std::nothrow) long long[across.last - across.first]);
    if (!sourceColumns)
        return 0;
    for (long long i = across.first; i < across.last; ++i) {
        const long long column = sourceLeft + SourceOffset(i - left, columns, sourceSpanX, mirrorX);
        sourceColumns[i - across.first] = column >= 0 && column < dibWidth ? column : -1;
    }

    std::uint32_t table[256];
    std::unique_ptr<NearestCache> cache;
    if (sourceBits == 8) {
        MapTable(info->bmiColors, to, table);
    } else if (to.bitCount == 8) {
        cache.reset(new (std::nothrow) NearestCache(TargetTable(to)));
        if (!cache)
            return 0;
    }

    const auto* memory = static_cast<const unsigned char*>(bits);
    for (long long j = down.first; j < down.last; ++j) {
        const long long row = sourceTop + SourceOffset(j - top, rows, sourceSpanY, mirrorY);
        if (row < 0 || row >= dibHeight)
            continue;
        const long long memoryRow = bottomUp ? dibHeight - 1 - row : row;
        DrawRow(to, to.top + j * to.step, memory + memoryRow * stride, sourceBits, table,
                cache.get(), across, sourceColumns.get());
    }
    return static_cast<int>(sourceSpanY);
}

namespace {

RGBQUAD* SelectedColourTable(HDC dc) {
    if (!dc || !dc->selected || dc->selected->stock || dc->selected->surface.bitCount != 8)
        return nullptr;
    return dc->selected->palette;
}

}  // namespace

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colours) {
    RGBQUAD* table = SelectedColourTable(dc);
    if (!table || !colours || start >= 256)
        return 0;
    const UINT n = std::min<UINT>(count, 256 - start);
    std::memcpy(table + start, colours, n * sizeof(RGBQUAD));
    return n;
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colours) {
    const RGBQUAD* table = SelectedColourTable(dc);
    if (!table || !colours || start >= 256)
        return 0;
    const UINT n = std::min<UINT>(count, 256 - start);
    std::memcpy(colours, table + start, n * sizeof(RGBQUAD));
    return n;
}
