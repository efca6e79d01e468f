#include "service/Jpg2Pdf.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <tiffio.h>

#include "platform/Files.h"
#include "platform/WinTypes.h"
#include "platform/codecs/Codecs.h"
#include "service/CoreKit.h"

namespace {

// What the page needs from a JPEG, read from its markers up to the first scan.
struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 0;
    bool adobe = false;   // an Adobe APP14 marker: CMYK samples are stored inverted
    bool rgbIds = false;  // three components named 'R', 'G', 'B': no YCbCr transform
    bool jfif = false;
    double dpiX = 0;  // 0: the file names no resolution
    double dpiY = 0;
};

unsigned Be16(const unsigned char* p) {
    return unsigned(p[0]) << 8 | p[1];
}

// The resolution of an EXIF block's first image directory (XResolution, YResolution and
// ResolutionUnit), when it names one in inches or centimetres.
void ReadExifResolution(const unsigned char* data, size_t size, JpegInfo& info) {
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return;
    const unsigned char* tiff = data + 6;
    const size_t length = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return;
    auto u16 = [&](size_t at) -> unsigned {
        return little ? tiff[at] | unsigned(tiff[at + 1]) << 8 : Be16(tiff + at);
    };
    auto u32 = [&](size_t at) -> unsigned long {
        return little ? u16(at) | static_cast<unsigned long>(u16(at + 2)) << 16
                      : static_cast<unsigned long>(u16(at)) << 16 | u16(at + 2);
    };
    const unsigned long directory = u32(4);
    if (directory > length || length - directory < 2)
        return;
    const unsigned entries = u16(directory);
    double x = 0, y = 0;
    unsigned unit = 2;  // inches unless the file says otherwise
    for (unsigned e = 0; e < entries; ++e) {
        const size_t at = directory + 2 + size_t(e) * 12;
        if (at + 12 > length)
            break;
        const unsigned tag = u16(at), type = u16(at + 2);
        if (tag == 0x0128 && type == 3) {
            unit = u16(at + 8);
        } else if ((tag == 0x011A || tag == 0x011B) && type == 5) {
            const unsigned long offset = u32(at + 8);
            if (offset > length || length - offset < 8)
                continue;
            const unsigned long denominator = u32(offset + 4);
            const double value = denominator ? double(u32(offset)) / denominator : 0;
            (tag == 0x011A ? x : y) = value;
        }
    }
    if (x <= 0 || y <= 0 || (unit != 2 && unit != 3))
        return;
    const double scale = unit == 3 ? 2.54 : 1;
    info.dpiX = x * scale;
    info.dpiY = y * scale;
}

// Reads the markers of a JPEG up to its first scan. False when the bytes are not a JPEG with a
// frame header before the scan.
bool ReadJpegInfo(const unsigned char* data, size_t size, JpegInfo& info) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    bool frame = false;
    double exifX = 0, exifY = 0;
    size_t at = 2;
    for (;;) {
        // Like libjpeg, skip stray bytes before a marker and any fill bytes.
        while (at < size && data[at] != 0xFF)
            ++at;
        while (at < size && data[at] == 0xFF)
            ++at;
        if (at >= size)
            return false;
        const unsigned marker = data[at++];
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // markers without a segment
        if (marker == 0xD9 || at + 2 > size)
            return false;
        const unsigned length = Be16(data + at);
        if (length < 2 || length > size - at)
            return false;
        const unsigned char* segment = data + at + 2;
        const size_t segmentSize = length - 2;
        at += length;

        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            // Readers of DCTDecode streams take Huffman-coded baseline, extended and progressive
            // frames only.
            if (frame || marker > 0xC2 || segmentSize < 6)
                return false;
            info.precision = segment[0];
            info.height = static_cast<int>(Be16(segment + 1));
            info.width = static_cast<int>(Be16(segment + 3));
            info.components = segment[5];
            if (segmentSize < 6 + size_t(info.components) * 3)
                return false;
            info.rgbIds = info.components == 3 && segment[6] == 'R' && segment[9] == 'G' &&
                          segment[12] == 'B';
            frame = true;
        } else if (marker == 0xE0 && segmentSize >= 12 && std::memcmp(segment, "JFIF", 5) == 0) {
            info.jfif = true;
            const unsigned units = segment[7];
            const unsigned x = Be16(segment + 8), y = Be16(segment + 10);
            if ((units == 1 || units == 2) && x && y) {
                const double scale = units == 2 ? 2.54 : 1;
                info.dpiX = x * scale;
                info.dpiY = y * scale;
            }
        } else if (marker == 0xE1 && exifX == 0) {
            JpegInfo exif;
            ReadExifResolution(segment, segmentSize, exif);
            exifX = exif.dpiX;
            exifY = exif.dpiY;
        } else if (marker == 0xEE && segmentSize >= 12 && std::memcmp(segment, "Adobe", 5) == 0) {
            info.adobe = true;
        } else if (marker == 0xDA) {
            break;
        }
    }
    if (!frame)
        return false;
    if (info.dpiX == 0 && exifX > 0) {  // the JFIF density wins when both name one
        info.dpiX = exifX;
        info.dpiY = exifY;
    }
    return true;
}

