// Subcommands that measure pictures: the page border and skew, the dark border's removal, and
// motion between frames.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/Command.h"
#include "cli/PictureCommand.h"
#include "pixel/DataHandler.h"

namespace imgdesk::cli {
namespace {

// The rectangle as the picture is displayed: y from the top.
CRect Shown(const CRect& rows, int height) {
    return CRect(rows.left, height - rows.bottom, rows.right, height - rows.top);
}

// Draws a three-pixel red outline of rect (buffer rows) on a 24-bit picture.
void DrawOutline(Picture& picture, const CRect& rect) {
    auto paint = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= picture.width || y >= picture.height)
            return;
        unsigned char* pixel =
            picture.data() + static_cast<long long>(y) * picture.Stride() + 3 * x;
        pixel[0] = 0;
        pixel[1] = 0;
        pixel[2] = 255;
    };
    for (int t = 0; t < 3; ++t) {
        for (int x = rect.left; x < rect.right; ++x) {
            paint(x, rect.top + t);
            paint(x, rect.bottom - 1 - t);
        }
        for (int y = rect.top; y < rect.bottom; ++y) {
            paint(rect.left + t, y);
            paint(rect.right - 1 - t, y);
        }
    }
}

Picture Colour24Copy(const Picture& picture) {
    Picture colour = NewPicture(picture.width, picture.height, 24);
    tagRGBQUAD palette[256];
    std::memcpy(palette, picture.palette, sizeof palette);
    Check(CDataHandler().GreyScaleToColour24(picture.data(), picture.width, picture.height,
                                             picture.bits, palette, colour.data()),
          "cannot convert the picture to colour");
    return colour;
}

int FindBorder(Args& args) {
    const auto draw = args.Text("draw");
    const std::string input = args.RequirePositionals(1, "one input picture")[0];
    args.Finish();
    Picture picture = LoadPicture(input);
    const CRect page = CDataHandler().GetBlackSideRect(
        picture.data(), picture.width, picture.height, picture.bits,
        picture.hasPalette ? picture.palette : nullptr, CRect(0, 0, picture.width, picture.height));
    if (page.IsRectNull())
        throw RunError("out of memory while searching the page");
    std::printf("%s\n", FormatRect(Shown(page, picture.height)).c_str());
    if (draw) {
        Picture marked = Colour24Copy(picture);
        DrawOutline(marked, page);
        SavePicture(marked, *draw);
    }
    return 0;
}

int MeasureSkew(Args& args) {
    const std::string input = args.RequirePositionals(1, "one input picture")[0];
    args.Finish();
    Picture picture = LoadPicture(input);
    const float radians = CDataHandler().CheckRotatePicture(
        picture.data(), picture.width, picture.height, picture.bits,
        picture.hasPalette ? picture.palette : nullptr);
    std::printf("%.2f\n", radians * 180.0 / M_PI);
    return 0;
}

// Whitens every dark area that touches the picture's edge, seeded from each dark edge pixel.
int CleanBorder(Args& args) {
    return TransformPicture(args, [](Picture& picture) {
        auto grey = PackedGrey(picture);
        const int w = picture.width, h = picture.height;
        CDataHandler handler;
        auto seed = [&](int x, int y) {
            if (grey[static_cast<size_t>(y) * w + x] < 125)
                handler.DelBlackSide(grey.data(), w, h, y, x);
        };
        for (int x = 0; x < w; ++x) {
            seed(x, 0);
            seed(x, h - 1);
        }
        for (int y = 0; y < h; ++y) {
            seed(0, y);
            seed(w - 1, y);
        }
        picture = FromPackedGrey(grey, w, h);
    });
}

int CountMotion(Args& args) {
    const bool edges = args.Flag("edges");
    const auto& frames = args.RequireAtLeast(2, "two or more frames");
    args.Finish();
    CDataHandler handler;
    unsigned char* stored = nullptr;
    int storedWidth = 0, storedHeight = 0;
    int status = 0;
    for (size_t i = 0; i < frames.size() && status == 0; ++i) {
        try {
            Picture frame = LoadPicture(frames[i]);
            const int changed =
                edges
                    ? handler.DynamicPointNumEx(frame.data(), frame.width, frame.height, frame.bits,
                                                frame.hasPalette ? frame.palette : nullptr, stored,
                                                storedWidth, storedHeight)
                    : handler.DynamicPointNum(frame.data(), frame.width, frame.height, frame.bits,
                                              stored, storedWidth, storedHeight);
            if (changed < 0)
                throw RunError("cannot compare '" + frames[i] + "'");
            if (i > 0)
                std::printf("%s\t%d\n", frames[i].c_str(), changed);
        } catch (const RunError& error) {
            std::fprintf(stderr, "imgdesk motion: %s\n", error.what());
            status = 1;
        }
    }
    DelMem(stored);
    return status;
}

}  // namespace

std::vector<Command> DetectionCommands() {
    const std::string group = "Pages, borders and motion";
    return {
        {"border",
         group,
         "find the page inside a dark border",
         "usage: imgdesk border INPUT [--draw OUTPUT]\n\n"
         "Finds the bright page inside a dark border and prints it as left,top,right,bottom in\n"
         "pixels from the top left.\n\noptions:\n"
         "  --draw OUTPUT    also write the picture with the page outlined in red\n",
         {},
         FindBorder},
        {"skew",
         group,
         "measure the turn of a page on a dark desk",
         "usage: imgdesk skew INPUT\n\n"
         "Prints the angle that straightens the page, in degrees, counter-clockwise positive as\n"
         "displayed: the page's own turn with the opposite sign (imgdesk straighten --angle A).\n",
         {},
         MeasureSkew},
        {"clean-border",
         group,
         "whiten dark areas touching the edges",
         "usage: imgdesk clean-border INPUT -o OUTPUT\n\n"
         "Writes the grey levels with every dark area (below 125) that touches the picture's\n"
         "edge turned white.\n",
         {},
         CleanBorder},
        {"motion",
         group,
         "count changed pixels between frames",
         "usage: imgdesk motion [--edges] FRAME FRAME...\n\n"
         "Prints, for each frame after the first, the number of pixels whose grey level changed\n"
         "by more than 40 since the previous frame.\n\noptions:\n"
         "  --edges          compare edge images at a working size of about 320 pixels instead\n"
         "                   (changes of more than 100)\n",
         {"edges"},
         CountMotion},
    };
}

}  // namespace imgdesk::cli
