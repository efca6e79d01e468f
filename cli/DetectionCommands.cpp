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
    const std::string input = InputFile(args.RequirePositionals(1, "one input picture")[0]);
    args.Finish();
    if (draw)
        RefuseOutputAmongInputs(*draw, {input});
    Picture picture = LoadPicture(input);
    MakeColour24(picture);
    CDataHandler handler;
    const CRect whole(0, 0, picture.width, picture.height);
    CRect page;
    if (edges) {
        page =
            handler.GetBlackSideRectEx(picture.data(), picture.width, picture.height, picture.bits,
                                       picture.hasPalette ? picture.palette : nullptr, whole);
    } else {
        page = handler.GetBlackSideRect(picture.data(), picture.width, picture.height, picture.bits,
                                        picture.hasPalette ? picture.palette : nullptr, whole);
    }
    if (page.IsRectNull())
        throw RunError("out of memory while searching the page");
    // The edge search works at a reduced size and may scale its answer a pixel past the edge.
    const CRect found = page;
    page.IntersectRect(&found, &whole);
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
    const std::string input = InputFile(args.RequirePositionals(1, "one input picture")[0]);
    args.Finish();
    Picture picture = LoadPicture(input);
    MakeColour24(picture);
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
                unsigned char* pixel =
                    picture.data() +
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
    const std::string input = InputFile(args.RequirePositionals(1, "one input picture")[0]);
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

// One motion measure's memory of the previous frame, released at the end.
struct StoredFrame {
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    ~StoredFrame() { DelMem(pixels); }
};

int CountMotion(Args& args) {
    const bool edges = args.Flag("edges");
    const auto threshold = args.Text("threshold");
    const double percent = threshold ? ParseNumber("threshold", *threshold, 0, 100) : 0;
    const auto frames = InputFiles(args.RequireAtLeast(2, "two or more frames"));
    const auto& names = args.Positionals();
    args.Finish();
    CDataHandler handler;
    StoredFrame counted, moving, still;
    int status = 0;
    for (size_t i = 0; i < frames.size() && status == 0; ++i) {
        try {
            Picture frame = LoadPicture(frames[i]);
            // The plain measures read no palette: every frame goes to them in colour.
            MakeColour24(frame);
            const int changed =
                edges ? handler.DynamicPointNumEx(frame.data(), frame.width, frame.height, 24,
                                                  nullptr, counted.pixels, counted.width,
                                                  counted.height)
                      : handler.DynamicPointNum(frame.data(), frame.width, frame.height, 24,
                                                counted.pixels, counted.width, counted.height);
            const bool moves =
                handler.DynamicDistinguish(frame.data(), frame.width, frame.height, 24,
                                           moving.pixels, moving.width, moving.height) == 1;
            const bool rests =
                handler.StaticDistinguish(frame.data(), frame.width, frame.height, 24, still.pixels,
                                          still.width, still.height) == 1;
            if (changed < 0)
                throw RunError("cannot compare '" + names[i] + "'");
            if (i == 0)
                continue;
            const char* verdict = moves ? "moving" : rests ? "still" : "changing";
            if (threshold) {
                // The count is of the pixels the measure compared (a working size with --edges).
                const double compared = double(counted.width) * counted.height;
                verdict = changed > compared * percent / 100 ? "moving" : "still";
            }
            std::printf("%s\t%d\t%s\n", names[i].c_str(), changed, verdict);
        } catch (const RunError& error) {
            std::fprintf(stderr, "imgdesk motion: %s\n", error.what());
            status = 1;
        }
    }
    return status;
}

}  // namespace

// clang-format off: one command per block reads best
std::vector<Command> DetectionCommands() {
    const std::string group = "Pages, borders and motion";
    const Option edgesFlag = {"edges", 0, Takes::Nothing, "", "", ""};
    const Option force = {"force", 0, Takes::Nothing, "", "replace the files written if they exist",
                          ""};
    auto with = [](Option option, const std::string& help) {
        option.help = help;
        return option;
    };
    auto pictureOut = [](const std::string& name, const std::string& help) {
        return Option{name, 0, Takes::Value, "OUTPUT", help, "FILE"};
    };
    std::vector<Option> cleanOptions = OutputOptions("picture", "png jpg jpeg bmp tif tiff gif");
    return {
        {"border",
         group,
         "find the page inside a dark border",
         "INPUT [--edges] [--draw OUTPUT]",
         "Finds the bright page inside a dark border and prints it as left,top,right,bottom in\n"
         "pixels from the top left, within the picture.\n",
         {with(edgesFlag,
               "search by the page's edges (at a working size of 320 pixels)\n"
               "instead of by bright and dark areas"),
          pictureOut("draw", "also write the picture with the page outlined in red"), force},
         FindBorder},
        {"skew",
         group,
         "measure the turn of a page on a dark desk",
         "INPUT [--edges]",
         "Prints the angle that straightens the page, in degrees, counter-clockwise positive as\n"
         "displayed: the page's own turn with the opposite sign (imgdesk straighten --angle A).\n",
         {with(edgesFlag,
               "measure from the strongest edges (2-degree steps) instead of from\n"
               "the corners of the bright area; on pages full of print the print's\n"
               "edges may win: imgdesk frame measures the page's outline alone")},
         MeasureSkew},
        {"frame",
         group,
         "find the page's frame lines",
         "INPUT [--draw OUTPUT] [--cut OUTPUT]",
         "Finds the page's four edges, each fitted as a line at full resolution, and prints what\n"
         "straightening it takes (the turn, and whether the perspective needs correcting), then\n"
         "the page's top-left, top-right, bottom-right and bottom-left corners as x y in pixels\n"
         "from the picture's top-left corner. Fails when no page edges are found.\n",
         {pictureOut("draw", "also write the picture with the page outlined in red"),
          pictureOut("cut", "also write the page cut out upright, its text levelled"), force},
         FindFrame},
        {"clean-border", group, "whiten dark areas touching the edges", "INPUT -o OUTPUT",
         "Writes the grey levels with every dark area (below 125) that touches the picture's\n"
         "edge turned white.\n",
         cleanOptions, CleanBorder},
        {"motion",
         group,
         "say which frames move and which are still",
         "[--edges] [--threshold P] FRAME FRAME...",
         "Prints, for each frame after the first, its name, the number of pixels whose grey\n"
         "level changed by more than 40 since the previous frame, and a verdict: moving (more\n"
         "than a quarter of the pixels changed by more than 30), still (less than a tenth did)\n"
         "or changing (in between). With --threshold the verdict is moving when more than P\n"
         "percent of the pixels counted changed, else still.\n",
         {with(edgesFlag,
               "count changes in edge images at a working size of about 320 pixels\n"
               "instead (changes of more than 100)"),
          {"threshold", 0, Takes::Value, "P",
           "the percentage of changed pixels above which a\n"
           "frame is moving (0..100)",
           ""}},
         CountMotion},
    };
}
// clang-format on

}  // namespace imgdesk::cli
