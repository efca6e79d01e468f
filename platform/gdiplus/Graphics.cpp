#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/DeviceContext.h"
#include "platform/gdiplus/ImageData.h"

namespace {

namespace codecs = imgdesk::codecs;

// Blends one straight-alpha BGRA source pixel over a target pixel (source over).
inline void Blend(const unsigned char* s, unsigned char* d, int targetBits, bool targetAlpha) {
    const int sa = s[3];
    if (sa == 0)
        return;
    if (targetBits == 32 && targetAlpha) {
        const int da = d[3];
        if (sa == 255 || da == 0) {
            std::memcpy(d, s, 4);
            return;
        }
        const double keep = da * (255 - sa) / 255.0;
        const double outAlpha = sa + keep;
        for (int c = 0; c < 3; ++c)
            d[c] = static_cast<unsigned char>((s[c] * sa + d[c] * keep) / outAlpha + 0.5);
        d[3] = static_cast<unsigned char>(outAlpha + 0.5);
        return;
    }
    if (sa == 255) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    } else {
        for (int c = 0; c < 3; ++c)
            d[c] = static_cast<unsigned char>((s[c] * sa + d[c] * (255 - sa) + 127) / 255);
    }
    if (targetBits == 32)
        d[3] = 255;
}

// Blends rows of a BGRA picture onto the target with the picture's top-left corner at (left, top)
// in target coordinates (top-down), clipped to the target.
template <typename RowSource>
void Composite(codecs::Dib& target, long long left, long long top, int width, int height,
               RowSource rowOf) {
    const long long x0 = std::max<long long>(0, left),
                    x1 = std::min<long long>(target.width, left + width);
    const long long y0 = std::max<long long>(0, top),
                    y1 = std::min<long long>(target.height, top + height);
    const int step = target.bitCount / 8;
    for (long long y = y0; y < y1; ++y) {
        const unsigned char* in = rowOf(static_cast<int>(y - top)) + (x0 - left) * 4;
        unsigned char* out = target.Row(target.height - 1 - static_cast<int>(y)) + x0 * step;
        for (long long x = x0; x < x1; ++x, in += 4, out += step)
            Blend(in, out, target.bitCount, target.hasAlpha);
    }
}

}  // namespace

