// Subcommands for whole documents: photographed pages to a PDF, images to a PDF, grey and
// black-and-white pages, zip binding, printing, mailing and thumbnails.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>

#include "cli/Command.h"
#include "cli/PageCleaning.h"
#include "cli/Job.h"
#include "cli/Messages.h"
#include "cli/PageFinder.h"
#include "cli/PageReading.h"
#include "cli/PdfPages.h"
#include "cli/PictureFacts.h"
#include "cli/PictureCommand.h"
#include "cli/Progress.h"
#include "document/DocDesk.h"
#include "platform/Files.h"
#include "platform/print/PageSink.h"
#include "platform/print/PrintChooser.h"
#include "service/CoreKit.h"

namespace imgdesk::cli {
namespace {

// "3 pages", "1 page".
std::string Count(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string Named(const std::string& output) {
    return output == "-" ? std::string("standard output") : output;
}

std::list<CString> WidePaths(const std::vector<std::string>& paths) {
    std::list<CString> wide;
    for (const auto& path : paths)
        wide.push_back(Utf8ToWide(path.c_str()));
    return wide;
}

// The PDF is written beside its target and takes the target's name only when complete.
void WritePdf(const std::vector<PdfPage>& pages, const PageLayout& layout, PendingOutput& target,
              const std::vector<std::vector<PlacedWord>>& text = {}) {
    WritePdfPages(pages, layout, target.Path(), text);
    target.Commit();
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
    const auto [output, replace] = ReadOutput(args, "pdf");
    const Cleaning cleaning = ParseCleaning(args.FlagValue("mono"), args.Flag("whiten"));
    const bool strict = args.Flag("strict");
    const bool skipBad = args.Flag("skip-bad");
    const std::optional<std::string> ocr = args.FlagValue("ocr");
    const std::string languages = ocr && !ocr->empty() ? *ocr : "eng";
    const PageLayout layout = ReadPageLayout(args, "auto");
    const auto photos = InputFiles(args.RequireAtLeast(1, "one or more photographed pages"));
    args.Finish();
    RefuseOutputAmongInputs(output, photos);
    PendingOutput pdf(output, replace);
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
        reports[i] = photos[i] + ": " + DescribeScan(scanned.found) + DescribeUprightTurn(upright) +
                     " (" + std::to_string(page.width) + "x" + std::to_string(page.height) + ")";
    });
    if (failed && (!skipBad || failed == photos.size()))
        throw RunError(std::to_string(failed) + " of " + std::to_string(photos.size()) +
                       " pages failed; no PDF written" +
                       (skipBad ? "" : " (--skip-bad writes the rest)"));
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
    WritePdf(written, layout, pdf, writtenText);
    for (const auto& report : reports)
        if (!report.empty())
            Report(report);
    Report("wrote " + Named(output) + " (" + Count(written.size(), "page") + ")");
    return 0;
}

int MakePdf(Args& args) {
    const auto [output, replace] = ReadOutput(args, "pdf");
    const bool skipBad = args.Flag("skip-bad");
    const PageLayout layout = ReadPageLayout(args, "auto");
    const auto images = InputFiles(args.RequireAtLeast(1, "one or more images"));
    args.Finish();
    RefuseOutputAmongInputs(output, images);
    PendingOutput pdf(output, replace);
    // Every input is read before anything is written, so that a bad one is named, not dropped.
    std::vector<PdfPage> pages;
    std::vector<std::string> bad;
    for (const auto& image : images) {
        try {
            RequireRegularFile(image);
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
    WritePdf(pages, layout, pdf);
    Report("wrote " + Named(output) + " (" + Count(pages.size(), "page") + ")");
    return 0;
}

// Runs a CDocDesk conversion of a loaded image and saves the result.
int ConvertImage(Args& args, bool toGrey) {
    const auto [output, replace] = ReadOutput(args, "png jpg jpeg bmp tif tiff gif");
    const std::string method = toGrey ? "classic" : args.Text("method", "classic");
    const std::string input = InputFile(args.RequirePositionals(1, "one input image")[0]);
    args.Finish();
    RefuseOutputAmongInputs(output, {input});
    RequireRegularFile(input);
    if (method != "classic") {
        if (method != "adaptive" && method != "whiten")
            throw UsageError("--method: '" + method + "' is not classic, adaptive or whiten");
        const Cleaning cleaning = method == "whiten" ? Cleaning::Whiten : Cleaning::Mono;
        SavePicture(CleanPage(LoadPicture(input), cleaning, input), output, replace);
        return 0;
    }
    PendingOutput pending(output, replace);
    ATL::CImage image, grey;
    if (FAILED(image.Load(Utf8ToWide(input.c_str())))) {
        throw RunError("cannot read '" + input + "': missing, unreadable or not an image");
    }
    if (toGrey) {
        if (!CDocDesk().ImageToGray(image, grey))
            throw RunError("'" + input + "' is not a 24-bit colour image");
    } else if (!CDocDesk().ImageToSingle(image)) {
        throw RunError("'" + input + "' cannot be made black and white (too large for memory?)");
    }
    if (FAILED((toGrey ? grey : image).Save(Utf8ToWide(pending.Path().c_str())))) {
        throw RunError("cannot write '" + output + "' (check the free space and the extension)");
    }
    pending.Commit();
    return 0;
}

std::vector<std::string> BindFolderImages() {
    std::list<CString> found;
    const CString folder = GetBindPath();
    for (const wchar_t* pattern : {L"*.jpg", L"*.bmp", L"*.png", L"*.gif", L"*.tif"})
        SearchFileList(folder + kPathSeparator + pattern, found);
    std::vector<std::string> paths;
    for (const CString& path : found)
        paths.push_back(WideToUtf8(path));
    return paths;
}

long long FileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "'" : ", '") + name + "'";
    return text;
}

// The archive holds exactly the sources, in order, each in full: read back through its central
// directory with every CRC checked.
void CheckArchiveHolds(const std::string& archive, const std::vector<std::string>& sources,
                       const std::vector<long long>& sizes) {
    std::vector<ZipEntrySize> entries;
    std::string detail;
    const ZipVerdict verdict = InspectZip(Utf8ToWide(archive.c_str()), entries, detail);
    bool whole = verdict == ZipVerdict::Whole && entries.size() == sources.size();
    for (size_t i = 0; whole && i < entries.size(); ++i)
        whole = entries[i].size == sizes[i];
    if (!whole)
        throw RunError(
            "the archive could not be completed (is the disk full?); nothing was bound " +
            std::string("and every file is still in place"));
}

int Bind(Args& args) {
    const auto [archive, replace] = ReadOutput(args, "zip");
    const bool fromFolder = args.Flag("folder");
    const std::vector<std::string> files = args.Positionals();
    args.Finish();
    if (fromFolder == !files.empty())
        throw UsageError("give files to bind, or --folder, not both");
    // The sources go only once the archive stands under its name, read back.
    if (archive == "-")
        throw UsageError("bind writes an archive file, not standard output");
    if (std::count(files.begin(), files.end(), "-"))
        throw UsageError("bind moves files: standard input ('-') cannot be one");
    PendingOutput pending(archive, replace);
    const std::vector<std::string> sources = fromFolder ? BindFolderImages() : files;
    if (sources.empty())
        throw RunError("nothing to bind in " + WideToUtf8(GetBindPath()));
    std::vector<std::string> refused;
    for (const auto& source : sources) {
        try {
            RequireRegularFile(source);
        } catch (const RunError& error) {
            refused.push_back(error.what());
        }
    }
    if (!refused.empty()) {
        std::string text;
        for (const auto& reason : refused)
            text += "\n  " + reason;
        throw RunError("nothing was bound:" + text);
    }
    std::vector<long long> sizes;
    for (const auto& source : sources)
        sizes.push_back(FileSize(source));

    const CString target = Utf8ToWide(pending.Path().c_str());
    std::vector<std::string> notBound;
    if (fromFolder) {
        // The folder form leaves its images in place, so the library's own binding serves.
        if (!CDocDesk().BindJpg(target))
            throw RunError("nothing to bind in " + WideToUtf8(GetBindPath()));
    } else {
        // Sources go only once the whole archive stands complete under its own name.
        COnZipFile zip(target);
        for (const auto& source : sources) {
            if (!zip.AddFile(Utf8ToWide(source.c_str())))
                notBound.push_back(source);
        }
    }
    if (!notBound.empty()) {
        throw RunError("could not store " + Listed(notBound) +
                       "; nothing was bound and every file is still in place");
    }
    CheckArchiveHolds(pending.Path(), sources, sizes);
    pending.Commit();

    std::vector<std::string> kept;
    if (!fromFolder) {
        for (const auto& source : sources) {
            if (!DelFile(Utf8ToWide(source.c_str())))
                kept.push_back(source);
        }
    }
    Report("wrote " + archive + " (" + Count(sources.size(), "file") + ")");
    if (!kept.empty())
        throw RunError("stored but could not delete " + Listed(kept));
    return 0;
}

// Regular files and their bytes under a folder.
void CountFiles(const std::string& folder, long long& files, long long& bytes) {
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info;
        const std::string path = folder + "/" + name;
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            CountFiles(path, files, bytes);
        } else if (S_ISREG(info.st_mode)) {
            ++files;
            bytes += info.st_size;
        }
    }
    ::closedir(listing);
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(listing);
    }
    return names;
}

