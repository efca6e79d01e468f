// Rotation and zoom on a 4000 x 3000 picture, beside memcpy of the same bytes and OpenCV (one
// thread). The library's rotations replace their NewMem buffer, so each timed call gets a fresh
// NewMem copy of the picture (the copy itself is not timed); OpenCV writes into a reused Mat.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pixel/DataHandler.h"
#include "service/CoreKit.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
using imgdesk::bench::Photo;

cv::Mat AsMat(int bits) {
    const auto& bytes = Photo(bits);
    return cv::Mat(kHeight, kWidth, CV_8UC(bits / 8), const_cast<unsigned char*>(bytes.data()));
}

void BM_Geometry_Memcpy(benchmark::State& state) {
    imgdesk::bench::CopyEveryIteration(state, Photo(int(state.range(0))));
}
BENCHMARK(BM_Geometry_Memcpy)->Arg(8)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

// The memory floor of a buffer-replacing call: the two NewMem blocks of the picture's size
// (scratch and final) that it takes, zero-filled, and one release. OpenCV's peers write into a
// reused Mat and pay none of this.
void BM_Geometry_NewMemFloor(benchmark::State& state) {
    const int bytes = static_cast<int>(Photo(int(state.range(0))).size());
    for (auto _ : state) {
        void* scratch = NewMem(bytes);
        void* final = NewMem(bytes);
        benchmark::DoNotOptimize(scratch);
        benchmark::DoNotOptimize(final);
        DelMem(final);
        DelMem(scratch);
    }
}
BENCHMARK(BM_Geometry_NewMemFloor)->Arg(8)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

// One timed buffer-replacing call per iteration on a fresh NewMem copy of the picture.
template <typename Operation>
void RunReplacing(benchmark::State& state, int bits, Operation operation) {
    const auto& source = Photo(bits);
    for (auto _ : state) {
        state.PauseTiming();
        auto* buffer = static_cast<unsigned char*>(NewMem(static_cast<int>(source.size())));
        std::memcpy(buffer, source.data(), source.size());
        long width = kWidth, height = kHeight;
        state.ResumeTiming();
        benchmark::DoNotOptimize(operation(buffer, width, height));
        state.PauseTiming();
        DelMem(buffer);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * source.size());
}

void BM_RotationImageData(benchmark::State& state) {
    const int bits = int(state.range(0));
    const auto turn = static_cast<rotation_degree>(state.range(1));
    RunReplacing(state, bits, [&](unsigned char*& b, long& w, long& h) {
        return CDataHandler().RotationImageData(b, w, h, bits, turn);
    });
}
BENCHMARK(BM_RotationImageData)
    ->ArgsProduct({{8, 24, 32}, {1, 2, 3, 4, 5}})
    ->ArgNames({"bits", "turn"})
    ->Unit(benchmark::kMillisecond);

// cv::rotate for the turns (1 clockwise, 2 half, 3 counter-clockwise as displayed bottom-up:
// OpenCV's top-down rows make the library's clockwise its counter-clockwise), cv::flip for the
// mirrors.
void BM_OpenCV_RotateFlip(benchmark::State& state) {
    const cv::Mat source = AsMat(int(state.range(0)));
    const int turn = int(state.range(1));
    cv::Mat target;
    for (auto _ : state) {
        switch (turn) {
            case 1:
                cv::rotate(source, target, cv::ROTATE_90_COUNTERCLOCKWISE);
                break;
            case 2:
                cv::rotate(source, target, cv::ROTATE_180);
                break;
            case 3:
                cv::rotate(source, target, cv::ROTATE_90_CLOCKWISE);
                break;
            case 4:
                cv::flip(source, target, 0);
                break;
            default:
                cv::flip(source, target, 1);
                break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * source.total() * source.elemSize());
}
BENCHMARK(BM_OpenCV_RotateFlip)
    ->ArgsProduct({{8, 24, 32}, {1, 2, 3, 4, 5}})
    ->ArgNames({"bits", "turn"})
    ->Unit(benchmark::kMillisecond);

void BM_ZoomData(benchmark::State& state) {
    const int bits = int(state.range(0));
    const float scale = state.range(1) == 0 ? 0.25f : 2.0f;
    const auto& source = Photo(bits);
    for (auto _ : state) {
        unsigned char* out = nullptr;
        int w = 0, h = 0;
        benchmark::DoNotOptimize(CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()),
                                                         kWidth, kHeight, bits, scale, out, w, h));
        state.PauseTiming();
        DelMem(out);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ZoomData)
    ->ArgsProduct({{8, 24, 32}, {0, 1}})
    ->ArgNames({"bits", "x2"})
    ->Unit(benchmark::kMillisecond);

void BM_OpenCV_ResizeNearest(benchmark::State& state) {
    const cv::Mat source = AsMat(int(state.range(0)));
    const double scale = state.range(1) == 0 ? 0.25 : 2.0;
    cv::Mat target;
    for (auto _ : state) {
        cv::resize(source, target, cv::Size(), scale, scale, cv::INTER_NEAREST);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCV_ResizeNearest)
    ->ArgsProduct({{8, 24, 32}, {0, 1}})
    ->ArgNames({"bits", "x2"})
    ->Unit(benchmark::kMillisecond);

constexpr double kThreeDegrees = 3.0 * M_PI / 180.0;

void BM_RotatePicture(benchmark::State& state) {
    const int bits = int(state.range(0));
    RunReplacing(state, bits, [&](unsigned char*& b, long& w, long& h) {
        return CDataHandler().RotatePicture(b, w, h, bits, CRect(0, 0, kWidth, kHeight),
                                            kThreeDegrees);
    });
}
BENCHMARK(BM_RotatePicture)->Arg(8)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

// The same output size and turn, bilinear, black border.
void BM_OpenCV_WarpAffine(benchmark::State& state) {
    const cv::Mat source = AsMat(int(state.range(0)));
    const double c = std::cos(kThreeDegrees), s = std::sin(kThreeDegrees);
    const int outW = int(std::max(std::fabs((kWidth - 1) * c + (kHeight - 1) * s),
                                  std::fabs((kWidth - 1) * c - (kHeight - 1) * s)) +
                         1.5);
    const int outH = int(std::max(std::fabs((kHeight - 1) * c - (kWidth - 1) * s),
                                  std::fabs((kHeight - 1) * c + (kWidth - 1) * s)) +
                         1.5);
    cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(kWidth / 2.0f, kHeight / 2.0f), 3.0, 1.0);
    turn.at<double>(0, 2) += (outW - kWidth) / 2.0;
    turn.at<double>(1, 2) += (outH - kHeight) / 2.0;
    cv::Mat target;
    for (auto _ : state) {
        cv::warpAffine(source, target, turn, cv::Size(outW, outH), cv::INTER_LINEAR,
                       cv::BORDER_CONSTANT);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCV_WarpAffine)->Arg(8)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_RotationImage3Degrees(benchmark::State& state) {
    RunReplacing(state, 24, [&](unsigned char*& b, long& w, long& h) {
        CRect rect(0, 0, kWidth, kHeight);
        return CDataHandler().RotationImage(b, w, h, rect, 24, 3);
    });
}
BENCHMARK(BM_RotationImage3Degrees)->Unit(benchmark::kMillisecond);

}  // namespace
