// scan_eval: runs ScanPage over the generated photographs and prints one row per photo with what
// was found and how well, then the totals.
//
//   scan_eval [--hard] [--size 4000x3000] [--write DIR] [--only N]
//
// --hard runs the harder set (HardPhotoSet) instead, with two more columns: the % of the text cut
// off, and whether the photo's bar (as the hard_photos suite holds it) is met.
// --write keeps each photo (N-name-photo.jpg, as the camera's file) and the cut page
// (N-name-page.png) in DIR for looking at.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/codecs/Codecs.h"
#include "scan/PageScan.h"
#include "service/CoreKit.h"
#include "support/PhotoSet.h"
#include "support/ScanMeasure.h"

namespace {

using namespace imgdesk;
using namespace imgdesk::test;

struct Options {
    int width = 1200;
    int height = 900;
    std::string write;
    int only = -1;
    bool hard = false;
};

[[noreturn]] void Usage(const char* problem) {
    std::fprintf(stderr,
                 "scan_eval: %s\nusage: scan_eval [--hard] [--size WxH] [--write DIR] [--only N]\n",
                 problem);
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--hard") {
            o.hard = true;
            continue;
        }
        if (i + 1 >= argc)
            Usage(("missing value after " + arg).c_str());
        const char* value = argv[++i];
        if (arg == "--size") {
            if (std::sscanf(value, "%dx%d", &o.width, &o.height) != 2 || o.width < 64 ||
                o.height < 48)
                Usage("--size takes WIDTHxHEIGHT, at least 64x48");
        } else if (arg == "--write") {
            o.write = value;
        } else if (arg == "--only") {
            o.only = std::atoi(value);
            if (o.only < 0)
                Usage("--only takes a photo number from 0");
        } else {
            Usage(("unknown option " + arg).c_str());
        }
    }
    return o;
}

void WritePage(const PageScanResult& r, const std::string& path) {
    codecs::DibView view;
    view.width = r.width, view.height = r.height, view.bitCount = r.bits;
    view.bits = r.pixels;
    view.stride = codecs::DibRowBytes(r.width, r.bits);
    RGBQUAD grey[256];
    if (r.bits == 8) {
        for (int i = 0; i < 256; ++i)
            grey[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
        view.palette = grey, view.paletteSize = 256;
    }
    codecs::EncodeFile(codecs::Format::Png, view, {}, path.c_str());
}

// Whether the figures meet the bar the accuracy suite sets for the photo's kind.
bool Passes(const Photo& photo, const PageScanResult& r, const ScanFigures& f) {
    switch (photo.truth.expected) {
        case PageFoundBy::PageEdges:
            return r.foundBy == PageFoundBy::PageEdges && std::fabs(f.residualTurn) <= 0.1 &&
                   f.deskKept <= 1 && f.pageCut <= 1;
        case PageFoundBy::TextLines:
            return r.foundBy == PageFoundBy::TextLines && std::fabs(f.residualTurn) <= 0.1 &&
                   f.pageCut <= 1 && f.coversPhoto && f.uncoveredDark <= 1;
        case PageFoundBy::Nothing:
            return r.foundBy != PageFoundBy::PageEdges && f.coversPhoto;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);
    if (!options.write.empty())
        std::filesystem::create_directories(options.write);
    const PhotoSet set(options.width, options.height);
    const HardPhotoSet hardSet(options.width, options.height);
    const int count = options.hard ? HardPhotoSet::Count() : PhotoSet::Count();
    if (options.only >= count)
        Usage("--only takes a photo number of the set");
    std::printf("%-3s %-34s %-9s %-9s %8s %8s %7s %7s %6s %-6s %7s  %s\n", "#", "name", "expected",
                "found", "turn", "corner%", "cut%", "desk%", "IoU", "usable", "ms",
                options.hard ? "text% bar   labels" : "labels");
    int rows = 0, usable = 0, kinds = 0, passes = 0;
    double totalMs = 0, worstMs = 0;
    for (int i = 0; i < count; ++i) {
        if (options.only >= 0 && i != options.only)
            continue;
        Photo photo;
        try {
            photo = options.hard ? hardSet.Make(i) : set.Make(i);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "scan_eval: photo %d: %s\n", i, e.what());
            return 1;
        }
        PageScanResult result;
        const auto start = std::chrono::steady_clock::now();
        const bool done =
            ScanPage(photo.pixels.data(), photo.width, photo.height, 24, nullptr, result);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        ++rows;
        totalMs += ms, worstMs = std::max(worstMs, ms);
        if (!done) {
            std::printf("%-3d %-34s %-9s %-9s  ScanPage returned false  %7.0f  %s\n", i,
                        photo.name.c_str(), KindName(photo.truth.expected), "-", ms,
                        photo.labels.c_str());
            continue;
        }
        const ScanFigures f = Measure(photo, result);
        usable += f.usable;
        kinds += result.foundBy == photo.truth.expected ||
                 (photo.truth.expected == PageFoundBy::Nothing &&
                  result.foundBy == PageFoundBy::TextLines);
        const bool pass =
            options.hard ? Shortfalls(photo, result, f).empty() : Passes(photo, result, f);
        passes += pass;
        char corner[16] = "-";
        if (f.cornerError >= 0)
            std::snprintf(corner, sizeof corner, "%.2f", f.cornerError);
        char hardColumns[32] = "";
        if (options.hard)
            std::snprintf(hardColumns, sizeof hardColumns, "%5.1f %-5s ", f.textCut,
                          pass ? "met" : "FAIL");
        std::printf("%-3d %-34s %-9s %-9s %+8.3f %8s %7.2f %7.2f %6.3f %-6s %7.0f  %s%s\n", i,
                    photo.name.c_str(), KindName(photo.truth.expected), KindName(result.foundBy),
                    f.residualTurn, corner, f.pageCut, f.deskKept, f.pageIoU,
                    f.usable ? "yes" : "no", ms, hardColumns, photo.labels.c_str());
        std::fflush(stdout);
        if (!options.write.empty()) {
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "%02d-", i);
            const std::string base = options.write + "/" + prefix + photo.name;
            if (!photo.jpeg.empty())
                std::ofstream(base + "-photo.jpg", std::ios::binary)
                    .write(reinterpret_cast<const char*>(photo.jpeg.data()),
                           std::streamsize(photo.jpeg.size()));
            WritePage(result, base + "-page.png");
        }
        DelMem(result.pixels);
    }
    std::printf(
        "\n%d %sphotos at %dx%d: %d usable (IoU >= 0.9, level within 1 deg), %d of the expected "
        "kind, "
        "%d meeting the suite's bar; %.0f ms a photo on average, %.0f ms at most\n",
        rows, options.hard ? "hard " : "", options.width, options.height, usable, kinds, passes,
        rows ? totalMs / rows : 0.0, worstMs);
    return 0;
}