// Without a resolution of its own a picture is taken at 72 dpi, one pixel to the point, so the
// page box is numerically the pixel size.
constexpr double kDefaultDpi = 72;
// The largest page side viewers accept (200 inches); larger pages are scaled down to fit, their
// shape kept.
constexpr double kMaxPageSide = 14400;

// A PDF number with at most four decimals, independent of the C locale's decimal point.
void FormatNumber(double value, char* out, size_t size) {
    const long long scaled = static_cast<long long>(value * 10000 + 0.5);
    long long whole = scaled / 10000, fraction = scaled % 10000;
    if (fraction == 0) {
        std::snprintf(out, size, "%lld", whole);
        return;
    }
    int digits = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    std::snprintf(out, size, "%lld.%0*lld", whole, digits, fraction);
}

// A growing byte buffer that libtiff writes into and reads back from.
struct MemoryTiff {
    std::vector<unsigned char> bytes;
    toff_t position = 0;

    static tmsize_t Read(thandle_t handle, void* data, tmsize_t size) {
        auto* self = static_cast<MemoryTiff*>(handle);
        const toff_t available =
            self->bytes.size() > self->position ? self->bytes.size() - self->position : 0;
        const toff_t count = std::min<toff_t>(available, toff_t(size));
        std::memcpy(data, self->bytes.data() + self->position, count);
        self->position += count;
        return tmsize_t(count);
    }
    static tmsize_t Write(thandle_t handle, void* data, tmsize_t size) {
        auto* self = static_cast<MemoryTiff*>(handle);
        try {
            if (self->position + toff_t(size) > self->bytes.size())
                self->bytes.resize(self->position + toff_t(size));
        } catch (const std::bad_alloc&) {
            return -1;
        }
        std::memcpy(self->bytes.data() + self->position, data, size_t(size));
        self->position += toff_t(size);
        return size;
    }
    static toff_t Seek(thandle_t handle, toff_t offset, int whence) {
        auto* self = static_cast<MemoryTiff*>(handle);
        const toff_t base = whence == SEEK_CUR   ? self->position
                            : whence == SEEK_END ? self->bytes.size()
                                                 : 0;
        self->position = base + offset;
        return self->position;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t handle) { return static_cast<MemoryTiff*>(handle)->bytes.size(); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}

