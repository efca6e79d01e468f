// Subcommands that measure pictures: the page border and skew, the dark border's removal, and
// motion between frames.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/Command.h"
#include "cli/Job.h"
#include "cli/PageFinder.h"
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

int FindBorder(Args& args) {
    const auto draw = args.Text("draw");
    const bool edges = args.Flag("edges");
    const bool replace = args.Flag("force");
    const std::string input = args.RequirePositionals(1, "one input picture")[0];
    args.Finish();
    if (draw)
        RefuseOutputAmongInputs(*draw, {input});
    Picture picture = LoadPicture(input);
    CDataHandler handler;
    const CRect whole(0, 0, picture.width, picture.height);
    CRect page;
    if (edges) {
        // The edge-based search takes 8 or 24 bits.
        if (picture.bits == 32)
            picture = Colour24Copy(picture);
        page =
            handler.GetBlackSideRectEx(picture.data(), picture.width, picture.height, picture.bits,
                                       picture.hasPalette ? picture.palette : nullptr, whole);
    } else {
        page = handler.GetBlackSideRect(picture.data(), picture.width, picture.height, picture.bits,
                                        picture.hasPalette ? picture.palette : nullptr, whole);
    }
    if (page.IsRectNull())
        throw RunError("out of memory while searching the page");
    std::printf("%s\n", FormatRect(Shown(page, picture.height)).c_str());
    if (draw) {
        Picture marked = Colour24Copy(picture);
        DrawOutline(marked, page);
        SavePicture(marked, *draw, replace);
    }
    return 0;
}

int MeasureSkew(Args& args) {
    const bool edges = args.Flag("edges");
    const std::string input = args.RequirePositionals(1, "one input picture")[0];
    args.Finish();
    Picture picture = LoadPicture(input);
    CDataHandler handler;
    tagRGBQUAD* palette = picture.hasPalette ? picture.palette : nullptr;
    const float radians = edges
                              ? handler.CheckRotatePictureEx(picture.data(), picture.width,
                                                             picture.height, picture.bits, palette)
                              : handler.CheckRotatePicture(picture.data(), picture.width,
                                                           picture.height, picture.bits, palette);
    std::printf("%.2f\n", radians * 180.0 / M_PI);
    return 0;
}

// Paints the pixels within 1.5 pixels of the segment from a to b red (display coordinates).
void DrawSegment(Picture& picture, PagePoint a, PagePoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    if (length <= 0)
        return;
    for (double t = 0; t <= length; t += 0.5) {
        const double cx = a.x + dx * t / length, cy = a.y + dy * t / length;
        for (int y = static_cast<int>(cy - 2); y <= static_cast<int>(cy + 2); ++y) {
            for (int x = static_cast<int>(cx - 2); x <= static_cast<int>(cx + 2); ++x) {
                if (x < 0 || y < 0 || x >= picture.width || y >= picture.height ||
                    std::hypot(x + 0.5 - cx, y + 0.5 - cy) >= 1.5)
                    continue;
                unsigned char* pixel = picture.data() +
                                       static_cast<long long>(picture.height - 1 - y) * picture.Stride() + 3 * x;
                pixel[0] = 0;
                pixel[1] = 0;
                pixel[2] = 255;
            }
        }
    }
}

int FindFrame(Args& args) {
    const auto draw = args.Text("draw");
    const auto cut = args.Text("cut");
    const bool replace = args.Flag("force");
    const std::string input = args.RequirePositionals(1, "one input picture")[0];
    args.Finish();
    for (const auto& output : {draw, cut}) {
        if (output)
            RefuseOutputAmongInputs(*output, {input});
    }
    const Picture picture = LoadPicture(input);
    ScannedPage scanned = ScanPicture(picture);
    if (scanned.found.foundBy != PageFoundBy::PageEdges)
        throw RunError("no page edges found in '" + input + "'");
    std::printf("%s\n", DescribeScan(scanned.found).c_str());
    for (const PagePoint& corner : scanned.found.corners)
        std::printf("corner %.1f %.1f\n", corner.x, corner.y);
    if (draw) {
        Picture marked = Colour24Copy(picture);
        for (int k = 0; k < 4; ++k)
            DrawSegment(marked, scanned.found.corners[k], scanned.found.corners[(k + 1) % 4]);
        SavePicture(marked, *draw, replace);
    }
    if (cut)
        SavePicture(scanned.page, *cut, replace);
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

// clang-format off: one command per block reads best
std::vector<Command> DetectionCommands() {
    const std::string group = "Pages, borders and motion";
    return {
        {"border",
         group,
         "find the page inside a dark border",
         "usage: imgdesk border INPUT [--edges] [--draw OUTPUT]\n\n"
         "Finds the bright page inside a dark border and prints it as left,top,right,bottom in\n"
         "pixels from the top left.\n\noptions:\n"
         "  --edges          search by the page's edges (at a working size of 320 pixels)\n"
         "                   instead of by bright and dark areas\n"
         "  --draw OUTPUT    also write the picture with the page outlined in red\n",
         {"edges"},
         FindBorder},
        {"skew",
         group,
         "measure the turn of a page on a dark desk",
         "usage: imgdesk skew INPUT [--edges]\n\n"
         "Prints the angle that straightens the page, in degrees, counter-clockwise positive as\n"
         "displayed: the page's own turn with the opposite sign (imgdesk straighten --angle A).\n\n"
         "options:\n"
         "  --edges          measure from the strongest edges (2-degree steps) instead of from\n"
         "                   the corners of the bright area; on pages full of print the print's\n"
         "                   edges may win: imgdesk frame measures the page's outline alone\n",
         {"edges"},
         MeasureSkew},
        {"frame",
         group,
         "find the page's frame lines",
         "usage: imgdesk frame INPUT [--draw OUTPUT] [--cut OUTPUT]\n\n"
         "Finds the page's four edges, each fitted as a line at full resolution, and prints what\n"
         "straightening it takes (the turn, and whether the perspective needs correcting), then\n"
         "the page's top-left, top-right, bottom-right and bottom-left corners as x y in pixels\n"
         "from the picture's top-left corner. Fails when no page edges are found.\n\noptions:\n"
         "  --draw OUTPUT    also write the picture with the page outlined in red\n"
         "  --cut OUTPUT     also write the page cut out upright, its text levelled\n",
         {},
         FindFrame},
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
// clang-format on

}  // namespace imgdesk::cli
