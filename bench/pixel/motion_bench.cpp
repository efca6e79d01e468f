// Motion detection on streams of two alternating frames (a photograph-like picture and the same
// picture shifted), beside memcpy of one frame's bytes and the nearest OpenCV pipelines (one
// thread). Frame rates are reported as the "frames" counter.
#include <benchmark/benchmark.h>

#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pixel/DataHandler.h"
#include "service/CoreKit.h"
#include "support/BenchBuffers.h"

namespace {

constexpr int kVideoWidth = 1920;
constexpr int kVideoHeight = 1080;

struct FramePair {
    std::vector<unsigned char> still, moved;
};

// The second frame is the first moved 24 pixels to the right, so that edges really move.
FramePair MakeFrames(int width, int height) {
    FramePair frames;
    frames.still = imgdesk::bench::PhotoLike(width, height, 24);
    frames.moved = frames.still;
    const int stride = imgdesk::pixel::RowStride(width, 24);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = frames.moved.data() + static_cast<size_t>(y) * stride;
        std::memmove(row + 24 * 3, row, static_cast<size_t>(width - 24) * 3);
    }
    return frames;
}

void CountFrames(benchmark::State& state, size_t frameBytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frameBytes));
    state.counters["frames"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Motion_Memcpy(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const auto frames = MakeFrames(width, height);
    std::vector<unsigned char> target(frames.still.size());
    for (auto _ : state) {
        std::memcpy(target.data(), frames.still.data(), target.size());
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames.still.size());
}
BENCHMARK(BM_Motion_Memcpy)
    ->Args({kVideoWidth, kVideoHeight})
    ->Args({imgdesk::bench::kWidth, imgdesk::bench::kHeight})
    ->Unit(benchmark::kMillisecond);

void BM_DynamicPointNum(benchmark::State& state) {
    auto frames = MakeFrames(kVideoWidth, kVideoHeight);
    unsigned char* stored = nullptr;
    int storedWidth = 0, storedHeight = 0;
    bool odd = false;
    for (auto _ : state) {
        auto& frame = odd ? frames.moved : frames.still;
        odd = !odd;
        benchmark::DoNotOptimize(CDataHandler().DynamicPointNum(
            frame.data(), kVideoWidth, kVideoHeight, 24, stored, storedWidth, storedHeight));
    }
    DelMem(stored);
    CountFrames(state, frames.still.size());
}
BENCHMARK(BM_DynamicPointNum)->Unit(benchmark::kMillisecond);

// The same steps in OpenCV: grey conversion, absolute difference from the previous grey frame,
// count above the threshold.
void BM_OpenCV_GreyDifferenceCount(benchmark::State& state) {
    auto frames = MakeFrames(kVideoWidth, kVideoHeight);
    const cv::Mat still(kVideoHeight, kVideoWidth, CV_8UC3, frames.still.data());
    const cv::Mat moved(kVideoHeight, kVideoWidth, CV_8UC3, frames.moved.data());
    cv::Mat grey, previous, difference, changed;
    bool odd = false;
    for (auto _ : state) {
        cv::cvtColor(odd ? moved : still, grey, cv::COLOR_BGR2GRAY);
        odd = !odd;
        int count = 0;
        if (!previous.empty()) {
            cv::absdiff(grey, previous, difference);
            cv::threshold(difference, changed, 40, 255, cv::THRESH_BINARY);
            count = cv::countNonZero(changed);
        }
        cv::swap(grey, previous);
        benchmark::DoNotOptimize(count);
    }
    CountFrames(state, frames.still.size());
}
BENCHMARK(BM_OpenCV_GreyDifferenceCount)->Unit(benchmark::kMillisecond);

void BM_DynamicPointNumEx(benchmark::State& state) {
    using imgdesk::bench::kHeight;
    using imgdesk::bench::kWidth;
    auto frames = MakeFrames(kWidth, kHeight);
    unsigned char* stored = nullptr;
    int storedWidth = 0, storedHeight = 0;
    bool odd = false;
    for (auto _ : state) {
        auto& frame = odd ? frames.moved : frames.still;
        odd = !odd;
        benchmark::DoNotOptimize(CDataHandler().DynamicPointNumEx(
            frame.data(), kWidth, kHeight, 24, nullptr, stored, storedWidth, storedHeight));
    }
    DelMem(stored);
    CountFrames(state, frames.still.size());
}
BENCHMARK(BM_DynamicPointNumEx)->Unit(benchmark::kMillisecond);

// The same steps in OpenCV: nearest-pixel resize to 320 x 240, grey conversion, Sobel magnitudes
// (larger of the two), 3 x 3 box mean, absolute difference and count.
void BM_OpenCV_EdgeDifferenceCount(benchmark::State& state) {
    using imgdesk::bench::kHeight;
    using imgdesk::bench::kWidth;
    auto frames = MakeFrames(kWidth, kHeight);
    const cv::Mat still(kHeight, kWidth, CV_8UC3, frames.still.data());
    const cv::Mat moved(kHeight, kWidth, CV_8UC3, frames.moved.data());
    cv::Mat small, grey, dx, dy, edges, previous, difference, changed;
    bool odd = false;
    for (auto _ : state) {
        cv::resize(odd ? moved : still, small, cv::Size(320, 240), 0, 0, cv::INTER_NEAREST);
        odd = !odd;
        cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
        cv::Sobel(grey, dx, CV_8U, 1, 0);
        cv::Sobel(grey, dy, CV_8U, 0, 1);
        cv::max(dx, dy, edges);
        cv::blur(edges, edges, cv::Size(3, 3));
        int count = 0;
        if (!previous.empty()) {
            cv::absdiff(edges, previous, difference);
            cv::threshold(difference, changed, 100, 255, cv::THRESH_BINARY);
            count = cv::countNonZero(changed);
        }
        cv::swap(edges, previous);
        benchmark::DoNotOptimize(count);
    }
    CountFrames(state, frames.still.size());
}
BENCHMARK(BM_OpenCV_EdgeDifferenceCount)->Unit(benchmark::kMillisecond);

}  // namespace
