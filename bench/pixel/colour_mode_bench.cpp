// Colour-mode conversions of a 4000 x 3000 picture into a reused destination, beside memcpy of the
// source bytes and OpenCV's grey conversion (one thread).
#include <benchmark/benchmark.h>

#include <vector>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
using imgdesk::bench::Photo;

void BM_Colour_Memcpy(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, Photo(int(state.range(0))));
}
BENCHMARK(BM_Colour_Memcpy)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

template <typename Operation>
void RunConversion(benchmark::State& state, size_t destinationBytes, Operation operation) {
    const auto& source = Photo(int(state.range(0)));
    std::vector<unsigned char> target(destinationBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            operation(const_cast<unsigned char*>(source.data()), target.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.size());
}

void BM_ColourToGreyScale(benchmark::State& state) {
    const int bits = int(state.range(0));
    RunConversion(state, size_t(kWidth) * kHeight, [bits](unsigned char* s, unsigned char* d) {
        return CDataHandler().ColourToGreyScale(s, kWidth, kHeight, bits, nullptr, d, 1);
    });
}
BENCHMARK(BM_ColourToGreyScale)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_OpenCV_CvtColorGrey(benchmark::State& state) {
    const int bits = int(state.range(0));
    const cv::Mat source(kHeight, kWidth, CV_8UC(bits / 8),
                         const_cast<unsigned char*>(Photo(bits).data()));
    cv::Mat target;
    for (auto _ : state) {
        cv::cvtColor(source, target, bits == 24 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGRA2GRAY);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.total() * source.elemSize());
}
BENCHMARK(BM_OpenCV_CvtColorGrey)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_ColourToSingle(benchmark::State& state) {
    const int bits = int(state.range(0));
    RunConversion(state, size_t(kWidth) * kHeight, [bits](unsigned char* s, unsigned char* d) {
        return CDataHandler().ColourToSingle(s, kWidth, kHeight, bits, nullptr, d, 128);
    });
}
BENCHMARK(BM_ColourToSingle)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_ColourToReversed(benchmark::State& state) {
    const int bits = int(state.range(0));
    RunConversion(state, Photo(bits).size(), [bits](unsigned char* s, unsigned char* d) {
        return CDataHandler().ColourToReversed(s, kWidth, kHeight, bits, nullptr, d);
    });
}
BENCHMARK(BM_ColourToReversed)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_ColourToRelief(benchmark::State& state) {
    RunConversion(state, Photo(24).size(), [](unsigned char* s, unsigned char* d) {
        return CDataHandler().ColourToRelief(s, kWidth, kHeight, 24, d);
    });
}
BENCHMARK(BM_ColourToRelief)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_ColourToSharpen(benchmark::State& state) {
    RunConversion(state, Photo(24).size(), [](unsigned char* s, unsigned char* d) {
        return CDataHandler().ColourToSharpen(s, kWidth, kHeight, 24, d);
    });
}
BENCHMARK(BM_ColourToSharpen)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_GreyScaleToColour24(benchmark::State& state) {
    RunConversion(state, Photo(24).size(), [](unsigned char* s, unsigned char* d) {
        return CDataHandler().GreyScaleToColour24(s, kWidth, kHeight, 32, nullptr, d);
    });
}
BENCHMARK(BM_GreyScaleToColour24)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace
