// A printer context for a CUPS destination or an IPP printer reached by its URI. Pages are drawn
// into a whole-sheet 24-bit page in memory; every finished page is sent at once as one page of a
// PWG raster document, so one job carries all the pages of StartDocW ... EndDoc. PWG raster is the
// format every IPP Everywhere printer takes, and libcups writes it itself.
#include <cups/cups.h>
#include <cups/raster.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/com/Heap.h"
#include "platform/print/PageSink.h"

namespace imgdesk::print {
namespace {

constexpr int kConnectTimeoutMs = 10000;
constexpr const char* kPwgRaster = "image/pwg-raster";

// Resolution in dots per inch of a resolution attribute value.
int DotsPerInch(ipp_attribute_t* attribute, int element, int* dpiY) {
    ipp_res_t units = IPP_RES_PER_INCH;
    int y = 0;
    int x = ippGetResolution(attribute, element, &y, &units);
    if (units == IPP_RES_PER_CM) {
        x = static_cast<int>(x * 2.54 + 0.5);
        y = static_cast<int>(y * 2.54 + 0.5);
    }
    *dpiY = y;
    return x;
}

class CupsPrinter : public PageSink {
public:
    ~CupsPrinter() override {
        if (job_ > 0)
            Abandon();
        platform::HeapRelease(page_);
        cupsFreeDestInfo(info_);
        if (http_)
            httpClose(http_);
        if (dest_)
            cupsFreeDests(1, dest_);
    }

    bool Open(const std::string& printer, std::string& why) {
        // A printer named by its URI is talked to directly; a named one through the CUPS server.
        const bool direct = printer.find("://") != std::string::npos;
        if (direct)
            dest_ = cupsGetDestWithURI(nullptr, printer.c_str());
        else
            dest_ = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.empty() ? nullptr : printer.c_str(),
                                     nullptr);
        if (!dest_) {
            why = direct ? "not a printer address" : "no such printer queue";
            return false;
        }
        http_ = cupsConnectDest(dest_, direct ? CUPS_DEST_FLAGS_DEVICE : CUPS_DEST_FLAGS_NONE,
                                kConnectTimeoutMs, nullptr, nullptr, 0, nullptr, nullptr);
        if (!http_ || !(info_ = cupsCopyDestInfo(http_, dest_))) {
            why = std::string("cannot reach it: ") + cupsLastErrorString();
            return false;
        }
        if (!cupsCheckDestSupported(http_, dest_, info_, "document-format", kPwgRaster)) {
            why = "it takes no PWG raster documents";
            return false;
        }
        if (!(ChooseMedia() && ChooseResolution() && ChooseColour() && MakeHeader())) {
            why = "it reports no usable paper size, resolution or colour mode";
            return false;
        }
        return true;
    }

    PageFormat Format() const override { return format_; }

    imgdesk::gdi::Surface Page() override {
        const long long stride = 3LL * format_.paperWidth;
        imgdesk::gdi::Surface surface;
        surface.width = format_.printableWidth;
        surface.height = format_.printableHeight;
        surface.bitCount = 24;
        surface.top = page_ + format_.offsetY * stride + 3LL * format_.offsetX;
        surface.step = stride;
        return surface;
    }

    int BeginDocument(const std::wstring& name) override {
        const std::string title = WideToUtf8(name.c_str());
        cups_option_t* options = nullptr;
        const int count = cupsAddOption("media", size_.media, 0, &options);
        int job = 0;
        const ipp_status_t status =
            cupsCreateDestJob(http_, dest_, info_, &job, title.c_str(), count, options);
        cupsFreeOptions(count, options);
        if (status > IPP_STATUS_OK_EVENTS_COMPLETE || job <= 0)
            return 0;
        job_ = job;
        if (cupsStartDestDocument(http_, dest_, info_, job_, title.c_str(), kPwgRaster, 0, nullptr,
                                  1) != HTTP_STATUS_CONTINUE) {
            Abandon();
            return 0;
        }
        documentOpen_ = true;
        raster_ = cupsRasterOpenIO(WriteToPrinter, http_, CUPS_RASTER_WRITE_PWG);
        if (!raster_) {
            Abandon();
            return 0;
        }
        return job_;
    }

