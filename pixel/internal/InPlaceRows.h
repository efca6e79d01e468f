#pragma once

// Lets a neighbourhood filter write its output straight over its input, row by row in ascending
// order, while later rows still read the old values: the old content of each row is saved just
// before the row is overwritten, and a few saved rows are kept. This costs a few rows of scratch
// memory instead of a copy of the whole buffer.
#include <cstring>

#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {

class InPlaceRows {
public:
    // buffer: the rows being rewritten, stride bytes apart; rowBytes: the bytes of a row that are
    // saved; saved: depth x rowBytes bytes of scratch; firstWritten: the first row to be rewritten.
    // depth must cover every saved row still read: a filter reading rows y - k .. y + k passes k
    // + 1.
    InPlaceRows(unsigned char* buffer, long long stride, int rowBytes, unsigned char* saved,
                int depth, int firstWritten)
        : buffer_(buffer),
          stride_(stride),
          rowBytes_(rowBytes),
          saved_(saved),
          depth_(depth),
          firstWritten_(firstWritten),
          current_(firstWritten - 1) {}

    // Saves row y before it is overwritten; rows must come in ascending order.
    void BeginRow(int y) {
        std::memcpy(Slot(y), Row(y), static_cast<size_t>(rowBytes_));
        current_ = y;
    }
    // The row as it was on entry (valid for rows not overwritten yet and the last depth saved).
    const unsigned char* Original(int y) const {
        return y >= firstWritten_ && y <= current_ ? Slot(y) : Row(y);
    }
    unsigned char* Row(int y) const { return buffer_ + y * stride_; }

private:
    unsigned char* Slot(int y) const {
        return saved_ + static_cast<long long>(y % depth_) * rowBytes_;
    }

    unsigned char* buffer_;
    long long stride_;
    int rowBytes_;
    unsigned char* saved_;
    int depth_;
    int firstWritten_;
    int current_;
};

// Calls rowPass(above, centre, below, out) for rows 1 .. height - 2 of a buffer that a 3 x 3
// neighbourhood filter rewrites in place, top to bottom: above, centre and below are rows y - 1, y
// and y + 1 as they were on entry, out is row y. saved: 2 x rowBytes bytes of scratch.
template <typename RowPass>
void ForEachInteriorRow(unsigned char* buffer, long long stride, int rowBytes, int height,
                        unsigned char* saved, RowPass rowPass) {
    InPlaceRows rows(buffer, stride, rowBytes, saved, 2, 1);
    for (int y = 1; y < height - 1; ++y) {
        rows.BeginRow(y);
        rowPass(rows.Original(y - 1), rows.Original(y), rows.Original(y + 1), rows.Row(y));
    }
}

// A 3 x 3 filter of a packed grey buffer (rows width bytes apart), written in place, whose
// one-pixel frame becomes 0: rowPass(above, centre, below, out) writes the interior bytes 1 ..
// width - 2 of each interior row. A buffer narrower or lower than 3 is all frame. Returns 0 for a
// null or empty buffer or when the two rows of scratch cannot be had (buffer untouched), else 1.
template <typename RowPass>
int GreyPassClearingFrame(unsigned char* buffer, int width, int height, RowPass rowPass) {
    if (buffer == nullptr || width < 1 || height < 1)
        return 0;
    const auto saved = NewScratch(2LL * width);
    if (!saved)
        return 0;
    if (width < 3 || height < 3) {
        std::memset(buffer, 0, static_cast<size_t>(width) * height);
        return 1;
    }

    // Rows 0 and height - 1 are read by their neighbours first and cleared at the end.
    ForEachInteriorRow(buffer, width, width, height, saved.get(),
                       [&](const unsigned char* above, const unsigned char* centre,
                           const unsigned char* below, unsigned char* out) {
                           rowPass(above, centre, below, out);
                           out[0] = 0;
                           out[width - 1] = 0;
                       });
    std::memset(buffer, 0, static_cast<size_t>(width));
    std::memset(buffer + static_cast<long long>(height - 1) * width, 0, static_cast<size_t>(width));
    return 1;
}

}  // namespace imgdesk::pixel
