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
#include "support/BenchLoops.h"

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

// Calls detect(moved) once per iteration, for the still frame and the moved one in turn, and
// reports the frame rate.
template <typename Detect>
void RunOnAlternateFrames(benchmark::State& state, const FramePair& frames, Detect detect) {
    bool moved = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detect(moved));
        moved = !moved;
    }
    CountFrames(state, frames.still.size());
}

// OpenCV's side of a frame comparison: the previous frame and reused work images.
class PreviousFrame {
public:
    // Pixels of current that differ from the previous frame by more than threshold (none for the
    // first frame); current then becomes the previous frame.
    int CountChanged(cv::Mat& current, double threshold) {
        int count = 0;
        if (!previous_.empty()) {
            cv::absdiff(current, previous_, difference_);
            cv::threshold(difference_, changed_, threshold, 255, cv::THRESH_BINARY);
            count = cv::countNonZero(changed_);
        }
        cv::swap(current, previous_);
        return count;
    }

private:
    cv::Mat previous_, difference_, changed_;
};

void BM_Motion_Memcpy(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const auto frames = MakeFrames(width, height);
    imgdesk::bench::CopyEveryIteration(state, frames.still);
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
    RunOnAlternateFrames(state, frames, [&](bool moved) {
        auto& frame = moved ? frames.moved : frames.still;
        return CDataHandler().DynamicPointNum(frame.data(), kVideoWidth, kVideoHeight, 24, stored,
                                              storedWidth, storedHeight);
    });
    DelMem(stored);
}
BENCHMARK(BM_DynamicPointNum)->Unit(benchmark::kMillisecond);

// The same steps in OpenCV: grey conversion, absolute difference from the previous grey frame,
// count above the threshold.
void BM_OpenCV_GreyDifferenceCount(benchmark::State& state) {
    auto frames = MakeFrames(kVideoWidth, kVideoHeight);
    const cv::Mat still(kVideoHeight, kVideoWidth, CV_8UC3, frames.still.data());
    const cv::Mat moved(kVideoHeight, kVideoWidth, CV_8UC3, frames.moved.data());
    cv::Mat grey;
    PreviousFrame previous;
    RunOnAlternateFrames(state, frames, [&](bool isMoved) {
        cv::cvtColor(isMoved ? moved : still, grey, cv::COLOR_BGR2GRAY);
        return previous.CountChanged(grey, 40);
    });
}
BENCHMARK(BM_OpenCV_GreyDifferenceCount)->Unit(benchmark::kMillisecond);

void BM_DynamicPointNumEx(benchmark::State& state) {
    using imgdesk::bench::kHeight;
    using imgdesk::bench::kWidth;
    auto frames = MakeFrames(kWidth, kHeight);
    unsigned char* stored = nullptr;
    int storedWidth = 0, storedHeight = 0;
    RunOnAlternateFrames(state, frames, [&](bool moved) {
        auto& frame = moved ? frames.moved : frames.still;
        return CDataHandler().DynamicPointNumEx(frame.data(), kWidth, kHeight, 24, nullptr, stored,
                                                storedWidth, storedHeight);
    });
    DelMem(stored);
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
    cv::Mat small, grey, dx, dy, edges;
    PreviousFrame previous;
    RunOnAlternateFrames(state, frames, [&](bool isMoved) {
        cv::resize(isMoved ? moved : still, small, cv::Size(320, 240), 0, 0, cv::INTER_NEAREST);
        cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
        cv::Sobel(grey, dx, CV_8U, 1, 0);
        cv::Sobel(grey, dy, CV_8U, 0, 1);
        cv::max(dx, dy, edges);
        cv::blur(edges, edges, cv::Size(3, 3));
        return previous.CountChanged(edges, 100);
    });
}
BENCHMARK(BM_OpenCV_EdgeDifferenceCount)->Unit(benchmark::kMillisecond);

}  // namespace
