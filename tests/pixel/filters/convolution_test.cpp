#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;
using Kernel = std::vector<double>;

// The definition, pixel by pixel: sums in window order, each partial sum rounded to float.
Bytes ReferenceTemplate(const Bytes& in, int width, int height, const Kernel& kernel, int kw,
                        int kh, double coefficient) {
    Bytes out = in;
    const int cx = kw / 2, cy = kh / 2;
    for (int y = cy; y <= height - kh + cy; ++y)
        for (int x = cx; x <= width - kw + cx; ++x) {
            float sum = 0.0f;
            for (int r = 0; r < kh; ++r)
                for (int c = 0; c < kw; ++c)
                    sum = static_cast<float>(sum + kernel[r * kw + c] *
                                                       in[(y - cy + r) * width + (x - cx + c)]);
            const float v = std::fmin(std::fabs(static_cast<float>(sum * coefficient)), 255.0f);
            out[y * width + x] = static_cast<unsigned char>(static_cast<int>(v + 0.5));
        }
    return out;
}

// The larger of two references, byte by byte: the Sobel operations.
Bytes MaxOf(const Bytes& a, const Bytes& b) {
    Bytes out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = std::max(a[i], b[i]);
    return out;
}

const double kRoot2 = std::sqrt(2.0);
const Kernel kSobelX = {-1, 0, 1, -2, 0, 2, -1, 0, 1}, kSobelY = {-1, -2, -1, 0, 0, 0, 1, 2, 1};
const Kernel kIsoX = {-1, 0, 1, -kRoot2, 0, kRoot2, -1, 0, 1},
             kIsoY = {-1, -kRoot2, -1, 0, 0, 0, 1, kRoot2, 1};
const Kernel kLog = {-2, -4, -4, -4, -2, -4, 0,  8,  0,  -4, -4, 8, 24,
                     8,  -4, -4, 0,  8,  0,  -4, -2, -4, -4, -4, -2};

TEST(Template, MatchesTheDefinitionForEveryKernelShape) {
    // Small whole weights (the integer path), large whole and fractional ones (the rounding path),
    // chunk boundaries (width 600), kernels as large as the buffer, and kernels beyond the blocked
    // path's tables (300 wide, 12 tall).
    struct Shape {
        int width, height, kwFrom, kwTo, khFrom, khTo;
    };
    for (const Shape& s :
         {Shape{37, 23, 1, 5, 1, 5}, Shape{600, 7, 1, 5, 1, 5}, Shape{5, 5, 1, 5, 1, 5},
          Shape{330, 4, 300, 300, 2, 2}, Shape{40, 30, 3, 3, 12, 12}}) {
        const Bytes input = RandomBytes(size_t(s.width) * s.height, s.width * 31 + s.height);
        for (int kw = s.kwFrom; kw <= s.kwTo; ++kw)
            for (int kh = s.khFrom; kh <= s.khTo; ++kh)
                for (int kind = 0; kind < 3; ++kind)
                    for (double coefficient : {1.0, -1.0, 0.5, 0.0371}) {
                        Kernel kernel(size_t(kw) * kh);
                        const Bytes r = RandomBytes(kernel.size(), kw * 7 + kh * 3 + kind, 0, 20);
                        for (size_t i = 0; i < kernel.size(); ++i)
                            kernel[i] = (r[i] - 10) * std::array{1.0, 400.0, 0.137}[kind] +
                                        (kind == 2) * 0.01;
                        Bytes work = input;
                        ASSERT_EQ(1, CDataHandler().Template(work.data(), s.width, s.height,
                                                             kernel.data(), kw, kh, coefficient));
                        ASSERT_EQ(ReferenceTemplate(input, s.width, s.height, kernel, kw, kh,
                                                    coefficient),
                                  work)
                            << s.width << "x" << s.height << " kernel " << kw << "x" << kh
                            << " kind " << kind << " " << coefficient;
                    }
    }
    // A 1 x 1 kernel of -2 with coefficient 0.5 keeps every pixel; a kernel 4 wide writes columns
    // 2 to width - 2 only.
    const Bytes input = RandomBytes(8 * 3, 11);
    Bytes same = input, zeros = input;
    double minusTwo = -2.0;
    Kernel four(4, 0.0);
    ASSERT_EQ(1, CDataHandler().Template(same.data(), 8, 3, &minusTwo, 1, 1, 0.5));
    ASSERT_EQ(1, CDataHandler().Template(zeros.data(), 8, 3, four.data(), 4, 1, 1.0));
    EXPECT_EQ(input, same);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(i % 8 >= 2 && i % 8 <= 6 ? 0 : input[i], zeros[i]) << i;
}

