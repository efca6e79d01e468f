#pragma once

// How well a cut-out page matches a photo's truth, measured from the output's own geometry: the
// result's corners give the output-to-photo map, the truth gives the page-to-photo map, and
// together they say where every output point lies on the page. Nothing is detected again.
#include <string>

#include "scan/PageScan.h"
#include "support/PhotoSet.h"

namespace imgdesk::test {

struct ScanFigures {
    // The turn of the page's text lines in the output, degrees, positive clockwise as displayed:
    // the mean over the text, and the largest departure from level anywhere on it.
    double residualTurn = 0;
    double worstTurn = 0;
    double deskKept = 0;       // % of the output showing no page
    double pageCut = 0;        // % of the page (its part inside the photo) missing from the output
    double textCut = 0;        // % of the page's text (its part inside the photo) missing from it
    double cornerError = -1;   // largest corner distance, % of the photo's diagonal; -1 when
                               // the truth has no corners in the photo
    double pageIoU = 0;        // overlap of the page found and the true page, within the photo
    bool coversPhoto = false;  // every point of the photo is in the output
    double uncoveredDark = 0;  // % of the output's uncovered part that is dark (not paper)
    bool usable = false;       // page IoU >= 0.9 and level within 1 degree
};

// Output point -> photo point, from the result's corners.
Homography OutputToPhoto(const PageScanResult& result);

ScanFigures Measure(const Photo& photo, const PageScanResult& result);

// What the result lacks against the bar its photo's truth sets, as "; "-ended phrases; empty when
// it meets it. A page found by its edges: the right kind, level within 0.1 degree, at most 1% desk
// (plus the outline's slack of curled paper) and 1% of the page cut. An ambiguous page: its text
// kept (at most 1% cut) and level within a degree, whatever the kind.
std::string Shortfalls(const Photo& photo, const PageScanResult& result,
                       const ScanFigures& figures);

// One line with the figures, for failure messages and the evaluator.
std::string Describe(const ScanFigures& figures);

const char* KindName(PageFoundBy kind);

}  // namespace imgdesk::test
