#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;
using Bytes = std::vector<unsigned char>;
using Levels = std::function<int(int x, int y)>;

// The caller's three variables, released at the end as a host would.
struct Stored {
    unsigned char* bits = nullptr;
    int width = -7, height = -7;
    ~Stored() { DelMem(bits); }
};

enum class Op { Dynamic, Static, PointNum, PointNumEx };

int Call(Op op, Bytes& frame, int width, int height, int bits, Stored& s,
         tagRGBQUAD* palette = nullptr) {
    unsigned char* p = frame.empty() ? nullptr : frame.data();
    CDataHandler h;
    switch (op) {
        case Op::Dynamic:
            return h.DynamicDistinguish(p, width, height, bits, s.bits, s.width, s.height);
        case Op::Static:
            return h.StaticDistinguish(p, width, height, bits, s.bits, s.width, s.height);
        case Op::PointNum:
            return h.DynamicPointNum(p, width, height, bits, s.bits, s.width, s.height);
        case Op::PointNumEx:
            break;
    }
    return h.DynamicPointNumEx(p, width, height, bits, palette, s.bits, s.width, s.height);
}

int Grey(int b, int g, int r) {
    return static_cast<int>((g * 0.59 + r * 0.3) + b * 0.11);
}

struct Colour {
    unsigned char b, g, r;
};

// For each grey level, a colour that the grey conversion turns into exactly that level.
const std::vector<Colour>& ColourOfLevel() {
    static const std::vector<Colour> table = [] {
        std::vector<Colour> colours(256);
        for (int level = 0; level < 256; ++level) {
            bool found = false;
            for (int b = level - 3; b <= level + 3 && !found; ++b)
                for (int g = level - 1; g <= level + 1 && !found; ++g)
                    for (int r = level - 2; r <= level + 2 && !found; ++r) {
                        if (b < 0 || g < 0 || r < 0 || b > 255 || g > 255 || r > 255)
                            continue;
                        if (Grey(b, g, r) != level)
                            continue;
                        colours[level] = {Colour{uint8_t(b), uint8_t(g), uint8_t(r)}};
                        found = true;
                    }
            EXPECT_TRUE(found) << level;
        }
        return colours;
    }();
    return table;
}

// A 24- or 32-bit frame whose grey conversion gives exactly the levels asked for.
Bytes GreyFrame(int width, int height, int bits, const Levels& level) {
    const int stride = RowStride(width, bits), bpp = bits / 8;
    Bytes frame(static_cast<size_t>(stride) * height, 0xEE);  // padding must never count
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Colour c = ColourOfLevel()[level(x, y)];
            unsigned char* p = &frame[static_cast<size_t>(y) * stride + x * bpp];
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
        }
    return frame;
}

// Changed pixels between two 24/32-bit frames by the grey formula, for the plain operations.
int ReferenceCount(const Bytes& a, const Bytes& b, int width, int height, int bits, int limit) {
    const int stride = RowStride(width, bits), bpp = bits / 8;
    int count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &a[y * stride + x * bpp];
            const unsigned char* q = &b[y * stride + x * bpp];
            count += std::abs(Grey(p[0], p[1], p[2]) - Grey(q[0], q[1], q[2])) > limit;
        }
    return count;
}

