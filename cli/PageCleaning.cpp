#include "cli/PageCleaning.h"

#include <optional>

#include "cli/Args.h"
#include "document/DocDesk.h"
#include "platform/atlimage/AtlImage.h"
#include "scan/PageClean.h"

namespace imgdesk::cli {

Cleaning ParseCleaning(const std::optional<std::string>& mono, bool whiten) {
    if (mono && whiten)
        throw UsageError("--mono and --whiten exclude each other");
    if (whiten)
        return Cleaning::Whiten;
    if (!mono)
        return Cleaning::None;
    if (mono->empty() || *mono == "adaptive")
        return Cleaning::Mono;
    if (*mono == "classic")
        return Cleaning::MonoClassic;
    throw UsageError("--mono: '" + *mono +
                     "' is not a kind of black and white (adaptive, classic)");
}

Picture CleanPage(Picture page, Cleaning cleaning, const std::string& what) {
    const tagRGBQUAD* palette = page.hasPalette ? page.palette : nullptr;
    Picture grey;
    if (page.bits == 8 && !page.hasPalette) {
        grey.UseGreyPalette();
        palette = grey.palette;
    }
    switch (cleaning) {
        case Cleaning::None:
            return page;
        case Cleaning::MonoClassic: {
            ATL::CImage image;
            PictureToImage(page, image);
            if (!CDocDesk().ImageToSingle(image))
                throw RunError(what + ": out of memory");
            return ImageToPicture(image);
        }
        case Cleaning::Mono: {
            unsigned char* mono = nullptr;
            if (!CleanPageToMono(page.data(), page.width, page.height, page.bits, palette, mono))
                throw RunError(what + ": out of memory while making the page black and white");
            Picture result;
            result.pixels.reset(mono);
            result.width = page.width;
            result.height = page.height;
            result.bits = 8;
            result.UseGreyPalette();
            return result;
        }
        case Cleaning::Whiten: {
            unsigned char* white = nullptr;
            int bits = 0;
            if (!WhitenPage(page.data(), page.width, page.height, page.bits, palette, white, bits))
                throw RunError(what + ": out of memory while whitening the page");
            Picture result;
            result.pixels.reset(white);
            result.width = page.width;
            result.height = page.height;
            result.bits = bits;
            if (bits == 8)
                result.UseGreyPalette();
            return result;
        }
    }
    return page;
}

}  // namespace imgdesk::cli
