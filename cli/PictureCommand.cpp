#include "cli/PictureCommand.h"

#include <cstring>
#include <sstream>

#include "cli/Job.h"
#include "pixel/DataHandler.h"

namespace imgdesk::cli {

int TransformPicture(Args& args, const std::function<void(Picture&)>& change) {
    const OutputChoice output = ReadOutput(args, "png jpg jpeg bmp tif tiff gif");
    const std::string input = InputFile(args.RequirePositionals(1, "one input picture")[0]);
    RefuseOutputAmongInputs(output.path, {input});
    Picture picture = LoadPicture(input);
    // The change reads its own options; any option left unread is a mistake, found before
    // anything is written.
    change(picture);
    args.Finish();
    SavePicture(picture, output.path, output.replace);
    return 0;
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

namespace {

bool IsGreyRamp(const tagRGBQUAD (&palette)[256]) {
    for (int level = 0; level < 256; ++level) {
        const tagRGBQUAD& entry = palette[level];
        if (entry.rgbRed != level || entry.rgbGreen != level || entry.rgbBlue != level)
            return false;
    }
    return true;
}

}  // namespace

void ExpandPalette(Picture& picture) {
    if (picture.bits == 8 && picture.hasPalette && !IsGreyRamp(picture.palette))
        picture = Colour24Copy(picture);
}

void MakeColour24(Picture& picture) {
    if (picture.bits != 24)
        picture = Colour24Copy(picture);
}

std::vector<unsigned char> PackedGrey(const Picture& picture) {
    std::vector<unsigned char> grey(static_cast<size_t>(picture.width) * picture.height);
    tagRGBQUAD palette[256];
    std::memcpy(palette, picture.palette, sizeof palette);
    CDataHandler().ColourToGreyScale(picture.data(), picture.width, picture.height, picture.bits,
                                     picture.hasPalette ? palette : nullptr, grey.data(), 0);
    return grey;
}

Picture FromPackedGrey(const std::vector<unsigned char>& grey, int width, int height) {
    Picture picture = NewPicture(width, height, 8);
    for (int row = 0; row < height; ++row) {
        std::memcpy(picture.data() + static_cast<long long>(row) * picture.Stride(),
                    grey.data() + static_cast<size_t>(row) * width, width);
    }
    picture.UseGreyPalette();
    return picture;
}

CRect ParseRect(const std::string& option, const std::string& text) {
    std::istringstream in(text);
    int sides[4];
    char comma;
    for (int i = 0; i < 4; ++i) {
        if (!(in >> sides[i]) || (i < 3 && !(in >> comma && comma == ','))) {
            throw UsageError("--" + option + ": '" + text + "' is not left,top,right,bottom");
        }
    }
    if (in >> comma)
        throw UsageError("--" + option + ": '" + text + "' is not left,top,right,bottom");
    return CRect(sides[0], sides[1], sides[2], sides[3]);
}

std::string FormatRect(const CRect& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

void Check(int result, const std::string& failure) {
    if (!result)
        throw RunError(failure);
}

}  // namespace imgdesk::cli
