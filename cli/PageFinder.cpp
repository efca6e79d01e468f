#include "cli/PageFinder.h"

#include <cmath>
#include <cstdio>

#include "cli/Args.h"

namespace imgdesk::cli {

ScannedPage ScanPicture(const Picture& picture, const PageScanOptions& options) {
    ScannedPage scanned;
    if (!ScanPage(picture.data(), picture.width, picture.height, picture.bits,
                  picture.bits == 8 ? picture.palette : nullptr, scanned.found, options)) {
        throw RunError("out of memory while looking for the page");
    }
    Picture& page = scanned.page;
    page.pixels.reset(scanned.found.pixels);
    scanned.found.pixels = nullptr;
    page.width = scanned.found.width;
    page.height = scanned.found.height;
    page.bits = scanned.found.bits;
    if (page.bits == 8)
        page.UseGreyPalette();
    return scanned;
}

namespace {

// "turned 3.4 degrees clockwise"; a turn that rounds to nothing is not worth a word.
std::string TurnInWords(const char* verb, double degrees) {
    char text[64];
    if (std::fabs(degrees) < 0.05) {
        std::snprintf(text, sizeof text, "already level");
        return text;
    }
    std::snprintf(text, sizeof text, "%s %.1f degrees %s", verb, std::fabs(degrees),
                  degrees > 0 ? "clockwise" : "counter-clockwise");
    return text;
}

}  // namespace

std::string DescribeScan(const PageScanResult& found) {
    switch (found.foundBy) {
        case PageFoundBy::PageEdges:
            return "page found, " + TurnInWords("turned", found.turnDegrees) +
                   (found.perspectiveCorrected ? ", perspective corrected" : "");
        case PageFoundBy::TextLines:
            return "no page edges, text " + TurnInWords("levelled by turning", found.turnDegrees);
        case PageFoundBy::Nothing:
            break;
    }
    return "no page edges and no text lines: kept as is";
}

}  // namespace imgdesk::cli