    TIFF* Open(const char* mode) {
        position = 0;
        return TIFFClientOpen("page", mode, this, Read, Write, Seek, Close, Size, Map, Unmap);
    }
};

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// The pixels (0 black, else white; bottom-up rows) as one CCITT Group 4 strip, top row first,
// made by libtiff's encoder: written into a TIFF in memory, whose strip is then read back raw.
bool EncodeGroup4(const unsigned char* pixels, int width, int height, int stride,
                  std::vector<unsigned char>& encoded) {
    try {
        MemoryTiff file;
        std::vector<unsigned char> row((size_t(width) + 7) / 8);
        {
            std::unique_ptr<TIFF, TiffCloser> tiff(file.Open("w"));
            if (!tiff)
                return false;
            TIFF* t = tiff.get();
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width));
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(height));
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
            TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(height));
            for (int y = 0; y < height; ++y) {
                const unsigned char* in = pixels + static_cast<long long>(height - 1 - y) * stride;
                std::fill(row.begin(), row.end(), 0);
                for (int x = 0; x < width; ++x)
                    if (in[x] == 0)
                        row[size_t(x) >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
                if (TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0)
                    return false;
            }
            if (!TIFFWriteDirectory(t))
                return false;
        }
        std::unique_ptr<TIFF, TiffCloser> tiff(file.Open("r"));
        if (!tiff || TIFFNumberOfStrips(tiff.get()) != 1)
            return false;
        uint64_t* counts = nullptr;
        if (!TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts)
            return false;
        encoded.resize(size_t(counts[0]));
        return TIFFReadRawStrip(tiff.get(), 0, encoded.data(), tmsize_t(encoded.size())) ==
               tmsize_t(encoded.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Helvetica's advance widths (thousandths of the font size) for Windows Latin 1 codes 32 to 255,
// given in the font's dictionary so that every viewer measures the words alike.
constexpr short kHelveticaWidths[224] = {
    278,  278, 355, 556, 556, 889,  667,  191,  333, 333,  389, 584, 278,  333, 278, 278,  // 32
    556,  556, 556, 556, 556, 556,  556,  556,  556, 556,  278, 278, 584,  584, 584, 556,  // 48
    1015, 667, 667, 722, 722, 667,  611,  778,  722, 278,  500, 667, 556,  833, 722, 778,  // 64
    667,  778, 722, 667, 611, 722,  667,  944,  667, 667,  611, 278, 278,  278, 469, 556,  // 80
    333,  556, 556, 500, 556, 556,  278,  556,  556, 222,  222, 500, 222,  833, 556, 556,  // 96
    556,  556, 333, 500, 278, 556,  500,  722,  500, 500,  500, 334, 260,  334, 584, 278,  // 112
    556,  278, 222, 556, 333, 1000, 556,  556,  333, 1000, 667, 333, 1000, 278, 611, 278,  // 128
    278,  222, 222, 333, 333, 350,  556,  1000, 333, 1000, 500, 333, 944,  278, 500, 667,  // 144
    278,  333, 556, 556, 556, 556,  260,  556,  333, 737,  370, 556, 584,  333, 737, 333,  // 160
    400,  584, 333, 333, 333, 556,  537,  278,  333, 333,  365, 556, 834,  834, 834, 611,  // 176
    667,  667, 667, 667, 667, 667,  1000, 722,  667, 667,  667, 667, 278,  278, 278, 278,  // 192
    722,  722, 778, 778, 778, 778,  778,  584,  778, 722,  722, 722, 722,  667, 667, 611,  // 208
    556,  556, 556, 556, 556, 556,  889,  500,  556, 556,  556, 556, 278,  278, 278, 278,  // 224
    556,  556, 556, 556, 556, 556,  556,  584,  611, 556,  556, 556, 556,  500, 556, 500,  // 240
};

// Windows Latin 1 codes 128 to 159 by the characters they stand for.
constexpr struct {
    unsigned short code;
    unsigned char byte;
} kWinAnsiHigh[] = {
    {0x20AC, 128}, {0x201A, 130}, {0x0192, 131}, {0x201E, 132}, {0x2026, 133}, {0x2020, 134},
    {0x2021, 135}, {0x02C6, 136}, {0x2030, 137}, {0x0160, 138}, {0x2039, 139}, {0x0152, 140},
    {0x017D, 142}, {0x2018, 145}, {0x2019, 146}, {0x201C, 147}, {0x201D, 148}, {0x2022, 149},
    {0x2013, 150}, {0x2014, 151}, {0x02DC, 152}, {0x2122, 153}, {0x0161, 154}, {0x203A, 155},
    {0x0153, 156}, {0x017E, 158}, {0x0178, 159},
};

// A word's UTF-8 in Windows Latin 1: the ligatures fi and fl spelt out, any other character the
// font lacks (and malformed bytes) as '?'.
std::string ToWinAnsi(const char* utf8) {
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        unsigned code = *p;
        int more = code < 0x80         ? 0
                   : (code >> 5) == 6  ? 1
                   : (code >> 4) == 14 ? 2
                   : (code >> 3) == 30 ? 3
                                       : -1;
        ++p;
        if (more < 0) {
            out.push_back('?');
            continue;
        }
        code &= more == 0 ? 0x7F : more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07;
        bool valid = true;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            code = code << 6 | (*p & 0x3F);
        }
        if (!valid) {
            out.push_back('?');
            continue;
        }
        if (code == 0xFB01 || code == 0xFB02) {
            out += code == 0xFB01 ? "fi" : "fl";
        } else if ((code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF)) {
            out.push_back(static_cast<char>(code));
        } else {
            char byte = '?';
            for (const auto& high : kWinAnsiHigh)
                if (high.code == code)
                    byte = static_cast<char>(high.byte);
            out.push_back(byte);
        }
    }
    return out;
}

