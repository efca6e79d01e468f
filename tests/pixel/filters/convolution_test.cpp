#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;
using Kernel = std::vector<double>;

// The definition, pixel by pixel: sums in window order, each partial sum rounded to float.
Bytes ReferenceTemplate(const Bytes& in, int width, int height, const Kernel& kernel, int kw,
                        int kh, double coefficient = 1.0) {
    Bytes out = in;
    for (int y = kh / 2; y <= height - kh + kh / 2; ++y)
        for (int x = kw / 2; x <= width - kw + kw / 2; ++x) {
            float sum = 0.0f;
            for (int r = 0; r < kh; ++r)
                for (int c = 0; c < kw; ++c)
                    sum = static_cast<float>(
                        sum + kernel[r * kw + c] * in[(y - kh / 2 + r) * width + (x - kw / 2 + c)]);
            const float v = std::fmin(std::fabs(static_cast<float>(sum * coefficient)), 255.0f);
            out[y * width + x] = static_cast<unsigned char>(static_cast<int>(v + 0.5));
        }
    return out;
}

TEST(Template, MatchesTheDefinitionForEveryKernelShape) {
    // Small whole weights (the integer path), large whole and fractional ones (the rounding path),
    // chunk boundaries (width 600), kernels as large as the buffer, and kernels beyond the blocked
    // path's tables (300 wide, 12 tall).
    for (auto [width, height, kwFrom, kwTo, khFrom, khTo] : {std::array{37, 23, 1, 5, 1, 5},
                                                             {600, 7, 1, 5, 1, 5},
                                                             {5, 5, 1, 5, 1, 5},
                                                             {330, 4, 300, 300, 2, 2},
                                                             {40, 30, 3, 3, 12, 12}}) {
        const Bytes input = RandomBytes(size_t(width) * height, width * 31 + height);
        for (int kw = kwFrom; kw <= kwTo; ++kw)
            for (int kh = khFrom; kh <= khTo; ++kh)
                for (double scale : {1.0, 400.0, 0.137})
                    for (double coefficient : {1.0, -1.0, 0.5, 0.0371}) {
                        Kernel kernel(size_t(kw) * kh);
                        const Bytes r =
                            RandomBytes(kernel.size(), kw * 7 + kh * 3 + int(scale), 0, 20);
                        for (size_t i = 0; i < kernel.size(); ++i)
                            kernel[i] = (r[i] - 10) * scale + (scale < 1) * 0.01;
                        Bytes work = input;
                        ASSERT_EQ(1, CDataHandler().Template(work.data(), width, height,
                                                             kernel.data(), kw, kh, coefficient));
                        ASSERT_EQ(
                            ReferenceTemplate(input, width, height, kernel, kw, kh, coefficient),
                            work)
                            << width << "x" << height << " kernel " << kw << "x" << kh << " "
                            << scale << " " << coefficient;
                    }
    }
}

