// Finding and cutting out the page on the generated 4000 x 3000 photographs (the accuracy suite's
// photos at camera size): ScanPage beside the classic OpenCV recipe (grey, blur, Canny, dilate,
// the largest contour brought to four points, a perspective warp), and beside libjpeg-turbo
// decoding the same 12-megapixel JPEG, the least any tool reading the photo spends.
//
// Each method runs once over every photo; the counters give the usable pages (page IoU >= 0.9
// and level within 1 degree), the time per photo and that time as a multiple of the decode.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "platform/codecs/Codecs.h"
#include "scan/PageScan.h"
#include "service/CoreKit.h"
#include "support/PhotoSet.h"
#include "support/ScanMeasure.h"

namespace {

using namespace imgdesk;
using namespace imgdesk::test;

// The photos as their JPEG files, with their truth; made once (a few seconds each). The pixels
// are dropped and decoded again for each use, so that fifty photos do not take two gigabytes.
const std::vector<Photo>& Photos() {
    static const std::vector<Photo> photos = [] {
        std::vector<Photo> all;
        const PhotoSet set(4000, 3000);
        for (int i = 0; i < PhotoSet::Count(); ++i) {
            Photo photo = set.Make(i);
            photo.pixels.clear();
            photo.pixels.shrink_to_fit();
            all.push_back(std::move(photo));
        }
        return all;
    }();
    return photos;
}

// Decodes a photo's JPEG into its pixel buffer (bottom-up rows at the platform's stride).
void Decode(const Photo& stored, Photo& out) {
    codecs::DecodedImage image;
    codecs::Decode(stored.jpeg.data(), stored.jpeg.size(), image);
    out.width = image.width, out.height = image.height, out.truth = stored.truth,
    out.spec = stored.spec;
    const std::size_t bytes = std::size_t(image.Stride()) * image.height;
    out.pixels.assign(image.pixels.get(), image.pixels.get() + bytes);
}

double& DecodeMs() {
    static double ms = 0;
    return ms;
}

void Report(benchmark::State& state, int usable, double seconds) {
    const double perPhoto = 1000 * seconds / double(Photos().size());
    state.counters["photos"] = double(Photos().size());
    state.counters["usable"] = usable;
    state.counters["ms_per_photo"] = perPhoto;
    if (DecodeMs() > 0)
        state.counters["x_decode"] = perPhoto / DecodeMs();
}

void BM_JpegDecode12MP(benchmark::State& state) {
    const Photo& photo = Photos().front();
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        codecs::DecodedImage image;
        benchmark::DoNotOptimize(codecs::Decode(photo.jpeg.data(), photo.jpeg.size(), image));
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        seconds += s, ++runs;
    }
    DecodeMs() = 1000 * seconds / double(runs);
    state.counters["ms"] = DecodeMs();
}
BENCHMARK(BM_JpegDecode12MP)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ScanPage(benchmark::State& state) {
    for (auto _ : state) {
        int usable = 0;
        double seconds = 0;
        for (const Photo& stored : Photos()) {
            Photo photo;
            Decode(stored, photo);
            PageScanResult result;
            const auto start = std::chrono::steady_clock::now();
            const bool done =
                ScanPage(photo.pixels.data(), photo.width, photo.height, 24, nullptr, result);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (done) {
                usable += Measure(photo, result).usable;
                DelMem(result.pixels);
            }
        }
        state.SetIterationTime(seconds);
        Report(state, usable, seconds);
    }
}
BENCHMARK(BM_ScanPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The corners in the order top-left, top-right, bottom-right, bottom-left: the smallest and
// largest x + y, the smallest and largest y - x.
void OrderCorners(const std::vector<cv::Point>& quad, cv::Point2f out[4]) {
    auto by = [&](auto key) {
        return [key](const cv::Point& a, const cv::Point& b) { return key(a) < key(b); };
    };
    auto sum = [](const cv::Point& p) { return p.x + p.y; };
    auto diff = [](const cv::Point& p) { return p.y - p.x; };
    out[0] = *std::min_element(quad.begin(), quad.end(), by(sum));
    out[2] = *std::max_element(quad.begin(), quad.end(), by(sum));
    out[1] = *std::min_element(quad.begin(), quad.end(), by(diff));
    out[3] = *std::max_element(quad.begin(), quad.end(), by(diff));
}

// The recipe as it is usually written: edges found on the photo brought to 500 rows, the page
// cut out of the full photo. Returns false when no four-cornered outline is found.
bool OpenCvRecipe(const cv::Mat& photo, cv::Point2f corners[4], cv::Mat& page) {
    const double ratio = photo.rows / 500.0;
    cv::Mat small, grey, edges;
    cv::resize(photo, small, cv::Size(int(std::lround(photo.cols / ratio)), 500), 0, 0,
               cv::INTER_AREA);
    cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
    cv::GaussianBlur(grey, grey, cv::Size(5, 5), 0);
    cv::Canny(grey, edges, 75, 200);
    cv::dilate(edges, edges, cv::Mat());
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    if (contours.empty())
        return false;
    const auto largest = std::max_element(
        contours.begin(), contours.end(),
        [](const auto& a, const auto& b) { return cv::contourArea(a) < cv::contourArea(b); });
    std::vector<cv::Point> quad;
    cv::approxPolyDP(*largest, quad, 0.02 * cv::arcLength(*largest, true), true);
    if (quad.size() != 4)
        return false;
    OrderCorners(quad, corners);
    for (int k = 0; k < 4; ++k)
        corners[k] *= float(ratio);
    const float width =
        std::max(cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[3]));
    const float height =
        std::max(cv::norm(corners[3] - corners[0]), cv::norm(corners[2] - corners[1]));
    const cv::Point2f box[4] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
    cv::warpPerspective(photo, page, cv::getPerspectiveTransform(corners, box),
                        cv::Size(int(width), int(height)));
    return true;
}

void BM_OpenCV_ContourRecipe(benchmark::State& state) {
    for (auto _ : state) {
        int usable = 0;
        double seconds = 0;
        for (const Photo& stored : Photos()) {
            Photo photo;
            Decode(stored, photo);
            // OpenCV wants top-down rows: the flip is not timed.
            const cv::Mat bottomUp(photo.height, photo.width, CV_8UC3, photo.pixels.data(),
                                   std::size_t(pixel::RowStride(photo.width, 24)));
            cv::Mat topDown, page;
            cv::flip(bottomUp, topDown, 0);
            cv::Point2f corners[4];
            const auto start = std::chrono::steady_clock::now();
            const bool found = OpenCvRecipe(topDown, corners, page);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            PageScanResult result;
            std::vector<unsigned char> white;
            if (found && page.cols > 0 && page.rows > 0) {
                result.width = page.cols, result.height = page.rows;
                for (int k = 0; k < 4; ++k)
                    result.corners[k] = {corners[k].x, corners[k].y};
            } else {
                result.width = photo.width, result.height = photo.height;
                result.corners[1] = {double(photo.width), 0};
                result.corners[2] = {double(photo.width), double(photo.height)};
                result.corners[3] = {0, double(photo.height)};
            }
            result.bits = 24;
            white.assign(std::size_t(pixel::RowStride(result.width, 24)) * result.height, 255);
            result.pixels = white.data();
            usable += Measure(photo, result).usable;
        }
        state.SetIterationTime(seconds);
        Report(state, usable, seconds);
    }
}
BENCHMARK(BM_OpenCV_ContourRecipe)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