// FormatNumber for values of either sign.
std::string SignedNumber(double value) {
    char text[32];
    FormatNumber(value < 0 ? -value : value, text, sizeof text);
    return value < 0 && std::strcmp(text, "0") != 0 ? std::string("-") + text : std::string(text);
}

// A PDF string of Windows Latin 1 bytes: parentheses and backslashes escaped, high bytes in octal.
void AppendPdfString(const std::string& bytes, std::string& out) {
    out.push_back('(');
    for (unsigned char c : bytes) {
        if (c == '(' || c == ')' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c >= 0x80) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back(')');
}

struct BlockDeleter {
    void operator()(void* block) const { DelMem(block); }
};

}  // namespace

CJpg2Pdf::~CJpg2Pdf() {
    DelMem(offsets_);
}

void CJpg2Pdf::Reset() {
    DelMem(offsets_);
    offsets_ = nullptr;
    capacity_ = 0;
    objects_ = 2;
    pages_ = 0;
    position_ = 0;
    xrefOffset_ = 0;
    catalogOffset_ = 0;
    pagesOffset_ = 0;
    paperWidth_ = 0;
    paperHeight_ = 0;
    writeFailed_ = false;
    path_.clear();
    words_ = nullptr;
    wordCount_ = 0;
    fontObject_ = 0;
    pagesBeforeFont_ = 0;
}

bool CJpg2Pdf::Write(FILE* pdf, const void* bytes, size_t size) {
    if (!pdf || std::fwrite(bytes, 1, size, pdf) != size) {
        writeFailed_ = true;
        return false;
    }
    position_ += static_cast<long long>(size);
    return true;
}

bool CJpg2Pdf::Print(FILE* pdf, const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return length >= 0 && size_t(length) < sizeof text && Write(pdf, text, size_t(length));
}

bool CJpg2Pdf::BeginObject(FILE* pdf, int number) {
    long long& offset = number == 1   ? catalogOffset_
                        : number == 2 ? pagesOffset_
                                      : offsets_[number - 3];
    offset = position_;
    return Print(pdf, "%d 0 obj\n", number);
}

bool CJpg2Pdf::ReserveObjects(int count) {
    const int needed = objects_ - 2 + count;
    if (needed <= capacity_)
        return true;
    const int capacity = std::max(needed, capacity_ < 64 ? 64 : capacity_ * 2);
    if (capacity > INT_MAX / int(sizeof(long long)))
        return false;
    auto* grown = static_cast<long long*>(NewMem(capacity * int(sizeof(long long))));
    if (!grown)
        return false;
    if (capacity_)
        std::memcpy(grown, offsets_, size_t(capacity_) * sizeof(long long));
    DelMem(offsets_);
    offsets_ = grown;
    capacity_ = capacity;
    return true;
}

FILE* CJpg2Pdf::CreatePdfFile(const wchar_t* path) {
    Reset();
    if (!path)
        return nullptr;
    FILE* pdf = _wfopen(path, L"wb");
    if (!pdf)
        return nullptr;
    // The comment of high bytes marks the file as binary for transfer programs.
    static const char kHeader[] = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    if (!Write(pdf, kHeader, sizeof kHeader - 1) || std::fflush(pdf) != 0) {
        // Remove the empty file this call made, never a device it was pointed at.
        struct stat status;
        const bool regular = ::fstat(::fileno(pdf), &status) == 0 && S_ISREG(status.st_mode);
        std::fclose(pdf);
        if (regular)
            DeleteFileW(path);
        position_ = 0;
        return nullptr;
    }
    path_ = path;
    return pdf;
}

