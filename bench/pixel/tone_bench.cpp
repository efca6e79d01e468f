// Tone adjustment on a 4000 x 3000 24-bit picture, beside memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <vector>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
using imgdesk::bench::Photo;
using imgdesk::bench::RunInPlace;

void BM_Tone_Memcpy(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, Photo(24));
}
BENCHMARK(BM_Tone_Memcpy)->Unit(benchmark::kMillisecond);

// Each operation works in place on a fresh copy of the same picture.
void BM_AdjustLuminosity(benchmark::State& state) {
    RunInPlace(state, Photo(24), [](unsigned char* b) {
        return CDataHandler().AdjustLuminosity(b, kWidth, kHeight, 24, 30);
    });
}
BENCHMARK(BM_AdjustLuminosity)->Unit(benchmark::kMillisecond);

void BM_AdjustContrast(benchmark::State& state) {
    RunInPlace(state, Photo(24), [](unsigned char* b) {
        return CDataHandler().AdjustContrast(b, kWidth, kHeight, 24, 40);
    });
}
BENCHMARK(BM_AdjustContrast)->Unit(benchmark::kMillisecond);

void BM_SaturationAlter(benchmark::State& state) {
    RunInPlace(state, Photo(24), [](unsigned char* b) {
        return CDataHandler().SaturationAlter(b, kWidth, kHeight, 24, 200, 128, 64);
    });
}
BENCHMARK(BM_SaturationAlter)->Unit(benchmark::kMillisecond);

void BM_AdjustSaturation(benchmark::State& state) {
    RunInPlace(state, Photo(24), [](unsigned char* b) {
        return CDataHandler().AdjustSaturation(b, kWidth, kHeight, 24, 40);
    });
}
BENCHMARK(BM_AdjustSaturation)->Unit(benchmark::kMillisecond);

}  // namespace
