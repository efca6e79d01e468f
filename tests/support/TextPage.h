#pragma once

// A page of known English prose for the page-text suites and benchmark: written as a small PDF in
// Times-Roman, rendered by pdftoppm, and laid turned on a dark desk as a camera sees it.
#include <string>
#include <vector>

namespace imgdesk::test {

// Grey levels, top row first, width bytes a row.
struct GreyImage {
    int width = 0, height = 0;
    std::vector<unsigned char> levels;
    unsigned char At(int x, int y) const { return levels[size_t(y) * width + x]; }
};

// The page's words in reading order, punctuation included.
const std::vector<std::string>& TextPageWords();

// The page rendered at dpi (an A5 page: 148 x 210 mm). Throws std::runtime_error when pdftoppm
// fails or is missing.
GreyImage RenderTextPage(int dpi);

// The page lying on a dark desk, turned degrees counter-clockwise as displayed about its centre,
// in a square photo whose side is the page's diagonal and a tenth more.
GreyImage PhotographTurned(const GreyImage& page, double degrees);

// The picture turned clockwise by quarter turns (0 to 3), exactly.
GreyImage TurnQuarters(const GreyImage& picture, int quarters);

// Writes the picture as a 24-bit BMP file; false when it cannot be written.
bool WriteBmp(const GreyImage& picture, const std::string& path);

// The share of the page's words that text holds in reading order (the longest common run of
// words, in order though not necessarily adjacent, over the page's word count). Words are
// compared with their punctuation.
double WordRecall(const std::string& text);

}  // namespace imgdesk::test
