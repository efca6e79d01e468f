// The skew and the page rectangle of a picture measured from its edges, on a working image of
// about 320 pixels on its longer side.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/LineGeometry.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

constexpr double kWorkingSide = 320.0;

// The picture pixels per working pixel, and the zoom factor that makes the working image.
struct WorkingScale {
    float pixelsPerWorking;
    float factor;

    explicit WorkingScale(int longerSide)
        : pixelsPerWorking(static_cast<float>(longerSide / kWorkingSide)),
          factor(static_cast<float>(1.0 / pixelsPerWorking)) {}
};

// A packed edge image of a picture: zoomed to the working size, grey, Sobel edges, smoothed and
// reduced to its largest bright region.
struct EdgeImage {
    ScratchPtr<> edges;
    int width = 0;
    int height = 0;

    bool Make(CDataHandler& handler, unsigned char* picture, int pictureWidth, int pictureHeight,
              int bitsPerPixel, tagRGBQUAD* palette, float factor) {
        unsigned char* zoomed = nullptr;
        handler.ZoomData(picture, pictureWidth, pictureHeight, bitsPerPixel, factor, zoomed, width,
                         height);
        ScratchPtr<> working(zoomed);
        if (!working)
            return false;
        edges = NewScratch(static_cast<long long>(width) * height);
        if (!edges)
            return false;
        handler.ColourToGreyScale(working.get(), width, height, bitsPerPixel, palette, edges.get(),
                                  0);
        working.reset();
        handler.EdgeDetectionSobelEx(edges.get(), width, height);
        handler.MedianFilter(edges.get(), width, height);
        handler.RegionAnalysis(edges.get(), width, height);
        return true;
    }
};

// The turn of a line's direction from the nearest axis, sign reversed, in degrees.
int SkewDegrees(int angle) {
    const int theta = 2 * angle;
    if (angle <= 22)
        return -theta;
    if (angle <= 67)
        return 90 - theta;
    return 180 - theta;
}

int ScaleBack(int coordinate, float pixelsPerWorking) {
    return static_cast<int>(coordinate * static_cast<double>(pixelsPerWorking) + 0.5);
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

float CDataHandler::CheckRotatePictureEx(unsigned char* picture, int width, int height,
                                         int bitsPerPixel, tagRGBQUAD* palette) {
    if (!picture || width <= 0 || height <= 0)
        return 0.0f;
    const WorkingScale scale(std::max(width, height));
    EdgeImage image;
    if (!image.Make(*this, picture, width, height, bitsPerPixel, palette, scale.factor))
        return 0.0f;
    _STRAIGHTLINE line{0, 0, 0};
    HoughTrans(image.edges.get(), image.width, image.height, line);
    return static_cast<float>(SkewDegrees(line.angle) * kPi / 180);
}

CRect CDataHandler::GetBlackSideRectEx(unsigned char* picture, int width, int height,
                                       int bitsPerPixel, tagRGBQUAD* palette, CRect search) {
    const int left = std::max<int>(search.left, 0), top = std::max<int>(search.top, 0);
    const int right = std::min<int>(search.right, width);
    const int bottom = std::min<int>(search.bottom, height);
    const int regionWidth = right - left, regionHeight = bottom - top;
    // A search rectangle inverted after clipping holds no region either.
    if (!picture || width == 0 || height == 0 || regionWidth <= 0 || regionHeight <= 0 ||
        (bitsPerPixel != 24 && bitsPerPixel != 8))
        return CRect(0, 0, 0, 0);

    const int stride = RowStride(width, bitsPerPixel);
    const int regionStride = RowStride(regionWidth, bitsPerPixel);
    const int rowBytes = RowBytes(regionWidth, bitsPerPixel);
    ScratchPtr<> region = NewScratch(static_cast<long long>(regionStride) * regionHeight);
    if (!region)
        return CRect(0, 0, 0, 0);
    for (int i = 0; i < regionHeight; ++i)
        std::memcpy(
            region.get() + static_cast<std::ptrdiff_t>(i) * regionStride,
            picture + static_cast<std::ptrdiff_t>(top + i) * stride + RowBytes(left, bitsPerPixel),
            static_cast<size_t>(rowBytes));

    const WorkingScale scale(std::max(regionWidth, regionHeight));
    EdgeImage image;
    const bool made = image.Make(*this, region.get(), regionWidth, regionHeight, bitsPerPixel,
                                 palette, scale.factor);
    region.reset();
    if (!made)
        return CRect(0, 0, 0, 0);

    _STRAIGHTLINE line{0, 0, 0};
    _STRAIGHTLINE lines[4] = {};
    _SEGMENT segments[4] = {};
    HoughTrans(image.edges.get(), image.width, image.height, line);
    SearchLine(image.edges.get(), image.width, image.height, line, lines);
    SearchRect(image.edges.get(), image.width, image.height, lines, segments);

    int minX = segments[0].x1, maxX = segments[0].x1;
    int minY = segments[0].y1, maxY = segments[0].y1;
    for (const _SEGMENT& s : segments) {
        minX = std::min({minX, s.x1, s.x2});
        maxX = std::max({maxX, s.x1, s.x2});
        minY = std::min({minY, s.y1, s.y2});
        maxY = std::max({maxY, s.y1, s.y2});
    }
    const float s = scale.pixelsPerWorking;
    return CRect(ScaleBack(minX, s), ScaleBack(minY, s), ScaleBack(maxX, s), ScaleBack(maxY, s));
}
