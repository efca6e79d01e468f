// A 100-page PDF from 100 photograph-like JPEG files (JPGSavePdf), beside the codec work it cannot
// avoid, done alone on the same files: decode each file and encode it again as a JPEG at the
// platform's default quality, through the project's codecs and through OpenCV; and memcpy of the
// decoded pictures' bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "document/DocDesk.h"
#include "platform/codecs/Codecs.h"
#include "support/BenchBuffers.h"
#include "support/BenchLoops.h"

namespace {

namespace codecs = imgdesk::codecs;

constexpr int kPages = 100;
constexpr int kPageWidth = 1600;  // 2 megapixels a page: a 100-page run stays within seconds
constexpr int kPageHeight = 1200;
constexpr int kDefaultQuality = 75;  // the platform encoder's default, as JPGSavePdf saves

struct Fixture {
    std::string folder;
    std::list<CString> paths;
    std::vector<std::string> files;
    std::vector<unsigned char> decoded;  // one page's pixels, for the memcpy floor

    Fixture() {
        char pattern[] = "/tmp/imgdesk-pdf-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        setenv("IMGDESK_TEMP_DIR", (folder + "/temp").c_str(), 1);
        codecs::Dib dib;
        codecs::AllocateDib(dib, kPageWidth, kPageHeight, 24);
        decoded = imgdesk::bench::PhotoLike(kPageWidth, kPageHeight, 24);
        std::memcpy(dib.pixels.get(), decoded.data(), decoded.size());
        codecs::EncodeOptions options;
        options.quality = 90;
        std::vector<unsigned char> jpeg;
        codecs::Encode(codecs::Format::Jpeg, codecs::DibView::Of(dib), options, jpeg);
        for (int i = 0; i < kPages; ++i) {
            files.push_back(folder + "/page" + std::to_string(i) + ".jpg");
            std::FILE* file = std::fopen(files.back().c_str(), "wb");
            std::fwrite(jpeg.data(), 1, jpeg.size(), file);
            std::fclose(file);
            paths.push_back(Utf8ToWide(files.back().c_str()));
        }
    }
    ~Fixture() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

Fixture& Files() {
    static Fixture fixture;
    return fixture;
}

void BM_JpgSavePdf100(benchmark::State& state) {
    Fixture& fixture = Files();
    const CString target = Utf8ToWide((fixture.folder + "/out.pdf").c_str());
    for (auto _ : state) {
        if (!CDocDesk().JPGSavePdf(fixture.paths, target))
            state.SkipWithError("JPGSavePdf failed");
        state.PauseTiming();
        std::remove((fixture.folder + "/out.pdf").c_str());
        state.ResumeTiming();
    }
}

// The same decode and encode JPGSavePdf asks of the codecs, file to file, without the PDF.
void BM_DecodeEncode100(benchmark::State& state) {
    Fixture& fixture = Files();
    const std::string target = fixture.folder + "/alone.jpg";
    codecs::EncodeOptions options;
    options.quality = kDefaultQuality;
    for (auto _ : state) {
        for (const std::string& file : fixture.files) {
            codecs::DecodedImage image;
            if (codecs::DecodeFile(file.c_str(), image) != codecs::Result::Ok ||
                codecs::EncodeFile(codecs::Format::Jpeg, codecs::DibView::Of(image), options,
                                   target.c_str()) != codecs::Result::Ok)
                state.SkipWithError("codec failed");
        }
    }
    std::remove(target.c_str());
}

// The same through the platform's image class, as JPGSavePdf drives it, without the PDF: what
// the image class adds to the codecs shows apart from what the PDF writer adds.
void BM_ImageClassLoadSave100(benchmark::State& state) {
    Fixture& fixture = Files();
    const CString target = Utf8ToWide((fixture.folder + "/image.jpg").c_str());
    for (auto _ : state) {
        for (const CString& path : fixture.paths) {
            ATL::CImage image;
            image.Load(path);
            if (FAILED(image.Save(target)))
                state.SkipWithError("image class failed");
            image.Destroy();
            ATL::CImage::ReleaseGDIPlus();
        }
    }
    std::remove((fixture.folder + "/image.jpg").c_str());
}

void BM_OpenCvDecodeEncode100(benchmark::State& state) {
    Fixture& fixture = Files();
    const std::string target = fixture.folder + "/opencv.jpg";
    const std::vector<int> parameters = {cv::IMWRITE_JPEG_QUALITY, kDefaultQuality};
    for (auto _ : state) {
        for (const std::string& file : fixture.files) {
            const cv::Mat image = cv::imread(file, cv::IMREAD_COLOR);
            if (image.empty() || !cv::imwrite(target, image, parameters))
                state.SkipWithError("OpenCV codec failed");
        }
    }
    std::remove(target.c_str());
}

// memcpy of the 100 decoded pictures' bytes.
void BM_Memcpy100(benchmark::State& state) {
    const std::vector<unsigned char>& page = Files().decoded;
    std::vector<unsigned char> target(page.size());
    for (auto _ : state) {
        for (int i = 0; i < kPages; ++i) {
            std::memcpy(target.data(), page.data(), page.size());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(state.iterations() * kPages * static_cast<int64_t>(page.size()));
}

BENCHMARK(BM_JpgSavePdf100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DecodeEncode100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImageClassLoadSave100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenCvDecodeEncode100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Memcpy100)->Unit(benchmark::kMillisecond);

}  // namespace
