#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "FilterTestSupport.h"
#include "pixel/DataHandler.h"

using imgdesk::test::Bytes;
using imgdesk::test::ExpectCleanRefusals;
using imgdesk::test::RandomBytes;

namespace {

// The definition, pixel by pixel: sums in window order, each partial sum rounded to float.
Bytes ReferenceTemplate(const Bytes& in, int width, int height, const std::vector<double>& kernel,
                        int kw, int kh, double coefficient) {
    Bytes out = in;
    const int cx = kw / 2, cy = kh / 2;
    for (int y = cy; y <= height - kh + cy; ++y) {
        for (int x = cx; x <= width - kw + cx; ++x) {
            float sum = 0.0f;
            for (int r = 0; r < kh; ++r)
                for (int c = 0; c < kw; ++c)
                    sum = static_cast<float>(sum + kernel[r * kw + c] *
                                                       in[(y - cy + r) * width + (x - cx + c)]);
            float v = std::fabs(static_cast<float>(sum * coefficient));
            if (v > 255.0f)
                v = 255.0f;
            out[y * width + x] = static_cast<unsigned char>(static_cast<int>(v + 0.5));
        }
    }
    return out;
}

Bytes MaxOf(const Bytes& a, const Bytes& b) {
    Bytes out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = std::max(a[i], b[i]);
    return out;
}

std::vector<double> RandomKernel(int taps, unsigned seed, int kind) {
    std::vector<double> kernel(taps);
    for (auto& w : kernel) {
        seed = seed * 1103515245u + 12345u;
        const int r = static_cast<int>((seed >> 16) % 21) - 10;
        w = kind == 0   ? r
            : kind == 1 ? r * 400.0
                        : r * 0.137 + 0.01;  // small whole, large whole, fractional
    }
    return kernel;
}

TEST(Template, MatchesTheDefinitionForEveryKernelShape) {
    // Both integer and rounding paths, chunk boundaries (width 600), and kernels as large as the
    // buffer.
    for (auto [width, height] : {std::pair{37, 23}, std::pair{600, 7}, std::pair{5, 5}}) {
        const Bytes input = RandomBytes(static_cast<size_t>(width) * height, width * 31 + height);
        for (int kw = 1; kw <= 5; ++kw) {
            for (int kh = 1; kh <= 5; ++kh) {
                for (int kind = 0; kind < 3; ++kind) {
                    for (double coefficient : {1.0, -1.0, 0.5, 0.0371}) {
                        auto kernel = RandomKernel(kw * kh, kw * 7 + kh * 3 + kind, kind);
                        Bytes work = input;
                        ASSERT_EQ(1, CDataHandler().Template(work.data(), width, height,
                                                             kernel.data(), kw, kh, coefficient));
                        ASSERT_EQ(
                            ReferenceTemplate(input, width, height, kernel, kw, kh, coefficient),
                            work)
                            << width << "x" << height << " kernel " << kw << "x" << kh << " kind "
                            << kind << " coefficient " << coefficient;
                    }
                }
            }
        }
    }
}

TEST(Template, VeryWideAndTallKernels) {
    // Kernels beyond the blocked path's tables take the tap-by-tap path.
    for (auto [width, height, kw, kh] : {std::array{330, 4, 300, 2}, std::array{40, 30, 3, 12}}) {
        const Bytes input = RandomBytes(static_cast<size_t>(width) * height, kw + kh);
        auto kernel = RandomKernel(kw * kh, 9, 2);
        Bytes work = input;
        ASSERT_EQ(1,
                  CDataHandler().Template(work.data(), width, height, kernel.data(), kw, kh, 0.01));
        EXPECT_EQ(ReferenceTemplate(input, width, height, kernel, kw, kh, 0.01), work)
            << kw << "x" << kh;
    }
}

TEST(Template, SmallKernelsKeepTheFrame) {
    const Bytes input = RandomBytes(8 * 3, 11);
    double minusTwo = -2.0;
    Bytes same = input;
    ASSERT_EQ(1, CDataHandler().Template(same.data(), 8, 3, &minusTwo, 1, 1, 0.5));
    EXPECT_EQ(input, same);

    // Width 4, all weights 0: output columns 2..width-2 become 0, columns 0, 1 and 7 keep theirs.
    std::vector<double> zeros(4, 0.0);
    Bytes work = input;
    ASSERT_EQ(1, CDataHandler().Template(work.data(), 8, 3, zeros.data(), 4, 1, 1.0));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(x >= 2 && x <= 6 ? 0 : input[y * 8 + x], work[y * 8 + x]) << x << "," << y;
}

TEST(Template, Refusals) {
    const Bytes input = RandomBytes(4 * 4, 3);
    std::vector<double> kernel(9, 1.0);
    CDataHandler h;
    Bytes work = input;
    EXPECT_EQ(0, h.Template(nullptr, 4, 4, kernel.data(), 3, 3, 1.0));
    EXPECT_EQ(0, h.Template(work.data(), 4, 4, nullptr, 3, 3, 1.0));
    EXPECT_EQ(0, h.Template(work.data(), 4, 4, kernel.data(), 0, 3, 1.0));
    EXPECT_EQ(0, h.Template(work.data(), 4, 4, kernel.data(), 3, 0, 1.0));
    EXPECT_EQ(0, h.Template(work.data(), 2, 8, kernel.data(), 3, 3, 1.0));
    EXPECT_EQ(0, h.Template(work.data(), 8, 2, kernel.data(), 3, 3, 1.0));
    EXPECT_EQ(input, work);

    const Bytes out = ExpectCleanRefusals(input, [&](unsigned char* b) {
        return CDataHandler().Template(b, 4, 4, kernel.data(), 3, 3, 0.1);
    });
    EXPECT_EQ(ReferenceTemplate(input, 4, 4, kernel, 3, 3, 0.1), out);
}

const std::vector<double> kSobelX = {-1, 0, 1, -2, 0, 2, -1, 0, 1};
const std::vector<double> kSobelY = {-1, -2, -1, 0, 0, 0, 1, 2, 1};

TEST(EdgeDetection, SobelMatchesTheTwoKernels) {
    const double r2 = std::sqrt(2.0);
    const std::vector<double> isoX = {-1, 0, 1, -r2, 0, r2, -1, 0, 1};
    const std::vector<double> isoY = {-1, -r2, -1, 0, 0, 0, 1, r2, 1};
    for (auto [width, height] : {std::pair{3, 3}, std::pair{41, 9}, std::pair{700, 5}}) {
        const Bytes input = RandomBytes(static_cast<size_t>(width) * height, width + height);
        Bytes plain = input, isotropic = input;
        ASSERT_EQ(1, CDataHandler().EdgeDetectionSobel(plain.data(), width, height));
        ASSERT_EQ(1, CDataHandler().EdgeDetectionSobelEx(isotropic.data(), width, height));
        EXPECT_EQ(MaxOf(ReferenceTemplate(input, width, height, kSobelX, 3, 3, 1.0),
                        ReferenceTemplate(input, width, height, kSobelY, 3, 3, 1.0)),
                  plain);
        EXPECT_EQ(MaxOf(ReferenceTemplate(input, width, height, isoX, 3, 3, 1.0),
                        ReferenceTemplate(input, width, height, isoY, 3, 3, 1.0)),
                  isotropic);
    }
}

TEST(EdgeDetection, StepsAndUniformBuffers) {
    const int width = 8, height = 5;
    Bytes step(width * height), small(width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            step[y * width + x] = x < 4 ? 0 : 255;
            small[y * width + x] = x < 4 ? 50 : 60;
        }
    Bytes plain = step;
    ASSERT_EQ(1, CDataHandler().EdgeDetectionSobel(plain.data(), width, height));
    Bytes plainSmall = small, iso = small;
    ASSERT_EQ(1, CDataHandler().EdgeDetectionSobel(plainSmall.data(), width, height));
    ASSERT_EQ(1, CDataHandler().EdgeDetectionSobelEx(iso.data(), width, height));
    for (int y = 1; y < height - 1; ++y) {
        for (int x = 1; x < width - 1; ++x) {
            const bool beside = x == 3 || x == 4;
            EXPECT_EQ(beside ? 255 : 0, plain[y * width + x]);
            EXPECT_EQ(beside ? 40 : 0, plainSmall[y * width + x]);
            EXPECT_EQ(beside ? 34 : 0, iso[y * width + x]);  // 10 x (2 + sqrt 2) = 34.14
        }
    }
    EXPECT_EQ(step[0], plain[0]);
    EXPECT_EQ(step[width - 1], plain[width - 1]);

    for (auto operation : {&CDataHandler::EdgeDetectionSobel, &CDataHandler::EdgeDetectionSobelEx,
                           &CDataHandler::EdgeDetectionLog}) {
        Bytes uniform(9 * 7, 99);
        ASSERT_EQ(1, (CDataHandler().*operation)(uniform.data(), 9, 7));
        const int frame = operation == &CDataHandler::EdgeDetectionLog ? 2 : 1;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                const bool inside = x >= frame && x < 9 - frame && y >= frame && y < 7 - frame;
                EXPECT_EQ(inside ? 0 : 99, uniform[y * 9 + x]);
            }
    }
}