    bool BeginPage() override {
        std::memset(page_, 255, PageBytes());
        return raster_ != nullptr;
    }

    bool FinishPage() override {
        if (!raster_ || !cupsRasterWriteHeader2(raster_, &header_))
            return false;
        const unsigned lineBytes = header_.cupsBytesPerLine;
        auto* line = static_cast<unsigned char*>(platform::HeapAllocate(lineBytes));
        std::unique_ptr<unsigned char, platform::HeapDeleter> holder(line);
        if (!line)
            return false;
        for (int y = 0; y < format_.paperHeight; ++y) {
            ConvertRow(page_ + 3LL * format_.paperWidth * y, line);
            if (cupsRasterWritePixels(raster_, line, lineBytes) < lineBytes)
                return false;
        }
        return true;
    }

    bool FinishDocument() override {
        if (!raster_)
            return false;
        cupsRasterClose(raster_);
        raster_ = nullptr;
        documentOpen_ = false;
        const ipp_status_t status = cupsFinishDestDocument(http_, dest_, info_);
        job_ = 0;
        return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
    }

    void Abandon() override {
        if (raster_)
            cupsRasterClose(raster_);
        raster_ = nullptr;
        if (documentOpen_)
            cupsFinishDestDocument(http_, dest_, info_);
        documentOpen_ = false;
        if (job_ > 0)
            cupsCancelDestJob(http_, dest_, job_);
        job_ = 0;
    }

    bool AllocatePage() {
        page_ = static_cast<unsigned char*>(platform::HeapAllocate(PageBytes()));
        return page_ != nullptr;
    }

private:
    static ssize_t WriteToPrinter(void* http, unsigned char* bytes, size_t length) {
        return cupsWriteRequestData(static_cast<http_t*>(http), reinterpret_cast<char*>(bytes),
                                    length) == HTTP_STATUS_CONTINUE
                   ? static_cast<ssize_t>(length)
                   : -1;
    }

    std::size_t PageBytes() const {
        return static_cast<std::size_t>(format_.paperWidth) * 3 * format_.paperHeight;
    }

    bool ChooseMedia() {
        if (!cupsGetDestMediaDefault(http_, dest_, info_, CUPS_MEDIA_FLAGS_DEFAULT, &size_))
            return false;
        return size_.width > 0 && size_.length > 0;
    }

    // The printer's default resolution when it takes PWG raster at it, else the finest PWG raster
    // resolution not above it (or the coarsest one, when all are finer).
    bool ChooseResolution() {
        int defaultX = 0, defaultY = 0;
        if (ipp_attribute_t* attribute =
                cupsFindDestDefault(http_, dest_, info_, "printer-resolution"))
            defaultX = DotsPerInch(attribute, 0, &defaultY);
        ipp_attribute_t* supported =
            cupsFindDestSupported(http_, dest_, info_, "pwg-raster-document-resolution");
        const int count = supported ? ippGetCount(supported) : 0;
        int bestX = 0, bestY = 0, coarsestX = 0, coarsestY = 0;
        for (int i = 0; i < count; ++i) {
            int y = 0;
            const int x = DotsPerInch(supported, i, &y);
            if (x == defaultX && y == defaultY) {
                bestX = x;
                bestY = y;
                break;
            }
            if (x <= defaultX && x > bestX) {
                bestX = x;
                bestY = y;
            }
            if (coarsestX == 0 || x < coarsestX) {
                coarsestX = x;
                coarsestY = y;
            }
        }
        if (count == 0) {
            bestX = defaultX;
            bestY = defaultY;
        } else if (bestX == 0) {
            bestX = coarsestX;
            bestY = coarsestY;
        }
        if (bestX <= 0 || bestY <= 0)
            return false;
        format_.dpiX = bestX;
        format_.dpiY = bestY;
        return true;
    }

