// Grey-level filters on a 4000 x 3000 grey picture, beside memcpy of the same bytes and the
// nearest OpenCV operation on one thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
using imgdesk::bench::RunInPlace;
using Bytes = std::vector<unsigned char>;

const Bytes& Grey() {
    return imgdesk::bench::Photo(8);
}

// Dark ground with 100 000 bright specks of 1 to 3 x 3 pixels and one larger patch: many regions.
const Bytes& Specks() {
    static const Bytes picture = [] {
        Bytes bytes(static_cast<size_t>(kWidth) * kHeight, 40);
        std::uint32_t seed = 99;
        for (int speck = 0; speck < 100000; ++speck) {
            seed = seed * 1664525u + 1013904223u;
            const int x = static_cast<int>((seed >> 8) % (kWidth - 3));
            seed = seed * 1664525u + 1013904223u;
            const int y = static_cast<int>((seed >> 8) % (kHeight - 3));
            const int size = 1 + static_cast<int>(seed >> 30) % 3;
            for (int dy = 0; dy < size; ++dy)
                for (int dx = 0; dx < size; ++dx)
                    bytes[(y + dy) * static_cast<size_t>(kWidth) + x + dx] = 200;
        }
        for (int y = 1000; y < 1400; ++y)
            std::memset(bytes.data() + y * static_cast<size_t>(kWidth) + 2000, 220, 500);
        return bytes;
    }();
    return picture;
}

void BM_Filters_Memcpy(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, Grey());
}
BENCHMARK(BM_Filters_Memcpy)->Unit(benchmark::kMillisecond);

// --- Grey stretch and thresholds -----------------------------------------------------------------

void BM_GreyDegreeSingle(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        return CDataHandler().GreyDegreeSingle(b, kWidth, kHeight, 100);
    });
}
BENCHMARK(BM_GreyDegreeSingle)->Unit(benchmark::kMillisecond);

void BM_OpenCV_Threshold(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC1, b);
        return cv::threshold(m, m, 100, 255, cv::THRESH_BINARY);
    });
}
BENCHMARK(BM_OpenCV_Threshold)->Unit(benchmark::kMillisecond);

void BM_GreyDegreeExtend(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        return CDataHandler().GreyDegreeExtend(b, kWidth, kHeight);
    });
}
BENCHMARK(BM_GreyDegreeExtend)->Unit(benchmark::kMillisecond);

void BM_Binarization(benchmark::State& state) {
    RunInPlace(state, Grey(),
               [](unsigned char* b) { return CDataHandler().Binarization(b, kWidth, kHeight); });
}
BENCHMARK(BM_Binarization)->Unit(benchmark::kMillisecond);

void BM_OpenCV_ThresholdOtsu(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC1, b);
        return cv::threshold(m, m, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    });
}
BENCHMARK(BM_OpenCV_ThresholdOtsu)->Unit(benchmark::kMillisecond);

// --- Convolution and edges -----------------------------------------------------------------------

void BM_EdgeDetectionSobel(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        return CDataHandler().EdgeDetectionSobel(b, kWidth, kHeight);
    });
}
BENCHMARK(BM_EdgeDetectionSobel)->Unit(benchmark::kMillisecond);

void BM_EdgeDetectionSobelEx(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        return CDataHandler().EdgeDetectionSobelEx(b, kWidth, kHeight);
    });
}
BENCHMARK(BM_EdgeDetectionSobelEx)->Unit(benchmark::kMillisecond);

// Both Sobel directions, their magnitudes and the larger of the two, as EdgeDetectionSobel does.
void BM_OpenCV_SobelMax(benchmark::State& state) {
    cv::Mat gx, gy, ax, ay;
    RunInPlace(state, Grey(), [&](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC1, b);
        cv::Sobel(m, gx, CV_16S, 1, 0, 3);
        cv::Sobel(m, gy, CV_16S, 0, 1, 3);
        cv::convertScaleAbs(gx, ax);
        cv::convertScaleAbs(gy, ay);
        cv::max(ax, ay, m);
        return 1;
    });
}
BENCHMARK(BM_OpenCV_SobelMax)->Unit(benchmark::kMillisecond);

void BM_EdgeDetectionLog(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        return CDataHandler().EdgeDetectionLog(b, kWidth, kHeight);
    });
}
BENCHMARK(BM_EdgeDetectionLog)->Unit(benchmark::kMillisecond);

void BM_OpenCV_Filter2D5x5(benchmark::State& state) {
    const float weights[25] = {-2, -4, -4, -4, -2, -4, 0,  8,  0,  -4, -4, 8, 24,
                               8,  -4, -4, 0,  8,  0,  -4, -2, -4, -4, -4, -2};
    const cv::Mat kernel(5, 5, CV_32F, const_cast<float*>(weights));
    cv::Mat response;
    RunInPlace(state, Grey(), [&](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC1, b);
        cv::filter2D(m, response, CV_16S, kernel);
        cv::convertScaleAbs(response, m);
        return 1;
    });
}
BENCHMARK(BM_OpenCV_Filter2D5x5)->Unit(benchmark::kMillisecond);

