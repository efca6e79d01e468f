#pragma once

// The tool's side of page text: pages turned upright by quarter and half turns, and the words of
// a page for the PDF's text layer.
#include <string>
#include <vector>

#include "cli/Picture.h"
#include "scan/PageText.h"

namespace imgdesk::cli {

// Turns page upright when the orientation detection is sure of its turn (without Tesseract's
// orientation data, or with too little text, it is left as it is); the turn applied.
UprightTurn TurnUpright(Picture& page);

// ", turned upside down", ", turned a quarter turn clockwise"; empty for no turn.
std::string DescribeUprightTurn(UprightTurn turn);

// The picture turned clockwise by quarter quarter turns (0 to 3).
Picture TurnQuarters(const Picture& picture, int quarters);

// Throws RunError saying what to install when the language data for languages ("eng",
// "eng+deu") is missing, so that a scan fails before any work.
void RequireLanguages(const std::string& languages);

// A word of a page and where it stands, as the PDF's text layer takes it.
struct PlacedWord {
    std::string text;
    double left, right, baseline, size;  // page pixels, y down from the top row
};

// The page's words in reading order; throws RunError naming what when reading fails.
std::vector<PlacedWord> ReadWords(const Picture& page, const std::string& languages,
                                  const std::string& what);

}  // namespace imgdesk::cli
