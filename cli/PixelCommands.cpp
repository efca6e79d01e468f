// Subcommands for the tone, colour, geometry and grey-level operations of CDataHandler.
#include <cmath>
#include <cstring>
#include <sstream>

#include "cli/Command.h"
#include "cli/PageFinder.h"
#include "cli/PictureCommand.h"
#include "pixel/DataHandler.h"

namespace imgdesk::cli {
namespace {

constexpr const char* kPictureFormats = "png jpg jpeg bmp tif tiff gif";

// The help of a command that reads one picture and writes another.
struct PictureHelp {
    std::string synopsis;
    std::string description;
    std::vector<Option> options;
};

PictureHelp PictureUsage(const std::string& options, const std::string& description,
                         std::vector<Option> optionList = {}) {
    for (auto& output : OutputOptions("picture", kPictureFormats))
        optionList.push_back(std::move(output));
    return {(options.empty() ? "" : options + " ") + "INPUT -o OUTPUT", description + "\n",
            std::move(optionList)};
}

Command InPlaceCommand(const std::string& name, const std::string& group,
                       const std::string& summary, PictureHelp help,
                       std::function<void(Args&, Picture&)> change) {
    return {name,
            group,
            summary,
            std::move(help.synopsis),
            std::move(help.description),
            std::move(help.options),
            [change](Args& args) {
                return TransformPicture(args, [&](Picture& picture) { change(args, picture); });
            }};
}

Option Value(const std::string& name, const std::string& value, const std::string& help,
             const std::string& choices = "") {
    return {name, 0, Takes::Value, value, help, choices};
}

// Reads the picture, runs a grey-level filter on its packed grey rows, writes a grey picture.
Command GreyCommand(const std::string& name, const std::string& summary, PictureHelp usage,
                    std::function<void(Args&, std::vector<unsigned char>&, int, int)> filter) {
    return InPlaceCommand(name, "Grey-level filters", summary, usage,
                          [filter](Args& args, Picture& picture) {
                              auto grey = PackedGrey(picture);
                              filter(args, grey, picture.width, picture.height);
                              picture = FromPackedGrey(grey, picture.width, picture.height);
                          });
}

// Runs an operation that writes a converted copy into a destination of the given bit depth.
void Convert(Picture& picture, int bits,
             const std::function<int(Picture& source, Picture& target)>& operation,
             const std::string& failure) {
    Picture target = NewPicture(picture.width, picture.height, bits);
    Check(operation(picture, target), failure);
    target.hasPalette = bits == 8 && picture.bits == 8 && picture.hasPalette;
    std::memcpy(target.palette, picture.palette, sizeof target.palette);
    picture = std::move(target);
}

// Replaces the picture by its grey levels, rows padded, with a grey palette.
void ConvertToGrey(Picture& picture) {
    Convert(
        picture, 8,
        [](Picture& s, Picture& t) {
            return CDataHandler().ColourToGreyScale(s.data(), s.width, s.height, s.bits,
                                                    s.hasPalette ? s.palette : nullptr, t.data(),
                                                    1);
        },
        "cannot convert to grey");
    picture.UseGreyPalette();
}

std::vector<Command> ToneAndColour() {
    const std::string group = "Tone and colour";
    const Option amount =
        Value("amount", "N", "the change, in percent (0 leaves the picture as it is)");
    return {
        InPlaceCommand(
            "brightness", group, "make brighter or darker",
            PictureUsage("--amount N", "Scales every byte by (N + 100) percent; -100 gives black.",
                         {amount}),
            [](Args& args, Picture& p) {
                CDataHandler().AdjustLuminosity(p.data(), p.width, p.height, p.bits,
                                                args.RequiredInt("amount", -100000, 100000));
            }),
        InPlaceCommand(
            "contrast", group, "stretch or compress the tones",
            PictureUsage("--amount N",
                         "Positive N stretches the tones away from the middle, negative N\n"
                         "compresses them towards it (-127..127; beyond acts as the limit).",
                         {Value("amount", "N", "the strength")}),
            [](Args& args, Picture& p) {
                CDataHandler().AdjustContrast(p.data(), p.width, p.height, p.bits,
                                              args.RequiredInt("amount", -100000, 100000));
            }),
        InPlaceCommand(
            "saturation", group, "make colours stronger or paler",
            PictureUsage("--amount N",
                         "Scales the saturation by (N + 100) percent, 0 to 200; -100 gives grey.",
                         {amount}),
            [](Args& args, Picture& p) {
                CDataHandler().AdjustSaturation(p.data(), p.width, p.height, p.bits,
                                                args.RequiredInt("amount", -100000, 100000));
            }),
        InPlaceCommand(
            "channel-gain", group, "scale red, green and blue separately",
            PictureUsage("[--red R] [--green G] [--blue B]",
                         "Multiplies each channel by its gain / 255 (colour pictures only).",
                         {Value("red", "R", "gain 0..255 (default 255: unchanged)"),
                          Value("green", "G", "gain 0..255 (default 255: unchanged)"),
                          Value("blue", "B", "gain 0..255 (default 255: unchanged)")}),
            [](Args& args, Picture& p) {
                const int red = args.Int("red", 255, 0, 255),
                          green = args.Int("green", 255, 0, 255),
                          blue = args.Int("blue", 255, 0, 255);
                if (p.bits == 8)
                    throw RunError("channel-gain needs a colour picture");
                CDataHandler().SaturationAlter(p.data(), p.width, p.height, p.bits, red, green,
                                               blue);
            }),
        InPlaceCommand(
            "grey", group, "convert to grey levels",
            PictureUsage("", "Grey level 0.3 red + 0.59 green + 0.11 blue, as an 8-bit picture."),
            [](Args&, Picture& p) { ConvertToGrey(p); }),
        InPlaceCommand("colour", group, "convert to 24-bit colour",
                       PictureUsage("", "Expands a palette or grey picture to 24-bit colour."),
                       [](Args&, Picture& p) { p = Colour24Copy(p); }),
        InPlaceCommand("mono", group, "black and white at a fixed threshold",
                       PictureUsage("[--threshold T]",
                                    "White where the grey level is above T, black elsewhere.",
                                    {Value("threshold", "T", "0..255 (default 128)")}),
                       [](Args& args, Picture& p) {
                           const int threshold = args.Int("threshold", 128, 0, 255);
                           Convert(
                               p, 8,
                               [threshold](Picture& s, Picture& t) {
                                   return CDataHandler().ColourToSingle(
                                       s.data(), s.width, s.height, s.bits,
                                       s.hasPalette ? s.palette : nullptr, t.data(), threshold);
                               },
                               "cannot convert to black and white");
                           p.UseGreyPalette();
                       }),
        InPlaceCommand("negative", group, "invert the colours",
                       PictureUsage("", "The negative; palette pictures get an inverted palette."),
                       [](Args&, Picture& p) {
                           Convert(
                               p, p.bits,
                               [](Picture& s, Picture& t) {
                                   return CDataHandler().ColourToReversed(
                                       s.data(), s.width, s.height, s.bits,
                                       s.hasPalette ? s.palette : nullptr, t.data());
                               },
                               "cannot invert the picture");
                       }),
        InPlaceCommand(
            "relief", group, "embossed relief effect",
            PictureUsage("", "Each byte becomes its left neighbour minus itself plus 128."),
            [](Args&, Picture& p) {
                Convert(
                    p, p.bits,
                    [](Picture& s, Picture& t) {
                        return CDataHandler().ColourToRelief(s.data(), s.width, s.height, s.bits,
                                                             t.data());
                    },
                    "cannot make the relief");
            }),
        InPlaceCommand(
            "sharpen", group, "sharpening effect",
            PictureUsage("", "Adds a quarter of the difference to the diagonal neighbour."),
            [](Args&, Picture& p) {
                Convert(
                    p, p.bits,
                    [](Picture& s, Picture& t) {
                        return CDataHandler().ColourToSharpen(s.data(), s.width, s.height, s.bits,
                                                              t.data());
                    },
                    "cannot sharpen the picture");
            }),
    };
}

rotation_degree ParseTurn(const std::string& text) {
    if (text == "cw")
        return rotation_clockwise;
    if (text == "half")
        return rotation_half;
    if (text == "ccw")
        return rotation_counterclockwise;
    if (text == "flip-vertical")
        return rotation_mirror_rows;
    if (text == "flip-horizontal")
        return rotation_mirror_columns;
    throw UsageError("--by: '" + text + "' is not cw, ccw, half, flip-vertical or flip-horizontal");
}

// Runs an operation that replaces the picture's buffer by reference.
void Replace(Picture& p, const std::function<int(unsigned char*&, long&, long&)>& operation,
             const std::string& failure) {
    long width = p.width, height = p.height;
    unsigned char* buffer = p.Release();
    const int done = operation(buffer, width, height);
    p.Adopt(buffer);
    if (!done || !buffer)
        throw RunError(failure);
    p.width = static_cast<int>(width);
    p.height = static_cast<int>(height);
}

// A rectangle given as the picture is displayed (y from the top) in the pixel buffer's rows.
CRect ToBufferRows(const CRect& shown, int height) {
    return CRect(shown.left, height - shown.bottom, shown.right, height - shown.top);
}

std::vector<Command> Geometry() {
    const std::string group = "Geometry";
    const Option rect =
        Value("rect", "L,T,R,B", "the part to keep, in pixels from the top left (default: all)");
    return {
        InPlaceCommand(
            "turn", group, "quarter turns and mirrors",
            PictureUsage("--by cw|ccw|half|flip-vertical|flip-horizontal",
                         "Turns by quarter turns or mirrors the picture, exactly.",
                         {Value("by", "TURN", "cw, ccw, half, flip-vertical or flip-horizontal",
                                "cw ccw half flip-vertical flip-horizontal")}),
            [](Args& args, Picture& p) {
                const rotation_degree turn = ParseTurn(args.RequiredText("by"));
                Replace(
                    p,
                    [&](unsigned char*& b, long& w, long& h) {
                        return CDataHandler().RotationImageData(b, w, h, p.bits, turn);
                    },
                    "out of memory while turning");
            }),
        InPlaceCommand(
            "rotate", group, "rotate by whole degrees",
            PictureUsage("--degrees N [--rect L,T,R,B]",
                         "Rotates counter-clockwise by whole degrees with nearest-pixel sampling;\n"
                         "what falls outside the kept part is white.",
                         {Value("degrees", "N", "the angle"), rect}),
            [](Args& args, Picture& p) {
                const int degrees = args.RequiredInt("degrees", -360000, 360000);
                const auto rectText = args.Text("rect");
                p = Colour24Copy(p);
                CRect rect = rectText ? ToBufferRows(ParseRect("rect", *rectText), p.height)
                                      : CRect(0, 0, p.width, p.height);
                Replace(
                    p,
                    [&](unsigned char*& b, long& w, long& h) {
                        return CDataHandler().RotationImage(b, w, h, rect, 24, degrees);
                    },
                    "out of memory while rotating");
            }),
        InPlaceCommand(
            "straighten", group, "rotate by any angle, smoothly",
            PictureUsage("[--angle A [--rect L,T,R,B]]",
                         "Without --angle, levels the text lines of a scanned page (turns of up\n"
                         "to 45 degrees, measured to a tenth of a degree; corners the turn\n"
                         "uncovers take the paper's colour) and says by how much. With --angle,\n"
                         "cuts out the part and turns it counter-clockwise by A degrees with\n"
                         "bilinear sampling; the picture grows to hold the whole turned part.",
                         {Value("angle", "A", "degrees, any real number"), rect}),
            [](Args& args, Picture& p) {
                const auto rectText = args.Text("rect");
                if (!args.Text("angle")) {
                    if (rectText)
                        throw UsageError("--rect needs --angle");
                    PageScanOptions options;
                    options.findPage = false;
                    ScannedPage scanned = ScanPicture(p, options);
                    std::fprintf(stderr, "%s\n", DescribeScan(scanned.found).c_str());
                    p = std::move(scanned.page);
                    return;
                }
                const double angle = args.RequiredNumber("angle", -3600, 3600) * M_PI / 180.0;
                // Bilinear sampling blends neighbours: palette indices must become colours first.
                ExpandPalette(p);
                CRect rect = rectText ? ToBufferRows(ParseRect("rect", *rectText), p.height)
                                      : CRect(0, 0, p.width, p.height);
                Replace(
                    p,
                    [&](unsigned char*& b, long& w, long& h) {
                        return CDataHandler().RotatePicture(b, w, h, p.bits, rect, angle);
                    },
                    "nothing to turn (empty part) or out of memory");
            }),
        InPlaceCommand(
            "zoom", group, "scale up or down",
            PictureUsage("--scale S", "Nearest-pixel scaling; sizes are rounded half up.",
                         {Value("scale", "S", "the factor, e.g. 0.5 or 2")}),
            [](Args& args, Picture& p) {
                const float scale = static_cast<float>(args.RequiredNumber("scale", 1e-6, 1000));
                unsigned char* output = nullptr;
                int width = 0, height = 0;
                Check(CDataHandler().ZoomData(p.data(), p.width, p.height, p.bits, scale, output,
                                              width, height),
                      "the scaled picture would be empty or too large");
                p.Adopt(output);
                p.width = width;
                p.height = height;
            }),
    };
}

// "1,2,1;2,4,2;1,2,1": rows separated by semicolons.
std::vector<double> ParseKernel(const std::string& text, int& columns, int& rows) {
    std::vector<double> weights;
    columns = 0;
    rows = 0;
    std::istringstream rowStream(text);
    for (std::string row; std::getline(rowStream, row, ';'); ++rows) {
        std::istringstream cells(row);
        int count = 0;
        for (std::string cell; std::getline(cells, cell, ','); ++count) {
            weights.push_back(ParseNumber("kernel", cell, -1e9, 1e9));
        }
        if (rows == 0)
            columns = count;
        if (count == 0 || count != columns)
            throw UsageError("--kernel: every row needs the same number of weights");
    }
    if (rows == 0)
        throw UsageError("--kernel: no weights");
    return weights;
}

std::vector<Command> Filters() {
    return {
        GreyCommand(
            "stretch", "stretch grey levels to the full range",
            PictureUsage("",
                         "Stretches the grey levels between the darkest and brightest to 0..255."),
            [](Args&, std::vector<unsigned char>& g, int w, int h) {
                Check(CDataHandler().GreyDegreeExtend(g.data(), w, h),
                      "the picture has too few grey levels to stretch");
            }),
        GreyCommand("threshold", "black and white at a grey level",
                    PictureUsage("--level T", "White above grey level T, black elsewhere.",
                                 {Value("level", "T", "0..255")}),
                    [](Args& args, std::vector<unsigned char>& g, int w, int h) {
                        CDataHandler().GreyDegreeSingle(g.data(), w, h,
                                                        args.RequiredInt("level", 0, 255));
                    }),
        GreyCommand("binarize", "black and white at an automatic level",
                    PictureUsage("", "Black and white at a threshold found from the histogram."),
                    [](Args&, std::vector<unsigned char>& g, int w, int h) {
                        CDataHandler().Binarization(g.data(), w, h);
                    }),
        GreyCommand(
            "convolve", "apply a convolution kernel",
            PictureUsage(
                "--kernel K [--coefficient C]",
                "Replaces each pixel by |sum of weight x pixel| x C, limited to 255.",
                {Value("kernel", "K", "weights, rows separated by ';' (e.g. 1,2,1;2,4,2;1,2,1)"),
                 Value("coefficient", "C", "factor applied to the sum (default 1)")}),
            [](Args& args, std::vector<unsigned char>& g, int w, int h) {
                int columns, rows;
                auto kernel = ParseKernel(args.RequiredText("kernel"), columns, rows);
                const double coefficient = args.Number("coefficient", 1.0, -1e9, 1e9);
                Check(CDataHandler().Template(g.data(), w, h, kernel.data(), columns, rows,
                                              coefficient),
                      "the picture is smaller than the kernel, or memory is short");
            }),
        GreyCommand(
            "edges", "edge strength",
            PictureUsage(
                "[--method sobel|isotropic|log]",
                "Edge strength: Sobel (default), isotropic Sobel, or Laplacian of Gaussian.",
                {Value("method", "M", "sobel, isotropic or log", "sobel isotropic log")}),
            [](Args& args, std::vector<unsigned char>& g, int w, int h) {
                const std::string method = args.Text("method", "sobel");
                CDataHandler handler;
                int done;
                if (method == "sobel") {
                    done = handler.EdgeDetectionSobel(g.data(), w, h);
                } else if (method == "isotropic") {
                    done = handler.EdgeDetectionSobelEx(g.data(), w, h);
                } else if (method == "log") {
                    done = handler.EdgeDetectionLog(g.data(), w, h);
                } else {
                    throw UsageError("--method: '" + method + "' is not sobel, isotropic or log");
                }
                Check(done, "the picture is too small for the edge filter");
            }),
        GreyCommand(
            "smooth", "3 x 3 mean of grey levels",
            PictureUsage("",
                         "Each inner pixel becomes the mean of its 3 x 3 block; the frame is 0."),
            [](Args&, std::vector<unsigned char>& g, int w, int h) {
                Check(CDataHandler().MedianFilter(g.data(), w, h), "out of memory");
            }),
        InPlaceCommand(
            "smooth-colour", "Grey-level filters", "3 x 3 mean of colours, or lone spots only",
            PictureUsage("[--spots]",
                         "Each inner pixel becomes the mean of its 3 x 3 block, per channel; with\n"
                         "--spots only pixels darker or brighter than all four neighbours change.",
                         {{"spots", 0, Takes::Nothing, "", "remove lone spots only", ""}}),
            [](Args& args, Picture& p) {
                const bool spots = args.Flag("spots");
                p = Colour24Copy(p);
                Check(spots ? CDataHandler().Colour24MedianFilterEx(p.data(), p.width, p.height)
                            : CDataHandler().Colour24MedianFilter(p.data(), p.width, p.height),
                      "out of memory");
            }),
        GreyCommand(
            "erode", "thin bright regions",
            PictureUsage("", "Clears bright pixels with fewer than three bright neighbours."),
            [](Args&, std::vector<unsigned char>& g, int w, int h) {
                Check(CDataHandler().RegionCorrosion(g.data(), w, h), "out of memory");
            }),
        GreyCommand(
            "largest-region", "keep the largest bright region",
            PictureUsage("", "Keeps the largest 4-connected bright region; the rest is black."),
            [](Args&, std::vector<unsigned char>& g, int w, int h) {
                Check(CDataHandler().RegionAnalysis(g.data(), w, h), "out of memory");
            }),
        InPlaceCommand(
            "wavelet", "Grey-level filters", "one wavelet transform step",
            PictureUsage("",
                         "One level of a lifting wavelet transform of the grey levels, its four\n"
                         "bands side by side (width and height even, at least 4)."),
            [](Args&, Picture& p) {
                if (p.width % 2 || p.height % 2 || p.width < 4 || p.height < 4) {
                    throw RunError("width and height must be even and at least 4");
                }
                ConvertToGrey(p);
                Picture bands = NewPicture(p.width, p.height, 8);
                CDataHandler().DWT_Once(p.data(), 8, bands.data(), p.width, p.height, 1);
                p = std::move(bands);
                p.UseGreyPalette();
            }),
    };
}

}  // namespace

std::vector<Command> PixelCommands() {
    std::vector<Command> all = ToneAndColour();
    for (auto list : {Geometry(), Filters()}) {
        for (auto& command : list)
            all.push_back(std::move(command));
    }
    return all;
}

}  // namespace imgdesk::cli
