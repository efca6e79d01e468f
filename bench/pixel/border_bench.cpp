// Page border, skew and black-side removal on 4000 x 3000 pictures, beside memcpy of the same
// bytes and the nearest OpenCV pipelines (one thread).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
using imgdesk::bench::RunInPlace;
using imgdesk::bench::RunOnPicture;

// A photograph-like page turned by 7 degrees on a dark, textured background.
std::vector<unsigned char> PageOnDarkBackground() {
    return imgdesk::bench::TurnedPageOnDark(0.122);
}

void BM_Border_Memcpy24(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, PageOnDarkBackground());
}
BENCHMARK(BM_Border_Memcpy24)->Unit(benchmark::kMillisecond);

void BM_GetBlackSideRect(benchmark::State& state) {
    auto picture = PageOnDarkBackground();
    RunOnPicture(state, picture, [](unsigned char* b) {
        return CDataHandler().GetBlackSideRect(b, kWidth, kHeight, 24, nullptr,
                                               CRect(0, 0, kWidth, kHeight));
    });
}
BENCHMARK(BM_GetBlackSideRect)->Unit(benchmark::kMillisecond);

void BM_CheckRotatePicture(benchmark::State& state) {
    auto picture = PageOnDarkBackground();
    RunOnPicture(state, picture, [](unsigned char* b) {
        return CDataHandler().CheckRotatePicture(b, kWidth, kHeight, 24, nullptr);
    });
}
BENCHMARK(BM_CheckRotatePicture)->Unit(benchmark::kMillisecond);

// The same steps in OpenCV: grey conversion, two erosions with the cross, bright-pixel row and
// column counts.
void BM_OpenCV_GreyErodeProfiles(benchmark::State& state) {
    auto picture = PageOnDarkBackground();
    const cv::Mat colour(kHeight, kWidth, CV_8UC3, picture.data());
    const cv::Mat cross = cv::getStructuringElement(cv::MORPH_CROSS, cv::Size(3, 3));
    cv::Mat grey, bright, eroded, rows, columns;
    for (auto _ : state) {
        cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
        cv::threshold(grey, bright, 127, 1, cv::THRESH_BINARY);
        cv::erode(bright, eroded, cross, cv::Point(-1, -1), 2);
        cv::reduce(eroded, rows, 1, cv::REDUCE_SUM, CV_32S);
        cv::reduce(eroded, columns, 0, cv::REDUCE_SUM, CV_32S);
        benchmark::DoNotOptimize(rows.data);
        benchmark::DoNotOptimize(columns.data);
    }
    state.SetBytesProcessed(state.iterations() * picture.size());
}
BENCHMARK(BM_OpenCV_GreyErodeProfiles)->Unit(benchmark::kMillisecond);

// --- Black-side removal: every dark edge pixel seeds a fill, as the mono conversion does -------

enum class Edges { NoisyBand, IsolatedSpecks };

// A white page. NoisyBand: a dark band 150 pixels wide along all four edges, with noisy dark
// levels and a bright speck in every eighth pixel. IsolatedSpecks: every other pixel of the
// outer two rows and columns is dark, each speck on its own.
std::vector<unsigned char> MonoPage(Edges edges) {
    std::vector<unsigned char> grey(static_cast<size_t>(kWidth) * kHeight, 255);
    std::uint32_t noise = 99;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int edge = std::min(std::min(x, y), std::min(kWidth - 1 - x, kHeight - 1 - y));
            unsigned char& level = grey[static_cast<size_t>(y) * kWidth + x];
            if (edges == Edges::NoisyBand && edge < 150) {
                level = (noise >> 29) == 0 ? 230 : static_cast<unsigned char>((noise >> 16) % 125);
            } else if (edges == Edges::IsolatedSpecks && edge < 2 && (x + y) % 2 == 0) {
                level = static_cast<unsigned char>((noise >> 16) % 125);
            }
        }
    }
    return grey;
}

template <typename Fill>
void SeedEveryEdge(unsigned char* g, Fill fill) {
    const int w = kWidth, h = kHeight;
    for (int r = 0; r < h; ++r) {
        if (g[r * w] < 125)
            fill(r, 0);
        if (g[r * w + w - 1] < 125)
            fill(r, w - 1);
    }
    for (int c = 0; c < w; ++c) {
        if (g[c] < 125)
            fill(0, c);
        if (g[(h - 1) * w + c] < 125)
            fill(h - 1, c);
    }
}

void BM_Border_MemcpyGrey(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, MonoPage(Edges::NoisyBand));
}
BENCHMARK(BM_Border_MemcpyGrey)->Unit(benchmark::kMillisecond);

void BM_DelBlackSide_EdgeSeeds(benchmark::State& state) {
    long long calls = 0;
    RunInPlace(state, MonoPage(static_cast<Edges>(state.range(0))), [&](unsigned char* grey) {
        SeedEveryEdge(grey, [&](int row, int column) {
            ++calls;
            benchmark::DoNotOptimize(
                CDataHandler().DelBlackSide(grey, kWidth, kHeight, row, column));
        });
    });
    state.counters["calls"] = benchmark::Counter(double(calls) / state.iterations());
}
BENCHMARK(BM_DelBlackSide_EdgeSeeds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// OpenCV's flood fill over levels 0..124 from the same seeds, 4-connected.
void BM_OpenCV_FloodFill_EdgeSeeds(benchmark::State& state) {
    RunInPlace(state, MonoPage(static_cast<Edges>(state.range(0))), [](unsigned char* grey) {
        cv::Mat image(kHeight, kWidth, CV_8UC1, grey);
        SeedEveryEdge(grey, [&](int row, int column) {
            const int seed = image.at<unsigned char>(row, column);
            cv::floodFill(image, cv::Point(column, row), cv::Scalar(255), nullptr, cv::Scalar(seed),
                          cv::Scalar(124 - seed), 4 | cv::FLOODFILL_FIXED_RANGE);
        });
    });
}
BENCHMARK(BM_OpenCV_FloodFill_EdgeSeeds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
