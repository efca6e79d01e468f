// Subcommands for whole documents: photographed pages to a PDF, images to a PDF, grey and
// black-and-white pages, zip binding, printing, mailing and thumbnails.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <list>

#include "cli/Command.h"
#include "cli/PageCleaning.h"
#include "cli/PageFinder.h"
#include "cli/PageReading.h"
#include "cli/PdfPages.h"
#include "cli/PictureFacts.h"
#include "cli/PictureCommand.h"
#include "cli/Progress.h"
#include "document/DocDesk.h"
#include "platform/Files.h"
#include "service/CoreKit.h"

namespace imgdesk::cli {
namespace {

std::list<CString> WidePaths(const std::vector<std::string>& paths) {
    std::list<CString> wide;
    for (const auto& path : paths)
        wide.push_back(Utf8ToWide(path.c_str()));
    return wide;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// A target that exists is replaced only when asked: nothing is overwritten by accident.
void MakeRoomFor(const std::string& target, bool replace) {
    if (!Exists(target))
        return;
    if (!replace)
        throw RunError("'" + target + "' exists; choose another name or add --force to replace it");
    if (::unlink(target.c_str()) != 0)
        throw RunError("cannot replace '" + target + "'");
}

// A private folder for intermediate pages, removed with its files at the end.
class WorkFolder {
public:
    WorkFolder() {
        std::string pattern = WideToUtf8(GetTempDataPath()) + "/scan-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw RunError("cannot make a folder under " + WideToUtf8(GetTempDataPath()));
        path_ = pattern;
    }
    ~WorkFolder() {
        for (const auto& file : files_)
            ::unlink(file.c_str());
        ::rmdir(path_.c_str());
    }
    std::string File(size_t index) {
        char name[32];
        std::snprintf(name, sizeof name, "/page-%05zu.bmp", index + 1);
        files_.push_back(path_ + name);
        return files_.back();
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

int Scan(Args& args) {
    const std::string output = args.RequiredText("o");
    const Cleaning cleaning = ParseCleaning(args.FlagValue("mono"), args.Flag("whiten"));
    const bool replace = args.Flag("force");
    const bool strict = args.Flag("strict");
    const bool skipBad = args.Flag("skip-bad");
    const std::optional<std::string> ocr = args.FlagValue("ocr");
    const std::string languages = ocr && !ocr->empty() ? *ocr : "eng";
    const PageLayout layout = ReadPageLayout(args, "auto");
    const auto& photos = args.RequireAtLeast(1, "one or more photographed pages");
    args.Finish();
    MakeRoomFor(output, replace);
    if (ocr)
        RequireLanguages(languages);

    WorkFolder work;
    std::vector<std::string> pages;
    for (size_t i = 0; i < photos.size(); ++i)
        pages.push_back(work.File(i));
    std::vector<std::string> reports(photos.size());
    std::vector<PictureFacts> facts(photos.size());
    std::vector<std::vector<PlacedWord>> text(photos.size());
    // Pages are lossless bitmaps until the PDF writer encodes each once.
    const size_t failed = RunOnCores("imgdesk scan", "scan", photos.size(), [&](size_t i) {
        const Picture photo = LoadPicture(photos[i]);
        facts[i] = ReadPictureFacts(photos[i]);
        ScannedPage scanned = ScanPicture(photo);
        if (strict && scanned.found.foundBy != PageFoundBy::PageEdges)
            throw RunError(photos[i] + ": no page found (" + DescribeScan(scanned.found) + ")");
        const UprightTurn upright = TurnUpright(scanned.page);
        const Picture page = CleanPage(std::move(scanned.page), cleaning, photos[i]);
        if (ocr)
            text[i] = ReadWords(page, languages, photos[i]);
        ATL::CImage image;
        PictureToImage(page, image);
        if (FAILED(image.Save(Utf8ToWide(pages[i].c_str()))))
            throw RunError("cannot write " + pages[i]);
        reports[i] = photos[i] + ": " + DescribeScan(scanned.found) +
                     DescribeUprightTurn(upright) + " (" +
                     std::to_string(page.width) + "x" + std::to_string(page.height) + ")";
    });
    if (failed && (!skipBad || failed == photos.size()))
        throw RunError(std::to_string(failed) + " of " + std::to_string(photos.size()) +
                       " pages failed; no PDF written" + (skipBad ? "" : " (--skip-bad writes the rest)"));
    std::vector<PdfPage> written;
    std::vector<std::vector<PlacedWord>> writtenText;
    const bool bilevel = cleaning == Cleaning::Mono || cleaning == Cleaning::MonoClassic;
    for (size_t i = 0; i < photos.size(); ++i) {
        if (reports[i].empty()) {
            std::fprintf(stderr, "imgdesk scan: warning: '%s' left out\n", photos[i].c_str());
        } else {
            written.push_back({pages[i], facts[i], bilevel, false});
            writtenText.push_back(std::move(text[i]));
        }
    }
    WritePdfPages(written, layout, output, writtenText);
    for (const auto& report : reports)
        if (!report.empty())
            std::printf("%s\n", report.c_str());
    std::printf("wrote %s (%zu page%s)\n", output.c_str(), written.size(),
                written.size() == 1 ? "" : "s");
    return 0;
}

int MakePdf(Args& args) {
    const std::string output = args.RequiredText("o");
    const bool replace = args.Flag("force");
    const bool skipBad = args.Flag("skip-bad");
    const PageLayout layout = ReadPageLayout(args, "auto");
    const auto& images = args.RequireAtLeast(1, "one or more images");
    args.Finish();
    MakeRoomFor(output, replace);
    // Every input is read before anything is written, so that a bad one is named, not dropped.
    std::vector<PdfPage> pages;
    std::vector<std::string> bad;
    for (const auto& image : images) {
        try {
            LoadPicture(image);
            const PictureFacts facts = ReadPictureFacts(image);
            pages.push_back({image, facts, false, facts.orientation == 1});
        } catch (const RunError& error) {
            std::fprintf(stderr, "imgdesk pdf: %s%s\n", skipBad ? "warning: " : "", error.what());
            bad.push_back(image);
        }
    }
    if (!bad.empty() && (!skipBad || pages.empty()))
        throw RunError(std::to_string(bad.size()) + " of " + std::to_string(images.size()) +
                       " images cannot be read; no PDF written" +
                       (skipBad ? "" : " (--skip-bad writes the rest)"));
    WritePdfPages(pages, layout, output);
    std::printf("wrote %s (%zu page%s)\n", output.c_str(), pages.size(),
                pages.size() == 1 ? "" : "s");
    return 0;
}

// Runs a CDocDesk conversion of a loaded image and saves the result.
int ConvertImage(Args& args, bool toGrey) {
    const std::string output = args.RequiredText("o");
    const std::string method = toGrey ? "classic" : args.Text("method", "classic");
    const std::string input = args.RequirePositionals(1, "one input image")[0];
    args.Finish();
    if (method != "classic") {
        if (method != "adaptive" && method != "whiten")
            throw UsageError("--method: '" + method + "' is not classic, adaptive or whiten");
        const Cleaning cleaning = method == "whiten" ? Cleaning::Whiten : Cleaning::Mono;
        SavePicture(CleanPage(LoadPicture(input), cleaning, input), output);
        return 0;
    }
    ATL::CImage image, grey;
    if (FAILED(image.Load(Utf8ToWide(input.c_str())))) {
        throw RunError("cannot read '" + input + "': missing, unreadable or not an image");
    }
    if (toGrey) {
        if (!CDocDesk().ImageToGray(image, grey))
            throw RunError("'" + input + "' is not a 24-bit colour image");
    } else if (!CDocDesk().ImageToSingle(image)) {
        throw RunError("out of memory");
    }
    if (FAILED((toGrey ? grey : image).Save(Utf8ToWide(output.c_str())))) {
        throw RunError("cannot write '" + output + "' (check the folder and the extension)");
    }
    return 0;
}

int Bind(Args& args) {
    const std::string archive = args.RequiredText("o");
    const bool fromFolder = args.Flag("folder");
    const std::vector<std::string> files = args.Positionals();
    args.Finish();
    if (fromFolder == !files.empty())
        throw UsageError("give files to bind, or --folder, not both");
    if (Exists(archive))
        throw RunError("'" + archive + "' exists; choose another name");
    for (const auto& file : files) {
        if (!Exists(file))
            throw RunError("'" + file + "' does not exist; nothing was bound");
    }
    const CString target = Utf8ToWide(archive.c_str());
    const int done =
        fromFolder ? CDocDesk().BindJpg(target) : CDocDesk().BindJpg(WidePaths(files), target);
    if (!done)
        throw RunError(fromFolder ? "nothing to bind in " + WideToUtf8(GetBindPath())
                                  : "cannot bind the files");
    std::printf("wrote %s\n", archive.c_str());
    return 0;
}

int Unbind(Args& args) {
    const std::string archive = args.RequirePositionals(1, "one archive")[0];
    args.Finish();
    if (!Exists(archive))
        throw RunError("'" + archive + "' does not exist");
    if (!CDocDesk().UnBindJpg(Utf8ToWide(archive.c_str())))
        throw RunError("cannot unbind '" + archive + "'");
    std::printf("unpacked into %s\n", WideToUtf8(GetBindPath()).c_str());
    return 0;
}

int Print(Args& args) {
    const bool mono = args.Flag("mono");
    const auto printer = args.Text("printer");
    const auto& images = args.RequireAtLeast(1, "one or more images");
    args.Finish();
    if (printer)
        ::setenv("IMGDESK_PRINTER", printer->c_str(), 1);
    CDocDesk().PrintImage(WidePaths(images), mono ? 1 : 0);
    return 0;
}

int Mail(Args& args) {
    const auto& files = args.RequireAtLeast(1, "one or more files");
    args.Finish();
    for (const auto& file : files) {
        if (!Exists(file))
            throw RunError("'" + file + "' does not exist");
    }
    if (!CDocDesk().SendOutLook(WidePaths(files)))
        throw RunError("cannot prepare the files for mailing");
    return 0;
}

int Thumbnail(Args& args) {
    const auto& images = args.RequireAtLeast(1, "one or more images");
    args.Finish();
    CThumbs thumbs;
    int status = 0;
    for (const auto& image : images) {
        const CString written = thumbs.WriteThumb(Utf8ToWide(image.c_str()));
        if (written.IsEmpty()) {
            std::fprintf(stderr, "imgdesk thumbnail: cannot make a thumbnail of '%s'\n",
                         image.c_str());
            status = 1;
        } else {
            std::printf("%s\n", WideToUtf8(written).c_str());
        }
    }
    return status;
}

}  // namespace

std::vector<Command> DocumentCommands() {
    const std::string group = "Documents";
    return {
        {"scan",
         group,
         "photographed pages to a clean PDF",
         "usage: imgdesk scan PHOTO... -o OUT.pdf [--mono[=classic] | --whiten] [--dpi N]\n"
         "       [--paper a4|letter|legal|a5|auto] [--quality Q] [--ocr[=LANGS]] [--skip-bad]\n"
         "       [--strict] [--force]\n\n"
         "For each photographed or scanned page: finds the page on the desk (dark, light or\n"
         "textured) from its four edges, corrects the perspective, cuts it out and levels its\n"
         "text lines; where no page edge shows (a flatbed scan, a close-up, a page filling the\n"
         "photo) the whole picture is kept and only its text is levelled. A page lying sideways\n"
         "or upside down is turned upright when its text shows that for sure (Tesseract's\n"
         "orientation data, tesseract-ocr-osd). Then optionally cleans the pages, reads their\n"
         "text, and binds them, in the order given, into one PDF at their printed size.\n"
         "Prints one line per page saying what was done, e.g. \"page found, turned 3.4 degrees\n"
         "clockwise, perspective corrected\", \"no page edges, text levelled by turning 4.0\n"
         "degrees counter-clockwise\", \"kept as is\", and \", turned upside down\" or \", turned\n"
         "a quarter turn clockwise\" for pages turned upright, and the page size. Pages are\n"
         "worked on all cores.\n\noptions:\n"
         "  -o OUT.pdf       the PDF to write\n"
         "  --mono           black and white pages: uneven light divided out, then a local\n"
         "                   threshold that keeps thin and grey print\n"
         "  --mono=classic   the document class's black and white: grey levels stretched,\n"
         "                   thresholded, dark areas touching the edge whitened\n"
         "  --whiten         colour or grey pages with the paper made white and even, the\n"
         "                   print's colours kept\n"
         "  --dpi N          pixels per inch of pictures that name no resolution\n"
         "  --paper SIZE     otherwise fit each page into this paper (default auto: the size\n"
         "                   nearest the page's proportions)\n"
         "  --quality Q      JPEG quality of colour and grey pages, 1 to 100 (default 85);\n"
         "                   black-and-white pages are stored as lossless 1-bit images\n"
         "  --ocr[=LANGS]    read each page's text (Tesseract languages joined by +, default\n"
         "                   eng) and lay it invisibly over the page, so that the PDF can be\n"
         "                   searched and its text selected and copied; fails at once when the\n"
         "                   language data is not installed (tesseract-ocr-LANG)\n"
         "  --skip-bad       leave out photos that cannot be read, with a warning each\n"
         "  --strict         fail (nothing written) when a photo shows no page edges\n"
         "  --force          replace OUT.pdf if it exists\n",
         {"mono", "whiten", "force", "skip-bad", "strict", "ocr"},
         Scan},
        {"pdf",
         group,
         "images to a PDF, one page each",
         "usage: imgdesk pdf IMAGE... -o OUT.pdf [--dpi N] [--paper SIZE] [--quality Q]\n"
         "       [--skip-bad] [--force]\n\n"
         "Writes one PDF page per image at its printed size: at the image's own resolution\n"
         "(JFIF, EXIF, PNG or TIFF), else at --dpi, else fitted into --paper. JPEGs are\n"
         "embedded unchanged; other images are stored as JPEG. An image that cannot be read\n"
         "is named and nothing is written, unless --skip-bad.\n\noptions:\n"
         "  -o OUT.pdf       the PDF to write\n"
         "  --dpi N          pixels per inch of images that name no resolution\n"
         "  --paper SIZE     a4, letter, legal, a5 or auto (default: the size nearest the\n"
         "                   image's proportions), for images without a resolution or --dpi\n"
         "  --quality Q      JPEG quality of re-encoded images, 1 to 100 (default 85)\n"
         "  --skip-bad       leave out images that cannot be read, with a warning each\n"
         "  --force          replace OUT.pdf if it exists\n",
         {"force", "skip-bad"},
         MakePdf},
        {"clean",
         group,
         "black-and-white page, dark borders whitened",
         "usage: imgdesk clean INPUT -o OUTPUT [--method classic|adaptive|whiten]\n\n"
         "Makes a page black and white as a scanner would: grey levels stretched, thresholded,\n"
         "and every dark area touching the edge whitened. The image keeps its format.\n\n"
         "options:\n"
         "  --method classic   the conversion above (the default)\n"
         "  --method adaptive  uneven light divided out, then a local threshold that keeps\n"
         "                     thin and grey print; an 8-bit black-and-white result\n"
         "  --method whiten    the paper made white and even, the print's colours kept\n",
         {},
         [](Args& args) { return ConvertImage(args, false); }},
        {"grey-copy",
         group,
         "8-bit grey copy of a 24-bit image",
         "usage: imgdesk grey-copy INPUT -o OUTPUT\n\n"
         "Writes the mean of red, green and blue of a 24-bit colour image (a JPEG, say) as an\n"
         "8-bit grey image.\n",
         {},
         [](Args& args) { return ConvertImage(args, true); }},
        {"bind",
         group,
         "move images into a zip archive",
         "usage: imgdesk bind FILE... -o ARCHIVE.zip\n"
         "       imgdesk bind --folder -o ARCHIVE.zip\n\n"
         "Moves the files into a new zip archive: each file is deleted once it is stored. With\n"
         "--folder, copies the images (jpg, bmp, png, gif, tif) of the bind folder instead and\n"
         "leaves them in place. The bind folder is $IMGDESK_BIND_DIR, else\n"
         "$XDG_DATA_HOME/imgdesk/bind.\n",
         {"folder"},
         Bind},
        {"unbind",
         group,
         "unpack an archive into the bind folder",
         "usage: imgdesk unbind ARCHIVE.zip\n\n"
         "Unpacks the archive into the bind folder (files already there are kept; clashing\n"
         "names get a new one) and deletes the archive.\n",
         {},
         Unbind},
        {"print",
         group,
         "print images, one per page",
         "usage: imgdesk print [--mono] [--printer URI] IMAGE...\n\n"
         "Prints each image scaled to fill the printable area and centred. The printer is\n"
         "--printer (a CUPS name or ipp:// address), else $IMGDESK_PRINTER, else the default.\n\n"
         "options:\n"
         "  --mono           print in black and white\n",
         {"mono"},
         Print},
        {"mail",
         group,
         "hand files to the mail program",
         "usage: imgdesk mail FILE...\n\n"
         "Starts the mail program (outlook.exe on the PATH) with the file, or with a zip archive\n"
         "of the files when there are several.\n",
         {},
         Mail},
        {"thumbnail",
         group,
         "write the file manager's thumbnail",
         "usage: imgdesk thumbnail IMAGE...\n\n"
         "Writes each image's thumbnail into the shared thumbnail cache and prints its path.\n",
         {},
         Thumbnail},
    };
}

}  // namespace imgdesk::cli
