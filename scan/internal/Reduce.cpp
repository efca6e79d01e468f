#include "scan/internal/Reduce.h"

#include <algorithm>
#include <cstdint>

namespace imgdesk::scan {

int ReductionFactor(const SourcePicture& source, int longSide) {
    const int longer = std::max(source.width, source.height);
    return std::max(1, (longer + longSide - 1) / longSide);
}

namespace {

// Adds one display row, channel by channel, into per-column sums of blue, green and red.
template <int Bytes>
void AddColumns(const unsigned char* row, int columns, uint32_t* sums) {
    if constexpr (Bytes == 3) {
        for (int i = 0; i < 3 * columns; ++i)
            sums[i] += row[i];
    } else {
        for (int x = 0; x < columns; ++x) {
            sums[3 * x] += row[4 * x];
            sums[3 * x + 1] += row[4 * x + 1];
            sums[3 * x + 2] += row[4 * x + 2];
        }
    }
}

void AddPaletteColumns(const unsigned char* row, int columns, const tagRGBQUAD* palette,
                       uint32_t* sums) {
    for (int x = 0; x < columns; ++x) {
        const tagRGBQUAD& c = palette[row[x]];
        sums[3 * x] += c.rgbBlue;
        sums[3 * x + 1] += c.rgbGreen;
        sums[3 * x + 2] += c.rgbRed;
    }
}

// Block averages of factor x factor pixels, from the column sums of factor rows.
class BlockAverager {
public:
    BlockAverager(int width, int factor)
        : factor_(factor), blocks_(width / factor), columns_(blocks_ * factor),
          sums_(3 * columns_, 1) {}

    int Columns() const { return columns_; }
    uint32_t* Sums() { return sums_.Data(); }

    // Hands (block, blue, green, red) to emit for each block, then starts the sums afresh.
    template <typename Emit>
    void Finish(Emit emit) {
        const float scale = 1.0f / (float(factor_) * factor_);
        uint32_t* s = sums_.Data();
        for (int b = 0; b < blocks_; ++b) {
            uint32_t blue = 0, green = 0, red = 0;
            for (int k = 0; k < factor_; ++k, s += 3) {
                blue += s[0];
                green += s[1];
                red += s[2];
            }
            emit(b, blue * scale, green * scale, red * scale);
        }
        std::fill(sums_.Data(), sums_.Data() + 3 * columns_, 0u);
    }

private:
    int factor_, blocks_, columns_;
    Plane<uint32_t> sums_;
};

}  // namespace

void Reduce(const SourcePicture& source, int colourFactor, int greyFactor, ReducedColour& colour,
            ReducedGrey& grey) {
    const int cw = std::max(1, source.width / colourFactor);
    const int ch = std::max(1, source.height / colourFactor);
    const int gw = std::max(1, source.width / greyFactor);
    const int gh = std::max(1, source.height / greyFactor);
    colour.factor = colourFactor;
    colour.blue = Plane<float>(cw, ch);
    colour.green = Plane<float>(cw, ch);
    colour.red = Plane<float>(cw, ch);
    grey.factor = greyFactor;
    grey.grey = Plane<float>(gw, gh);
    BlockAverager colourBlocks(source.width, colourFactor), greyBlocks(source.width, greyFactor);

    auto addRow = [&](const unsigned char* row, BlockAverager& blocks) {
        switch (source.bits) {
        case 8: AddPaletteColumns(row, blocks.Columns(), source.palette, blocks.Sums()); break;
        case 24: AddColumns<3>(row, blocks.Columns(), blocks.Sums()); break;
        default: AddColumns<4>(row, blocks.Columns(), blocks.Sums()); break;
        }
    };
    for (int y = 0; y < source.height; ++y) {
        const unsigned char* row = source.DisplayRow(y);
        if (source.width >= colourFactor && y < ch * colourFactor) {
            addRow(row, colourBlocks);
            if ((y + 1) % colourFactor == 0) {
                const int j = y / colourFactor;
                colourBlocks.Finish([&](int i, float b, float g, float r) {
                    colour.blue.At(i, j) = b;
                    colour.green.At(i, j) = g;
                    colour.red.At(i, j) = r;
                });
            }
        }
        if (source.width >= greyFactor && y < gh * greyFactor) {
            addRow(row, greyBlocks);
            if ((y + 1) % greyFactor == 0) {
                const int j = y / greyFactor;
                greyBlocks.Finish(
                    [&](int i, float b, float g, float r) { grey.grey.At(i, j) = Luminance(b, g, r); });
            }
        }
    }
}

}  // namespace imgdesk::scan
