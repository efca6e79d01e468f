#pragma once

// Lets a neighbourhood filter write its output straight over its input, row by row in ascending
// order, while later rows still read the old values: the old content of each row is saved just
// before the row is overwritten, and a few saved rows are kept. This costs a few rows of scratch
// memory instead of a copy of the whole buffer.
#include <cstring>

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

}  // namespace imgdesk::pixel
