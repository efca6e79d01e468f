// Tone adjustment on a 4000 x 3000 24-bit picture, beside memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "pixel/DataHandler.h"
#include "support/BenchBuffers.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;

void BM_Tone_Memcpy(benchmark::State& state) {
    auto source = imgdesk::bench::PhotoLike(kWidth, kHeight, 24);
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.size());
}
BENCHMARK(BM_Tone_Memcpy)->Unit(benchmark::kMillisecond);

// Each operation works in place on a fresh copy of the same picture; the copy is not timed.
template <typename Operation>
void RunInPlace(benchmark::State& state, Operation operation) {
    const auto original = imgdesk::bench::PhotoLike(kWidth, kHeight, 24);
    auto buffer = original;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buffer.data(), original.data(), original.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(operation(buffer.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * original.size());
}

void BM_AdjustLuminosity(benchmark::State& state) {
    RunInPlace(state, [](unsigned char* b) {
        return CDataHandler().AdjustLuminosity(b, kWidth, kHeight, 24, 30);
    });
}
BENCHMARK(BM_AdjustLuminosity)->Unit(benchmark::kMillisecond);

void BM_AdjustContrast(benchmark::State& state) {
    RunInPlace(state, [](unsigned char* b) {
        return CDataHandler().AdjustContrast(b, kWidth, kHeight, 24, 40);
    });
}
BENCHMARK(BM_AdjustContrast)->Unit(benchmark::kMillisecond);

void BM_SaturationAlter(benchmark::State& state) {
    RunInPlace(state, [](unsigned char* b) {
        return CDataHandler().SaturationAlter(b, kWidth, kHeight, 24, 200, 128, 64);
    });
}
BENCHMARK(BM_SaturationAlter)->Unit(benchmark::kMillisecond);

void BM_AdjustSaturation(benchmark::State& state) {
    RunInPlace(state, [](unsigned char* b) {
        return CDataHandler().AdjustSaturation(b, kWidth, kHeight, 24, 40);
    });
}
BENCHMARK(BM_AdjustSaturation)->Unit(benchmark::kMillisecond);

}  // namespace
