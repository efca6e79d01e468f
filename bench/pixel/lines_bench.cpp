// Hough lines and the edge-based skew and page rectangle, beside memcpy of the same bytes,
// OpenCV's HoughLines (one thread) and Leptonica's skew finder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

// Leptonica defines TRUE and FALSE as macros: it comes after the platform types.
#include <allheaders.h>

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
using imgdesk::bench::RunOnPicture;

constexpr int kEdgeWidth = 320, kEdgeHeight = 256;

// The outline of a page turned by 6 degrees in a 320 x 256 edge image, two pixels thick.
std::vector<unsigned char> PageOutline() {
    std::vector<unsigned char> edges(kEdgeWidth * kEdgeHeight, 0);
    const double c = std::cos(0.105), s = std::sin(0.105);
    for (int y = 0; y < kEdgeHeight; ++y)
        for (int x = 0; x < kEdgeWidth; ++x) {
            const double dx = x - kEdgeWidth / 2.0, dy = y - kEdgeHeight / 2.0;
            const double u = std::fabs(dx * c + dy * s), v = std::fabs(-dx * s + dy * c);
            const bool inside = u < 120 && v < 90;
            if (inside && (u > 118 || v > 88))
                edges[y * kEdgeWidth + x] = 255;
        }
    return edges;
}

// A photograph-like page turned by 6 degrees on a dark background.
std::vector<unsigned char> TurnedPage() {
    return imgdesk::bench::TurnedPageOnDark(0.105);
}

void BM_Lines_MemcpyEdges(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, PageOutline());
}
BENCHMARK(BM_Lines_MemcpyEdges);

void BM_HoughTrans(benchmark::State& state) {
    auto edges = PageOutline();
    _STRAIGHTLINE line{};
    for (auto _ : state) {
        CDataHandler().HoughTrans(edges.data(), kEdgeWidth, kEdgeHeight, line);
        benchmark::DoNotOptimize(line);
    }
    state.SetBytesProcessed(state.iterations() * edges.size());
}
BENCHMARK(BM_HoughTrans)->Unit(benchmark::kMicrosecond);

void BM_OpenCV_HoughLines(benchmark::State& state) {
    auto edges = PageOutline();
    const cv::Mat image(kEdgeHeight, kEdgeWidth, CV_8UC1, edges.data());
    std::vector<cv::Vec2f> lines;
    for (auto _ : state) {
        cv::HoughLines(image, lines, 1, CV_PI / 90, 60);
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(state.iterations() * edges.size());
}
BENCHMARK(BM_OpenCV_HoughLines)->Unit(benchmark::kMicrosecond);

void BM_Lines_MemcpyPhoto(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, TurnedPage());
}
BENCHMARK(BM_Lines_MemcpyPhoto)->Unit(benchmark::kMillisecond);

void BM_CheckRotatePictureEx(benchmark::State& state) {
    auto picture = TurnedPage();
    RunOnPicture(state, picture, [](unsigned char* b) {
        return CDataHandler().CheckRotatePictureEx(b, kWidth, kHeight, 24, nullptr);
    });
}
BENCHMARK(BM_CheckRotatePictureEx)->Unit(benchmark::kMillisecond);

void BM_GetBlackSideRectEx(benchmark::State& state) {
    auto picture = TurnedPage();
    RunOnPicture(state, picture, [](unsigned char* b) {
        return CDataHandler().GetBlackSideRectEx(b, kWidth, kHeight, 24, nullptr,
                                                 CRect(0, 0, kWidth, kHeight));
    });
}
BENCHMARK(BM_GetBlackSideRectEx)->Unit(benchmark::kMillisecond);

// Leptonica works on a binary picture: the grey conversion and thresholding are timed with it.
void BM_Leptonica_pixFindSkew(benchmark::State& state) {
    const auto picture = TurnedPage();
    const int stride = imgdesk::pixel::RowStride(kWidth, 24);
    PIX* colour = pixCreate(kWidth, kHeight, 32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* p = picture.data() + static_cast<size_t>(y) * stride + x * 3;
            pixSetRGBPixel(colour, x, y, p[2], p[1], p[0]);
        }
    for (auto _ : state) {
        PIX* grey = pixConvertRGBToGray(colour, 0.3f, 0.59f, 0.11f);
        PIX* binary = pixThresholdToBinary(grey, 128);
        l_float32 angle = 0, confidence = 0;
        pixFindSkew(binary, &angle, &confidence);
        benchmark::DoNotOptimize(angle);
        pixDestroy(&binary);
        pixDestroy(&grey);
    }
    pixDestroy(&colour);
    state.SetBytesProcessed(state.iterations() * picture.size());
}
BENCHMARK(BM_Leptonica_pixFindSkew)->Unit(benchmark::kMillisecond);

}  // namespace
