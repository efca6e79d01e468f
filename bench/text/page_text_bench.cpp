// Page text on one A5 page of prose rendered at 300 dpi (1748 x 2480): RecognisePage and
// DetectUprightTurn beside the tesseract program run on the same page image (its whole run:
// start, loading the language data, reading the PGM, recognising, writing the text). The library
// call keeps its engine between pages, so its time is the recognition alone; FirstPage adds
// loading the engine. Times are wall-clock: the program runs in a child process. Run with
// OMP_THREAD_LIMIT=1 to keep Tesseract's own OpenMP threads to one, as the library intends.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "scan/PageText.h"
#include "service/CoreKit.h"
#include "support/TextPage.h"

namespace {

using namespace imgdesk;

struct Page {
    test::GreyImage image;
    std::vector<unsigned char> pixels;  // the library's layout: bottom-up, padded rows
    tagRGBQUAD palette[256];
    std::string pgm;  // the same page as a file, for the program
};

const Page& ThePage() {
    static const Page page = [] {
        Page p;
        p.image = test::RenderTextPage(300);
        const int stride = pixel::RowStride(p.image.width, 8);
        p.pixels.assign(size_t(stride) * p.image.height, 0);
        for (int y = 0; y < p.image.height; ++y)
            std::copy_n(&p.image.levels[size_t(y) * p.image.width], p.image.width,
                        &p.pixels[size_t(p.image.height - 1 - y) * stride]);
        for (int i = 0; i < 256; ++i)
            p.palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
        p.pgm = "/tmp/imgdesk-bench-page-" + std::to_string(::getpid()) + ".pgm";
        std::ofstream out(p.pgm, std::ios::binary);
        out << "P5\n" << p.image.width << ' ' << p.image.height << "\n255\n";
        out.write(reinterpret_cast<const char*>(p.image.levels.data()),
                  std::streamsize(p.image.levels.size()));
        return p;
    }();
    return page;
}

int Recognise(const Page& page) {
    PageText text;
    const PageTextStatus status = RecognisePage(page.pixels.data(), page.image.width,
                                                page.image.height, 8, page.palette, text);
    const int count = text.count;
    ReleasePageText(text);
    return status == PageTextStatus::Done ? count : -1;
}

void BM_RecognisePage(benchmark::State& state) {
    const Page& page = ThePage();
    if (Recognise(page) <= 0)  // loads the engine outside the timing
        state.SkipWithError("no English language data");
    for (auto _ : state)
        benchmark::DoNotOptimize(Recognise(page));
    state.counters["words"] = Recognise(page);
}

// A fresh thread has no engine yet: loading the language data is part of its first page.
void BM_RecognisePage_FirstPage(benchmark::State& state) {
    const Page& page = ThePage();
    for (auto _ : state) {
        int words = 0;
        std::thread([&] { words = Recognise(page); }).join();
        benchmark::DoNotOptimize(words);
    }
}

void BM_TesseractProgram(benchmark::State& state) {
    const Page& page = ThePage();
    const std::string command = "tesseract '" + page.pgm + "' - >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("the tesseract program is missing or failed");
}

void BM_DetectUprightTurn(benchmark::State& state) {
    const Page& page = ThePage();
    PageTurn turn;
    for (auto _ : state)
        benchmark::DoNotOptimize(DetectUprightTurn(page.pixels.data(), page.image.width,
                                                   page.image.height, 8, page.palette, turn));
    state.counters["confidence"] = turn.confidence;
}

void BM_TesseractProgramOrientation(benchmark::State& state) {
    const Page& page = ThePage();
    const std::string command = "tesseract '" + page.pgm + "' - --psm 0 >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("the tesseract program is missing or failed");
}

BENCHMARK(BM_RecognisePage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RecognisePage_FirstPage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TesseractProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DetectUprightTurn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_TesseractProgramOrientation)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace
