// Black-border detection: the bright page inside a dark border, found from eroded grey levels,
// bright-pixel profiles and bands sampled every tenth row and column.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

// Bright for counting and scoring; the erosion removes on levels below 128, so a pixel of exactly
// 128 survives the erosion but is not counted.
constexpr int kBrightAbove = 128;
constexpr int kErodeBelow = 128;
// Bands are sampled every kSampleStep rows and columns; a sample opens a band with kOpenCount or
// more bright pixels and keeps it open with more than kOpenCount.
constexpr int kSampleStep = 10;
constexpr int kOpenCount = 30;
// The page rectangle is grown by this much on every side before it is returned.
constexpr int kGrowth = 10;

inline int GreyStride(int width) {
    return RowStride(width, 8);
}

inline unsigned char* GreyRow(unsigned char* grey, int stride, int y) {
    return grey + static_cast<std::ptrdiff_t>(y) * stride;
}

// One row of the erosion: out[x] = cur[x] when no pixel of the cross is below 128, else 0.
// Written without branches so that the compiler can run it on whole vectors.
void ErodeRow(const unsigned char* up, const unsigned char* cur, const unsigned char* down,
              unsigned char* out, int left, int right) {
    for (int x = left; x < right; ++x) {
        unsigned char m = std::min(up[x], down[x]);
        m = std::min(m, std::min(cur[x - 1], cur[x + 1]));
        m = std::min(m, cur[x]);
        out[x] = m >= kErodeBelow ? cur[x] : 0;
    }
}

// A band of sampled rows or columns: opened by a sample of kOpenCount or more bright pixels, kept
// open while samples hold more than kOpenCount and are not among the last kSampleStep of the
// range, closed by the first sample that fails.
struct BandTracker {
    bool open = false;
    int start = 0;

    // Feeds sample i of a range of n; returns true when the sample closed the band.
    bool Feed(std::uint32_t count, int i, int n) {
        if (!open) {
            if (count >= static_cast<std::uint32_t>(kOpenCount)) {
                open = true;
                start = i;
            }
            return false;
        }
        if (count > static_cast<std::uint32_t>(kOpenCount) && i < n - kSampleStep)
            return false;
        open = false;
        return true;
    }
};

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::GreyRust(unsigned char* buffer, int width, int height, CRect rect) {
    if (!buffer || width < 1 || height < 1)
        return 0;
    const int left = std::max<int>(rect.left, 1);
    const int top = std::max<int>(rect.top, 1);
    const int right = std::min<int>(rect.right, width - 1);
    const int bottom = std::min<int>(rect.bottom, height - 1);
    const int stride = GreyStride(width);
    const long long size = static_cast<long long>(stride) * height;
    auto eroded = NewScratch(size);
    if (!eroded)
        return 0;
    for (int y = top; y < bottom; ++y) {
        ErodeRow(GreyRow(buffer, stride, y - 1), GreyRow(buffer, stride, y),
                 GreyRow(buffer, stride, y + 1), GreyRow(eroded.get(), stride, y), left, right);
    }
    std::memcpy(buffer, eroded.get(), static_cast<size_t>(size));
    return 1;
}

unsigned long CDataHandler::StatisticsWhiteSpots(unsigned char* buffer, int width, int height,
                                                 CRect rect) {
    if (!buffer || width < 1 || height < 1)
        return 0;
    const int left = std::max<int>(rect.left, 0);
    const int top = std::max<int>(rect.top, 0);
    const int right = std::min<int>(rect.right, width);
    const int bottom = std::min<int>(rect.bottom, height);
    if (right <= left || bottom <= top)
        return 0;
    const int stride = GreyStride(width);
    unsigned long count = 0;
    for (int y = top; y < bottom; ++y) {
        const unsigned char* row = GreyRow(buffer, stride, y);
        std::uint32_t rowCount = 0;
        for (int x = left; x < right; ++x)
            rowCount += row[x] > kBrightAbove;
        count += rowCount;
    }
    return count;
}

int CDataHandler::ExpandRustCompare(unsigned char* buffer, int stride, int /*height*/, int x, int y,
                                    int mode) {
    const unsigned char* centre = buffer + static_cast<std::ptrdiff_t>(y) * stride + x;
    const unsigned char cross[5] = {centre[0], centre[-stride], centre[stride], centre[-1],
                                    centre[1]};
    for (unsigned char level : cross) {
        if (mode != 0 ? level > kBrightAbove : level < kErodeBelow)
            return 1;
    }
    return 0;
}

CRect CDataHandler::GetBlackSideRect(unsigned char* buffer, int width, int height, int bitsPerPixel,
                                     tagRGBQUAD* palette, CRect rect) {
    const CRect failed(0, 0, 0, 0);
    if (!buffer || width < 1 || height < 1 || !IsSupportedBitCount(bitsPerPixel))
        return failed;
    const CRect area(std::max<int>(rect.left, 0), std::max<int>(rect.top, 0),
                     std::min<int>(rect.right, width), std::min<int>(rect.bottom, height));
    const int areaWidth = area.Width();
    const int areaHeight = area.Height();
    if (areaWidth <= 0 || areaHeight <= 0)
        return failed;

    const int stride = GreyStride(width);
    auto grey = NewScratch(static_cast<long long>(stride) * height);
    if (!grey)
        return failed;
    ColourToGreyScale(buffer, width, height, bitsPerPixel, palette, grey.get(), 1);
    // An erosion that cannot get its memory would leave a picture the band search was not meant
    // for; that is a memory failure of the whole search.
    if (!GreyRust(grey.get(), width, height, area) || !GreyRust(grey.get(), width, height, area))
        return failed;

    auto rowProfile = NewScratch<std::uint32_t>(areaHeight);
    if (!rowProfile)
        return failed;
    auto columnProfile = NewScratch<std::uint32_t>(areaWidth);
    if (!columnProfile)
        return failed;
    std::uint32_t* rows = rowProfile.get();
    std::uint32_t* columns = columnProfile.get();
    for (int i = 0; i < areaHeight; ++i) {
        const unsigned char* row = GreyRow(grey.get(), stride, area.top + i) + area.left;
        std::uint32_t count = 0;
        for (int j = 0; j < areaWidth; ++j) {
            const std::uint32_t bright = row[j] > kBrightAbove;
            count += bright;
            columns[j] += bright;
        }
        rows[i] = count;
    }

    unsigned long bestCount = 0;
    CRect best(0, 0, 0, 0);
    BandTracker rowBand;
    for (int i = 0; i < areaHeight; i += kSampleStep) {
        if (!rowBand.Feed(rows[i], i, areaHeight))
            continue;
        const int bandTop = area.top + rowBand.start;
        const int bandBottom = area.top + i;
        // Every column scan starts with no band open, so that each row band is paired with the
        // same column bands. A band opened at the last column sample cannot close within its
        // scan; like a row band left open at the end it is not scored. (Carrying it into the next
        // scan would change nothing either: the first column of the rectangle is always dark
        // after the two erosions, so such a band would close at once on an empty candidate.)
        BandTracker columnBand;
        for (int j = 0; j < areaWidth; j += kSampleStep) {
            if (!columnBand.Feed(columns[j], j, areaWidth))
                continue;
            const CRect candidate(area.left + columnBand.start, bandTop, area.left + j, bandBottom);
            const unsigned long count = StatisticsWhiteSpots(grey.get(), width, height, candidate);
            if (count > bestCount) {
                bestCount = count;
                best = candidate;
            }
        }
    }

    best.InflateRect(kGrowth, kGrowth);
    CRect result;
    result.IntersectRect(&best, &area);
    return result;
}
