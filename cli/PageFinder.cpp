#include "cli/PageFinder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cli/Args.h"

namespace imgdesk::cli {

FoundPage FindPage(const Picture& picture) {
    CDataHandler handler;
    const float step = static_cast<float>(std::max(picture.width, picture.height) / 320.0);
    const float scale = static_cast<float>(1.0 / step);
    unsigned char* working = nullptr;
    int width = 0, height = 0;
    if (!handler.ZoomData(picture.data(), picture.width, picture.height, picture.bits, scale,
                          working, width, height)) {
        throw RunError("out of memory while looking for the page");
    }
    std::vector<unsigned char> edges(static_cast<size_t>(width) * height);
    tagRGBQUAD palette[256];
    std::copy(picture.palette, picture.palette + 256, palette);
    handler.ColourToGreyScale(working, width, height, picture.bits,
                              picture.hasPalette ? palette : nullptr, edges.data(), 0);
    DelMem(working);
    // The page is the largest bright area: keep it, fill the holes its print leaves, and only its
    // outline remains as edges. Edges of print would otherwise outweigh the page's own outline.
    handler.Binarization(edges.data(), width, height);
    handler.RegionAnalysis(edges.data(), width, height);
    const std::vector<unsigned char> white(edges.size(), 255);
    handler.FillRegion(const_cast<unsigned char*>(white.data()), width, height, edges.data());
    handler.EdgeDetectionSobelEx(edges.data(), width, height);
    handler.MedianFilter(edges.data(), width, height);
    handler.RegionAnalysis(edges.data(), width, height);

    FoundPage page;
    _STRAIGHTLINE dominant{};
    handler.HoughTrans(edges.data(), width, height, dominant);
    if (dominant.votes == 0 ||
        !handler.SearchLine(edges.data(), width, height, dominant, page.lines))
        return page;
    for (auto& line : page.lines)
        line.distance = static_cast<int>(std::lround(line.distance * double(step)));
    // Frames that enclose nothing (no edges on one side) are not a page.
    page.found = page.lines[0].distance > page.lines[2].distance &&
                 page.lines[1].distance > page.lines[3].distance;
    const int normal = 2 * page.lines[0].angle;
    page.skewDegrees = normal <= 44 ? -normal : normal <= 134 ? 90 - normal : 180 - normal;
    return page;
}

Picture CutOutPage(const Picture& picture, const FoundPage& page) {
    _STRAIGHTLINE lines[4];
    std::copy(page.lines, page.lines + 4, lines);
    unsigned char* output = nullptr;
    int width = 0, height = 0;
    if (!CDataHandler().RotateGreenFrame(picture.data(), picture.width, picture.height,
                                         picture.bits, lines, output, width, height)) {
        throw RunError("out of memory while cutting out the page");
    }
    Picture cut;
    cut.pixels.reset(output);
    cut.width = width;
    cut.height = height;
    cut.bits = picture.bits;
    cut.hasPalette = picture.hasPalette;
    std::copy(picture.palette, picture.palette + 256, cut.palette);
    if (width < 1 || height < 1)
        throw RunError("the page found has no area");
    return cut;
}

}  // namespace imgdesk::cli