TEST(FrameDifference, WorkedFigures) {
    MemoryProbe probe;
    const Levels still = [](int, int) { return 100; };
    for (int change : {31, 30}) {
        // Five of the sixteen pixels of a 4 x 4 frame change by `change` levels, up or down.
        const Levels moved = [change](int x, int y) {
            const int k = y * 4 + x;
            return k < 5 ? (k % 2 ? 100 + change : 100 - change) : 100;
        };
        Stored s;
        Bytes first = GreyFrame(4, 4, 24, still), second = GreyFrame(4, 4, 24, moved);
        EXPECT_EQ(0, Call(Op::Dynamic, first, 4, 4, 24, s));  // nothing stored yet
        EXPECT_EQ(change > 30 ? 1 : 0, Call(Op::Dynamic, second, 4, 4, 24, s));
        EXPECT_EQ(0, Call(Op::Dynamic, second, 4, 4, 24, s));  // two identical frames
    }
    // Verdict boundaries on 10 x 10: motion above 25 changed pixels, stillness below 10.
    for (int changed : {9, 10, 25, 26}) {
        const Levels moved = [changed](int x, int y) { return y * 10 + x < changed ? 200 : 50; };
        Bytes before = GreyFrame(10, 10, 32, [](int, int) { return 50; });
        Bytes after = GreyFrame(10, 10, 32, moved);
        Stored d, st;
        EXPECT_EQ(1, Call(Op::Static, before, 10, 10, 32, st));  // first call: 0 < 100 / 10
        Call(Op::Dynamic, before, 10, 10, 32, d);
        EXPECT_EQ(changed > 25 ? 1 : 0, Call(Op::Dynamic, after, 10, 10, 32, d)) << changed;
        EXPECT_EQ(changed < 10 ? 1 : 0, Call(Op::Static, after, 10, 10, 32, st)) << changed;
    }
    // Fewer than ten pixels: 0 changed is not below 9 / 10 = 0.
    Stored tiny;
    Bytes three = GreyFrame(3, 3, 24, still);
    EXPECT_EQ(0, Call(Op::Static, three, 3, 3, 24, tiny));
    EXPECT_EQ(0, Call(Op::Static, three, 3, 3, 24, tiny));
    // DynamicPointNum counts changes above 40 only.
    Stored n;
    Bytes flat = GreyFrame(5, 3, 24, still);
    // Changes of 0, 40, 41, 42 and 43 levels along each row, down in even rows and up in odd.
    Bytes steps = GreyFrame(5, 3, 24, [](int x, int y) {
        return x == 0 ? 100 : y % 2 ? 139 + x : 61 - x;
    });
    EXPECT_EQ(0, Call(Op::PointNum, flat, 5, 3, 24, n));
    EXPECT_EQ(9, Call(Op::PointNum, steps, 5, 3, 24, n));
}

TEST(FrameDifference, SequencesMatchTheGreyDifference) {
    MemoryProbe probe;
    std::uint32_t noise = 7;
    auto next = [&noise] { return noise = noise * 1664525u + 1013904223u, noise >> 24; };
    for (int bits : {24, 32})
        for (int width : {1, 2, 3, 5, 15, 16, 17, 33, 50}) {
            const int height = 4;
            Stored s;
            Bytes previous;
            for (int frameNo = 0; frameNo < 4; ++frameNo) {
                Bytes frame(static_cast<size_t>(RowStride(width, bits)) * height);
                for (auto& byte : frame)
                    byte = static_cast<unsigned char>(next());
                if (frameNo == 2)
                    frame = previous;  // a still frame
                const int expected =
                    frameNo == 0 ? 0 : ReferenceCount(previous, frame, width, height, bits, 40);
                ASSERT_EQ(expected, Call(Op::PointNum, frame, width, height, bits, s)) << width;
                // The stored frame is the grey frame with rows padded to a multiple of 4.
                const int g = RowStride(width, 8);
                ASSERT_EQ(width, s.width);
                ASSERT_EQ(height, s.height);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < g; ++x) {
                        const unsigned char* p = &frame[y * RowStride(width, bits) + x * bits / 8];
                        ASSERT_EQ(x < width ? Grey(p[0], p[1], p[2]) : 0, s.bits[y * g + x]);
                    }
                previous = frame;
            }
        }
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(FrameDifference, SizeChangeRestartsTheComparison) {
    for (Op op : {Op::PointNum, Op::PointNumEx}) {
        Stored s;
        Bytes dark = GreyFrame(8, 6, 24, [](int, int) { return 0; });
        Bytes bright = GreyFrame(7, 6, 24, [](int x, int) { return x % 2 ? 255 : 0; });
        Bytes brightWide = GreyFrame(8, 6, 24, [](int x, int) { return x % 2 ? 255 : 0; });
        EXPECT_EQ(0, Call(op, dark, 8, 6, 24, s));
        EXPECT_EQ(0, Call(op, bright, 7, 6, 24, s));
        if (op == Op::PointNum) {
            EXPECT_EQ(7, s.width);
            EXPECT_EQ(6, s.height);
        }
        EXPECT_EQ(0, Call(op, bright, 7, 6, 24, s));
        EXPECT_EQ(0, Call(op, dark, 8, 6, 24, s));        // another size again
        EXPECT_GT(Call(op, brightWide, 8, 6, 24, s), 0);  // same size again: compared
    }
}

