// Operations on bright regions (4-connected pixels above level 125) of packed grey buffers:
// erosion, keeping the largest region, flood fill from a seed, and filling between region ends.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "pixel/DataHandler.h"
#include "pixel/internal/InPlaceRows.h"
#include "pixel/internal/ScratchBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imgdesk::pixel {
namespace {

constexpr unsigned char kDarkLimit = 125;  // levels above it are bright

inline bool IsBright(unsigned char level) {
    return level > kDarkLimit;
}

// Bit i set when byte i of the count (at most 64) bytes is bright; bits from count on are clear.
inline std::uint64_t BrightMask(const unsigned char* bytes, int count) {
#if defined(__SSE2__)
    if (count == 64) {
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i limit = _mm_set1_epi8(static_cast<char>(kDarkLimit ^ 0x80));
        std::uint64_t mask = 0;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
            const unsigned bits = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpgt_epi8(_mm_xor_si128(v, flip), limit)));
            mask |= static_cast<std::uint64_t>(bits) << (16 * k);
        }
        return mask;
    }
#endif
    std::uint64_t mask = 0;
    for (int i = 0; i < count; ++i)
        mask |= static_cast<std::uint64_t>(IsBright(bytes[i])) << i;
    return mask;
}

// Calls emit(start, end) for each run of bright pixels of a row, end exclusive, left to right.
template <typename Emit>
void ForEachRun(const unsigned char* row, int width, Emit emit) {
    bool inRun = false;
    int start = 0;
    for (int base = 0; base < width; base += 64) {
        const int count = std::min(64, width - base);
        const std::uint64_t mask = BrightMask(row + base, count);
        // Bit i of changes: byte i differs in brightness from the byte before it.
        std::uint64_t changes = mask ^ ((mask << 1) | static_cast<std::uint64_t>(inRun));
        if (count < 64)
            changes &= (std::uint64_t{1} << count) - 1;
        while (changes != 0) {
            const int at = base + __builtin_ctzll(changes);
            changes &= changes - 1;
            if (inRun)
                emit(start, at);
            else
                start = at;
            inRun = !inRun;
        }
    }
    if (inRun)
        emit(start, width);
}

long long CountRuns(const unsigned char* buffer, int width, int height) {
    long long runs = 0;
    for (int y = 0; y < height; ++y)
        ForEachRun(buffer + static_cast<long long>(y) * width, width, [&](int, int) { ++runs; });
    return runs;
}

// Union-find over runs numbered in row order. A root holds minus the pixel count of its set;
// every other run holds a smaller run number, so the root of a set is its earliest run and the
// run containing its earliest pixel in row order.
class RunSets {
public:
    explicit RunSets(int* links) : links_(links) {}
    void Add(int run, int pixels) { links_[run] = -pixels; }
    int Find(int run) {
        while (links_[run] >= 0) {
            const int parent = links_[run];
            if (links_[parent] >= 0)
                links_[run] = links_[parent];
            run = links_[run];
        }
        return run;
    }
    void Join(int a, int b) {
        a = Find(a);
        b = Find(b);
        if (a == b)
            return;
        if (b < a)
            std::swap(a, b);
        links_[a] += links_[b];
        links_[b] = a;
    }
    int Size(int root) const { return -links_[root]; }
    bool IsRoot(int run) const { return links_[run] < 0; }
    // Points every run straight at its root; runs come after their parents, so one pass does.
    void Flatten(int runs) {
        for (int run = 0; run < runs; ++run)
            if (links_[run] >= 0 && links_[links_[run]] >= 0)
                links_[run] = links_[links_[run]];
    }
    int RootOf(int run) const { return links_[run] < 0 ? run : links_[run]; }

private:
    int* links_;
};

// Neighbour order of the fills: above, left, below, right.
constexpr int kStepX[4] = {0, -1, 0, 1};
constexpr int kStepY[4] = {-1, 0, 1, 0};

// Depth-first fill in the order of the recursive definition: after returning from the neighbour
// in direction d a pixel goes on with direction d + 1. Each stack entry is a pixel index times 4
// plus the direction that led to it, so the parent's position is found again without division.
template <typename Entry>
unsigned long FillRegion4(const unsigned char* buffer, int width, int height, unsigned char* marks,
                          int seedY, int seedX, unsigned char* region) {
    const long long pixels = static_cast<long long>(width) * height;
    // Every pixel is pushed at most once. The block is only reserved: the pages a fill never
    // reaches are never touched.
    Entry* stack = new (std::nothrow) Entry[static_cast<size_t>(pixels)];
    if (stack == nullptr)
        return 0;

    int x = seedX;
    int y = seedY;
    long long index = static_cast<long long>(y) * width + x;
    marks[index] = 1;
    region[index] = buffer[index];
    long long depth = 0;
    stack[depth++] = static_cast<Entry>(index) << 2;
    unsigned long filled = 1;
    int direction = 0;
    for (;;) {
        bool pushed = false;
        for (; direction < 4; ++direction) {
            const int nx = x + kStepX[direction];
            const int ny = y + kStepY[direction];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height)
                continue;
            const long long next = static_cast<long long>(ny) * width + nx;
            if (!IsBright(buffer[next]) || marks[next] != 0)
                continue;
            marks[next] = 1;
            region[next] = buffer[next];
            stack[depth++] = static_cast<Entry>(next) << 2 | static_cast<Entry>(direction);
            ++filled;
            x = nx;
            y = ny;
            direction = 0;
            pushed = true;
            break;
        }
        if (pushed)
            continue;
        const int arrivedBy = static_cast<int>(stack[--depth] & 3);
        if (depth == 0)
            break;
        x -= kStepX[arrivedBy];
        y -= kStepY[arrivedBy];
        direction = arrivedBy + 1;
    }
    delete[] stack;
    return filled;
}

