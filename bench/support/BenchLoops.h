#pragma once

// Timing loops shared by the benchmarks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace imgdesk::bench {

// The memory-bandwidth floor every operation is compared with: one memcpy of the source's bytes
// per iteration.
inline void CopyEveryIteration(benchmark::State& state, const std::vector<unsigned char>& source) {
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

// Runs operation(bytes) on a fresh copy of the original each iteration, for operations that work
// in place; the copy is not timed.
template <typename Operation>
void RunInPlace(benchmark::State& state, const std::vector<unsigned char>& original,
                Operation operation) {
    std::vector<unsigned char> buffer = original;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buffer.data(), original.data(), original.size());
        state.ResumeTiming();
        if constexpr (std::is_void_v<decltype(operation(buffer.data()))>)
            operation(buffer.data());
        else
            benchmark::DoNotOptimize(operation(buffer.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(original.size()));
}

// Runs operation(bytes) each iteration on the same picture, for operations that only read it.
template <typename Operation>
void RunOnPicture(benchmark::State& state, std::vector<unsigned char>& picture,
                  Operation operation) {
    for (auto _ : state)
        benchmark::DoNotOptimize(operation(picture.data()));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(picture.size()));
}

}  // namespace imgdesk::bench
