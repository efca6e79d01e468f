#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "FilterTestSupport.h"
#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/WaveletLifting.h"

using imgdesk::pixel::LiftAndScale;
using imgdesk::pixel::RowStride;
using imgdesk::test::Bytes;
using imgdesk::test::RandomBytes;

namespace {

const Bytes kRamp = {10, 12, 14, 16, 18, 20, 22, 24};

TEST(WaveletLifting, RampCoefficients) {
    // Centred ramp split into even and odd samples; the last predict uses the two last evens.
    std::vector<short> line = {-118, -114, -110, -106, -116, -112, -108, -104};
    LiftAndScale(line.data(), line.data() + 4, 4, 1, 1);
    EXPECT_EQ((std::vector<short>{-166, -161, -155, -148, 0, 0, 0, 2}), line);

    // Lanes run side by side: the same ramp down two columns.
    std::vector<short> columns(16);
    for (int k = 0; k < 8; ++k)
        columns[2 * k] = columns[2 * k + 1] =
            (std::vector<short>{-118, -114, -110, -106, -116, -112, -108, -104})[k];
    LiftAndScale(columns.data(), columns.data() + 8, 4, 2, 2);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(line[k], columns[2 * k]) << k;
}

TEST(DWT_Once, RampPictureAndItsStretch) {
    // Every row the ramp: the column step doubles nothing but scales the low rows by 1.414 again
    // (-234 -227 -219 -209 0 0 0 2) and leaves high rows 0; the stretch spans -234..2.
    Bytes source;
    for (int r = 0; r < 4; ++r)
        source.insert(source.end(), kRamp.begin(), kRamp.end());
    Bytes destination(source.size(), 1);
    CDataHandler().DWT_Once(source.data(), 8, destination.data(), 8, 4, 1);
    const Bytes low = {0, 7, 16, 27, 252, 252, 252, 255};
    for (int r = 0; r < 4; ++r)
        for (int j = 0; j < 8; ++j)
            EXPECT_EQ(r < 2 ? low[j] : 252, destination[r * 8 + j]) << r << "," << j;
}

TEST(DWT_Once, ChannelsStretchAloneAndFlatChannelsStayUnwritten) {
    for (int bits : {24, 32}) {
        const int width = 6, height = 4, bytes = bits / 8, stride = RowStride(width, bits);
        Bytes source(static_cast<size_t>(stride) * height, 128);
        const Bytes noise = RandomBytes(source.size(), 3);
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x) {
                source[r * stride + x * bytes + 0] = noise[r * stride + x * bytes];  // blue: noise
                source[r * stride + x * bytes + 2] =
                    static_cast<unsigned char>(x * 40);  // red: ramp
                if (bytes == 4)
                    source[r * stride + x * bytes + 3] = static_cast<unsigned char>(r * 9);
            }
        Bytes destination(source.size(), 77);
        CDataHandler().DWT_Once(source.data(), bits, destination.data(), width, height, 1);
        for (int c = 0; c < bytes; ++c) {
            Bytes channel;
            for (int r = 0; r < height; ++r)
                for (int x = 0; x < width; ++x)
                    channel.push_back(destination[r * stride + x * bytes + c]);
            if (c == 1) {
                EXPECT_EQ(Bytes(channel.size(), 77), channel);  // uniform 128: all coefficients 0
            } else {
                EXPECT_EQ(0, *std::min_element(channel.begin(), channel.end()))
                    << bits << " channel " << c;
                EXPECT_EQ(255, *std::max_element(channel.begin(), channel.end()))
                    << bits << " channel " << c;
            }
        }
        if (bits == 24) {
            for (int r = 0; r < height; ++r)
                EXPECT_EQ(77, destination[r * stride + stride - 1]);  // padding
        }
    }
}

TEST(DWT_Once, WritesNothingForUnsupportedArguments) {
    const Bytes source = RandomBytes(8 * 4, 6);
    for (auto [bits, width, height, level] :
         {std::array{4, 8, 4, 1}, std::array{8, 8, 4, 2}, std::array{8, 8, 4, 0},
          std::array{8, 7, 4, 1}, std::array{8, 8, 2, 1}}) {
        Bytes destination(source.size(), 9);
        CDataHandler().DWT_Once(const_cast<unsigned char*>(source.data()), bits, destination.data(),
                                width, height, level);
        EXPECT_EQ(Bytes(source.size(), 9), destination)
            << bits << " " << width << "x" << height << " " << level;
    }
}

}  // namespace