// "a.jpg" numbered 2 is "a (2).jpg", as the library numbers clashing names.
std::string Numbered(const std::string& name, int number) {
    const size_t dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(number) + ")";
    if (dot == std::string::npos || dot == 0)
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

// Moves what was unpacked into the destination, never replacing what is there: a taken name
// gets a number.
void MoveIntoPlace(const std::string& staging, const std::string& destination) {
    for (const auto& name : FolderNames(staging)) {
        const CString from = Utf8ToWide((staging + "/" + name).c_str());
        bool moved = false;
        for (int number = 1; number < 10000 && !moved; ++number) {
            const std::string target =
                destination + "/" + (number == 1 ? name : Numbered(name, number));
            moved = MoveFileW(from, Utf8ToWide(target.c_str())) != FALSE;
            if (!moved && errno != EEXIST)
                break;
        }
        if (!moved)
            throw RunError("cannot move '" + name + "' into " + destination);
    }
}

// A second name for the archive inside the staging folder (a copy where links are not possible),
// so that the library's unbinding removes that name and never the user's archive.
void PlaceArchiveCopy(const std::string& archive, const std::string& copy) {
    if (::link(archive.c_str(), copy.c_str()) == 0)
        return;
    std::FILE* in = std::fopen(archive.c_str(), "rb");
    std::FILE* out = std::fopen(copy.c_str(), "wbx");
    bool copied = in && out;
    char buffer[64 * 1024];
    size_t got;
    while (copied && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        copied = std::fwrite(buffer, 1, got, out) == got;
    copied = copied && !std::ferror(in);
    if (in)
        std::fclose(in);
    if (out && std::fclose(out) != 0)
        copied = false;
    if (!copied)
        throw RunError("no room to unpack '" + archive + "'; the archive is kept");
}

std::string VerdictText(ZipVerdict verdict, const std::string& detail) {
    switch (verdict) {
        case ZipVerdict::NotZip:
            return "is not a zip archive";
        case ZipVerdict::Unreadable:
            return "cannot be read" + (detail.empty() ? "" : ": " + detail);
        case ZipVerdict::Encrypted:
            return "holds an encrypted entry ('" + detail + "'), which is not unpacked";
        case ZipVerdict::TooLarge:
            return "is beyond the unpacking limits: " + detail +
                   " (IMGDESK_MAX_UNPACK_BYTES raises the byte limit)";
        default:
            return "is damaged or incomplete" + (detail.empty() ? "" : ": " + detail);
    }
}

int Unbind(Args& args) {
    const std::string archive = args.RequirePositionals(1, "one archive")[0];
    args.Finish();
    RequireRegularFile(archive);
    std::vector<ZipEntrySize> entries;
    std::string detail;
    const ZipVerdict verdict = InspectZip(Utf8ToWide(archive.c_str()), entries, detail);
    if (verdict != ZipVerdict::Whole)
        throw RunError("'" + archive + "' " + VerdictText(verdict, detail) + "; it is kept");
    long long expectedBytes = 0;
    for (const auto& entry : entries)
        expectedBytes += entry.size;

    const std::string destination = FolderOf(archive);
    StagingFolder staging(archive);
    const size_t slash = archive.rfind('/');
    const std::string copy =
        staging.Path() + "/" + (slash == std::string::npos ? archive : archive.substr(slash + 1));
    PlaceArchiveCopy(archive, copy);
    CDocDesk().UnBindJpg(Utf8ToWide(copy.c_str()));
    ::unlink(copy.c_str());  // gone already unless the library could not delete it

    long long files = 0, bytes = 0;
    CountFiles(staging.Path(), files, bytes);
    if (files != static_cast<long long>(entries.size()) || bytes != expectedBytes) {
        throw RunError(std::to_string(static_cast<long long>(entries.size()) - files) + " of " +
                       std::to_string(entries.size()) +
                       " files could not be unpacked (names too long, or no room?); nothing was "
                       "unpacked and '" +
                       archive + "' is kept");
    }
    MoveIntoPlace(staging.Path(), destination);
    if (!DelFile(Utf8ToWide(archive.c_str())))
        throw RunError("unpacked into " + destination + " but could not delete '" + archive + "'");
    Report("unpacked " + Count(entries.size(), "file") + " into " + destination);
    return 0;
}

// Stands between the printer and the library's printing, and keeps what the printer answered.
class WatchedPrinter : public imgdesk::print::PageSink {
public:
    struct Report {
        int job = 0;
        int pages = 0;
        bool pageRefused = false;
        bool accepted = false;
    };
    WatchedPrinter(std::unique_ptr<PageSink> printer, Report& report)
        : printer_(std::move(printer)), report_(report) {}

    imgdesk::print::PageFormat Format() const override { return printer_->Format(); }
    imgdesk::gdi::Surface Page() override { return printer_->Page(); }
    int BeginDocument(const std::wstring& name) override {
        report_.job = printer_->BeginDocument(name);
        return report_.job;
    }
    bool BeginPage() override { return Note(printer_->BeginPage()); }
    BOOL Stretch(HDC dc, const imgdesk::print::StretchArgs& args, HDC source) override {
        return printer_->Stretch(dc, args, source);
    }
    bool FinishPage() override {
        const bool done = Note(printer_->FinishPage());
        report_.pages += done ? 1 : 0;
        return done;
    }
    bool FinishDocument() override {
        report_.accepted = printer_->FinishDocument() && !report_.pageRefused;
        return report_.accepted;
    }
    void Abandon() override { printer_->Abandon(); }

private:
    bool Note(bool done) {
        report_.pageRefused = report_.pageRefused || !done;
        return done;
    }
    std::unique_ptr<PageSink> printer_;
    Report& report_;
};

int Print(Args& args) {
    const bool mono = args.Flag("mono");
    const auto printer = args.Text("printer");
    const auto& images = args.RequireAtLeast(1, "one or more images");
    args.Finish();
    // Every image is checked before anything reaches the printer.
    for (const auto& image : images) {
        RequireRegularFile(image);
        ATL::CImage probe;
        if (FAILED(probe.Load(Utf8ToWide(image.c_str()))))
            throw RunError("'" + image + "' is not a readable image; nothing was printed");
    }
    if (printer)
        ::setenv("IMGDESK_PRINTER", printer->c_str(), 1);

    std::string name, refusal;
    WatchedPrinter::Report report;
    auto previous = imgdesk::print::SetPrintDialogHandler([&](PRINTDLG& request, CString& chosen) {
        if (imgdesk::print::DefaultPrintDialog(request, chosen) != IDOK) {
            refusal = "no printer: give --printer, set IMGDESK_PRINTER or set a CUPS default";
            return static_cast<INT_PTR>(IDCANCEL);
        }
        name = WideToUtf8(chosen);
        std::string why;
        auto sink = imgdesk::print::OpenCupsPrinter(chosen, &why);
        if (!sink) {
            refusal = "cannot print on '" + name + "': " + why;
            return static_cast<INT_PTR>(IDCANCEL);
        }
        request.hDC = imgdesk::print::CreatePrinterDC(
            std::make_unique<WatchedPrinter>(std::move(sink), report));
        return static_cast<INT_PTR>(request.hDC ? IDOK : IDCANCEL);
    });
    CDocDesk().PrintImage(WidePaths(images), mono ? 1 : 0);
    imgdesk::print::SetPrintDialogHandler(std::move(previous));

    if (!refusal.empty())
        throw RunError(refusal);
    if (report.job <= 0)
        throw RunError("the printer '" + name + "' did not take the job");
    if (!report.accepted) {
        throw RunError(
            "job " + std::to_string(report.job) + " on '" + name +
            "' was not accepted by the printer; it may print incompletely or not at all");
    }
    Report("job " + std::to_string(report.job) + " on " + name + ": " +
           Count(static_cast<size_t>(report.pages), "page") + " accepted");
    return 0;
}

// The programs that take files for a new mail, in order: the desktop's composer, then the
// platform's own program.
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0;;) {
        const size_t end = folders.find(':', start);
        std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return std::string();
        start = end + 1;
    }
}