// A fractional 3 x 3 kernel: the path that repeats every single-precision rounding.
void BM_TemplateFractional3x3(benchmark::State& state) {
    double kernel[9] = {0.0625, 0.125, 0.0625, 0.125, 0.25, 0.125, 0.0625, 0.125, 0.0625};
    RunInPlace(state, Grey(), [&](unsigned char* b) {
        return CDataHandler().Template(b, kWidth, kHeight, kernel, 3, 3, 1.0);
    });
}
BENCHMARK(BM_TemplateFractional3x3)->Unit(benchmark::kMillisecond);

// --- Smoothing -----------------------------------------------------------------------------------

void BM_MedianFilter(benchmark::State& state) {
    RunInPlace(state, Grey(),
               [](unsigned char* b) { return CDataHandler().MedianFilter(b, kWidth, kHeight); });
}
BENCHMARK(BM_MedianFilter)->Unit(benchmark::kMillisecond);

void BM_OpenCV_Blur3x3(benchmark::State& state) {
    RunInPlace(state, Grey(), [](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC1, b);
        cv::blur(m, m, cv::Size(3, 3));
        return 1;
    });
}
BENCHMARK(BM_OpenCV_Blur3x3)->Unit(benchmark::kMillisecond);

const Bytes& Colour() {
    return imgdesk::bench::Photo(24);
}

void BM_Colour24MedianFilter(benchmark::State& state) {
    RunInPlace(state, Colour(), [](unsigned char* b) {
        return CDataHandler().Colour24MedianFilter(b, kWidth, kHeight);
    });
}
BENCHMARK(BM_Colour24MedianFilter)->Unit(benchmark::kMillisecond);

void BM_OpenCV_Blur3x3Colour(benchmark::State& state) {
    RunInPlace(state, Colour(), [](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC3, b);
        cv::blur(m, m, cv::Size(3, 3));
        return 1;
    });
}
BENCHMARK(BM_OpenCV_Blur3x3Colour)->Unit(benchmark::kMillisecond);

void BM_Colour24MedianFilterEx(benchmark::State& state) {
    RunInPlace(state, Colour(), [](unsigned char* b) {
        return CDataHandler().Colour24MedianFilterEx(b, kWidth, kHeight);
    });
}
BENCHMARK(BM_Colour24MedianFilterEx)->Unit(benchmark::kMillisecond);

// --- Regions -------------------------------------------------------------------------------------

void BM_RegionAnalysisSpecks(benchmark::State& state) {
    RunInPlace(state, Specks(),
               [](unsigned char* b) { return CDataHandler().RegionAnalysis(b, kWidth, kHeight); });
}
BENCHMARK(BM_RegionAnalysisSpecks)->Unit(benchmark::kMillisecond);

void BM_OpenCV_ConnectedComponentsSpecks(benchmark::State& state) {
    cv::Mat binary, labels, stats, centroids;
    RunInPlace(state, Specks(), [&](unsigned char* b) {
        cv::Mat m(kHeight, kWidth, CV_8UC1, b);
        cv::threshold(m, binary, 125, 255, cv::THRESH_BINARY);
        return cv::connectedComponentsWithStats(binary, labels, stats, centroids, 4, CV_32S);
    });
}
BENCHMARK(BM_OpenCV_ConnectedComponentsSpecks)->Unit(benchmark::kMillisecond);

// The photograph-like picture thresholded by the region test: large irregular regions.
void BM_RegionAnalysisPhoto(benchmark::State& state) {
    RunInPlace(state, Grey(),
               [](unsigned char* b) { return CDataHandler().RegionAnalysis(b, kWidth, kHeight); });
}
BENCHMARK(BM_RegionAnalysisPhoto)->Unit(benchmark::kMillisecond);

void BM_RegionCorrosion(benchmark::State& state) {
    RunInPlace(state, Specks(),
               [](unsigned char* b) { return CDataHandler().RegionCorrosion(b, kWidth, kHeight); });
}
BENCHMARK(BM_RegionCorrosion)->Unit(benchmark::kMillisecond);

void BM_AnalysisPotExLargePatch(benchmark::State& state) {
    Bytes marks(Specks().size()), region(Specks().size());
    for (auto _ : state) {
        state.PauseTiming();
        std::fill(marks.begin(), marks.end(), 0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            CDataHandler().AnalysisPotEx(const_cast<unsigned char*>(Specks().data()), kWidth,
                                         kHeight, marks.data(), 1200, 2200, region.data()));
    }
}
BENCHMARK(BM_AnalysisPotExLargePatch)->Unit(benchmark::kMillisecond);

}  // namespace
