#include "cli/PageReading.h"

#include <cstring>

#include "cli/Args.h"

namespace imgdesk::cli {
namespace {

const tagRGBQUAD* PaletteOf(const Picture& picture) {
    return picture.bits == 8 ? picture.palette : nullptr;
}

struct TextHolder {
    PageText text;
    ~TextHolder() { ReleasePageText(text); }
};

}  // namespace

UprightTurn TurnUpright(Picture& page) {
    PageTurn found;
    const PageTextStatus status =
        DetectUprightTurn(page.data(), page.width, page.height, page.bits, PaletteOf(page), found);
    if (status == PageTextStatus::OutOfMemory)
        throw RunError("out of memory while finding which way up the page is");
    if (status != PageTextStatus::Done || found.turn == UprightTurn::NotSure ||
        found.turn == UprightTurn::Upright)
        return UprightTurn::Upright;
    page = TurnQuarters(page, static_cast<int>(found.turn));
    return found.turn;
}

std::string DescribeUprightTurn(UprightTurn turn) {
    switch (turn) {
        case UprightTurn::QuarterClockwise:
            return ", turned a quarter turn clockwise";
        case UprightTurn::Half:
            return ", turned upside down";
        case UprightTurn::QuarterCounterClockwise:
            return ", turned a quarter turn counter-clockwise";
        default:
            return "";
    }
}

Picture TurnQuarters(const Picture& picture, int quarters) {
    quarters &= 3;
    const bool across = quarters % 2 == 1;
    Picture turned = NewPicture(across ? picture.height : picture.width,
                                across ? picture.width : picture.height, picture.bits);
    std::memcpy(turned.palette, picture.palette, sizeof turned.palette);
    turned.hasPalette = picture.hasPalette;
    const int step = picture.bits / 8, inStride = picture.Stride(), outStride = turned.Stride();
    const int w = picture.width, h = picture.height;
    // Rows are bottom-up; (x, y) below counts y from the top row as displayed.
    for (int y = 0; y < turned.height; ++y) {
        unsigned char* out =
            turned.data() + static_cast<long long>(turned.height - 1 - y) * outStride;
        for (int x = 0; x < turned.width; ++x, out += step) {
            int sx = x, sy = y;
            if (quarters == 1)
                sx = y, sy = h - 1 - x;
            else if (quarters == 2)
                sx = w - 1 - x, sy = h - 1 - y;
            else if (quarters == 3)
                sx = w - 1 - y, sy = x;
            const unsigned char* in = picture.data() +
                                      static_cast<long long>(h - 1 - sy) * inStride +
                                      static_cast<long long>(sx) * step;
            std::memcpy(out, in, size_t(step));
        }
    }
    return turned;
}

void RequireLanguages(const std::string& languages) {
    const unsigned char white = 255;
    tagRGBQUAD grey[256] = {};
    for (int i = 0; i < 256; ++i)
        grey[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    unsigned char pixel[4] = {white, white, white, white};
    PageText text;
    PageTextOptions options;
    options.languages = languages.c_str();
    const PageTextStatus status = RecognisePage(pixel, 1, 1, 8, grey, text, options);
    ReleasePageText(text);
    if (status == PageTextStatus::NotAvailable)
        throw RunError("--ocr: no Tesseract language data for '" + languages +
                       "' (install tesseract-ocr-LANG for each language, e.g. tesseract-ocr-" +
                       languages.substr(0, languages.find('+')) +
                       ", or point TESSDATA_PREFIX at the folder holding LANG.traineddata)");
    if (status == PageTextStatus::BadInput)
        throw UsageError("--ocr: '" + languages + "' names no language");
}

std::vector<PlacedWord> ReadWords(const Picture& page, const std::string& languages,
                                  const std::string& what) {
    TextHolder read;
    PageTextOptions options;
    options.languages = languages.c_str();
    const PageTextStatus status = RecognisePage(page.data(), page.width, page.height, page.bits,
                                                PaletteOf(page), read.text, options);
    if (status != PageTextStatus::Done)
        throw RunError(what + ": cannot read its text: " + DescribePageTextStatus(status));
    std::vector<PlacedWord> words;
    for (int i = 0; i < read.text.count; ++i) {
        const PageWord& w = read.text.words[i];
        words.push_back({w.text, double(w.left), double(w.right), w.baseline,
                         double(w.lineBottom - w.lineTop)});
    }
    return words;
}

}  // namespace imgdesk::cli
