#include "cli/PdfPages.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "cli/Picture.h"
#include "platform/CString.h"
#include "service/Jpg2Pdf.h"

namespace imgdesk::cli {
namespace {

struct Paper {
    const char* name;
    double width, height;  // points, upright
};
constexpr Paper kPapers[] = {
    {"a4", 595.276, 841.89}, {"letter", 612, 792}, {"legal", 612, 1008}, {"a5", 419.528, 595.276}};

const Paper& ChoosePaper(const std::string& name, int width, int height) {
    if (name == "auto") {
        // The standard size whose proportions are nearest the page's.
        const double ratio = double(std::max(width, height)) / std::min(width, height);
        const Paper* best = &kPapers[0];
        for (const Paper& paper : kPapers)
            if (std::fabs(paper.height / paper.width - ratio) <
                std::fabs(best->height / best->width - ratio))
                best = &paper;
        return *best;
    }
    for (const Paper& paper : kPapers)
        if (name == paper.name)
            return paper;
    throw UsageError("--paper: '" + name + "' is not a4, letter, legal, a5 or auto");
}

bool IsJpegFile(const std::string& path) {
    unsigned char start[3] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    const bool jpeg = std::fread(start, 1, 3, file) == 3 && start[0] == 0xFF && start[1] == 0xD8 &&
                      start[2] == 0xFF;
    std::fclose(file);
    return jpeg;
}

// The page's pixels as the writer takes them: 8-bit levels (through the palette) or 24-bit colour.
Picture Levels(const Picture& page, bool grey) {
    Picture out = NewPicture(page.width, page.height, grey ? 8 : 24);
    const int inBytes = page.bits / 8;
    for (int y = 0; y < page.height; ++y) {
        const unsigned char* in = page.data() + static_cast<long long>(y) * page.Stride();
        unsigned char* o = out.data() + static_cast<long long>(y) * out.Stride();
        for (int x = 0; x < page.width; ++x) {
            unsigned char bgr[3];
            if (page.bits == 8) {
                const tagRGBQUAD& c = page.palette[in[x]];
                bgr[0] = c.rgbBlue, bgr[1] = c.rgbGreen, bgr[2] = c.rgbRed;
            } else {
                std::copy(in + x * inBytes, in + x * inBytes + 3, bgr);
            }
            if (grey)
                o[x] = static_cast<unsigned char>(
                    (299 * bgr[2] + 587 * bgr[1] + 114 * bgr[0] + 500) / 1000);
            else
                std::copy(bgr, bgr + 3, o + 3 * x);
        }
    }
    return out;
}

bool IsGrey(const Picture& page) {
    if (page.bits != 8)
        return false;
    for (const auto& c : page.palette)
        if (c.rgbRed != c.rgbGreen || c.rgbGreen != c.rgbBlue)
            return false;
    return true;
}

}  // namespace

PageLayout ReadPageLayout(Args& args, const std::string& defaultPaper) {
    PageLayout layout;
    if (args.Text("dpi"))
        layout.dpi = args.Number("dpi", 0, 10, 10000);
    layout.paper = args.Text("paper", defaultPaper);
    layout.quality = args.Int("quality", 85, 1, 100);
    ChoosePaper(layout.paper, 1, 1);  // a mistake is reported before any work
    return layout;
}

std::pair<double, double> PageBox(int width, int height, const PictureFacts& facts,
                                  const PageLayout& layout) {
    if (facts.dpiX > 0 && facts.dpiY > 0)
        return {width * 72 / facts.dpiX, height * 72 / facts.dpiY};
    if (layout.dpi)
        return {width * 72 / *layout.dpi, height * 72 / *layout.dpi};
    const Paper& paper = ChoosePaper(layout.paper, width, height);
    const bool wide = width > height;
    const double paperWidth = wide ? paper.height : paper.width;
    const double paperHeight = wide ? paper.width : paper.height;
    const double scale = std::min(paperWidth / width, paperHeight / height);
    return {width * scale, height * scale};
}

void WritePdfPages(const std::vector<PdfPage>& pages, const PageLayout& layout,
                   const std::string& target, const std::vector<std::vector<PlacedWord>>& text) {
    CJpg2Pdf writer;
    FILE* pdf = writer.CreatePdfFile(Utf8ToWide(target.c_str()));
    if (!pdf)
        throw RunError("cannot write '" + target + "' (check the folder)");
    std::vector<PdfTextWord> layer;
    for (size_t index = 0; index < pages.size(); ++index) {
        const PdfPage& page = pages[index];
        layer.clear();
        if (index < text.size())
            for (const PlacedWord& word : text[index])
                layer.push_back(
                    {word.text.c_str(), word.left, word.right, word.baseline, word.size});
        try {
            if (page.asIs && IsJpegFile(page.path)) {
                const Picture shown = LoadPicture(page.path);
                const auto [w, h] = PageBox(shown.width, shown.height, page.facts, layout);
                FILE* jpeg = std::fopen(page.path.c_str(), "rb");
                writer.SetPageBox(w, h);
                writer.SetPageText(layer.data(), int(layer.size()));
                const int added = jpeg ? writer.AddPage(pdf, jpeg) : 0;
                if (jpeg)
                    std::fclose(jpeg);
                if (!added)
                    throw RunError("cannot add '" + page.path + "' to '" + target + "'");
                continue;
            }
            const Picture picture = LoadPicture(page.path);
            const auto [w, h] = PageBox(picture.width, picture.height, page.facts, layout);
            writer.SetPageBox(w, h);
            writer.SetPageText(layer.data(), int(layer.size()));
            const bool grey = page.bilevel || IsGrey(picture);
            const Picture levels = Levels(picture, grey);
            const int added =
                page.bilevel ? writer.AddBilevelPage(pdf, levels.data(), levels.width,
                                                     levels.height, levels.Stride())
                             : writer.AddPixelPage(pdf, levels.data(), levels.width, levels.height,
                                                   grey ? 8 : 24, levels.Stride(), layout.quality);
            if (!added)
                throw RunError("cannot add '" + page.path + "' to '" + target + "'");
        } catch (const RunError& error) {
            writer.AddTrailer(pdf);  // closes the stream
            ::unlink(target.c_str());
            throw;
        }
    }
    if (!writer.AddCatalog(pdf) || !writer.AddPages(pdf) || !writer.AddCrossReferenceTable(pdf) ||
        !writer.AddTrailer(pdf)) {
        ::unlink(target.c_str());
        throw RunError("cannot write '" + target + "'");
    }
}

}  // namespace imgdesk::cli
