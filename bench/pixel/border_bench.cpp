// Page border, skew and black-side removal on 4000 x 3000 pictures, beside memcpy of the same
// bytes and the nearest OpenCV pipelines (one thread).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;

// A photograph-like page turned by 7 degrees on a dark, textured background: inside the page the
// photograph's levels are lifted to 128..255, outside they are pressed to 0..63.
std::vector<unsigned char> PageOnDarkBackground() {
    auto picture = imgdesk::bench::PhotoLike(kWidth, kHeight, 24);
    const int stride = imgdesk::pixel::RowStride(kWidth, 24);
    const double c = std::cos(0.122), s = std::sin(0.122);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = x - kWidth / 2.0, dy = y - kHeight / 2.0;
            const bool page =
                std::fabs(dx * c + dy * s) < 1500 && std::fabs(-dx * s + dy * c) < 1100;
            unsigned char* p = picture.data() + static_cast<size_t>(y) * stride + x * 3;
            for (int k = 0; k < 3; ++k)
                p[k] = page ? 128 + p[k] / 2 : p[k] / 4;
        }
    }
    return picture;
}

void BM_Border_Memcpy24(benchmark::State& state) {
    const auto source = PageOnDarkBackground();
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.size());
}
BENCHMARK(BM_Border_Memcpy24)->Unit(benchmark::kMillisecond);

void BM_GetBlackSideRect(benchmark::State& state) {
    auto picture = PageOnDarkBackground();
    for (auto _ : state) {
        benchmark::DoNotOptimize(CDataHandler().GetBlackSideRect(
            picture.data(), kWidth, kHeight, 24, nullptr, CRect(0, 0, kWidth, kHeight)));
    }
    state.SetBytesProcessed(state.iterations() * picture.size());
}
BENCHMARK(BM_GetBlackSideRect)->Unit(benchmark::kMillisecond);

void BM_CheckRotatePicture(benchmark::State& state) {
    auto picture = PageOnDarkBackground();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CDataHandler().CheckRotatePicture(picture.data(), kWidth, kHeight, 24, nullptr));
    }
    state.SetBytesProcessed(state.iterations() * picture.size());
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
    const auto source = MonoPage(Edges::NoisyBand);
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.size());
}
BENCHMARK(BM_Border_MemcpyGrey)->Unit(benchmark::kMillisecond);

void BM_DelBlackSide_EdgeSeeds(benchmark::State& state) {
    const auto original = MonoPage(static_cast<Edges>(state.range(0)));
    auto grey = original;
    long long calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        grey = original;
        state.ResumeTiming();
        SeedEveryEdge(grey.data(), [&](int row, int column) {
            ++calls;
            benchmark::DoNotOptimize(
                CDataHandler().DelBlackSide(grey.data(), kWidth, kHeight, row, column));
        });
        benchmark::ClobberMemory();
    }
    state.counters["calls"] = benchmark::Counter(double(calls) / state.iterations());
    state.SetBytesProcessed(state.iterations() * original.size());
}
BENCHMARK(BM_DelBlackSide_EdgeSeeds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// OpenCV's flood fill over levels 0..124 from the same seeds, 4-connected.
void BM_OpenCV_FloodFill_EdgeSeeds(benchmark::State& state) {
    const auto original = MonoPage(static_cast<Edges>(state.range(0)));
    auto grey = original;
    for (auto _ : state) {
        state.PauseTiming();
        grey = original;
        state.ResumeTiming();
        cv::Mat image(kHeight, kWidth, CV_8UC1, grey.data());
        SeedEveryEdge(grey.data(), [&](int row, int column) {
            const int seed = image.at<unsigned char>(row, column);
            cv::floodFill(image, cv::Point(column, row), cv::Scalar(255), nullptr, cv::Scalar(seed),
                          cv::Scalar(124 - seed), 4 | cv::FLOODFILL_FIXED_RANGE);
        });
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * original.size());
}
BENCHMARK(BM_OpenCV_FloodFill_EdgeSeeds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