TEST(FrameDifference, EightBitFrames) {
    tagRGBQUAD palette[256] = {};
    for (int i = 0; i < 256; ++i)
        palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    auto frame8 = [](int phase) {
        Bytes f(static_cast<size_t>(RowStride(64, 8)) * 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                f[y * 64 + x] = ((x + phase) / 8 + y / 8) % 2 ? 255 : 0;
        return f;
    };
    Bytes a = frame8(0), b = frame8(4);
    for (Op op : {Op::PointNum, Op::Dynamic, Op::Static}) {
        Stored s;
        Call(op, a, 64, 48, 8, s);
        EXPECT_EQ(op == Op::Static ? 1 : 0, Call(op, b, 64, 48, 8, s));  // grey is all 0
        for (int i = 0; i < 64 * 48; ++i)
            ASSERT_EQ(0, s.bits[i]);
    }
    Stored withPalette, without;
    EXPECT_EQ(0, Call(Op::PointNumEx, a, 64, 48, 8, withPalette, palette));
    EXPECT_GT(Call(Op::PointNumEx, b, 64, 48, 8, withPalette, palette), 0);
    EXPECT_EQ(0, Call(Op::PointNumEx, a, 64, 48, 8, without));
    EXPECT_EQ(0, Call(Op::PointNumEx, b, 64, 48, 8, without));
}

// The edge image the edge variant stores, made by the same steps through the public operations.
Bytes EdgeImage(Bytes& frame, int width, int height, int bits, tagRGBQUAD* palette, int& w,
                int& h) {
    CDataHandler d;
    const float f = static_cast<float>((width > height ? width : height) / 320.0);
    unsigned char* zoomed = nullptr;
    EXPECT_EQ(1, d.ZoomData(frame.data(), width, height, bits, float(1.0 / f), zoomed, w, h));
    Bytes grey(static_cast<size_t>(w) * h);
    d.ColourToGreyScale(zoomed, w, h, bits, palette, grey.data(), 0);
    DelMem(zoomed);
    d.EdgeDetectionSobelEx(grey.data(), w, h);
    d.MedianFilter(grey.data(), w, h);
    return grey;
}

TEST(FrameDifference, EdgeVariantWorkingSizeAndCount) {
    MemoryProbe probe;
    struct Case {
        int width, height, w, h;
    };
    for (Case c : {Case{640, 480, 320, 240}, Case{100, 50, 320, 160}, Case{1920, 1080, 320, 180},
                   Case{4000, 3000, 320, 240}}) {
        auto square = [&c](int at) {
            return GreyFrame(c.width, c.height, 24, [&c, at](int x, int y) {
                return (x >= at && x < at + c.width / 4 && y >= c.height / 4 && y < c.height / 2)
                           ? 220
                           : 20;
            });
        };
        Bytes first = square(c.width / 8), second = square(c.width / 4);
        int w = 0, h = 0;
        const Bytes e1 = EdgeImage(first, c.width, c.height, 24, nullptr, w, h);
        const Bytes e2 = EdgeImage(second, c.width, c.height, 24, nullptr, w, h);
        int expected = 0;
        for (size_t i = 0; i < e1.size(); ++i)
            expected += std::abs(e1[i] - e2[i]) > 100;
        ASSERT_GT(expected, 0);

        Stored s;
        EXPECT_EQ(0, Call(Op::PointNumEx, first, c.width, c.height, 24, s));
        EXPECT_EQ(c.w, s.width);
        EXPECT_EQ(c.h, s.height);
        EXPECT_EQ(expected, Call(Op::PointNumEx, second, c.width, c.height, 24, s));
        EXPECT_EQ(0, std::memcmp(e2.data(), s.bits, e2.size()));
        EXPECT_EQ(0, Call(Op::PointNumEx, second, c.width, c.height, 24, s));
    }
    // A working height of 2 is cleared by the smoothing; one that rounds to 0 is refused.
    Stored s;
    Bytes strip = GreyFrame(1000, 5, 24, [](int x, int) { return x % 3 * 100; });
    EXPECT_EQ(0, Call(Op::PointNumEx, strip, 1000, 5, 24, s));
    EXPECT_EQ(320, s.width);
    EXPECT_EQ(2, s.height);
    unsigned char* kept = s.bits;
    Bytes line = GreyFrame(2000, 1, 24, [](int, int) { return 9; });
    EXPECT_EQ(-1, Call(Op::PointNumEx, line, 2000, 1, 24, s));
    EXPECT_EQ(kept, s.bits);
    EXPECT_EQ(2, s.height);
}

TEST(FrameDifference, RefusalsLeaveTheStoredFrame) {
    for (Op op : {Op::Dynamic, Op::Static, Op::PointNum, Op::PointNumEx}) {
        const int failure = op == Op::Dynamic || op == Op::Static ? 0 : -1;
        Stored s;
        Bytes frame = GreyFrame(6, 4, 24, [](int x, int) { return x * 40; });
        Call(op, frame, 6, 4, 24, s);
        unsigned char* kept = s.bits;
        const int w = s.width, h = s.height;
        Bytes none;
        EXPECT_EQ(failure, Call(op, none, 6, 4, 24, s));
        EXPECT_EQ(failure, Call(op, frame, 0, 4, 24, s));
        EXPECT_EQ(failure, Call(op, frame, 6, -1, 24, s));
        EXPECT_EQ(failure, Call(op, frame, 6, 4, 16, s));
        EXPECT_EQ(kept, s.bits);
        EXPECT_EQ(w, s.width);
        EXPECT_EQ(h, s.height);
    }
}

// Every allocation of the second call fails in turn: all but the last (the new stored frame)
// leave the stored frame as it was; the last leaves the reference null and the next call starts
// afresh. No block is left behind once the caller releases the stored frame.
TEST(FrameDifference, FailedAllocations) {
    MemoryProbe probe;
    const int baseline = probe.LiveBlocks();
    for (Op op : {Op::Dynamic, Op::Static, Op::PointNum, Op::PointNumEx}) {
        const int failure = op == Op::Dynamic || op == Op::Static ? 0 : -1;
        const int width = 40, height = 30;
        Bytes before =
            GreyFrame(width, height, 24, [](int x, int y) { return (x ^ y) & 1 ? 200 : 0; });
        Bytes after = GreyFrame(width, height, 24, [](int, int) { return 100; });
        int allocations = 0, emptiedAt = 0;
        for (int n = 1;; ++n) {
            Stored s;
            Call(op, before, width, height, 24, s);
            const Bytes reference(s.bits, s.bits + s.width * s.height);
            const int storedWidth = s.width, storedHeight = s.height;
            probe.FailAllocation(n);
            const int result = Call(op, after, width, height, 24, s);
            const bool injected = probe.FailureInjected();
            probe.FailAllocation(0);
            if (!injected) {
                allocations = n - 1;
                break;
            }
            EXPECT_EQ(failure, result) << n;
            EXPECT_EQ(storedWidth, s.width);
            EXPECT_EQ(storedHeight, s.height);
            if (s.bits) {
                EXPECT_EQ(0, std::memcmp(reference.data(), s.bits, reference.size())) << n;
                EXPECT_EQ(baseline + 1, probe.LiveBlocks());
                continue;
            }
            EXPECT_EQ(baseline, probe.LiveBlocks());
            EXPECT_EQ(0, emptiedAt);
            emptiedAt = n;
            EXPECT_EQ(op == Op::Static ? 1 : 0, Call(op, after, width, height, 24, s));
            EXPECT_NE(nullptr, s.bits);
        }
        EXPECT_GE(allocations, 2);
        EXPECT_EQ(allocations, emptiedAt);
        EXPECT_EQ(baseline, probe.LiveBlocks());
    }
}

}  // namespace