TEST(EdgeDetection, KernelsAndWorkedSteps) {
    // The larger of the two Sobel directions, plain or isotropic; the 5 x 5 Laplacian of Gaussian.
    const double r2 = std::sqrt(2.0);
    const Kernel sobel[] = {{-1, 0, 1, -2, 0, 2, -1, 0, 1},
                            {-1, -2, -1, 0, 0, 0, 1, 2, 1},
                            {-1, 0, 1, -r2, 0, r2, -1, 0, 1},
                            {-1, -r2, -1, 0, 0, 0, 1, r2, 1}};
    const Kernel log = {-2, -4, -4, -4, -2, -4, 0,  8,  0,  -4, -4, 8, 24,
                        8,  -4, -4, 0,  8,  0,  -4, -2, -4, -4, -4, -2};
    for (auto [width, height] : {std::pair{5, 5}, {41, 9}, {700, 5}}) {
        const Bytes input = RandomBytes(size_t(width) * height, width + height);
        for (int k = 0; k < 3; ++k) {
            Bytes work = input, expected = ReferenceTemplate(input, width, height, log, 5, 5);
            if (k < 2) {
                const Bytes a = ReferenceTemplate(input, width, height, sobel[2 * k], 3, 3),
                            b = ReferenceTemplate(input, width, height, sobel[2 * k + 1], 3, 3);
                for (size_t i = 0; i < a.size(); ++i)
                    expected[i] = std::max(a[i], b[i]);
            }
            CDataHandler d;
            ASSERT_EQ(1, k == 0   ? d.EdgeDetectionSobel(work.data(), width, height)
                         : k == 1 ? d.EdgeDetectionSobelEx(work.data(), width, height)
                                  : d.EdgeDetectionLog(work.data(), width, height));
            EXPECT_EQ(expected, work) << k << " " << width;
        }
    }
    // A step 0 | 255 gives 255 (clamped from 1020) beside it; a step of 10 gives 40 with the plain
    // weights and 34 (10 x (2 + sqrt 2) = 34.14, rounded) with the isotropic ones; the frame stays.
    for (auto [low, high, plainLevel, isoLevel] :
         {std::array{0, 255, 255, 255}, {50, 60, 40, 34}}) {
        Bytes step(8 * 5), plain, iso;
        for (int i = 0; i < 40; ++i)
            step[i] = static_cast<unsigned char>(i % 8 < 4 ? low : high);
        plain = iso = step;
        CDataHandler().EdgeDetectionSobel(plain.data(), 8, 5);
        CDataHandler().EdgeDetectionSobelEx(iso.data(), 8, 5);
        for (int i = 0; i < 40; ++i) {
            const bool frame = i % 8 == 0 || i % 8 == 7 || i < 8 || i >= 32,
                       beside = i % 8 == 3 || i % 8 == 4;
            EXPECT_EQ(frame ? step[i] : beside ? plainLevel : 0, plain[i]) << i;
            EXPECT_EQ(frame ? step[i] : beside ? isoLevel : 0, iso[i]) << i;
        }
    }
    // A 1 x 1 kernel of -2 with coefficient 0.5 keeps every pixel; one 4 wide writes columns 2 to
    // width - 2 only.
    const Bytes input = RandomBytes(8 * 3, 11);
    Bytes same = input, zeros = input;
    double minusTwo = -2.0;
    Kernel four(4, 0.0);
    CDataHandler().Template(same.data(), 8, 3, &minusTwo, 1, 1, 0.5);
    CDataHandler().Template(zeros.data(), 8, 3, four.data(), 4, 1, 1.0);
    EXPECT_EQ(input, same);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(i % 8 >= 2 && i % 8 <= 6 ? 0 : input[i], zeros[i]) << i;
}

TEST(Convolution, RefusalsAndFailingAllocations) {
    // Too small for the kernel (2 for Sobel, 4 for the Laplacian), null, empty kernels: refused
    // untouched; a failed scratch block too.
    Kernel kernel(9, 1.0);
    CDataHandler d;
    const std::function<int(unsigned char*, int, int)> operations[] = {
        [&](unsigned char* b, int w, int h) {
            return d.Template(b, w, h, kernel.data(), 3, 3, 0.1);
        },
        [&](unsigned char* b, int w, int h) { return d.EdgeDetectionSobel(b, w, h); },
        [&](unsigned char* b, int w, int h) { return d.EdgeDetectionSobelEx(b, w, h); },
        [&](unsigned char* b, int w, int h) { return d.EdgeDetectionLog(b, w, h); }};
    const Bytes picture = RandomBytes(9 * 6, 2);
    for (const auto& operation : operations) {
        ExpectCleanRefusals(picture, [&](unsigned char* b) { return operation(b, 9, 6); });
        for (auto [null, width, height] :
             {std::tuple{true, 9, 6}, {false, 2, 8}, {false, 8, 2}, {false, 4, 4}, {false, 0, 1}}) {
            Bytes work = picture;
            const bool small =
                &operation == &operations[3] ? width < 5 || height < 5 : width < 3 || height < 3;
            if (null || small) {
                EXPECT_EQ(0, operation(null ? nullptr : work.data(), width, height)) << width;
            }
            EXPECT_EQ(picture, work);
        }
    }
    Bytes work = picture;
    EXPECT_EQ(0, d.Template(work.data(), 4, 4, nullptr, 3, 3, 1.0) +
                     d.Template(work.data(), 4, 4, kernel.data(), 0, 3, 1.0) +
                     d.Template(work.data(), 4, 4, kernel.data(), 3, 0, 1.0));
    EXPECT_EQ(picture, work);
}

}  // namespace
