#pragma once

// PDF pages at their printed size: black-and-white pages as 1-bit images, grey pages as grey
// JPEGs, colour pages as colour JPEGs, and JPEG files whose pixels did not change embedded as
// they are.
#include <optional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/PageReading.h"
#include "cli/PictureFacts.h"

namespace imgdesk::cli {

// How pages are sized and encoded: --dpi, --paper and --quality.
struct PageLayout {
    std::optional<double> dpi;  // pixels per inch when the picture names none
    std::string paper;          // a4, letter, legal, a5 or auto: fitted when no resolution is known
    int quality = 85;           // JPEG quality of re-encoded pages
};

// Reads --dpi, --paper and --quality; defaultPaper applies when --paper is absent.
PageLayout ReadPageLayout(Args& args, const std::string& defaultPaper);

// The page box in points for a page of width x height pixels: at the picture's own resolution,
// else at --dpi, else fitted (proportions kept) into the paper, turned to the page's way round.
std::pair<double, double> PageBox(int width, int height, const PictureFacts& facts,
                                  const PageLayout& layout);

struct PdfPage {
    std::string path;      // an image file
    PictureFacts facts;    // of the picture the page came from
    bool bilevel = false;  // black and white: stored as a 1-bit image
    bool asIs = false;     // a JPEG file whose pixels are the page's: embedded unchanged
};

// Writes the pages into target, each with the invisible text layer of its words in text (in the
// pixels of its image file; none when text is shorter); throws RunError when a page cannot be read
// or the PDF written (nothing is left at target then).
void WritePdfPages(const std::vector<PdfPage>& pages, const PageLayout& layout,
                   const std::string& target,
                   const std::vector<std::vector<PlacedWord>>& text = {});

}  // namespace imgdesk::cli
