// Black-and-white conversion of a 12-megapixel scanned page with a dark border (ImageToSingle),
// the grey copy (ImageToGray), memcpy of the same bytes, and an OpenCV pipeline of the same shape:
// grey conversion, min-max stretch, threshold, flood fill of the dark border from the edges.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "document/DocDesk.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;

constexpr int kBorder = 150;

// Top-row-first 24-bit rows: a light page with photograph-like texture inside a dark border.
const std::vector<unsigned char>& Page() {
    static const std::vector<unsigned char> page = [] {
        std::vector<unsigned char> rows = imgdesk::bench::PhotoLike(kWidth, kHeight, 24);
        const int stride = kWidth * 3;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                unsigned char* p = rows.data() + static_cast<size_t>(y) * stride + x * 3;
                const bool border =
                    x < kBorder || y < kBorder || x >= kWidth - kBorder || y >= kHeight - kBorder;
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<unsigned char>(border ? p[c] / 8 : 128 + p[c] / 2);
            }
        return rows;
    }();
    return page;
}

void FillImage(ATL::CImage& image, const std::vector<unsigned char>& rows) {
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(image.GetPixelAddress(0, y), rows.data() + static_cast<size_t>(y) * kWidth * 3,
                    static_cast<size_t>(kWidth) * 3);
}

void BM_Memcpy(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, Page());
}

void BM_ImageToSingle(benchmark::State& state) {
    ATL::CImage image;
    image.Create(kWidth, kHeight, 24);
    for (auto _ : state) {
        state.PauseTiming();
        FillImage(image, Page());
        state.ResumeTiming();
        benchmark::DoNotOptimize(CDocDesk().ImageToSingle(image));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}

void BM_ImageToGray(benchmark::State& state) {
    ATL::CImage source, target;
    source.Create(kWidth, kHeight, 24);
    FillImage(source, Page());
    for (auto _ : state)
        benchmark::DoNotOptimize(CDocDesk().ImageToGray(source, target));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}

void BM_OpenCvMono(benchmark::State& state) {
    const cv::Mat source(kHeight, kWidth, CV_8UC3, const_cast<unsigned char*>(Page().data()));
    cv::Mat grey;
    for (auto _ : state) {
        cv::cvtColor(source, grey, cv::COLOR_BGR2GRAY);
        cv::normalize(grey, grey, 0, 255, cv::NORM_MINMAX);
        cv::threshold(grey, grey, 100, 255, cv::THRESH_BINARY);
        for (int r = 0; r < kHeight; ++r)
            for (int c : {0, kWidth - 1})
                if (grey.at<unsigned char>(r, c) < 125)
                    cv::floodFill(grey, cv::Point(c, r), 255, nullptr, 0, 0, 4);
        for (int c = 0; c < kWidth; ++c)
            for (int r : {0, kHeight - 1})
                if (grey.at<unsigned char>(r, c) < 125)
                    cv::floodFill(grey, cv::Point(c, r), 255, nullptr, 0, 0, 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageToSingle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageToGray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCvMono)->Unit(benchmark::kMillisecond);

}  // namespace