namespace Gdiplus {

using imgdesk::gdiplus::ImageData;

Graphics::Graphics(Image* image) : target(nullptr), hdc(nullptr), lastResult(Ok) {
    if (!imgdesk::gdiplus::IsStarted()) {
        lastResult = GdiplusNotInitialized;
    } else if (!image || !image->nativeImage) {
        lastResult = InvalidParameter;
    } else if (image->nativeImage->dib.bitCount == 8) {
        lastResult = OutOfMemory;  // the platform's answer for indexed images
    } else {
        target = image;
    }
}

Graphics* Graphics::FromImage(Image* image) {
    return new Graphics(image);
}

Graphics::~Graphics() {
    if (hdc)
        ReleaseHDC(hdc);
}

Status Graphics::SetStatus(Status status) const {
    if (status != Ok)
        lastResult = status;
    return status;
}

Status Graphics::GetLastStatus() const {
    const Status status = lastResult;
    lastResult = Ok;
    return status;
}

Status Graphics::DrawImage(Image* image, const RectF& rect) {
    if (!target)
        return SetStatus(InvalidParameter);
    if (hdc)
        return SetStatus(ObjectBusy);
    if (!image || !image->nativeImage)
        return SetStatus(InvalidParameter);
    ImageData& from = *image->nativeImage;
    codecs::Dib& to = target->nativeImage->dib;
    if (from.locked)
        return SetStatus(WrongState);
    // Pixel edges are rounded to whole pixels; an empty or mirrored rectangle draws nothing.
    const double left = std::floor(static_cast<double>(rect.X) + 0.5);
    const double top = std::floor(static_cast<double>(rect.Y) + 0.5);
    const double right = std::floor(static_cast<double>(rect.X) + rect.Width + 0.5);
    const double bottom = std::floor(static_cast<double>(rect.Y) + rect.Height + 0.5);
    if (!(right > left) || !(bottom > top))
        return Ok;
    if (right - left > 0x7FFFFFFF || bottom - top > 0x7FFFFFFF || std::fabs(left) > 0x7FFFFFFF ||
        std::fabs(top) > 0x7FFFFFFF)
        return SetStatus(ValueOverflow);
    const int width = static_cast<int>(right - left), height = static_cast<int>(bottom - top);
    const codecs::DibView source = from.View();

    if (width == source.width && height == source.height) {
        codecs::HeapBytes row(static_cast<unsigned char*>(
            imgdesk::platform::HeapAllocate(static_cast<std::size_t>(width) * 4)));
        if (!row)
            return SetStatus(OutOfMemory);
        Composite(to, static_cast<long long>(left), static_cast<long long>(top), width, height,
                  [&](int y) {
                      codecs::RowToBgra(source, source.height - 1 - y, row.get());
                      return row.get();
                  });
        return Ok;
    }
    codecs::Dib scaled;
    const codecs::Result result = codecs::ResampleBgra(source, width, height, scaled);
    if (result != codecs::Result::Ok)
        return SetStatus(OutOfMemory);
    Composite(to, static_cast<long long>(left), static_cast<long long>(top), width, height,
              [&](int y) -> const unsigned char* { return scaled.Row(height - 1 - y); });
    return Ok;
}

Status Graphics::DrawImage(Image* image, REAL x, REAL y, REAL width, REAL height) {
    return DrawImage(image, RectF(x, y, width, height));
}

Status Graphics::DrawImage(Image* image, const Rect& rect) {
    return DrawImage(image, RectF(static_cast<REAL>(rect.X), static_cast<REAL>(rect.Y),
                                  static_cast<REAL>(rect.Width), static_cast<REAL>(rect.Height)));
}

Status Graphics::DrawImage(Image* image, INT x, INT y, INT width, INT height) {
    return DrawImage(image, Rect(x, y, width, height));
}

Status Graphics::DrawImage(Image* image, INT x, INT y) {
    if (!image || !image->nativeImage)
        return SetStatus(InvalidParameter);
    return DrawImage(image,
                     Rect(x, y, image->nativeImage->dib.width, image->nativeImage->dib.height));
}

Status Graphics::Clear(const Color& color) {
    if (!target)
        return SetStatus(InvalidParameter);
    if (hdc)
        return SetStatus(ObjectBusy);
    codecs::Dib& to = target->nativeImage->dib;
    const unsigned char pixel[4] = {color.GetB(), color.GetG(), color.GetR(),
                                    static_cast<unsigned char>(to.hasAlpha ? color.GetA() : 255)};
    const int step = to.bitCount / 8;
    for (int y = 0; y < to.height; ++y) {
        unsigned char* out = to.Row(y);
        for (int x = 0; x < to.width; ++x, out += step)
            std::memcpy(out, pixel, static_cast<std::size_t>(step));
    }
    return Ok;
}

HDC Graphics::GetHDC() {
    if (!target) {
        SetStatus(InvalidParameter);
        return nullptr;
    }
    if (hdc) {
        SetStatus(ObjectBusy);
        return nullptr;
    }
    ImageData& data = *target->nativeImage;
    if (data.locked || data.hdcOut) {
        SetStatus(ObjectBusy);
        return nullptr;
    }
    codecs::Dib& dib = data.dib;
    imgdesk::gdi::Surface surface;
    surface.width = dib.width;
    surface.height = dib.height;
    surface.bitCount = dib.bitCount;
    surface.top = dib.Row(dib.height - 1);
    surface.step = -dib.Stride();
    surface.opaqueWrites = dib.bitCount == 32;
    hdc = imgdesk::gdi::CreateSurfaceDC(surface);
    if (!hdc) {
        SetStatus(OutOfMemory);
        return nullptr;
    }
    data.hdcOut = true;
    return hdc;
}

void Graphics::ReleaseHDC(HDC released) {
    if (!released || released != hdc)
        return;
    DeleteDC(hdc);
    hdc = nullptr;
    if (target && target->nativeImage)
        target->nativeImage->hdcOut = false;
}

}  // namespace Gdiplus