std::string AbsolutePath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        throw RunError("cannot read '" + path + "'");
    std::string absolute = resolved;
    std::free(resolved);
    return absolute;
}

int Mail(Args& args) {
    const auto& files = args.RequireAtLeast(1, "one or more files");
    args.Finish();
    std::vector<std::string> absolute;
    for (const auto& file : files) {
        RequireRegularFile(file);
        absolute.push_back(AbsolutePath(file));
    }
    if (FindOnPath("xdg-email").empty() && FindOnPath("outlook.exe").empty())
        throw RunError("no mail program: install xdg-utils (xdg-email) or put outlook.exe on PATH");
    // The archive of several files must outlive this job for the mail program to attach it, so
    // it goes to a folder of its own under the shared temporary folder rather than the job's.
    std::string mailFolder;
    if (absolute.size() > 1) {
        std::string pattern = SharedTemporaryFolder() + "/mail-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw RunError("cannot make a folder for the mail archive");
        mailFolder = pattern;
        ::setenv("IMGDESK_TEMP_DIR", mailFolder.c_str(), 1);
    }
    if (!CDocDesk().SendOutLook(WidePaths(absolute)))
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
    auto value = [](const char* name, const char* placeholder, const char* help,
                    const char* choices = "") {
        return Option{name, 0, Takes::Value, placeholder, help, choices};
    };
    auto flag = [](const char* name, const char* help) {
        return Option{name, 0, Takes::Nothing, "", help, ""};
    };
    auto plus = [](std::vector<Option> options, std::vector<Option> more) {
        for (auto& option : more)
            options.push_back(std::move(option));
        return options;
    };
    const char* pictures = "png jpg jpeg bmp tif tiff gif";
    const std::vector<Option> layout = {
        value("dpi", "N", "pixels per inch of pictures that name no resolution"),
        value("paper", "SIZE",
              "a4, letter, legal, a5 or auto (default: the size nearest the\n"
              "picture's proportions), for pictures without a resolution or --dpi",
              "a4 letter legal a5 auto"),
        value("quality", "Q", "JPEG quality of re-encoded pages, 1 to 100 (default 85)"),
    };
    return {
        {"scan", group, "photographed pages to a clean PDF",
         "PHOTO... -o OUT.pdf [--mono[=classic] | --whiten] [--dpi N]\n"
         "[--paper SIZE] [--quality Q] [--ocr[=LANGS]] [--skip-bad] [--strict] [--force]",
         "For each photographed or scanned page: finds the page on the desk (dark, light or\n"
         "textured) from its four edges, corrects the perspective, cuts it out and levels its\n"
         "text lines; where no page edge shows (a flatbed scan, a close-up, a page filling the\n"
         "photo) the whole picture is kept and only its text is levelled. A page lying sideways\n"
         "or upside down is turned upright when its text shows that for sure (Tesseract's\n"
         "orientation data, tesseract-ocr-osd). Then optionally cleans the pages, reads their\n"
         "text, and binds them, in the order given, into one PDF at their printed size.\n"
         "Reports one line per page saying what was done, e.g. \"page found, turned 3.4 degrees\n"
         "clockwise, perspective corrected\", \"no page edges, text levelled by turning 4.0\n"
         "degrees counter-clockwise\", \"kept as is\", and \", turned upside down\" or \", turned\n"
         "a quarter turn clockwise\" for pages turned upright, and the page size. Pages are\n"
         "worked on all cores.\n",
         plus(OutputOptions("PDF", "pdf"),
              {{"mono", 0, Takes::OptionalValue, "classic",
                "black and white pages: uneven light divided out, then a local\n"
                "threshold that keeps thin and grey print; --mono=classic: the\n"
                "document class's black and white (grey levels stretched,\n"
                "thresholded, dark areas touching the edge whitened)",
                "adaptive classic"},
               flag("whiten",
                    "colour or grey pages with the paper made white and even, the\n"
                    "print's colours kept"),
               layout[0],
               layout[1],
               value("quality", "Q",
                     "JPEG quality of colour and grey pages, 1 to 100 (default\n"
                     "85); black-and-white pages are stored as lossless 1-bit images"),
               {"ocr", 0, Takes::OptionalValue, "LANGS",
                "read each page's text (Tesseract languages joined by +, default\n"
                "eng) and lay it invisibly over the page, so that the PDF can be\n"
                "searched and its text selected and copied; fails at once when the\n"
                "language data is not installed (tesseract-ocr-LANG)",
                ""},
               flag("skip-bad", "leave out photos that cannot be read, with a warning each"),
               flag("strict", "fail (nothing written) when a photo shows no page edges")}),
         Scan},
        {"pdf", group, "images to a PDF, one page each",
         "IMAGE... -o OUT.pdf [--dpi N] [--paper SIZE] [--quality Q] [--skip-bad] [--force]",
         "Writes one PDF page per image at its printed size: at the image's own resolution\n"
         "(JFIF, EXIF, PNG or TIFF), else at --dpi, else fitted into --paper. JPEGs are\n"
         "embedded unchanged; other images are stored as JPEG. An image that cannot be read\n"
         "is named and nothing is written, unless --skip-bad.\n",
         plus(OutputOptions("PDF", "pdf"),
              plus(layout, {flag("skip-bad",
                                 "leave out images that cannot be read, with a warning each")})),
         MakePdf},
        {"clean", group, "black-and-white page, dark borders whitened",
         "INPUT -o OUTPUT [--method classic|adaptive|whiten]",
         "Makes a page black and white as a scanner would: grey levels stretched, thresholded,\n"
         "and every dark area touching the edge whitened.\n",
         plus(OutputOptions("image", pictures),
              {value("method", "METHOD",
                     "classic: the conversion above (the default); adaptive: uneven\n"
                     "light divided out, then a local threshold that keeps thin and grey\n"
                     "print, an 8-bit black-and-white result; whiten: the paper made\n"
                     "white and even, the print's colours kept",
                     "classic adaptive whiten")}),
         [](Args& args) { return ConvertImage(args, false); }},
        {"grey-copy", group, "8-bit grey copy of a 24-bit image", "INPUT -o OUTPUT",
         "Writes the mean of red, green and blue of a 24-bit colour image (a JPEG, say) as an\n"
         "8-bit grey image.\n",
         OutputOptions("image", pictures), [](Args& args) { return ConvertImage(args, true); }},
        {"bind", group, "move images into a zip archive",
         "FILE... -o ARCHIVE.zip [--force]\n--folder -o ARCHIVE.zip [--force]",
         "Moves the files into a new zip archive: the files are deleted only once the whole\n"
         "archive is written, read back and in place. A file that cannot be stored fails the\n"
         "command, names the file, and leaves every file where it was. An existing archive is\n"
         "replaced only with --force. With --folder, copies the images (jpg, bmp, png, gif, tif)\n"
         "of the bind folder instead and leaves them in place. The bind folder is\n"
         "$IMGDESK_BIND_DIR, else $XDG_DATA_HOME/imgdesk/bind.\n",
         plus({{"output", 'o', Takes::Value, "ARCHIVE", "the zip archive to write", "FILE"},
               {"format", 0, Takes::Value, "FORMAT", "the format written", "zip"},
               {"force", 0, Takes::Nothing, "", "replace ARCHIVE if it exists", ""}},
              {flag("folder", "bind the images of the bind folder, which stay in place")}),
         Bind},
        {"unbind",
         group,
         "unpack an archive next to itself",
         "ARCHIVE.zip",
         "Unpacks the archive into its own folder (files already there are kept; clashing names\n"
         "get a number) and deletes the archive, but only when every file was unpacked. A file\n"
         "that is not a zip archive, an encrypted, damaged or incomplete archive, and one beyond\n"
         "the limits (65536 entries, 8 GiB or $IMGDESK_MAX_UNPACK_BYTES, 1000 times its own\n"
         "size) are refused and kept.\n",
         {},
         Unbind},
        {"print",
         group,
         "print images, one per page",
         "[--mono] [--printer URI] IMAGE...",
         "Prints each image scaled to fill the printable area and centred. The printer is\n"
         "--printer (a CUPS name or ipp:// address), else $IMGDESK_PRINTER, else the default.\n"
         "Every image is checked first and the printer is asked before anything is sent; reports\n"
         "the job number once the printer has accepted every page, else fails with the reason.\n",
         {flag("mono", "print in black and white"),
          value("printer", "URI", "the printer: a CUPS name or an ipp:// address")},
         Print},
        {"mail",
         group,
         "hand files to the mail program",
         "FILE...",
         "Hands the file, or a zip archive of the files when there are several, to the desktop's\n"
         "mail composer (xdg-email --attach), else to outlook.exe on the PATH. With neither, "
         "fails\n"
         "and leaves nothing behind.\n",
         {},
         Mail},
        {"thumbnail",
         group,
         "write the file manager's thumbnail",
         "IMAGE...",
         "Writes each image's thumbnail into the shared thumbnail cache and prints its path.\n",
         {},
         Thumbnail},
    };
}

}  // namespace imgdesk::cli
