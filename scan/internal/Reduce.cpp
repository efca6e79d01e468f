#include "scan/internal/Reduce.h"

#include <algorithm>
#include <cstdint>

namespace imgdesk::scan {

int ReductionFactor(const SourcePicture& source, int longSide) {
    const int longer = std::max(source.width, source.height);
    return std::max(1, (longer + longSide - 1) / longSide);
}

namespace {

// Sums of blue, green and red over one display row, added into per-block accumulators.
template <int Bytes>
void AddRow(const unsigned char* row, int width, int factor, uint32_t* sums) {
    const int blocks = width / factor;
    const unsigned char* p = row;
    for (int b = 0; b < blocks; ++b) {
        uint32_t sb = 0, sg = 0, sr = 0;
        for (int k = 0; k < factor; ++k, p += Bytes) {
            sb += p[0];
            sg += p[1];
            sr += p[2];
        }
        sums[3 * b] += sb;
        sums[3 * b + 1] += sg;
        sums[3 * b + 2] += sr;
    }
}

void AddPaletteRow(const unsigned char* row, int width, int factor, const tagRGBQUAD* palette,
                   uint32_t* sums) {
    const int blocks = width / factor;
    for (int b = 0; b < blocks; ++b) {
        for (int k = 0; k < factor; ++k) {
            const tagRGBQUAD& c = palette[row[b * factor + k]];
            sums[3 * b] += c.rgbBlue;
            sums[3 * b + 1] += c.rgbGreen;
            sums[3 * b + 2] += c.rgbRed;
        }
    }
}

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
    Plane<uint32_t> colourSums(3 * cw, 1), greySums(3 * gw, 1);

    auto addRow = [&](const unsigned char* row, int factor, uint32_t* sums) {
        switch (source.bits) {
        case 8: AddPaletteRow(row, source.width, factor, source.palette, sums); break;
        case 24: AddRow<3>(row, source.width, factor, sums); break;
        default: AddRow<4>(row, source.width, factor, sums); break;
        }
    };
    const int rows = std::max(ch * colourFactor, gh * greyFactor);
    for (int y = 0; y < rows && y < source.height; ++y) {
        const unsigned char* row = source.DisplayRow(y);
        if (source.width >= colourFactor && y < ch * colourFactor) {
            addRow(row, colourFactor, colourSums.Data());
            if ((y + 1) % colourFactor == 0) {
                const int j = y / colourFactor;
                const float scale = 1.0f / (float(colourFactor) * colourFactor);
                uint32_t* s = colourSums.Data();
                for (int i = 0; i < cw; ++i) {
                    colour.blue.At(i, j) = s[3 * i] * scale;
                    colour.green.At(i, j) = s[3 * i + 1] * scale;
                    colour.red.At(i, j) = s[3 * i + 2] * scale;
                }
                std::fill(s, s + 3 * cw, 0u);
            }
        }
        if (source.width >= greyFactor && y < gh * greyFactor) {
            addRow(row, greyFactor, greySums.Data());
            if ((y + 1) % greyFactor == 0) {
                const int j = y / greyFactor;
                const float scale = 1.0f / (float(greyFactor) * greyFactor);
                uint32_t* s = greySums.Data();
                for (int i = 0; i < gw; ++i)
                    grey.grey.At(i, j) = Luminance(s[3 * i] * scale, s[3 * i + 1] * scale,
                                                   s[3 * i + 2] * scale);
                std::fill(s, s + 3 * gw, 0u);
            }
        }
    }
}

}  // namespace imgdesk::scan
