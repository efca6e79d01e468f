#pragma once

// The tool's side of the page scanner: a loaded picture in, the page cut out upright and a
// sentence saying what was done out.
#include <string>

#include "cli/Picture.h"
#include "scan/PageScan.h"

namespace imgdesk::cli {

struct ScannedPage {
    Picture page;
    PageScanResult found;  // pixels already handed to page
};

// Runs the page scanner on picture; throws RunError when memory runs short.
ScannedPage ScanPicture(const Picture& picture, const PageScanOptions& options = {});

// What happened to the page, in words: "page found, turned 3.4 degrees clockwise, perspective
// corrected", "no page edges, text levelled by 4.0 degrees counter-clockwise", "kept as is".
std::string DescribeScan(const PageScanResult& found);

}  // namespace imgdesk::cli