    // Colour when the printer takes it, else grey, else black and white.
    bool ChooseColour() {
        for (const char* type : {"srgb_8", "sgray_8", "black_1"}) {
            if (cupsCheckDestSupported(http_, dest_, info_, "pwg-raster-document-type", type)) {
                type_ = type;
                return true;
            }
        }
        return false;
    }

    bool MakeHeader() {
        pwg_media_t* media = pwgMediaForPWG(size_.media);
        if (!media)
            media = pwgMediaForSize(size_.width, size_.length);
        if (!media || !cupsRasterInitPWGHeader(&header_, media, type_.c_str(), format_.dpiX,
                                               format_.dpiY, "one-sided", nullptr))
            return false;
        // Sheet and margins in device pixels; the printable area is what lies inside the margins.
        format_.paperWidth = static_cast<int>(header_.cupsWidth);
        format_.paperHeight = static_cast<int>(header_.cupsHeight);
        format_.offsetX =
            static_cast<int>(static_cast<long long>(size_.left) * format_.dpiX / 2540);
        format_.offsetY = static_cast<int>(static_cast<long long>(size_.top) * format_.dpiY / 2540);
        format_.printableWidth = static_cast<int>(
            static_cast<long long>(size_.width - size_.left - size_.right) * format_.dpiX / 2540);
        format_.printableHeight = static_cast<int>(
            static_cast<long long>(size_.length - size_.top - size_.bottom) * format_.dpiY / 2540);
        format_.printableWidth =
            std::clamp(format_.printableWidth, 0, format_.paperWidth - format_.offsetX);
        format_.printableHeight =
            std::clamp(format_.printableHeight, 0, format_.paperHeight - format_.offsetY);
        return format_.printableWidth > 0 && format_.printableHeight > 0;
    }

    // One sheet row (blue, green, red) in the raster's colour space.
    void ConvertRow(const unsigned char* bgr, unsigned char* line) const {
        const int width = format_.paperWidth;
        if (type_ == "srgb_8") {
            for (int x = 0; x < width; ++x, bgr += 3, line += 3) {
                line[0] = bgr[2];
                line[1] = bgr[1];
                line[2] = bgr[0];
            }
            return;
        }
        if (type_ == "sgray_8") {
            for (int x = 0; x < width; ++x, bgr += 3)
                line[x] = Luma(bgr);
            return;
        }
        // black_1: a set bit is black; halfway grey and darker print black.
        std::memset(line, 0, (width + 7) / 8);
        for (int x = 0; x < width; ++x, bgr += 3)
            if (Luma(bgr) < 128)
                line[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }

    // Rec. 601 weights in 8-bit fixed point.
    static unsigned char Luma(const unsigned char* bgr) {
        return static_cast<unsigned char>((29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2] + 128) >> 8);
    }

    cups_dest_t* dest_ = nullptr;
    http_t* http_ = nullptr;
    cups_dinfo_t* info_ = nullptr;
    cups_size_t size_ = {};
    cups_page_header2_t header_ = {};
    std::string type_;
    PageFormat format_;
    unsigned char* page_ = nullptr;
    cups_raster_t* raster_ = nullptr;
    int job_ = 0;
    bool documentOpen_ = false;
};

}  // namespace

std::unique_ptr<PageSink> OpenCupsPrinter(const CString& printer, std::string* why) {
    std::unique_ptr<CupsPrinter> sink(new (std::nothrow) CupsPrinter);
    std::string reason;
    if (!sink) {
        reason = "out of memory";
    } else if (!sink->Open(WideToUtf8(printer), reason)) {
        sink.reset();
    } else if (!sink->AllocatePage()) {
        reason = "out of memory for a page";
        sink.reset();
    }
    if (why)
        *why = reason;
    return sink;
}

HDC CreateCupsPrinterDC(const CString& printer) {
    std::unique_ptr<PageSink> sink = OpenCupsPrinter(printer, nullptr);
    return sink ? CreatePrinterDC(std::move(sink)) : nullptr;
}

}  // namespace imgdesk::print
