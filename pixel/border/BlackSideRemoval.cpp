// Black-side removal: a flood fill that whitens the dark area 4-connected to a seed.
//
// Every reached pixel is whitened once whatever order the fill takes, so the fill works through a
// log of the pixels it whitened, oldest first, instead of a stack: the log doubles as the record
// that undoes the fill when memory runs out. The log starts inside the call and grows in NewMem
// blocks of doubling size, so a fill costs time and memory in proportion to the area it whitens,
// not to the picture: seeding every dark edge pixel of a page stays linear in the page.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "pixel/DataHandler.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

constexpr unsigned char kDarkBelow = 125;
constexpr unsigned char kWhite = 255;

struct FilledPixel {
    std::int32_t x;
    std::int32_t y;
    unsigned char old;  // the level before whitening, to undo the fill
};

// The pixels whitened so far, in order. The first block lives in the object; later blocks come
// from NewMem, each twice the size of the one before (up to a limit), and never hold more entries
// in all than the picture has pixels, since no pixel is whitened twice.
class FillLog {
public:
    explicit FillLog(long long pixelCount) : pixelCount_(pixelCount) {
        blocks_[0] = first_;
        capacity_[0] = kFirstBlock;
    }

    struct Position {
        int block;
        int index;
        bool operator!=(const Position& other) const {
            return block != other.block || index != other.index;
        }
    };

    Position Begin() const { return {0, 0}; }
    Position End() const { return end_; }
    const FilledPixel& At(Position p) const { return blocks_[p.block][p.index]; }
    void Advance(Position& p) const {
        if (++p.index == capacity_[p.block])
            p = {p.block + 1, 0};
    }

    // Appends an entry; false when the log cannot grow.
    bool Append(const FilledPixel& pixel) {
        if (end_.index == 0 && end_.block > 0 && !blocks_[end_.block] && !AddBlock(end_.block))
            return false;
        blocks_[end_.block][end_.index] = pixel;
        Advance(end_);
        return true;
    }

private:
    static constexpr int kFirstBlock = 256;
    static constexpr int kLargestBlock = 1 << 24;
    static constexpr int kMaxBlocks = 64;

    bool AddBlock(int block) {
        if (block >= kMaxBlocks)
            return false;
        const long long size = std::min<long long>(
            {static_cast<long long>(capacity_[block - 1]) * 2, kLargestBlock, pixelCount_ - held_});
        if (size <= 0)
            return false;
        owned_[block] = NewScratch<FilledPixel>(size);
        if (!owned_[block])
            return false;
        blocks_[block] = owned_[block].get();
        capacity_[block] = static_cast<int>(size);
        held_ += size;
        return true;
    }

    long long pixelCount_;
    long long held_ = kFirstBlock;
    Position end_{0, 0};
    FilledPixel first_[kFirstBlock];
    FilledPixel* blocks_[kMaxBlocks] = {};
    int capacity_[kMaxBlocks] = {};
    ScratchPtr<FilledPixel> owned_[kMaxBlocks];
};

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

unsigned long CDataHandler::DelBlackSide(unsigned char* buffer, int width, int height, int seedY,
                                         int seedX) {
    if (!buffer || width < 1 || height < 1)
        return 0;
    const std::ptrdiff_t stride = width;
    auto at = [&](int x, int y) -> unsigned char& { return buffer[y * stride + x]; };

    FillLog log(static_cast<long long>(width) * height);
    // The seed is whitened whatever its level.
    log.Append({seedX, seedY, at(seedX, seedY)});
    at(seedX, seedY) = kWhite;
    unsigned long count = 1;

    auto visit = [&](int x, int y) {
        unsigned char& level = at(x, y);
        if (level >= kDarkBelow)
            return true;
        if (!log.Append({x, y, level}))
            return false;
        level = kWhite;
        ++count;
        return true;
    };
    bool complete = true;
    for (auto p = log.Begin(); complete && p != log.End(); log.Advance(p)) {
        const int x = log.At(p).x;
        const int y = log.At(p).y;
        complete = (y == 0 || visit(x, y - 1)) && (x == 0 || visit(x - 1, y)) &&
                   (y == height - 1 || visit(x, y + 1)) && (x == width - 1 || visit(x + 1, y));
    }
    if (complete)
        return count;

    // Out of memory: put back every level the fill changed.
    for (auto p = log.Begin(); p != log.End(); log.Advance(p))
        at(log.At(p).x, log.At(p).y) = log.At(p).old;
    return 0;
}