TEST(EdgeDetection, LogMatchesItsKernel) {
    const std::vector<double> log = {-2, -4, -4, -4, -2, -4, 0,  8,  0,  -4, -4, 8, 24,
                                     8,  -4, -4, 0,  8,  0,  -4, -2, -4, -4, -4, -2};
    const Bytes input = RandomBytes(23 * 11, 77);
    Bytes work = input;
    ASSERT_EQ(1, CDataHandler().EdgeDetectionLog(work.data(), 23, 11));
    EXPECT_EQ(ReferenceTemplate(input, 23, 11, log, 5, 5, 1.0), work);
}

TEST(EdgeDetection, RefusalsAndFailingAllocations) {
    CDataHandler h;
    Bytes tiny = RandomBytes(4 * 4, 1);
    const Bytes before = tiny;
    EXPECT_EQ(0, h.EdgeDetectionSobel(nullptr, 4, 4));
    EXPECT_EQ(0, h.EdgeDetectionSobel(tiny.data(), 2, 8));
    EXPECT_EQ(0, h.EdgeDetectionSobelEx(tiny.data(), 8, 2));
    EXPECT_EQ(0, h.EdgeDetectionSobelEx(tiny.data(), 0, 1));
    EXPECT_EQ(0, h.EdgeDetectionLog(tiny.data(), 4, 4));
    EXPECT_EQ(0, h.EdgeDetectionLog(nullptr, 8, 8));
    EXPECT_EQ(before, tiny);

    const Bytes input = RandomBytes(9 * 6, 2);
    ExpectCleanRefusals(
        input, [](unsigned char* b) { return CDataHandler().EdgeDetectionSobel(b, 9, 6); });
    ExpectCleanRefusals(
        input, [](unsigned char* b) { return CDataHandler().EdgeDetectionSobelEx(b, 9, 6); });
    ExpectCleanRefusals(input,
                        [](unsigned char* b) { return CDataHandler().EdgeDetectionLog(b, 9, 6); });
}

}  // namespace
