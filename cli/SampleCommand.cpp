// A generator of photographed pages: a turned page with lines of text-like marks on a dark desk,
// under uneven light, with sensor noise. It makes the bundled samples and gives users a page whose
// true turn is known, for trying the tool.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "cli/Command.h"
#include "cli/Job.h"
#include "cli/PictureCommand.h"

namespace imgdesk::cli {
namespace {

// A small deterministic generator, so that a seed always gives the same page.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // Uniform in [0, 1).
    double Unit() { return (Next() >> 8) / 16777216.0; }

private:
    std::uint32_t state_;
};

struct PageLayout {
    double width;  // page size in canvas pixels
    double height;
    std::vector<CRect> marks;  // text-like marks in page coordinates (y from the page's top)
};

PageLayout LayOutPage(double width, double height, Noise& noise) {
    PageLayout page{width, height, {}};
    const int margin = static_cast<int>(width * 0.1);
    // Lines of small print, as on a photographed letter: thin marks, generous spacing.
    const int lineHeight = std::max(3, static_cast<int>(height / 70));
    for (int top = margin; top + lineHeight < height - margin; top += 5 * lineHeight / 2) {
        if (noise.Unit() < 0.12)
            continue;  // a blank line between paragraphs
        const int end = static_cast<int>(width - margin -
                                         (noise.Unit() < 0.25 ? width * 0.3 * noise.Unit() : 0));
        for (int left = margin; left < end;) {
            const int word = static_cast<int>(lineHeight * (1.0 + 4.0 * noise.Unit()));
            page.marks.emplace_back(left, top, std::min(left + word, end), top + lineHeight);
            left += word + lineHeight / 2 + 1;
        }
    }
    return page;
}

bool InMark(const PageLayout& page, double x, double y) {
    const POINT point{static_cast<LONG>(x), static_cast<LONG>(y)};
    for (const CRect& mark : page.marks) {
        if (mark.top > point.y)
            break;  // marks are in reading order
        if (mark.PtInRect(point))
            return true;
    }
    return false;
}

int MakeSample(Args& args) {
    const auto [output, replace] = ReadOutput(args, "png jpg jpeg bmp tif tiff gif");
    const int width = args.Int("width", 800, 64, 8000);
    const int height = args.Int("height", 600, 64, 8000);
    const double angle = args.Number("angle", 0, -44, 44);
    const int seed = args.Int("seed", 1, 0, 1 << 30);
    args.RequirePositionals(0, "no input files");
    args.Finish();

    Noise noise(static_cast<std::uint32_t>(seed));
    // A portrait page filling most of the shorter side, a little off centre.
    const double pageHeight = std::min(width, height) * 0.78;
    const PageLayout page = LayOutPage(pageHeight / 1.414, pageHeight, noise);
    const double centreX = width * (0.5 + 0.04 * (noise.Unit() - 0.5));
    const double centreY = height * (0.5 + 0.04 * (noise.Unit() - 0.5));
    // Counter-clockwise as displayed; canvas y runs down the picture.
    const double c = std::cos(angle * M_PI / 180), s = std::sin(angle * M_PI / 180);
    const double lightX = noise.Unit(), lightY = noise.Unit();

    Picture picture = NewPicture(width, height, 24);
    constexpr int kSub = 2;  // 2 x 2 samples a pixel give the page soft edges, as a lens does
    for (int y = 0; y < height; ++y) {
        unsigned char* row =
            picture.data() + static_cast<long long>(height - 1 - y) * picture.Stride();
        for (int x = 0; x < width; ++x) {
            const double light = 0.75 + 0.25 * (1.0 - std::hypot(x / double(width) - lightX,
                                                                 y / double(height) - lightY));
            double level = 0;
            for (int sub = 0; sub < kSub * kSub; ++sub) {
                const double dx = x + (sub % kSub + 0.5) / kSub - centreX;
                const double dy = y + (sub / kSub + 0.5) / kSub - centreY;
                // Canvas to page coordinates: undo the turn about the page's centre.
                const double px = dx * c - dy * s + page.width / 2;
                const double py = dx * s + dy * c + page.height / 2;
                const bool onPage = px >= 0 && py >= 0 && px < page.width && py < page.height;
                level += !onPage ? 45 : InMark(page, px, py) ? 60 : 235;
            }
            level = level / (kSub * kSub) * light + (noise.Unit() - 0.5) * 12;
            const auto grey = static_cast<unsigned char>(std::clamp(level, 0.0, 255.0));
            row[3 * x] =
                static_cast<unsigned char>(std::clamp(level - 6, 0.0, 255.0));  // a warm light
            row[3 * x + 1] = grey;
            row[3 * x + 2] = static_cast<unsigned char>(std::clamp(level + 4, 0.0, 255.0));
        }
    }
    SavePicture(picture, output, replace);
    return 0;
}

}  // namespace

Command SampleCommand() {
    auto value = [](const char* name, const char* placeholder, const char* help) {
        return Option{name, 0, Takes::Value, placeholder, help, ""};
    };
    std::vector<Option> options = {
        value("angle", "A", "the page's turn, -44..44 (default 0)"),
        value("width", "W", "picture width (default 800)"),
        value("height", "H", "picture height (default 600)"),
        value("seed", "N", "varies the text, the light and the noise (default 1)"),
    };
    for (auto& option :
         OutputOptions("picture (.jpg gives JPEG noise too)", "png jpg jpeg bmp tif tiff gif"))
        options.push_back(std::move(option));
    return {
        "sample",
        "Samples",
        "make a photographed page for trying the tool",
        "[--angle A] [--width W] [--height H] [--seed N] -o OUTPUT",
        "Makes a picture of a page of text-like marks turned by A degrees (counter-clockwise as\n"
        "displayed) on a dark desk, under uneven light and with noise. The same options give\n"
        "the same picture.\n",
        std::move(options),
        MakeSample};
}

}  // namespace imgdesk::cli
