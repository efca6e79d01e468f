// Loading and saving a 12-megapixel JPEG with CGdiImage, beside libjpeg-turbo's own API (the same
// library djpeg and cjpeg use) on the same bytes, and memcpy of the decoded picture.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imagefile/GdiImage.h"
#include "platform/CString.h"
#include "platform/codecs/Codecs.h"
#include "support/BenchBuffers.h"

// After the platform types: libjpeg defines TRUE and FALSE only where they are missing.
#include <jpeglib.h>

namespace {

using imgdesk::bench::kHeight;
using imgdesk::bench::kWidth;
namespace codecs = imgdesk::codecs;

struct Fixture {
    std::string folder;
    std::string jpegPath;
    std::vector<unsigned char> jpeg;  // the 12-megapixel file, quality 90
    std::vector<unsigned char> bgr;   // its pixels, 24-bit rows
    ULONG_PTR token = 0;

    Fixture() {
        char pattern[] = "/tmp/imgdesk-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);  // thumbnails stay in the folder
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
        codecs::Dib dib;
        codecs::AllocateDib(dib, kWidth, kHeight, 24);
        const std::vector<unsigned char> photo = imgdesk::bench::PhotoLike(kWidth, kHeight, 24);
        std::memcpy(dib.pixels.get(), photo.data(), photo.size());
        codecs::EncodeOptions options;
        options.quality = 90;
        codecs::Encode(codecs::Format::Jpeg, codecs::DibView::Of(dib), options, jpeg);
        jpegPath = folder + "/photo.jpg";
        std::FILE* file = std::fopen(jpegPath.c_str(), "wb");
        std::fwrite(jpeg.data(), 1, jpeg.size(), file);
        std::fclose(file);
        bgr = photo;
    }
    ~Fixture() {
        Gdiplus::GdiplusShutdown(token);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

CString Wide(const std::string& text) {
    return Utf8ToWide(text.c_str());
}

void BM_Memcpy(benchmark::State& state) {
    Fixture& f = Shared();
    std::vector<unsigned char> target(f.bgr.size());
    for (auto _ : state) {
        std::memcpy(target.data(), f.bgr.data(), f.bgr.size());
        benchmark::DoNotOptimize(target.data());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * f.bgr.size());
}

// The peer: libjpeg-turbo decoding the same bytes to BGR rows, as djpeg does.
void LibjpegDecode(const std::vector<unsigned char>& jpeg, unsigned char* out) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out + static_cast<std::size_t>(info.output_scanline) * kWidth * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

void BM_LibjpegDecode(benchmark::State& state) {
    Fixture& f = Shared();
    std::vector<unsigned char> out(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (auto _ : state) {
        LibjpegDecode(f.jpeg, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

// The same, into a new buffer each time, as any decoder that hands out a new picture must.
void BM_LibjpegDecodeFreshBuffer(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        std::vector<unsigned char> out(static_cast<std::size_t>(kWidth) * kHeight * 3);
        LibjpegDecode(f.jpeg, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_CodecDecode(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        codecs::DecodedImage image;
        codecs::Decode(f.jpeg.data(), f.jpeg.size(), image);
        benchmark::DoNotOptimize(image.pixels.get());
    }
}

// Load-and-copy from the file: read, decode, draw into a 32-bit ARGB bitmap.
void BM_NewImageFormFile(benchmark::State& state) {
    Fixture& f = Shared();
    const CString path = Wide(f.jpegPath);
    for (auto _ : state) {
        CGdiImage image;
        benchmark::DoNotOptimize(image.NewImageFormFile(path));
    }
}

// The peer: libjpeg-turbo encoding the BGR pixels at quality 75, as cjpeg does.
void BM_LibjpegEncode(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        jpeg_compress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&info, &buffer, &size);
        info.image_width = kWidth;
        info.image_height = kHeight;
        info.input_components = 3;
        info.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 75, TRUE);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = f.bgr.data() + static_cast<std::size_t>(info.next_scanline) * kWidth * 3;
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
}

// SaveJpg at quality 75 of the loaded (32-bit ARGB) picture: encoding, writing the file and the
// thumbnail, which reads the file back.
void BM_SaveJpg(benchmark::State& state) {
    Fixture& f = Shared();
    CGdiImage image;
    image.NewImageFormFile(Wide(f.jpegPath));
    const CString target = Wide(f.folder + "/saved.jpg");
    for (auto _ : state)
        benchmark::DoNotOptimize(image.SaveJpg(target, 75));
}

// The same save without the thumbnail: Image::Save with the JPEG encoder.
void BM_SaveWithoutThumbnail(benchmark::State& state) {
    Fixture& f = Shared();
    CGdiImage image;
    image.NewImageFormFile(Wide(f.jpegPath));
    CLSID jpeg;
    image.GetEncoderClsid(L"image/jpeg", &jpeg);
    ULONG quality = 75;
    Gdiplus::EncoderParameters parameters{
        1, {{Gdiplus::EncoderQuality, 1, Gdiplus::EncoderParameterValueTypeLong, &quality}}};
    const CString target = Wide(f.folder + "/plain.jpg");
    for (auto _ : state)
        benchmark::DoNotOptimize(image.GetImage()->Save(target, &jpeg, &parameters));
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegDecodeFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CodecDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewImageFormFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveWithoutThumbnail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveJpg)->Unit(benchmark::kMillisecond);

}  // namespace