TEST(EdgeDetection, SobelAndLogMatchTheirKernels) {
    for (auto [width, height] : {std::pair{5, 5}, {41, 9}, {700, 5}}) {
        const Bytes input = RandomBytes(size_t(width) * height, width + height);
        Bytes plain = input, isotropic = input, log = input;
        ASSERT_EQ(1, CDataHandler().EdgeDetectionSobel(plain.data(), width, height));
        ASSERT_EQ(1, CDataHandler().EdgeDetectionSobelEx(isotropic.data(), width, height));
        ASSERT_EQ(1, CDataHandler().EdgeDetectionLog(log.data(), width, height));
        const auto reference = [&](const Kernel& k, int side) {
            return ReferenceTemplate(input, width, height, k, side, side, 1.0);
        };
        EXPECT_EQ(MaxOf(reference(kSobelX, 3), reference(kSobelY, 3)), plain);
        EXPECT_EQ(MaxOf(reference(kIsoX, 3), reference(kIsoY, 3)), isotropic);
        EXPECT_EQ(reference(kLog, 5), log);
    }
}

TEST(EdgeDetection, Steps) {
    // A step 0 | 255 gives 255 (clamped from 1020) beside it; a step of 10 gives 40 with the plain
    // weights and 34 (10 x (2 + sqrt 2) = 34.14, rounded) with the isotropic ones.
    for (auto [low, high, plainLevel, isoLevel] :
         {std::array{0, 255, 255, 255}, {50, 60, 40, 34}}) {
        Bytes step(8 * 5);
        for (int i = 0; i < 40; ++i)
            step[i] = static_cast<unsigned char>(i % 8 < 4 ? low : high);
        Bytes plain = step, iso = step;
        ASSERT_EQ(1, CDataHandler().EdgeDetectionSobel(plain.data(), 8, 5));
        ASSERT_EQ(1, CDataHandler().EdgeDetectionSobelEx(iso.data(), 8, 5));
        for (int i = 0; i < 40; ++i) {
            const int x = i % 8, y = i / 8;
            const bool frame = x == 0 || y == 0 || x == 7 || y == 4, beside = x == 3 || x == 4;
            EXPECT_EQ(frame ? step[i] : beside ? plainLevel : 0, plain[i]) << i;
            EXPECT_EQ(frame ? step[i] : beside ? isoLevel : 0, iso[i]) << i;
        }
    }
}

TEST(Convolution, RefusalsAndFailingAllocations) {
    Kernel kernel(9, 1.0);
    CDataHandler d;
    const std::function<int(unsigned char*)> refused[] = {
        [&](unsigned char*) { return d.Template(nullptr, 4, 4, kernel.data(), 3, 3, 1.0); },
        [&](unsigned char* b) { return d.Template(b, 4, 4, nullptr, 3, 3, 1.0); },
        [&](unsigned char* b) { return d.Template(b, 4, 4, kernel.data(), 0, 3, 1.0); },
        [&](unsigned char* b) { return d.Template(b, 4, 4, kernel.data(), 3, 0, 1.0); },
        [&](unsigned char* b) { return d.Template(b, 2, 8, kernel.data(), 3, 3, 1.0); },
        [&](unsigned char* b) { return d.Template(b, 8, 2, kernel.data(), 3, 3, 1.0); },
        [&](unsigned char*) { return d.EdgeDetectionSobel(nullptr, 4, 4); },
        [&](unsigned char* b) { return d.EdgeDetectionSobel(b, 2, 8); },
        [&](unsigned char* b) { return d.EdgeDetectionSobelEx(b, 8, 2); },
        [&](unsigned char* b) { return d.EdgeDetectionSobelEx(b, 0, 1); },
        [&](unsigned char* b) { return d.EdgeDetectionLog(b, 4, 4); },
        [&](unsigned char*) { return d.EdgeDetectionLog(nullptr, 8, 8); },
    };
    const Bytes input = RandomBytes(16, 1);
    for (const auto& call : refused) {
        Bytes work = input;
        EXPECT_EQ(0, call(work.data()));
        EXPECT_EQ(input, work);
    }
    const Bytes picture = RandomBytes(9 * 6, 2);
    EXPECT_EQ(ReferenceTemplate(picture, 9, 6, kernel, 3, 3, 0.1),
              ExpectCleanRefusals(picture, [&](unsigned char* b) {
                  return d.Template(b, 9, 6, kernel.data(), 3, 3, 0.1);
              }));
    for (auto operation : {&CDataHandler::EdgeDetectionSobel, &CDataHandler::EdgeDetectionSobelEx,
                           &CDataHandler::EdgeDetectionLog})
        ExpectCleanRefusals(picture, [&](unsigned char* b) { return (d.*operation)(b, 9, 6); });
}

}  // namespace