unsigned long Fill(unsigned char* buffer, int width, int height, unsigned char* marks, int seedY,
                   int seedX, unsigned char* region) {
    if (buffer == nullptr || marks == nullptr || width < 1 || height < 1)
        return 0;
    const long long pixels = static_cast<long long>(width) * height;
    if (pixels <= (1LL << 30))
        return FillRegion4<std::uint32_t>(buffer, width, height, marks, seedY, seedX, region);
    return FillRegion4<std::uint64_t>(buffer, width, height, marks, seedY, seedX, region);
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

// A bright pixel with fewer than three bright edge neighbours becomes 0.
int CDataHandler::RegionCorrosion(unsigned char* buffer, int width, int height) {
    const auto erodeRow = [width](const unsigned char* above, const unsigned char* centre,
                                  const unsigned char* below, unsigned char* out) {
        for (int x = 1; x < width - 1; ++x) {
            if (!IsBright(centre[x]))
                continue;
            const int bright = IsBright(above[x]) + IsBright(below[x]) + IsBright(centre[x - 1]) +
                               IsBright(centre[x + 1]);
            if (bright < 3)
                out[x] = 0;
        }
    };
    return GreyPassClearingFrame(buffer, width, height, erodeRow);
}

// Labels the regions once by their runs (union-find over runs of consecutive rows that overlap),
// so the cost is a few passes over the buffer whatever the number of regions.
int CDataHandler::RegionAnalysis(unsigned char* buffer, int width, int height) {
    if (buffer == nullptr || width < 1 || height < 1)
        return 0;
    // Start and end of the runs of the previous and the current row.
    const long long rowRuns = width / 2 + 1;
    const auto rowLists = NewScratch<int>(4 * rowRuns);
    if (!rowLists)
        return 0;
    const long long runs = CountRuns(buffer, width, height);
    if (runs == 0)
        return 1;
    const auto links = NewScratch<int>(runs);
    if (!links)
        return 0;

    RunSets sets(links.get());
    int* previousStart = rowLists.get();
    int* previousEnd = previousStart + rowRuns;
    int* currentStart = previousEnd + rowRuns;
    int* currentEnd = currentStart + rowRuns;
    int previousCount = 0;
    int previousFirstRun = 0;
    int nextRun = 0;
    for (int y = 0; y < height; ++y) {
        const int firstRun = nextRun;
        int count = 0;
        int above = 0;  // first run of the previous row that may still overlap
        ForEachRun(buffer + static_cast<long long>(y) * width, width, [&](int start, int end) {
            const int run = nextRun++;
            sets.Add(run, end - start);
            currentStart[count] = start;
            currentEnd[count] = end;
            ++count;
            // Runs of the row above that share a column with this one (4-connectivity).
            while (above < previousCount && previousEnd[above] <= start)
                ++above;
            for (int k = above; k < previousCount && previousStart[k] < end; ++k)
                sets.Join(previousFirstRun + k, run);
        });
        std::swap(previousStart, currentStart);
        std::swap(previousEnd, currentEnd);
        previousCount = count;
        previousFirstRun = firstRun;
    }

    // The largest set; of equal ones the earliest root, which holds the earliest pixel.
    int best = -1;
    for (int run = 0; run < nextRun; ++run)
        if (sets.IsRoot(run) && (best < 0 || sets.Size(run) > sets.Size(best)))
            best = run;
    sets.Flatten(nextRun);

    int run = 0;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = buffer + static_cast<long long>(y) * width;
        int kept = 0;  // pixels before it are settled
        ForEachRun(row, width, [&](int start, int end) {
            if (sets.RootOf(run++) != best)
                return;
            std::memset(row + kept, 0, static_cast<size_t>(start - kept));
            kept = end;
        });
        std::memset(row + kept, 0, static_cast<size_t>(width - kept));
    }
    return 1;
}

unsigned long CDataHandler::AnalysisPot(unsigned char* buffer, int width, int height,
                                        unsigned char* marks, int seedY, int seedX,
                                        unsigned char* region) {
    return Fill(buffer, width, height, marks, seedY, seedX, region);
}

unsigned long CDataHandler::AnalysisPotEx(unsigned char* buffer, int width, int height,
                                          unsigned char* marks, int seedY, int seedX,
                                          unsigned char* region) {
    return Fill(buffer, width, height, marks, seedY, seedX, region);
}

int CDataHandler::FillRegion(unsigned char* source, int width, int height, unsigned char* region) {
    long long copies = 0;
    for (int y = 0; y < height; ++y) {
        const long long rowStart = static_cast<long long>(y) * width;
        const unsigned char* row = region + rowStart;
        int first = 0;
        while (first < width && !IsBright(row[first]))
            ++first;
        if (first == width)
            continue;
        int last = width - 1;
        while (!IsBright(row[last]))
            --last;
        std::memcpy(region + rowStart + first, source + rowStart + first,
                    static_cast<size_t>(last - first + 1));
        copies += last - first + 1;
    }
    for (int x = 0; x < width; ++x) {
        const auto at = [&](int y) { return static_cast<long long>(y) * width + x; };
        int first = 0;
        while (first < height && !IsBright(region[at(first)]))
            ++first;
        if (first == height)
            continue;
        int last = height - 1;
        while (!IsBright(region[at(last)]))
            --last;
        for (int y = first; y <= last; ++y)
            region[at(y)] = source[at(y)];
        copies += last - first + 1;
    }
    return static_cast<int>(copies);
}