void CJpg2Pdf::SetPaperSize(unsigned long width, unsigned long height) {
    paperWidth_ = width;
    paperHeight_ = height;
}

int CJpg2Pdf::AddPage(FILE* pdf, FILE* jpeg) {
    if (!pdf || !jpeg)
        return 0;
    // The whole JPEG is read first, so that a file that is not a usable JPEG adds nothing.
    const long start = std::ftell(jpeg);
    if (start < 0 || std::fseek(jpeg, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(jpeg);
    if (end < start || std::fseek(jpeg, start, SEEK_SET) != 0 || end - start > INT_MAX)
        return 0;
    const int size = static_cast<int>(end - start);
    if (!ReservePageObjects())
        return 0;
    std::unique_ptr<unsigned char, BlockDeleter> bytes(static_cast<unsigned char*>(NewMem(size)));
    if (!bytes || std::fread(bytes.get(), 1, size_t(size), jpeg) != size_t(size))
        return 0;
    JpegInfo info;
    if (!ReadJpegInfo(bytes.get(), size_t(size), info) || info.precision != 8 || info.width <= 0 ||
        info.height <= 0 || (info.components != 1 && info.components != 3 && info.components != 4))
        return 0;

    // The page box: the given pixel size (the JPEG's own without one) at the JPEG's resolution.
    const bool paper = paperWidth_ && paperHeight_;
    const double pixelsX = paper ? double(paperWidth_) : info.width;
    const double pixelsY = paper ? double(paperHeight_) : info.height;
    const double pointsX = pixelsX * 72 / (info.dpiX > 0 ? info.dpiX : kDefaultDpi);
    const double pointsY = pixelsY * 72 / (info.dpiY > 0 ? info.dpiY : kDefaultDpi);

    const char* colourSpace = info.components == 1   ? "/DeviceGray"
                              : info.components == 3 ? "/DeviceRGB"
                                                     : "/DeviceCMYK";
    // Adobe's CMYK JPEGs hold inverted inks; three components named R, G, B without JFIF or Adobe
    // markers are RGB as they stand, not YCbCr.
    const char* decode = info.components == 4 && info.adobe ? " /Decode [1 0 1 0 1 0 1 0]" : "";
    const char* parameters =
        info.rgbIds && !info.adobe && !info.jfif ? " /DecodeParms << /ColorTransform 0 >>" : "";
    char attributes[160];
    std::snprintf(attributes, sizeof attributes,
                  "/ColorSpace %s /BitsPerComponent 8%s /Filter /DCTDecode%s", colourSpace, decode,
                  parameters);
    if (!WriteImagePage(pdf, info.width, info.height, attributes, bytes.get(), size_t(size),
                        pointsX, pointsY))
        return 0;
    paperWidth_ = paperHeight_ = 0;
    return 1;
}

bool CJpg2Pdf::ReservePageObjects() {
    return ReserveObjects(words_ && !fontObject_ ? 4 : 3);
}

int CJpg2Pdf::PageObject(int index) const {
    // Three objects a page from 3 on (image, drawing, page), one more from the font on.
    return 5 + 3 * index + (fontObject_ && index >= pagesBeforeFont_ ? 1 : 0);
}

bool CJpg2Pdf::TextLayer(int width, int height, double pointsX, double pointsY,
                         std::string& layer) const {
    layer.clear();
    try {
        const double scaleX = pointsX / width, scaleY = pointsY / height;
        for (int i = 0; i < wordCount_; ++i) {
            const PdfTextWord& word = words_[i];
            if (!word.text || !(word.right > word.left) || !(word.size > 0))
                continue;
            const std::string bytes = ToWinAnsi(word.text);
            double advance = 0;  // the word's natural width at size 1
            for (unsigned char c : bytes)
                advance += (c >= 32 ? kHelveticaWidths[c - 32] : 0) / 1000.0;
            if (bytes.empty() || advance <= 0)
                continue;
            const double size = word.size * scaleY;
            const double stretch = 100 * (word.right - word.left) * scaleX / (advance * size);
            if (layer.empty())
                layer = "BT\n3 Tr\n";
            layer += "/F0 " + SignedNumber(size) + " Tf " + SignedNumber(stretch) + " Tz 1 0 0 1 " +
                     SignedNumber(word.left * scaleX) + ' ' +
                     SignedNumber(pointsY - word.baseline * scaleY) + " Tm ";
            AppendPdfString(bytes, layer);
            layer += " Tj\n";
        }
        if (!layer.empty())
            layer += "ET\n";
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int CJpg2Pdf::WriteImagePage(FILE* pdf, int width, int height, const char* attributes,
                             const unsigned char* data, size_t size, double pointsX,
                             double pointsY) {
    if (boxWidth_ > 0 && boxHeight_ > 0) {
        pointsX = boxWidth_;
        pointsY = boxHeight_;
    }
    boxWidth_ = boxHeight_ = 0;
    const double largest = std::max(pointsX, pointsY);
    if (largest > kMaxPageSide) {
        pointsX = pointsX * kMaxPageSide / largest;
        pointsY = pointsY * kMaxPageSide / largest;
    }
    std::string layer;
    const bool laidOut = TextLayer(width, height, pointsX, pointsY, layer);
    words_ = nullptr;
    wordCount_ = 0;
    if (!laidOut || size > size_t(INT_MAX) || layer.size() > size_t(INT_MAX / 2))
        return 0;
    char boxX[32], boxY[32];
    FormatNumber(pointsX, boxX, sizeof boxX);
    FormatNumber(pointsY, boxY, sizeof boxY);

    if (!layer.empty() && !fontObject_) {
        if (!BeginObject(pdf, objects_ + 1) ||
            !Print(pdf,
                   "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding "
                   "/WinAnsiEncoding /FirstChar 32 /LastChar 255 /Widths ["))
            return 0;
        for (int i = 0; i < 224; ++i)
            if (!Print(pdf, i % 16 ? " %d" : "\n%d", kHelveticaWidths[i]))
                return 0;
        if (!Print(pdf, "] >>\nendobj\n"))
            return 0;
        fontObject_ = ++objects_;
        pagesBeforeFont_ = pages_;
    }
    const int image = objects_ + 1, content = objects_ + 2, page = objects_ + 3;
    char drawing[128];
    const int drawingLength =
        std::snprintf(drawing, sizeof drawing, "q\n%s 0 0 %s 0 0 cm\n/Im0 Do\nQ\n", boxX, boxY);
    char fonts[48] = "";
    if (!layer.empty())
        std::snprintf(fonts, sizeof fonts, " /Font << /F0 %d 0 R >>", fontObject_);
    const bool written =
        BeginObject(pdf, image) &&
        Print(pdf,
              "<< /Type /XObject /Subtype /Image /Width %d /Height %d %s /Length %d >>\nstream\n",
              width, height, attributes, int(size)) &&
        Write(pdf, data, size) && Print(pdf, "\nendstream\nendobj\n") &&
        BeginObject(pdf, content) &&
        Print(pdf, "<< /Length %d >>\nstream\n%s", drawingLength + int(layer.size()), drawing) &&
        Write(pdf, layer.data(), layer.size()) && Print(pdf, "endstream\nendobj\n") &&
        BeginObject(pdf, page) &&
        Print(
            pdf,
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %s %s] /Resources << /XObject << /Im0 %d "
            "0 R >>%s >> /Contents %d 0 R >>\nendobj\n",
            boxX, boxY, image, fonts, content);
    if (!written)
        return 0;
    objects_ = page;
    ++pages_;
    return 1;
}

void CJpg2Pdf::SetPageText(const PdfTextWord* words, int count) {
    const bool given = words && count > 0;
    words_ = given ? words : nullptr;
    wordCount_ = given ? count : 0;
}

void CJpg2Pdf::SetPageBox(double widthPoints, double heightPoints) {
    const bool given = widthPoints > 0 && heightPoints > 0;
    boxWidth_ = given ? widthPoints : 0;
    boxHeight_ = given ? heightPoints : 0;
}

int CJpg2Pdf::AddBilevelPage(FILE* pdf, const unsigned char* pixels, int width, int height,
                             int stride) {
    if (!pdf || !pixels || width < 1 || height < 1 || stride < width || !ReservePageObjects())
        return 0;
    std::vector<unsigned char> encoded;
    if (!EncodeGroup4(pixels, width, height, stride, encoded))
        return 0;
    char attributes[160];
    std::snprintf(attributes, sizeof attributes,
                  "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode "
                  "/DecodeParms << /K -1 /Columns %d /Rows %d /BlackIs1 false >>",
                  width, height);
    return WriteImagePage(pdf, width, height, attributes, encoded.data(), encoded.size(), width,
                          height);
}

int CJpg2Pdf::AddPixelPage(FILE* pdf, const unsigned char* pixels, int width, int height, int bits,
                           int stride, int quality) {
    if (!pdf || !pixels || width < 1 || height < 1 || (bits != 8 && bits != 24) ||
        stride < width * (bits / 8) || quality < 0 || quality > 100 || !ReservePageObjects())
        return 0;
    RGBQUAD grey[256];
    for (int i = 0; i < 256; ++i)
        grey[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    imgdesk::codecs::DibView view;
    view.width = width;
    view.height = height;
    view.bitCount = bits;
    view.palette = bits == 8 ? grey : nullptr;
    view.paletteSize = bits == 8 ? 256 : 0;
    view.bits = pixels;
    view.stride = stride;
    imgdesk::codecs::EncodeOptions options;
    options.quality = quality;
    std::vector<unsigned char> encoded;
    try {
        if (imgdesk::codecs::Encode(imgdesk::codecs::Format::Jpeg, view, options, encoded) !=
            imgdesk::codecs::Result::Ok)
            return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    char attributes[96];
    std::snprintf(attributes, sizeof attributes,
                  "/ColorSpace %s /BitsPerComponent 8 /Filter /DCTDecode",
                  bits == 8 ? "/DeviceGray" : "/DeviceRGB");
    return WriteImagePage(pdf, width, height, attributes, encoded.data(), encoded.size(), width,
                          height);
}

int CJpg2Pdf::AddCatalog(FILE* pdf) {
    return BeginObject(pdf, 1) && Print(pdf, "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
}

int CJpg2Pdf::AddPages(FILE* pdf) {
    if (!BeginObject(pdf, 2) || !Print(pdf, "<< /Type /Pages /Count %d /Kids [", pages_))
        return 0;
    for (int i = 0; i < pages_; ++i) {
        if (!Print(pdf, i ? " %d 0 R" : "%d 0 R", PageObject(i)))
            return 0;
    }
    return Print(pdf, "] >>\nendobj\n");
}

int CJpg2Pdf::AddCrossReferenceTable(FILE* pdf) {
    xrefOffset_ = position_;
    if (!Print(pdf, "xref\n0 %d\n0000000000 65535 f \n", objects_ + 1))
        return 0;
    for (int number = 1; number <= objects_; ++number) {
        const long long offset = number == 1   ? catalogOffset_
                                 : number == 2 ? pagesOffset_
                                               : offsets_[number - 3];
        if (!Print(pdf, "%010lld 00000 n \n", offset))
            return 0;
    }
    return 1;
}

int CJpg2Pdf::AddTrailer(FILE* pdf) {
    if (!pdf)
        return 0;
    const bool written =
        Print(pdf, "trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%lld\n%%%%EOF\n", objects_ + 1,
              xrefOffset_);
    // The last buffered bytes and the file system's own buffers can fail too: both are checked.
    const bool flushed = std::fflush(pdf) == 0 && (::fsync(::fileno(pdf)) == 0 || errno == EINVAL);
    struct stat status;
    const bool regular = ::fstat(::fileno(pdf), &status) == 0 && S_ISREG(status.st_mode);
    const bool closed = std::fclose(pdf) == 0;
    const bool whole = written && flushed && closed && !writeFailed_;
    if (!whole && regular && !path_.empty())
        DeleteFileW(path_.c_str());
    path_.clear();
    return whole ? 1 : 0;
}
