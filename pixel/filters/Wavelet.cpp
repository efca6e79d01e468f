// One level of a two-dimensional integer lifting wavelet transform, stretched for display.
#include <algorithm>
#include <memory>
#include <new>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/WaveletLifting.h"

namespace imgdesk::pixel {

void LiftAndScale(short* even, short* odd, int count, long long stride, int lanes) {
    const auto at = [stride](short* half, int k) { return half + k * stride; };
    const auto store = [](int value) { return static_cast<short>(value); };
    // Predict the odd samples from their even neighbours; the last one uses the two evens before
    // it, there being none after.
    for (int k = 0; k + 1 < count; ++k) {
        const short* e0 = at(even, k);
        const short* e1 = at(even, k + 1);
        short* d = at(odd, k);
        for (int l = 0; l < lanes; ++l)
            d[l] = store(d[l] - ((e0[l] + e1[l]) >> 1));
    }
    {
        const short* e0 = at(even, count - 1);
        const short* e1 = at(even, count - 2);
        short* d = at(odd, count - 1);
        for (int l = 0; l < lanes; ++l)
            d[l] = store(d[l] - ((e0[l] + e1[l]) >> 1));
    }
    // Update the even samples from the predicted odd ones.
    for (int k = 0; k < count; ++k) {
        const short* d0 = at(odd, k == 0 ? 0 : k - 1);
        const short* d1 = at(odd, k == 0 ? 1 : k);
        short* e = at(even, k);
        for (int l = 0; l < lanes; ++l)
            e[l] = store(e[l] + ((d0[l] + d1[l]) >> 2));
    }
    const double scale = kWaveletScale;
    for (int k = 0; k < count; ++k) {
        short* e = at(even, k);
        short* d = at(odd, k);
        for (int l = 0; l < lanes; ++l) {
            e[l] = store(static_cast<int>(e[l] * scale));
            d[l] = store(static_cast<int>(d[l] / scale));
        }
    }
}

}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

// Levels other than 1 are refused: the operation keeps no coefficients between calls, so a later
// level would have nothing to start from. Odd or small sizes are refused too, since the last
// predict step needs two even samples in each half.
void CDataHandler::DWT_Once(unsigned char* source, int bitsPerPixel, unsigned char* destination,
                            int width, int height, int level) {
    const int channels = bitsPerPixel / 8;
    if (channels < 1 || level != 1 || source == nullptr || destination == nullptr)
        return;
    if (width < 4 || height < 4 || width % 2 != 0 || height % 2 != 0)
        return;

    const long long cells = static_cast<long long>(width) * height;
    const std::unique_ptr<short[]> tables(new (std::nothrow) short[static_cast<size_t>(2 * cells)]);
    if (!tables)
        return;
    short* rowsPass = tables.get();             // each row split and lifted
    short* columnsPass = tables.get() + cells;  // then each column
    const int halfWidth = width / 2;
    const int halfHeight = height / 2;
    const long long stride = RowStride(width, bitsPerPixel);

    for (int channel = 0; channel < channels; ++channel) {
        for (int r = 0; r < height; ++r) {
            const unsigned char* pixel = source + r * stride + channel;
            short* row = rowsPass + static_cast<long long>(r) * width;
            for (int i = 0; i < halfWidth; ++i) {
                row[i] = static_cast<short>(pixel[(2 * i) * channels] - 128);
                row[halfWidth + i] = static_cast<short>(pixel[(2 * i + 1) * channels] - 128);
            }
            LiftAndScale(row, row + halfWidth, halfWidth, 1, 1);
        }
        for (int k = 0; k < halfHeight; ++k) {
            std::copy_n(rowsPass + (2LL * k) * width, width,
                        columnsPass + static_cast<long long>(k) * width);
            std::copy_n(rowsPass + (2LL * k + 1) * width, width,
                        columnsPass + static_cast<long long>(halfHeight + k) * width);
        }
        LiftAndScale(columnsPass, columnsPass + static_cast<long long>(halfHeight) * width,
                     halfHeight, width, width);

        const auto [lowest, highest] = std::minmax_element(columnsPass, columnsPass + cells);
        const int smallest = *lowest;
        const int range = *highest - smallest;
        if (range <= 0)
            continue;
        for (int r = 0; r < height; ++r) {
            const short* coefficients = columnsPass + static_cast<long long>(r) * width;
            unsigned char* pixel = destination + r * stride + channel;
            for (int j = 0; j < width; ++j)
                pixel[j * channels] =
                    static_cast<unsigned char>((coefficients[j] - smallest) * 255 / range);
        }
    }
}
