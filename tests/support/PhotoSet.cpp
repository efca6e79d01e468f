#include "support/PhotoSet.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "pixel/internal/PixelLayout.h"
#include "platform/codecs/Codecs.h"

namespace imgdesk::test {

namespace {

constexpr double kPi = 3.14159265358979323846;

// --- Plane geometry -------------------------------------------------------------------------

// Solves the n x n system a x = b (a row-major, b in place) by Gaussian elimination with partial
// pivoting; false when singular.
bool Solve(double* a, double* b, int n) {
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[pivot * n + c]))
                pivot = r;
        if (std::fabs(a[pivot * n + c]) < 1e-12)
            return false;
        if (pivot != c) {
            for (int k = 0; k < n; ++k)
                std::swap(a[c * n + k], a[pivot * n + k]);
            std::swap(b[c], b[pivot]);
        }
        for (int r = 0; r < n; ++r) {
            if (r == c)
                continue;
            const double f = a[r * n + c] / a[c * n + c];
            for (int k = c; k < n; ++k)
                a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    for (int c = 0; c < n; ++c)
        b[c] /= a[c * n + c];
    return true;
}

}  // namespace

PagePoint Homography::Apply(double x, double y) const {
    const double w = m[6] * x + m[7] * y + m[8];
    return {(m[0] * x + m[1] * y + m[2]) / w, (m[3] * x + m[4] * y + m[5]) / w};
}

Homography Homography::Inverse() const {
    const double* a = m;
    Homography r;
    r.m[0] = a[4] * a[8] - a[5] * a[7];
    r.m[1] = a[2] * a[7] - a[1] * a[8];
    r.m[2] = a[1] * a[5] - a[2] * a[4];
    r.m[3] = a[5] * a[6] - a[3] * a[8];
    r.m[4] = a[0] * a[8] - a[2] * a[6];
    r.m[5] = a[2] * a[3] - a[0] * a[5];
    r.m[6] = a[3] * a[7] - a[4] * a[6];
    r.m[7] = a[1] * a[6] - a[0] * a[7];
    r.m[8] = a[0] * a[4] - a[1] * a[3];
    return r;
}

Homography Homography::After(const Homography& first) const {
    Homography r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k)
                s += m[i * 3 + k] * first.m[k * 3 + j];
            r.m[i * 3 + j] = s;
        }
    return r;
}

Homography Homography::FromPoints(const PagePoint from[4], const PagePoint to[4]) {
    double a[64] = {}, b[8];
    for (int i = 0; i < 4; ++i) {
        const double x = from[i].x, y = from[i].y, u = to[i].x, v = to[i].y;
        double* r0 = a + (2 * i) * 8;
        double* r1 = a + (2 * i + 1) * 8;
        r0[0] = x, r0[1] = y, r0[2] = 1, r0[6] = -u * x, r0[7] = -u * y;
        r1[3] = x, r1[4] = y, r1[5] = 1, r1[6] = -v * x, r1[7] = -v * y;
        b[2 * i] = u, b[2 * i + 1] = v;
    }
    Homography h;
    if (!Solve(a, b, 8))
        return h;
    for (int k = 0; k < 8; ++k)
        h.m[k] = b[k];
    h.m[8] = 1;
    return h;
}

namespace {

// --- Deterministic randomness -----------------------------------------------------------------

class Random {
public:
    explicit Random(std::uint64_t seed)
        : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    std::uint64_t Next() {
        // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Below(int n) { return int(Next() % std::uint64_t(n)); }

private:
    std::uint64_t state_;
};

std::uint64_t Fnv1a(const std::string& bytes, std::uint64_t hash = 0xCBF29CE484222325ull) {
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 0x100000001B3ull;
    return hash;
}

// A smooth random field in about -1..1 with features cell pixels apart.
class ValueNoise {
public:
    ValueNoise(std::uint64_t seed, double cell) : seed_(seed), cell_(cell) {}
    double At(double x, double y) const {
        x /= cell_, y /= cell_;
        const double fx = std::floor(x), fy = std::floor(y);
        const double tx = Smooth(x - fx), ty = Smooth(y - fy);
        const long ix = long(fx), iy = long(fy);
        const double top = Lerp(Lattice(ix, iy), Lattice(ix + 1, iy), tx);
        const double bottom = Lerp(Lattice(ix, iy + 1), Lattice(ix + 1, iy + 1), tx);
        return Lerp(top, bottom, ty);
    }

private:
    static double Smooth(double t) { return t * t * (3 - 2 * t); }
    static double Lerp(double a, double b, double t) { return a + (b - a) * t; }
    double Lattice(long x, long y) const {
        std::uint64_t h = seed_ ^ (std::uint64_t(x) * 0x9E3779B97F4A7C15ull) ^
                          (std::uint64_t(y) * 0xC2B2AE3D27D4EB4Full);
        h ^= h >> 29, h *= 0xBF58476D1CE4E5B9ull, h ^= h >> 32;
        return double(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }
    std::uint64_t seed_;
    double cell_;
};

// --- Pictures held by the generator -------------------------------------------------------------

// Top-down rows of channels bytes per pixel (1 grey, 3 red-green-blue).
struct Raster {
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> bytes;

    const unsigned char* At(int x, int y) const {
        return bytes.data() + (std::size_t(y) * width + x) * channels;
    }
    // Bilinear sample at continuous coordinates, clamped at the border; rgb gets three values.
    void Sample(double x, double y, double rgb[3]) const {
        x -= 0.5, y -= 0.5;
        const double fx = std::floor(x), fy = std::floor(y);
        const double tx = x - fx, ty = y - fy;
        const int x0 = std::clamp(int(fx), 0, width - 1),
                  x1 = std::clamp(int(fx) + 1, 0, width - 1);
        const int y0 = std::clamp(int(fy), 0, height - 1),
                  y1 = std::clamp(int(fy) + 1, 0, height - 1);
        Blend(At(x0, y0), At(x1, y0), At(x0, y1), At(x1, y1), tx, ty, rgb);
    }
    // Bilinear sample of the picture tiled endlessly.
    void SampleTiled(double x, double y, double rgb[3]) const {
        x -= 0.5, y -= 0.5;
        const double fx = std::floor(x), fy = std::floor(y);
        const double tx = x - fx, ty = y - fy;
        auto wrap = [](long v, int n) { return int(((v % n) + n) % n); };
        const int x0 = wrap(long(fx), width), x1 = wrap(long(fx) + 1, width);
        const int y0 = wrap(long(fy), height), y1 = wrap(long(fy) + 1, height);
        Blend(At(x0, y0), At(x1, y0), At(x0, y1), At(x1, y1), tx, ty, rgb);
    }

private:
    void Blend(const unsigned char* a, const unsigned char* b, const unsigned char* c,
               const unsigned char* d, double tx, double ty, double rgb[3]) const {
        for (int k = 0; k < 3; ++k) {
            const int ch = channels == 1 ? 0 : k;
            const double top = a[ch] + (b[ch] - a[ch]) * tx;
            const double bottom = c[ch] + (d[ch] - c[ch]) * tx;
            rgb[k] = top + (bottom - top) * ty;
        }
    }
};

// A decoded file as a top-down grey or red-green-blue raster.
Raster RasterFromFile(const std::string& path, bool grey) {
    codecs::DecodedImage image;
    if (codecs::DecodeFile(path.c_str(), image) != codecs::Result::Ok)
        throw std::runtime_error("cannot read " + path);
    Raster r;
    r.width = image.width, r.height = image.height, r.channels = grey ? 1 : 3;
    r.bytes.resize(std::size_t(r.width) * r.height * r.channels);
    std::vector<unsigned char> bgra(std::size_t(image.width) * 4);
    const codecs::DibView view = codecs::DibView::Of(image);
    for (int y = 0; y < r.height; ++y) {
        codecs::RowToBgra(view, r.height - 1 - y, bgra.data());
        unsigned char* out = r.bytes.data() + std::size_t(y) * r.width * r.channels;
        for (int x = 0; x < r.width; ++x) {
            const unsigned char* p = bgra.data() + 4 * x;
            if (grey) {
                out[x] = p[1];
            } else {
                out[3 * x] = p[2], out[3 * x + 1] = p[1], out[3 * x + 2] = p[0];
            }
        }
    }
    return r;
}

// A GIMP pattern (.pat): a big-endian header of header size, version, width, height, bytes per
// pixel and the magic "GPAT", the pattern's name, then the pixels row by row from the top.
Raster ReadGimpPattern(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto word = [&](std::size_t at) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + at;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
               p[3];
    };
    if (data.size() < 24 || data.compare(20, 4, "GPAT") != 0)
        throw std::runtime_error("not a GIMP pattern: " + path +
                                 " (scripts/install-deps.sh installs gimp-data)");
    const std::uint32_t header = word(0), width = word(8), height = word(12), depth = word(16);
    if (width == 0 || height == 0 || depth < 1 || depth > 4 ||
        data.size() < header + std::size_t(width) * height * depth)
        throw std::runtime_error("damaged GIMP pattern: " + path);
    Raster r;
    r.width = int(width), r.height = int(height), r.channels = depth < 3 ? 1 : 3;
    r.bytes.resize(std::size_t(width) * height * r.channels);
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i)
        for (int k = 0; k < r.channels; ++k)
            r.bytes[i * r.channels + k] = static_cast<unsigned char>(data[header + i * depth + k]);
    return r;
}

// --- Printed pages ------------------------------------------------------------------------------

// Paragraphs of English prose from the licence texts every Debian system carries: plain ASCII,
// white space collapsed, section rules and short title lines dropped.
std::vector<std::string> Prose() {
    static const std::vector<std::string> paragraphs = [] {
        std::vector<std::string> out;
        for (const char* name : {"GPL-3", "Apache-2.0", "MPL-2.0", "GFDL-1.3", "LGPL-2.1"}) {
            std::ifstream file(std::string("/usr/share/common-licenses/") + name);
            std::string line, paragraph;
            auto flush = [&] {
                if (paragraph.size() > 120)
                    out.push_back(paragraph);
                paragraph.clear();
            };
            while (std::getline(file, line)) {
                std::string clean;
                for (char c : line)
                    if (c >= 32 && c < 127)
                        clean += c;
                if (clean.find_first_not_of(" \t-=_*") == std::string::npos) {
                    flush();
                    continue;
                }
                std::istringstream words(clean);
                std::string word;
                while (words >> word)
                    paragraph += (paragraph.empty() ? "" : " ") + word;
            }
            flush();
        }
        if (out.size() < 20)
            throw std::runtime_error("the licence texts in /usr/share/common-licenses are missing");
        return out;
    }();
    return paragraphs;
}

enum Font { TimesRoman, TimesBold, Helvetica, HelveticaBold, Courier, TimesItalic };
constexpr const char* kFontNames[] = {"Times-Roman",    "Times-Bold", "Helvetica",
                                      "Helvetica-Bold", "Courier",    "Times-Italic"};

// The advance of a character in thousandths of an em: the lower-case letters as the fonts have
// them, the rest by class. Close enough to break lines inside their column.
double CharWidth(Font font, char c) {
    static const int times[26] = {444, 500, 444, 500, 444, 333, 500, 500, 278, 278, 500, 278, 778,
                                  500, 500, 500, 500, 333, 389, 278, 500, 500, 722, 500, 500, 444};
    static const int helvetica[26] = {556, 556, 500, 556, 556, 278, 556, 556, 222,
                                      222, 500, 222, 833, 556, 556, 556, 556, 333,
                                      500, 278, 556, 500, 722, 500, 500, 500};
    if (font == Courier)
        return 600;
    const bool sans = font == Helvetica || font == HelveticaBold;
    const double bold = (font == TimesBold || font == HelveticaBold) ? 1.06 : 1.0;
    double w;
    if (c >= 'a' && c <= 'z')
        w = sans ? helvetica[c - 'a'] : times[c - 'a'];
    else if (c >= 'A' && c <= 'Z')
        w = (c == 'I' || c == 'J') ? 389 : (c == 'M' || c == 'W') ? 900 : sans ? 690 : 680;
    else if (c >= '0' && c <= '9')
        w = sans ? 556 : 500;
    else if (c == ' ')
        w = sans ? 278 : 250;
    else
        w = 333;
    return w * bold;
}

double TextWidth(Font font, double size, const std::string& text) {
    double w = 0;
    for (char c : text)
        w += CharWidth(font, c);
    return w * size / 1000.0;
}

// Breaks a paragraph into lines no wider than width.
std::vector<std::string> Wrap(const std::string& text, Font font, double size, double width) {
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string word, line;
    while (words >> word) {
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && TextWidth(font, size, candidate) > width * 0.98) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// A PDF content stream being written, with the box that its text covers.
class PageWriter {
public:
    PageWriter(double width, double height) : width_(width), height_(height) {}

    // One line of text with its baseline at y points from the top.
    void Text(Font font, double size, double x, double y, const std::string& text,
              double grey = 0) {
        if (text.empty())
            return;
        if (grey != grey_) {
            stream_ << grey << " g\n";
            grey_ = grey;
        }
        stream_ << "BT /F" << int(font) << ' ' << size << " Tf " << x << ' ' << height_ - y
                << " Td (";
        for (char c : text) {
            if (c == '(' || c == ')' || c == '\\')
                stream_ << '\\';
            stream_ << c;
        }
        stream_ << ") Tj ET\n";
        left_ = std::min(left_, x);
        right_ = std::max(right_, x + TextWidth(font, size, text));
        top_ = std::min(top_, y - size * 0.75);
        bottom_ = std::max(bottom_, y + size * 0.25);
    }
    // A paragraph set in a column from y down; returns the baseline after its last line.
    double Paragraph(Font font, double size, double leading, double x, double y, double width,
                     const std::string& text, double limit, double grey = 0) {
        for (const std::string& line : Wrap(text, font, size, width)) {
            if (y > limit)
                break;
            Text(font, size, x, y, line, grey);
            y += leading;
        }
        return y;
    }
    void Rule(double x0, double y0, double x1, double y1, double thickness) {
        stream_ << thickness << " w " << x0 << ' ' << height_ - y0 << " m " << x1 << ' '
                << height_ - y1 << " l S\n";
    }

    std::string Pdf() const {
        const std::string content = stream_.str();
        std::vector<std::string> objects = {
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        };
        std::ostringstream page;
        page << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " << width_ << ' ' << height_
             << "] /Contents 4 0 R /Resources << /Font <<";
        for (int f = 0; f < 6; ++f)
            page << " /F" << f << ' ' << 5 + f << " 0 R";
        page << " >> >> >>";
        objects.push_back(page.str());
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                          content + "endstream");
        for (const char* name : kFontNames)
            objects.push_back(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + name +
                              " /Encoding /WinAnsiEncoding >>");
        std::string pdf = "%PDF-1.4\n";
        std::vector<std::size_t> offsets;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            offsets.push_back(pdf.size());
            pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        const std::size_t xref = pdf.size();
        pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
        for (std::size_t offset : offsets) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            pdf += entry;
        }
        pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
               " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return pdf;
    }

    double Width() const { return width_; }
    double Height() const { return height_; }
    double left_ = 1e9, top_ = 1e9, right_ = -1e9, bottom_ = -1e9;

private:
    double width_, height_;
    double grey_ = 0;
    std::ostringstream stream_;
};

constexpr double kA4W = 595.28, kA4H = 841.89, kLetterW = 612, kLetterH = 792;

// The page of a layout, its prose starting at paragraph first.
PageWriter WritePage(Layout layout, std::size_t first) {
    const auto& prose = Prose();
    auto para = [&](std::size_t k) -> const std::string& {
        return prose[(first + k) % prose.size()];
    };
    switch (layout) {
        case Layout::Column: {
            PageWriter w(kA4W, kA4H);
            const double x = 72, width = kA4W - 144, limit = kA4H - 80;
            w.Text(HelveticaBold, 16, x, 96, "Terms and Conditions");
            double y = 128;
            for (std::size_t k = 0; y < limit; ++k) {
                y = w.Paragraph(TimesRoman, 11, 13.5, x, y, width, para(k), limit) + 7;
                if (k == 2 && y < limit - 40) {
                    w.Text(HelveticaBold, 12, x, y + 6, "Section " + std::to_string(first % 9 + 2));
                    y += 24;
                }
            }
            w.Text(TimesItalic, 9, kA4W / 2 - 10, kA4H - 40,
                   "- " + std::to_string(first % 40 + 1) + " -", 0.45);
            return w;
        }
        case Layout::TwoColumns: {
            PageWriter w(kLetterW, kLetterH);
            const double margin = 54, gutter = 24, limit = kLetterH - 64;
            const double column = (kLetterW - 2 * margin - gutter) / 2;
            w.Text(TimesBold, 14, margin, 84, "On the Freedom to Share and Change Software");
            w.Rule(margin, 94, kLetterW - margin, 94, 0.6);
            std::size_t k = 0;
            for (int c = 0; c < 2; ++c) {
                double y = 116;
                const double x = margin + c * (column + gutter);
                for (; y < limit; ++k)
                    y = w.Paragraph(TimesRoman, 10, 12, x, y, column, para(k), limit) + 5;
            }
            return w;
        }
        case Layout::Table: {
            PageWriter w(kA4W, kA4H);
            const double x = 64, right = kA4W - 64, limit = kA4H - 70;
            w.Text(HelveticaBold, 13, x, 84, "Schedule of Licensed Components");
            double y = 110;
            w.Rule(x, y - 12, right, y - 12, 0.8);
            const char* names[] = {"libgraphics", "docreader", "pagetool", "inkfilter", "deskview",
                                   "codecs",      "bindery",   "printkit", "mailer",    "zipper"};
            for (int r = 0; r < 10; ++r) {
                char row[96];
                std::snprintf(row, sizeof row, "%-14s %-12s %8d  %s", names[(first + r) % 10],
                              r % 3 ? "GPL-3.0" : "Apache-2.0",
                              1200 + int((first * 37 + r * 211) % 9000),
                              r % 2 ? "included" : "optional");
                w.Text(Courier, 9, x, y, row);
                y += 13;
            }
            w.Rule(x, y - 8, right, y - 8, 0.8);
            y += 18;
            for (std::size_t k = 0; y < limit; ++k)
                y = w.Paragraph(Helvetica, 9.5, 12, x, y, right - x, para(k), limit) + 6;
            return w;
        }
        case Layout::GreyNotes: {
            PageWriter w(kLetterW, kLetterH);
            const double x = 66, width = kLetterW - 132, limit = kLetterH - 72;
            w.Text(HelveticaBold, 14, x, 90, "Notes on Distribution");
            double y = 120;
            for (std::size_t k = 0; y < limit; ++k) {
                const double grey = k % 3 == 1 ? 0.5 : 0.0;  // some paragraphs in grey print
                y = w.Paragraph(Helvetica, 12, 15, x, y, width, para(k), limit, grey) + 8;
                if (k == 1) {
                    w.Rule(x, y - 4, x + width, y - 4, 0.5);
                    y += 10;
                }
            }
            return w;
        }
        case Layout::Receipt: {
            PageWriter w(227, 600);
            const double x = 16, width = 227 - 32;
            w.Text(HelveticaBold, 12, 58, 40, "CORNER BOOKSHOP");
            w.Text(Courier, 9, 44, 56, "12 High Street, Leeds");
            double y = 84;
            std::istringstream words(para(0));
            std::string word;
            for (int item = 0; item < 16 && words >> word; ++item) {
                char line[64];
                std::snprintf(line, sizeof line, "%-22.22s %6.2f", word.c_str(),
                              1.25 + ((first * 13 + item * 7) % 90) / 4.0);
                w.Text(Courier, 9, x, y, line);
                y += 12;
            }
            w.Rule(x, y, x + width, y, 0.6);
            y += 16;
            w.Text(Courier, 10, x, y, "TOTAL                 84.50");
            y += 22;
            w.Paragraph(Courier, 9, 11, x, y, width, para(1), 580);
            return w;
        }
        case Layout::Card: {
            PageWriter w(252, 144);
            w.Text(HelveticaBold, 12, 18, 36, "Dr. Ada M. Quill");
            w.Text(Helvetica, 9, 18, 52, "Archivist and Document Conservator");
            w.Rule(18, 62, 234, 62, 0.5);
            w.Text(Helvetica, 9, 18, 84, "Records Office, 4 Mill Lane");
            w.Text(Helvetica, 9, 18, 98, "Bristol BS1 4QT");
            w.Text(Helvetica, 9, 18, 118, "ada.quill@records.example", 0.4);
            return w;
        }
    }
    return PageWriter(kA4W, kA4H);
}

// --- The set ------------------------------------------------------------------------------------

constexpr int kPageShots = 44;

std::vector<PhotoSpec> BuildSpecs() {
    std::vector<PhotoSpec> specs;
    Random r(20240611);
    // Turns, page sizes and defocus are spread evenly over their ranges, each in its own order.
    auto spread = [&] {
        std::vector<int> order(kPageShots);
        for (int i = 0; i < kPageShots; ++i)
            order[i] = i;
        for (int i = kPageShots - 1; i > 0; --i)
            std::swap(order[i], order[r.Below(i + 1)]);
        return order;
    };
    const auto turns = spread(), areas = spread(), blurs = spread();
    const Desk desks[] = {Desk::Dark, Desk::Wood,   Desk::Light,   Desk::Stone,
                          Desk::Mid,  Desk::Fabric, Desk::Clutter, Desk::Cork};
    const Layout layouts[] = {Layout::Column,    Layout::TwoColumns, Layout::Table,
                              Layout::GreyNotes, Layout::Column,     Layout::TwoColumns,
                              Layout::Receipt,   Layout::Table,      Layout::GreyNotes,
                              Layout::Card,      Layout::Column};
    for (int i = 0; i < kPageShots; ++i) {
        PhotoSpec s;
        s.desk = desks[i % 8];
        s.layout = layouts[i % 11];
        s.turn = -40 + 80 * (turns[i] + r.Uniform()) / kPageShots;
        s.area = 0.20 + 0.65 * (areas[i] + r.Uniform()) / kPageShots;
        if (s.layout == Layout::Card || s.layout == Layout::Receipt)
            s.area = std::min(s.area, 0.40);
        s.slant = i % 4 == 3 ? 0 : r.Uniform(0.02, 0.08);
        s.slantDirection = r.Uniform(0, 360);
        s.shadow = i % 3 == 0 ? r.Uniform(0.2, 0.5) : 0;
        s.linearLight = (i % 4 == 1 || i % 7 == 0) ? r.Uniform(0.15, 0.35) : 0;
        s.radialLight = (i % 4 == 2 || i % 5 == 0) ? r.Uniform(0.15, 0.4) : 0;
        s.blur = 0.3 + 1.7 * (blurs[i] + r.Uniform()) / kPageShots;
        s.noise = r.Uniform(1.5, 5);
        s.quality = 60 + r.Below(36);
        s.card = i % 9 == 4 && s.layout != Layout::Card && s.layout != Layout::Receipt;
        s.seed = 1000 + i;
        specs.push_back(s);
    }
    auto special = [&](Shot shot, Desk desk, Layout layout, double turn, double blur, double linear,
                       double radial, int quality) {
        PhotoSpec s;
        s.shot = shot, s.desk = desk, s.layout = layout, s.turn = turn, s.blur = blur;
        s.linearLight = linear, s.radialLight = radial, s.quality = quality;
        s.noise = shot == Shot::Flatbed ? 1.5 : 3;
        s.seed = 5000 + unsigned(specs.size());
        specs.push_back(s);
    };
    special(Shot::Flatbed, Desk::Light, Layout::Column, 2.6, 0.4, 0, 0, 92);
    special(Shot::Flatbed, Desk::Light, Layout::TwoColumns, -4.1, 0.5, 0, 0, 88);
    special(Shot::Flatbed, Desk::Light, Layout::Table, 1.3, 0.4, 0.08, 0, 90);
    special(Shot::CloseUp, Desk::Dark, Layout::Column, 33.0, 1.0, 0, 0.2, 80);
    special(Shot::CloseUp, Desk::Dark, Layout::GreyNotes, -38.5, 1.2, 0.15, 0, 75);
    special(Shot::CloseUp, Desk::Dark, Layout::TwoColumns, 16.5, 0.8, 0, 0.25, 85);
    special(Shot::FullFrame, Desk::Dark, Layout::Column, -3.2, 0.7, 0.2, 0, 85);
    special(Shot::FullFrame, Desk::Dark, Layout::Table, 5.7, 0.9, 0, 0.2, 80);
    special(Shot::Empty, Desk::Wood, Layout::Column, 0, 0.8, 0.2, 0, 85);
    special(Shot::Empty, Desk::Dark, Layout::Column, 0, 0.8, 0, 0.3, 85);
    return specs;
}

const std::vector<PhotoSpec>& Specs() {
    static const std::vector<PhotoSpec> specs = BuildSpecs();
    return specs;
}

const char* ShotName(Shot shot) {
    constexpr const char* names[] = {"page", "flatbed", "closeup", "fullframe", "empty"};
    return names[int(shot)];
}
const char* DeskName(Desk desk) {
    constexpr const char* names[] = {"dark",   "mid",  "light",   "wood", "stone",
                                     "fabric", "cork", "clutter", "white"};
    return names[int(desk)];
}
const char* LayoutName(Layout layout) {
    constexpr const char* names[] = {"column",    "twocolumns", "table",
                                     "greynotes", "receipt",    "card"};
    return names[int(layout)];
}

}  // namespace

int PhotoSet::Count() {
    return int(Specs().size());
}

const PhotoSpec& PhotoSet::Spec(int index) {
    return Specs().at(std::size_t(index));
}

std::string PhotoSet::Name(int index) {
    const PhotoSpec& s = Spec(index);
    char name[96];
    if (s.shot == Shot::Page)
        std::snprintf(name, sizeof name, "p%02d_%s_%s_turn%s%02d", index, DeskName(s.desk),
                      LayoutName(s.layout), s.turn < 0 ? "m" : "p",
                      int(std::lround(std::fabs(s.turn))));
    else
        std::snprintf(name, sizeof name, "p%02d_%s_%s_turn%s%02d", index, ShotName(s.shot),
                      LayoutName(s.layout), s.turn < 0 ? "m" : "p",
                      int(std::lround(std::fabs(s.turn))));
    return name;
}

namespace {

std::string SpecLabels(const PhotoSpec& s) {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(0);
    out << ShotName(s.shot) << ' ' << DeskName(s.desk);
    if (s.shot != Shot::Empty) {
        out << ' ' << LayoutName(s.layout);
        out.precision(1);
        out << " turn" << (s.turn >= 0 ? "+" : "") << s.turn;
        out.precision(0);
    }
    if (s.shot == Shot::Page)
        out << " area" << s.area * 100;
    if (s.slant > 0)
        out << " slant" << s.slant * 100;
    if (s.shadow > 0)
        out << " shadow" << s.shadow * 100;
    if (s.linearLight > 0)
        out << " lin" << s.linearLight * 100;
    if (s.radialLight > 0)
        out << " rad" << s.radialLight * 100;
    out.precision(1);
    out << " blur" << s.blur << " noise" << s.noise;
    if (s.quality > 0)
        out << " q" << s.quality;
    if (s.card)
        out << " +card";
    return out.str();
}

}  // namespace

std::string PhotoSet::Labels(int index) {
    return SpecLabels(Spec(index));
}

// --- Material: rendered pages, textures, the clutter picture ----------------------------------

struct PhotoSet::Material {
    std::string cacheDir;
    std::mutex lock;
    std::map<std::string, Raster> pictures;

    // The page of a layout rendered at dpi, from the cache folder or by pdftoppm.
    const Raster& Page(Layout layout, std::size_t first, int dpi) {
        const std::string pdf = WritePage(layout, first).Pdf();
        char key[64];
        std::snprintf(key, sizeof key, "page-%016llx-%d", (unsigned long long)Fnv1a(pdf), dpi);
        std::lock_guard<std::mutex> hold(lock);
        auto found = pictures.find(key);
        if (found != pictures.end())
            return found->second;
        std::filesystem::create_directories(cacheDir);
        const std::string png = cacheDir + "/" + key + ".png";
        if (!std::filesystem::exists(png)) {
            // Written under a name of this process, then renamed, so that programs running side
            // by side never read a half-written page.
            const std::string own = cacheDir + "/" + key + "-" + std::to_string(::getpid());
            std::ofstream(own + ".pdf", std::ios::binary) << pdf;
            const std::string command = "pdftoppm -r " + std::to_string(dpi) +
                                        " -gray -png -singlefile '" + own + ".pdf' '" + own + "'";
            if (std::system(command.c_str()) != 0)
                throw std::runtime_error(
                    "pdftoppm failed (scripts/install-deps.sh installs poppler-utils)");
            std::filesystem::rename(own + ".png", png);
            std::filesystem::remove(own + ".pdf");
        }
        return pictures.emplace(key, RasterFromFile(png, true)).first->second;
    }

    const Raster& Pattern(const std::string& name) {
        std::lock_guard<std::mutex> hold(lock);
        auto found = pictures.find(name);
        if (found != pictures.end())
            return found->second;
        return pictures.emplace(name, ReadGimpPattern("/usr/share/gimp/2.0/patterns/" + name))
            .first->second;
    }

    const Raster& Clutter() {
        std::lock_guard<std::mutex> hold(lock);
        const std::string name = "splash";
        auto found = pictures.find(name);
        if (found != pictures.end())
            return found->second;
        return pictures
            .emplace(name, RasterFromFile("/usr/share/gimp/2.0/images/gimp-splash.png", false))
            .first->second;
    }
};

PhotoSet::PhotoSet(int width, int height, std::string cacheDir)
    : material_(std::make_unique<Material>()), width_(width), height_(height) {
    if (cacheDir.empty()) {
        std::uint64_t hash = 0xCBF29CE484222325ull;
        for (int l = 0; l <= int(Layout::Card); ++l)
            hash = Fnv1a(WritePage(Layout(l), 0).Pdf(), hash);
        char name[48];
        std::snprintf(name, sizeof name, "imgdesk-photos-%016llx", (unsigned long long)hash);
        cacheDir = (std::filesystem::temp_directory_path() / name).string();
    }
    material_->cacheDir = cacheDir;
}

PhotoSet::~PhotoSet() = default;

namespace {

// A sheet of paper lying in the photo.
struct Sheet {
    Homography toPage;  // photo -> page points (the flat page; a curl is undone by Unwarp)
    double width = 0, height = 0;    // points
    const Raster* raster = nullptr;  // none: plain paper
    double pixelsPerPoint = 1;       // photo pixels per page point, near enough, for edge tests
    double paper[3] = {240, 240, 240};
    double ink[3] = {30, 30, 30};
    Curl curl = Curl::None;
    double bulge = 0;  // points
    bool curlAcross = false;
    double cornerRadius = 0;  // points
    double dogEar = 0;        // the folded corner's legs, points (top-right corner)
    int gutterSide = 0;       // a book's gutter along the right (1) or left (2) edge
    double gutterWidth = 0;   // points

    // The point of the bent sheet seen at p of the flat page through its corners. The curl moves
    // a point across the bowing edges by bulge * sin(pi t) (t along them), the corners staying put.
    PagePoint Unwarp(PagePoint p) const {
        if (curl == Curl::None)
            return p;
        const double along = curlAcross ? p.y / height : p.x / width;
        const double lift = bulge * std::sin(kPi * std::clamp(along, 0.0, 1.0));
        double& across = curlAcross ? p.x : p.y;
        const double size = curlAcross ? width : height;
        if (curl == Curl::Barrel)  // across' = across + lift (2 across / size - 1)
            across = (across + lift) / (1 + 2 * lift / size);
        else  // across' = across - lift
            across += lift;
        return p;
    }
    // Signed distance from the sheet's border in photo pixels, positive inside.
    double Inside(PagePoint p) const {
        double d = std::min(std::min(p.x, width - p.x), std::min(p.y, height - p.y));
        if (cornerRadius > 0) {
            const double dx = std::max(cornerRadius - std::min(p.x, width - p.x), 0.0);
            const double dy = std::max(cornerRadius - std::min(p.y, height - p.y), 0.0);
            if (dx > 0 && dy > 0)
                d = std::min(d, cornerRadius - std::hypot(dx, dy));
        }
        if (dogEar > 0)  // the folded corner is gone from its place
            d = std::min(d, ((width - p.x) + p.y - dogEar) / std::sqrt(2.0));
        return d * pixelsPerPoint;
    }
    void Colour(PagePoint p, double rgb[3]) const {
        const double a = width - p.x, b = p.y;  // from the top-right corner
        if (dogEar > 0 && a <= dogEar && b <= dogEar && a + b > dogEar) {
            // The folded flap shows the paper's back, shaded towards the fold.
            const double shade = 0.9 + 0.06 * std::min(1.0, (a + b - dogEar) / (0.3 * dogEar));
            for (int k = 0; k < 3; ++k)
                rgb[k] = paper[k] * shade;
            return;
        }
        double v[3] = {255, 255, 255};
        if (raster)
            raster->Sample(p.x * raster->width / width, p.y * raster->height / height, v);
        for (int k = 0; k < 3; ++k)
            rgb[k] = ink[k] + (paper[k] - ink[k]) * v[k] / 255.0;
        const double beyond = a > dogEar && b < dogEar   ? a - dogEar
                              : b > dogEar && a < dogEar ? b - dogEar
                                                         : -1;
        if (dogEar > 0 && beyond >= 0) {
            const double f = 1 - 0.12 * std::exp(-beyond / 2);
            for (int k = 0; k < 3; ++k)
                rgb[k] *= f;  // the flap's shadow on the page
        }
        if (gutterSide) {
            const double d = gutterSide == 1 ? width - p.x : p.x;
            const double f = 1 - 0.65 * std::exp(-d / gutterWidth);
            for (int k = 0; k < 3; ++k)
                rgb[k] *= f;
        }
    }
};

double SmoothStep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// One line of blur, in place: a Gaussian kernel, or (for wide ones) three running box means,
// which come within a few per cent of the Gaussian at a cost that does not grow with sigma.
class LineBlur {
public:
    explicit LineBlur(double sigma) {
        if (sigma <= 1.5) {
            const int radius = int(std::ceil(3 * sigma));
            double sum = 0;
            for (int i = -radius; i <= radius; ++i) {
                kernel_.push_back(std::exp(-0.5 * i * i / (sigma * sigma)));
                sum += kernel_.back();
            }
            for (double& k : kernel_)
                k /= sum;
            return;
        }
        // Box widths whose three passes have the Gaussian's variance.
        const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
        int lower = int(std::floor(ideal));
        if (lower % 2 == 0)
            --lower;
        const int m = int(std::lround(
            (12 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9) / (-4.0 * lower - 4)));
        for (int i = 0; i < 3; ++i)
            boxes_.push_back(((i < m ? lower : lower + 2) - 1) / 2);
    }
    void Run(std::vector<float>& line, int n) const {
        scratch_.resize(std::size_t(n));
        if (!kernel_.empty()) {
            const int radius = int(kernel_.size() / 2);
            for (int x = 0; x < n; ++x) {
                double s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel_[i + radius] * line[std::clamp(x + i, 0, n - 1)];
                scratch_[x] = float(s);
            }
            std::copy_n(scratch_.begin(), n, line.begin());
            return;
        }
        for (int r : boxes_) {
            double sum = 0;
            for (int i = -r; i <= r; ++i)
                sum += line[std::clamp(i, 0, n - 1)];
            for (int x = 0; x < n; ++x) {
                scratch_[x] = float(sum / (2 * r + 1));
                sum += line[std::min(x + r + 1, n - 1)] - line[std::max(x - r, 0)];
            }
            std::copy_n(scratch_.begin(), n, line.begin());
        }
    }

private:
    std::vector<double> kernel_;
    std::vector<int> boxes_;
    mutable std::vector<float> scratch_;
};

// Blur of top-down interleaved rows of three channels, in place.
void Blur(std::vector<unsigned char>& rgb, int width, int height, double sigma) {
    if (sigma < 0.2)
        return;
    const LineBlur blur(sigma);
    std::vector<float> line(std::size_t(std::max(width, height)));
    auto pass = [&](std::size_t start, std::size_t step, int n) {
        for (int i = 0; i < n; ++i)
            line[i] = rgb[start + i * step];
        blur.Run(line, n);
        for (int i = 0; i < n; ++i)
            rgb[start + i * step] =
                static_cast<unsigned char>(std::clamp(std::lround(line[i]), 0L, 255L));
    };
    for (int y = 0; y < height; ++y)
        for (int c = 0; c < 3; ++c)
            pass(std::size_t(y) * width * 3 + c, 3, width);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
            pass(std::size_t(x) * 3 + c, std::size_t(width) * 3, height);
}

// The camera moving while the shutter is open: each pixel the mean of the scene along a line of
// length pixels through it.
void MotionBlur(std::vector<unsigned char>& rgb, int width, int height, double length,
                double angle) {
    Raster scene;
    scene.width = width, scene.height = height, scene.channels = 3;
    scene.bytes = rgb;
    const int taps = std::max(2, int(std::ceil(length)) + 1);
    const double dx = std::cos(angle) * length / (taps - 1),
                 dy = std::sin(angle) * length / (taps - 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0, 0, 0};
            for (int t = 0; t < taps; ++t) {
                const double off = t - (taps - 1) / 2.0;
                double one[3];
                scene.Sample(x + 0.5 + off * dx, y + 0.5 + off * dy, one);
                for (int k = 0; k < 3; ++k)
                    sum[k] += one[k];
            }
            unsigned char* out = rgb.data() + (std::size_t(y) * width + x) * 3;
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<unsigned char>(std::lround(sum[k] / taps));
        }
}

// The page-to-photo map: the page scaled by scale about its point pivot, turned counter-clockwise
// by turn degrees, leant by lean (g in q / (1 + g.q)) and put with the pivot at centre.
Homography PlacePage(PagePoint pivot, double scale, double turn, PagePoint lean, PagePoint centre) {
    const double a = turn * kPi / 180, c = std::cos(a), s = std::sin(a);
    Homography shift, turnScale, leanMap, put;
    shift.m[2] = -pivot.x, shift.m[5] = -pivot.y;
    turnScale.m[0] = c * scale, turnScale.m[1] = s * scale;
    turnScale.m[3] = -s * scale, turnScale.m[4] = c * scale;
    leanMap.m[6] = lean.x, leanMap.m[7] = lean.y;
    put.m[2] = centre.x, put.m[5] = centre.y;
    return put.After(leanMap).After(turnScale).After(shift);
}

void PageCorners(const Homography& h, double w, double ht, PagePoint out[4]) {
    out[0] = h.Apply(0, 0), out[1] = h.Apply(w, 0), out[2] = h.Apply(w, ht),
    out[3] = h.Apply(0, ht);
}

double QuadArea(const PagePoint q[4]) {
    double a = 0;
    for (int i = 0; i < 4; ++i)
        a += q[i].x * q[(i + 1) % 4].y - q[(i + 1) % 4].x * q[i].y;
    return std::fabs(a) / 2;
}

// Rendering resolution for a page shown at pixelsPerPoint: a little above the photo's own, in
// steps of 50 dpi so that few renderings serve many photos.
int RenderDpi(double pixelsPerPoint, int lo, int hi) {
    const int dpi = int(std::ceil(pixelsPerPoint * 72 * 1.1 / 50)) * 50;
    return std::clamp(dpi, lo, hi);
}

}  // namespace

Photo PhotoSet::Make(int index) const {
    Photo photo = Render(Spec(index), index);
    photo.name = Name(index);
    photo.labels = Labels(index);
    return photo;
}

Photo PhotoSet::Render(const PhotoSpec& spec, int index) const {
    Photo photo;
    photo.index = index;
    photo.spec = spec;
    int W = width_, H = height_;
    if (spec.shot == Shot::Flatbed)
        std::swap(W, H);
    if (spec.photoScale != 1)
        W = int(std::lround(W * spec.photoScale)), H = int(std::lround(H * spec.photoScale));
    photo.width = W, photo.height = H;
    const double unit = std::sqrt(double(W) * H / (1200.0 * 900.0));  // sizes given for 1200 x 900
    Random rnd(spec.seed * 7919ull + unsigned(index));
    // The harder conditions draw from their own sequence, so that photos without them stay the
    // same draw for draw.
    Random more(spec.seed * 104729ull + unsigned(index) + 17);

    // Three wordings of each layout: enough variety, few renderings to keep.
    const std::size_t first = (spec.seed % 3) * 17 + std::size_t(spec.layout) * 5;
    const PageWriter writer = WritePage(spec.layout, first);
    // A book spread is one page of two sheets' width, the facing sheet on the right.
    const PageWriter facing = WritePage(spec.layout, spec.spread ? first + 1 : first);
    const double sheetW = writer.Width();
    const double pw = spec.spread ? 2 * sheetW : sheetW, ph = writer.Height();
    PhotoTruth& truth = photo.truth;
    truth.pageWidth = pw, truth.pageHeight = ph;
    truth.textLeft = writer.left_, truth.textTop = writer.top_;
    truth.textRight = writer.right_, truth.textBottom = writer.bottom_;
    if (spec.spread) {
        truth.textRight = sheetW + facing.right_;
        truth.textTop = std::min(writer.top_, facing.top_);
        truth.textBottom = std::max(writer.bottom_, facing.bottom_);
    }
    truth.hasPage = spec.shot != Shot::Empty;
    truth.expected = spec.shot == Shot::Page    ? PageFoundBy::PageEdges
                     : spec.shot == Shot::Empty ? PageFoundBy::Nothing
                                                : PageFoundBy::TextLines;

    // Where the page lies.
    const double turnRad = spec.turn * kPi / 180;
    const double ct = std::fabs(std::cos(turnRad)), st = std::fabs(std::sin(turnRad));
    double scale = 1;  // photo pixels per point
    PagePoint pivot{pw / 2, ph / 2}, centre{W / 2.0, H / 2.0}, lean{0, 0};
    switch (spec.shot) {
        case Shot::Page: {
            // The lean, scaled so that the corners move by about slant of the page's diagonal.
            const double dir = spec.slantDirection * kPi / 180;
            PagePoint unitCorners[4];
            PageCorners(PlacePage(pivot, 1, spec.turn, {0, 0}, {0, 0}), pw, ph, unitCorners);
            double reach = 0;
            for (const PagePoint& q : unitCorners)
                reach = std::max(reach, std::fabs(q.x * std::cos(dir) + q.y * std::sin(dir)));
            const double k = 2 * spec.slant;
            lean = {k * std::cos(dir) / reach, k * std::sin(dir) / reach};
            if (spec.foreshorten > 0) {
                // The camera tilted back along the page: the top side shorter than the bottom one
                // by foreshorten (w = 1 +- g ph / 2 at the two sides).
                const double a = spec.turn * kPi / 180,
                             g = spec.foreshorten / (2 - spec.foreshorten) / (ph / 2);
                lean = {-g * std::sin(a), -g * std::cos(a)};
            }
            // The shape at one pixel per point scales linearly with the scale.
            PagePoint shape[4];
            PageCorners(PlacePage(pivot, 1, spec.turn, lean, {0, 0}), pw, ph, shape);
            double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
            for (const PagePoint& q : shape)
                minX = std::min(minX, q.x), maxX = std::max(maxX, q.x), minY = std::min(minY, q.y),
                maxY = std::max(maxY, q.y);
            const double margin = 0.03 * std::min(W, H);
            scale = std::sqrt(spec.area * W * H / QuadArea(shape));
            scale = std::min(
                {scale, (W - 2 * margin) / (maxX - minX), (H - 2 * margin) / (maxY - minY)});
            // The lean is in pixels at one pixel per point: keep its effect as the page grows.
            lean = {lean.x / scale, lean.y / scale};
            centre = {rnd.Uniform(margin - minX * scale, W - margin - maxX * scale),
                      rnd.Uniform(margin - minY * scale, H - margin - maxY * scale)};
            if (spec.outOfFrame > 0) {
                // Pushed over one border until outOfFrame of its extent lies beyond it.
                const double spanX = (maxX - minX) * scale, spanY = (maxY - minY) * scale;
                switch (more.Below(4)) {
                    case 0:
                        centre.x = -minX * scale - spec.outOfFrame * spanX;
                        break;
                    case 1:
                        centre.x = W - maxX * scale + spec.outOfFrame * spanX;
                        break;
                    case 2:
                        centre.y = -minY * scale - spec.outOfFrame * spanY;
                        break;
                    default:
                        centre.y = H - maxY * scale + spec.outOfFrame * spanY;
                        break;
                }
            }
            break;
        }
        case Shot::Flatbed:
            // The page just covers the scanner's glass.
            scale = 1.01 * std::max((W * ct + H * st) / pw, (W * st + H * ct) / ph);
            break;
        case Shot::CloseUp: {
            pivot = {(truth.textLeft + truth.textRight) / 2,
                     (truth.textTop + truth.textBottom) / 2};
            scale = W / rnd.Uniform(260, 340);
            const double halfW = (W * ct + H * st) / 2, halfH = (W * st + H * ct) / 2;
            scale = std::max({scale, 1.02 * halfW / std::min(pivot.x, pw - pivot.x),
                              1.02 * halfH / std::min(pivot.y, ph - pivot.y)});
            break;
        }
        case Shot::FullFrame: {
            pivot = {pw / 2, ph * 0.42};
            const double halfW = (W * ct + H * st) / 2, halfH = (W * st + H * ct) / 2;
            scale = 1.06 * std::max(halfW / std::min(pivot.x, pw - pivot.x),
                                    halfH / std::min(pivot.y, ph - pivot.y));
            break;
        }
        case Shot::Empty:
            break;
    }
    truth.pageToPhoto = PlacePage(pivot, scale, spec.turn, lean, centre);
    PageCorners(truth.pageToPhoto, pw, ph, truth.corners);
    truth.turnDegrees = -std::atan2(truth.corners[1].y - truth.corners[0].y,
                                    truth.corners[1].x - truth.corners[0].x) *
                        180 / kPi;
    if (!truth.hasPage) {
        truth.pageToPhoto = Homography();
        truth.pageWidth = W, truth.pageHeight = H;
        truth.corners[0] = {0, 0}, truth.corners[1] = {double(W), 0};
        truth.corners[2] = {double(W), double(H)}, truth.corners[3] = {0, double(H)};
        truth.turnDegrees = 0;
    }
    truth.ambiguous = spec.spread || spec.outOfFrame > 0;
    // The page's area lost or gained against its corners' quadrilateral: a curl's bulges (2 / pi of
    // bulge x edge each), rounded corners, the folded corner.
    truth.outlineSlack = 100 * (spec.curl != Curl::None ? 4 * spec.bulge / kPi : 0) +
                         100 *
                             ((4 - kPi) * spec.cornerRadius * spec.cornerRadius +
                              0.5 * std::pow(spec.dogEar * sheetW, 2)) /
                             (pw * ph);

    // The sheets: a business card beside the page when asked for, then the page on top.
    std::vector<Sheet> sheets;
    auto paperTint = [&](Sheet& sheet, double base) {
        sheet.paper[0] = base + rnd.Uniform(-4, 4);
        sheet.paper[1] = base - rnd.Uniform(0, 5);
        sheet.paper[2] = base - rnd.Uniform(2, 12);  // paper under a lamp: a little warm
        const double ink = rnd.Uniform(18, 40);
        sheet.ink[0] = sheet.ink[1] = sheet.ink[2] = ink;
    };
    if (spec.card && spec.shot == Shot::Page) {
        const PageWriter card = WritePage(Layout::Card, first + 3);
        const double cardTurn = rnd.Uniform(-60, 60);
        PagePoint corners[4];
        double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
        for (const PagePoint& q : truth.corners)
            minX = std::min(minX, q.x), maxX = std::max(maxX, q.x), minY = std::min(minY, q.y),
            maxY = std::max(maxY, q.y);
        for (int attempt = 0; attempt < 60; ++attempt) {
            const PagePoint at{rnd.Uniform(0.1 * W, 0.9 * W), rnd.Uniform(0.1 * H, 0.9 * H)};
            const Homography h =
                PlacePage({card.Width() / 2, card.Height() / 2}, scale, cardTurn, {0, 0}, at);
            PageCorners(h, card.Width(), card.Height(), corners);
            const double gap = 0.02 * W;
            bool fits = true;
            for (const PagePoint& q : corners)
                fits =
                    fits && q.x > gap && q.x < W - gap && q.y > gap && q.y < H - gap &&
                    !(q.x > minX - gap && q.x < maxX + gap && q.y > minY - gap && q.y < maxY + gap);
            if (fits) {
                Sheet sheet;
                sheet.toPage = h.Inverse();
                sheet.width = card.Width(), sheet.height = card.Height();
                sheet.pixelsPerPoint = scale;
                sheet.raster =
                    &material_->Page(Layout::Card, first + 3, RenderDpi(scale, 100, 300));
                paperTint(sheet, 246);
                sheets.push_back(sheet);
                break;
            }
        }
    }
    const Homography photoToPage = truth.pageToPhoto.Inverse();
    double pagePaper[3] = {245, 245, 245};
    // A sheet lying in the page's plane: its points are page points moved by from, turned by turn
    // degrees about the sheet's centre.
    auto inPagePlane = [&](PagePoint at, double turn, double w, double h) {
        return PlacePage(at, 1, -turn, {0, 0}, {w / 2, h / 2}).After(photoToPage);
    };
    if (truth.hasPage &&
        (spec.company == Company::PageUnder || spec.company == Company::PageBeside)) {
        const Layout other = Layout((int(spec.layout) + 1) % 4);
        const PageWriter second = WritePage(other, first + 7);
        const double w = second.Width(), h = second.Height();
        PagePoint at;
        double turn;
        if (spec.company == Company::PageUnder) {
            const double dir = more.Uniform(0, 2 * kPi);
            at = {pw / 2 + 0.55 * pw * std::cos(dir), ph / 2 + 0.45 * ph * std::sin(dir)};
            turn = more.Uniform(-25, 25);
        } else {
            // Beside, a little apart, on the side with more room in the photo.
            const PagePoint left = truth.pageToPhoto.Apply(-0.6 * pw, ph / 2);
            const PagePoint right = truth.pageToPhoto.Apply(1.6 * pw, ph / 2);
            auto room = [&](PagePoint q) { return std::min({q.x, W - q.x, q.y, H - q.y}); };
            const double gap = more.Uniform(0.02, 0.06) * pw;
            at = {room(left) > room(right) ? -w / 2 - gap : pw + w / 2 + gap,
                  ph / 2 + more.Uniform(-0.1, 0.1) * ph};
            turn = more.Uniform(-4, 4);
        }
        Sheet sheet;
        sheet.toPage = inPagePlane(at, turn, w, h);
        sheet.width = w, sheet.height = h;
        sheet.pixelsPerPoint = scale / (1 + spec.foreshorten) / 1.2;
        sheet.raster = &material_->Page(other, first + 7, RenderDpi(scale, 100, 150));
        paperTint(sheet, more.Uniform(236, 248));
        sheets.push_back(sheet);
    }
    if (truth.hasPage && (spec.company == Company::BookCover || spec.spread)) {
        const double left = more.Uniform(0.02, 0.1) * pw, right = more.Uniform(0.02, 0.1) * pw;
        const double top = more.Uniform(0.02, 0.08) * ph, bottom = more.Uniform(0.02, 0.08) * ph;
        Sheet cover;
        cover.toPage = inPagePlane({(pw + right - left) / 2, (ph + bottom - top) / 2}, 0,
                                   pw + left + right, ph + top + bottom);
        cover.width = pw + left + right, cover.height = ph + top + bottom;
        cover.pixelsPerPoint = scale / (1 + spec.foreshorten) / 1.2;
        const bool blue = more.Below(2);
        cover.paper[0] = blue ? 30 : 62, cover.paper[1] = blue ? 38 : 40,
        cover.paper[2] = blue ? 62 : 32;
        sheets.push_back(cover);
    }
    if (truth.hasPage) {
        Sheet sheet;
        sheet.toPage = truth.pageToPhoto.Inverse();
        sheet.width = sheetW, sheet.height = ph;
        // The smallest the slant makes a point anywhere on the page, so that no edge is missed.
        sheet.pixelsPerPoint = scale / (1 + 2 * spec.slant) / 1.2;
        if (spec.foreshorten > 0)
            sheet.pixelsPerPoint /= 1 + spec.foreshorten;
        const bool close = spec.shot == Shot::CloseUp;
        sheet.raster = &material_->Page(spec.layout, first,
                                        RenderDpi(scale, close ? 150 : 100, close ? 300 : 150));
        paperTint(sheet, spec.shot == Shot::Flatbed ? 250 : rnd.Uniform(236, 250));
        std::copy_n(sheet.paper, 3, pagePaper);
        sheet.curl = spec.curl, sheet.curlAcross = spec.curlAcross;
        sheet.bulge = spec.bulge * (spec.curlAcross ? sheetW : ph);
        sheet.cornerRadius = spec.cornerRadius;
        sheet.dogEar = spec.dogEar * sheetW;
        if (spec.spread) {
            sheet.gutterSide = 1, sheet.gutterWidth = 0.035 * sheetW;
            Sheet right = sheet;
            Homography shift;
            shift.m[2] = -sheetW;
            right.toPage = shift.After(sheet.toPage);
            right.raster = &material_->Page(spec.layout, first + 1, RenderDpi(scale, 100, 150));
            right.gutterSide = 2;
            sheets.push_back(sheet);
            sheets.push_back(right);
        } else {
            sheets.push_back(sheet);
        }
    }
    if (truth.hasPage &&
        (spec.company == Company::StickyInside || spec.company == Company::StickyOverhang)) {
        const double side = 76;  // a three-inch note
        PagePoint at{more.Uniform(0.2, 0.8) * pw, more.Uniform(0.15, 0.75) * ph};
        if (spec.company == Company::StickyOverhang) {
            const int edge = more.Below(4);
            const double over = side * more.Uniform(0.2, 0.4);
            if (edge == 0)
                at.x = side / 2 - over;
            if (edge == 1)
                at.x = pw - side / 2 + over;
            if (edge == 2)
                at.y = side / 2 - over;
            if (edge == 3)
                at.y = ph - side / 2 + over;
        }
        Sheet note;
        note.toPage = inPagePlane(at, more.Uniform(-10, 10), side, side);
        note.width = note.height = side;
        note.pixelsPerPoint = scale / (1 + spec.foreshorten) / 1.2;
        note.paper[0] = 250, note.paper[1] = 229, note.paper[2] = 110;
        sheets.push_back(note);
    }

    // The desk.
    const Raster* texture = nullptr;
    double textureScale = unit * rnd.Uniform(2, 4), textureGain = 1;
    const PagePoint textureShift{rnd.Uniform(0, 500), rnd.Uniform(0, 500)};
    double plain[3] = {0, 0, 0};
    auto pick = [&](std::initializer_list<const char*> names) {
        const auto* n = names.begin() + rnd.Below(int(names.size()));
        return &material_->Pattern(*n);
    };
    switch (spec.desk) {
        case Desk::Dark:
            plain[0] = plain[1] = plain[2] = rnd.Uniform(28, 50);
            break;
        case Desk::Mid:
            plain[0] = plain[1] = plain[2] = rnd.Uniform(105, 135);
            break;
        case Desk::Light:
            plain[0] = rnd.Uniform(222, 232), plain[1] = plain[0] - 3,
            plain[2] = plain[0] - rnd.Uniform(6, 14);
            break;
        case Desk::Wood:
        case Desk::Clutter:
            texture = pick({"Wood/wood1.pat", "Wood/wood2.pat", "Wood/walnut.pat",
                            "Wood/parque1.pat", "Wood/pine.pat", "Wood/burlwood.pat"});
            break;
        case Desk::Stone:
            texture = pick({"Stone/granite1.pat", "Stone/marble1.pat", "Stone/slate.pat",
                            "Stone/stone33.pat", "Stone/pink_marble.pat", "Stone/rock.pat"});
            break;
        case Desk::Fabric:
            texture = pick({"Fabric/burlap.pat", "Animal/leather.pat"});
            break;
        case Desk::White:  // a white or light grey table, contrast levels below the paper
            for (int k = 0; k < 3; ++k)
                plain[k] = pagePaper[k] - spec.contrast;
            break;
        case Desk::Cork:
            texture = pick({"Wood/corkboard.pat", "Paper/crinklepaper.pat"});
            break;
    }
    if (spec.desk == Desk::Stone || spec.desk == Desk::Fabric)
        textureGain = rnd.Uniform(0.7, 1.0);
    // The clutter: GIMP's splash picture lying on the desk like a magazine, partly under the page.
    const Raster* clutter = spec.desk == Desk::Clutter ? &material_->Clutter() : nullptr;
    Homography clutterMap;
    double clutterW = 0, clutterH = 0;
    if (clutter) {
        clutterW = clutter->width, clutterH = clutter->height;
        const double s = rnd.Uniform(0.45, 0.7) * W / clutterW;
        const PagePoint at{rnd.Uniform(0, W), rnd.Uniform(0, H)};
        clutterMap =
            PlacePage({clutterW / 2, clutterH / 2}, s, rnd.Uniform(-30, 30), {0, 0}, at).Inverse();
    }
    const ValueNoise mottle(spec.seed * 31ull, 140 * unit), grain(spec.seed * 57ull, 3 * unit);
    auto deskAt = [&](double x, double y, double rgb[3]) {
        if (texture) {
            texture->SampleTiled(x / textureScale + textureShift.x,
                                 y / textureScale + textureShift.y, rgb);
            for (int k = 0; k < 3; ++k)
                rgb[k] *= textureGain;
        } else {
            const double m = 1 + 0.05 * mottle.At(x, y) + 0.02 * grain.At(x, y);
            for (int k = 0; k < 3; ++k)
                rgb[k] = plain[k] * m;
        }
        if (clutter) {
            const PagePoint c = clutterMap.Apply(x, y);
            if (c.x >= 0 && c.y >= 0 && c.x < clutterW && c.y < clutterH)
                clutter->Sample(c.x, c.y, rgb);
        }
    };

    // Light: uneven lamp light, a shadow across the photo, a colour cast.
    const double lightDir = rnd.Uniform(0, 2 * kPi);
    const PagePoint lampAt{rnd.Uniform(0, W), rnd.Uniform(0, H)};
    const double lampReach = std::hypot(double(W), double(H)) * rnd.Uniform(0.6, 0.9);
    const double shadowDir = rnd.Uniform(0, 2 * kPi), shadowSoft = unit * rnd.Uniform(8, 40);
    PagePoint shadowAt = truth.hasPage ? truth.pageToPhoto.Apply(pw * rnd.Uniform(0.2, 0.8),
                                                                 ph * rnd.Uniform(0.2, 0.8))
                                       : PagePoint{W / 2.0, H / 2.0};
    const double cast[3] = {rnd.Uniform(0.88, 1.0), rnd.Uniform(0.96, 1.0),
                            1.0};  // blue, green, red
    const double halfSpan =
        (std::fabs(std::cos(lightDir)) * W + std::fabs(std::sin(lightDir)) * H) / 2;
    auto lightAt = [&](double x, double y) {
        double light = 1;
        if (spec.linearLight > 0) {
            const double t =
                ((x - W / 2.0) * std::cos(lightDir) + (y - H / 2.0) * std::sin(lightDir)) /
                halfSpan;
            light *= 1 - spec.linearLight * (t + 1) / 2;
        }
        if (spec.radialLight > 0) {
            const double r = std::hypot(x - lampAt.x, y - lampAt.y) / lampReach;
            light *= 1 - spec.radialLight * std::min(1.0, r * r);
        }
        if (spec.shadow > 0) {
            const double d =
                (x - shadowAt.x) * std::cos(shadowDir) + (y - shadowAt.y) * std::sin(shadowDir);
            light *= 1 - spec.shadow * SmoothStep((d + shadowSoft) / (2 * shadowSoft));
        }
        return light;
    };

    // The harder light: a sharp shadow of a phone or hand, vignetting, warm light, a glossy
    // highlight.
    const PagePoint hardAt =
        truth.pageToPhoto.Apply(pw * more.Uniform(0.3, 0.7), ph * more.Uniform(0.3, 0.7));
    const double hardDir = more.Uniform(0, 2 * kPi), hardEdge = 1.2 * unit;
    const double hardHalfWidth = spec.hardShadowBand ? more.Uniform(0.08, 0.14) * W : 1e9;
    const double warm[3] = {1, 1 - 0.4 * spec.warmth, 1 - spec.warmth};  // red, green, blue
    auto extraLightAt = [&](double x, double y) {
        double light = 1;
        if (spec.hardShadow > 0) {
            const double along =
                (x - hardAt.x) * std::cos(hardDir) + (y - hardAt.y) * std::sin(hardDir);
            const double across =
                -(x - hardAt.x) * std::sin(hardDir) + (y - hardAt.y) * std::cos(hardDir);
            const double in =
                SmoothStep(along / (2 * hardEdge) + 0.5) *
                SmoothStep((hardHalfWidth - std::fabs(across)) / (2 * hardEdge) + 0.5);
            light *= 1 - spec.hardShadow * in;
        }
        if (spec.vignette > 0) {
            const double dx = x / W - 0.5, dy = y / H - 0.5;
            light *= 1 - spec.vignette * (dx * dx + dy * dy) * 2;
        }
        return light;
    };
    const PagePoint glossAt = truth.pageToPhoto.Apply(
        spec.glossAtEdge ? (more.Below(2) ? 0.02 : 0.98) * pw : more.Uniform(0.3, 0.7) * pw,
        more.Uniform(0.25, 0.75) * ph);
    const double glossX = more.Uniform(0.05, 0.09) * W, glossY = glossX * more.Uniform(0.5, 0.9);
    const double glossTurn = more.Uniform(0, kPi);
    auto glossAtPoint = [&](double x, double y) {
        if (spec.gloss <= 0)
            return 0.0;
        const double dx = x - glossAt.x, dy = y - glossAt.y;
        const double u = (dx * std::cos(glossTurn) + dy * std::sin(glossTurn)) / glossX;
        const double v = (-dx * std::sin(glossTurn) + dy * std::cos(glossTurn)) / glossY;
        return spec.gloss * std::min(1.0, 1.6 * std::exp(-(u * u + v * v)));
    };
    // Fingers holding the page: skin-coloured ellipses across one of its edges, reaching in.
    struct Finger {
        PagePoint centre, axis;  // axis: unit, along the finger
        double length, width;    // half lengths, pixels
    };
    std::vector<Finger> fingers;
    if (spec.fingers > 0 && truth.hasPage) {
        const int side = more.Below(4);
        const PagePoint a = truth.corners[side], b = truth.corners[(side + 1) % 4];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        const PagePoint out{(b.y - a.y) / len, -(b.x - a.x) / len};
        const double width = 0.028 * std::min(W, H) * more.Uniform(0.9, 1.2), length = 2.4 * width;
        const double t0 = more.Uniform(0.3, 0.6);
        for (int f = 0; f < spec.fingers; ++f) {
            const double t = t0 + f * 2.1 * width / len;
            const double reach =
                length * more.Uniform(0.6, 0.9);  // how far it reaches onto the page
            const PagePoint on{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
            const double tilt = more.Uniform(-0.3, 0.3);
            const PagePoint axis{out.x * std::cos(tilt) - out.y * std::sin(tilt),
                                 out.x * std::sin(tilt) + out.y * std::cos(tilt)};
            fingers.push_back({{on.x + axis.x * (length - reach), on.y + axis.y * (length - reach)},
                               axis,
                               length,
                               width});
        }
    }
    // Blends the fingers into rgb: coverage from the distance to the ellipse's outline, a soft
    // shadow just outside, skin brighter along the middle.
    auto addFingers = [&](double x, double y, double rgb[3]) {
        for (const Finger& f : fingers) {
            const double dx = x - f.centre.x, dy = y - f.centre.y;
            const double u = (dx * f.axis.x + dy * f.axis.y) / f.length;
            const double v = (-dx * f.axis.y + dy * f.axis.x) / f.width;
            const double r = std::sqrt(u * u + v * v);
            const double outside = (r - 1) * f.width;  // pixels, roughly
            if (outside > 8 * unit)
                continue;
            const double shade = 1 - 0.35 * std::exp(-std::max(outside, 0.0) / (3 * unit));
            const double cover = std::clamp(0.5 - outside, 0.0, 1.0);
            const double skin[3] = {222, 170, 140};
            const double round = 0.72 + 0.28 * std::sqrt(std::max(0.0, 1 - v * v));
            for (int k = 0; k < 3; ++k)
                rgb[k] = rgb[k] * shade * (1 - cover) + skin[k] * round * cover;
        }
    };

    // A flatbed scan's dark strip: the lid's edge along one side.
    const int stripSide = rnd.Below(4);
    const double strip = spec.shot == Shot::Flatbed ? rnd.Uniform(0.02, 0.035) * std::min(W, H) : 0;
    auto inStrip = [&](double x, double y) {
        const double d = stripSide == 0 ? x : stripSide == 1 ? W - x : stripSide == 2 ? y : H - y;
        return SmoothStep((strip - d) / 2 + 0.5);
    };

    // The scene, sampled four times in a pixel near a sheet's edge and once elsewhere.
    std::vector<unsigned char> scene(std::size_t(W) * H * 3);
    const double contactReach = 2.0 * unit;
    auto sampleAt = [&](double x, double y, const double desk[3], double rgb[3]) {
        for (int k = 0; k < 3; ++k)
            rgb[k] = desk[k];
        for (const Sheet& sheet : sheets) {
            const PagePoint p = sheet.toPage.Apply(x, y);
            const double inside = sheet.Inside(p);
            if (inside >= 0) {
                sheet.Colour(p, rgb);
            } else if (inside > -4 * contactReach) {  // the sheet's thin shadow on the desk
                const double f = 1 - spec.contactShadow * std::exp(inside / contactReach);
                for (int k = 0; k < 3; ++k)
                    rgb[k] *= f;
            }
        }
    };
    for (int y = 0; y < H; ++y) {
        unsigned char* row = scene.data() + std::size_t(y) * W * 3;
        for (int x = 0; x < W; ++x) {
            const double cx = x + 0.5, cy = y + 0.5;
            double desk[3], rgb[3] = {0, 0, 0};
            deskAt(cx, cy, desk);
            bool nearEdge = false;
            for (const Sheet& sheet : sheets)
                nearEdge = nearEdge || std::fabs(sheet.Inside(sheet.toPage.Apply(cx, cy))) < 2;
            if (nearEdge) {
                for (int s = 0; s < 4; ++s) {
                    double one[3];
                    sampleAt(x + 0.25 + 0.5 * (s & 1), y + 0.25 + 0.5 * (s >> 1), desk, one);
                    for (int k = 0; k < 3; ++k)
                        rgb[k] += one[k] / 4;
                }
            } else {
                sampleAt(cx, cy, desk, rgb);
            }
            if (strip > 0) {
                const double t = inStrip(cx, cy);
                for (int k = 0; k < 3; ++k)
                    rgb[k] = rgb[k] * (1 - t) + 26 * t;
            }
            if (!fingers.empty())
                addFingers(cx, cy, rgb);
            const double light = lightAt(cx, cy) * extraLightAt(cx, cy);
            const double gloss = glossAtPoint(cx, cy);
            for (int k = 0; k < 3; ++k) {  // rgb is red, green, blue; cast is blue, green, red
                const double lit = rgb[k] * light * cast[2 - k] * warm[k];
                row[3 * x + k] =
                    static_cast<unsigned char>(std::clamp(lit + (255 - lit) * gloss, 0.0, 255.0));
            }
        }
    }
    Blur(scene, W, H, spec.blur * unit);
    if (spec.motion > 0)
        MotionBlur(scene, W, H, spec.motion * unit, more.Uniform(0, kPi));

    // Sensor noise, and the photo's own layout: bottom-up rows of blue, green, red.
    const int stride = pixel::RowStride(W, 24);
    photo.pixels.assign(std::size_t(stride) * H, 0);
    std::uint32_t state = spec.seed * 2654435761u + 1;
    auto uniform = [&] {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return state * (1.0 / 4294967296.0);
    };
    const double noiseGain = spec.noise * std::sqrt(3.0);  // four uniforms have variance 1/3
    for (int y = 0; y < H; ++y) {
        const unsigned char* in = scene.data() + std::size_t(y) * W * 3;
        unsigned char* out = photo.pixels.data() + std::size_t(H - 1 - y) * stride;
        for (int x = 0; x < W; ++x)
            for (int k = 0; k < 3; ++k) {
                const double n = (uniform() + uniform() + uniform() + uniform() - 2) * noiseGain;
                out[3 * x + k] = static_cast<unsigned char>(
                    std::clamp(std::lround(in[3 * x + 2 - k] + n), 0L, 255L));
            }
    }

    // Through JPEG and back, as a camera's file is read.
    if (spec.quality > 0) {
        codecs::DibView view;
        view.width = W, view.height = H, view.bitCount = 24;
        view.bits = photo.pixels.data(), view.stride = stride;
        codecs::EncodeOptions options;
        options.quality = spec.quality;
        codecs::DecodedImage decoded;
        if (codecs::Encode(codecs::Format::Jpeg, view, options, photo.jpeg) != codecs::Result::Ok ||
            codecs::Decode(photo.jpeg.data(), photo.jpeg.size(), decoded) != codecs::Result::Ok ||
            decoded.bitCount != 24 || decoded.width != W || decoded.height != H)
            throw std::runtime_error("JPEG round trip failed");
        for (int r = 0; r < H; ++r)
            std::copy_n(decoded.Row(r), std::size_t(W) * 3,
                        photo.pixels.data() + std::size_t(r) * stride);
    }
    return photo;
}

// --- The harder set -----------------------------------------------------------------------------

namespace {

struct HardCase {
    std::string name;  // what it shows, in a word or three
    PhotoSpec spec;
};

std::vector<HardCase> BuildHardCases() {
    std::vector<HardCase> cases;
    auto add = [&](const char* name, Desk desk, Layout layout, double turn, double area,
                   auto&& tweak) {
        PhotoSpec s;
        s.desk = desk, s.layout = layout, s.turn = turn, s.area = area;
        s.slant = 0.03, s.slantDirection = 40.0 * double(cases.size());
        s.blur = 0.7, s.noise = 2.5, s.quality = 80;
        s.seed = 9000 + unsigned(cases.size());
        tweak(s);
        cases.push_back({name, s});
    };
    // A white page on a white or light grey table: 5 to 15 levels apart, a faint contact shadow.
    add("white_desk_c12", Desk::White, Layout::Column, 7, 0.5,
        [](PhotoSpec& s) { s.contrast = 12, s.contactShadow = 0.08; });
    add("white_desk_c8", Desk::White, Layout::TwoColumns, -14, 0.45,
        [](PhotoSpec& s) { s.contrast = 8, s.contactShadow = 0.06, s.radialLight = 0.2; });
    add("white_desk_c5", Desk::White, Layout::Table, 3, 0.55,
        [](PhotoSpec& s) { s.contrast = 5, s.contactShadow = 0.05, s.linearLight = 0.15; });
    add("grey_desk_c15", Desk::White, Layout::GreyNotes, -28, 0.4,
        [](PhotoSpec& s) { s.contrast = 15, s.contactShadow = 0.1; });
    // Paper that is not flat or not whole: curled, bent, rounded corners, a dog-ear.
    add("curl_barrel_1pc", Desk::Wood, Layout::Column, 12, 0.5,
        [](PhotoSpec& s) { s.curl = Curl::Barrel, s.bulge = 0.01; });
    add("curl_wave_2pc", Desk::Mid, Layout::TwoColumns, -6, 0.5,
        [](PhotoSpec& s) { s.curl = Curl::Wave, s.bulge = 0.02; });
    add("curl_across_05pc", Desk::Stone, Layout::Table, 24, 0.45,
        [](PhotoSpec& s) { s.curl = Curl::Barrel, s.bulge = 0.005, s.curlAcross = true; });
    add("rounded_corners", Desk::Dark, Layout::Table, -17, 0.5,
        [](PhotoSpec& s) { s.cornerRadius = 14; });
    add("dog_ear", Desk::Wood, Layout::Column, 9, 0.5, [](PhotoSpec& s) { s.dogEar = 0.1; });
    add("dog_ear_curl_15pc", Desk::Mid, Layout::GreyNotes, -3, 0.55, [](PhotoSpec& s) {
        s.dogEar = 0.15, s.curl = Curl::Wave, s.bulge = 0.01, s.cornerRadius = 6;
    });
    // A sharp-edged shadow across page and desk.
    add("hard_shadow_40", Desk::Dark, Layout::Column, 5, 0.5,
        [](PhotoSpec& s) { s.hardShadow = 0.4; });
    add("phone_shadow_55", Desk::Wood, Layout::TwoColumns, -11, 0.5,
        [](PhotoSpec& s) { s.hardShadow = 0.55, s.hardShadowBand = true; });
    add("hard_shadow_light_desk", Desk::Light, Layout::Table, 19, 0.45,
        [](PhotoSpec& s) { s.hardShadow = 0.35; });
    // Other paper with the page.
    add("page_under", Desk::Dark, Layout::Column, 8, 0.3,
        [](PhotoSpec& s) { s.company = Company::PageUnder; });
    add("page_beside", Desk::Wood, Layout::TwoColumns, -4, 0.28,
        [](PhotoSpec& s) { s.company = Company::PageBeside; });
    add("sticky_inside", Desk::Stone, Layout::GreyNotes, 15, 0.45,
        [](PhotoSpec& s) { s.company = Company::StickyInside; });
    add("sticky_overhang", Desk::Dark, Layout::Column, -9, 0.45,
        [](PhotoSpec& s) { s.company = Company::StickyOverhang; });
    add("book_cover_light", Desk::Light, Layout::Column, 4, 0.4,
        [](PhotoSpec& s) { s.company = Company::BookCover; });
    add("book_cover_wood", Desk::Wood, Layout::Table, -21, 0.4,
        [](PhotoSpec& s) { s.company = Company::BookCover; });
    // The page running out of the photo on one side.
    add("out_of_frame_15", Desk::Dark, Layout::Column, 6, 0.5,
        [](PhotoSpec& s) { s.outOfFrame = 0.15; });
    add("out_of_frame_25", Desk::Wood, Layout::TwoColumns, -13, 0.55,
        [](PhotoSpec& s) { s.outOfFrame = 0.25; });
    // A phone held 30 to 45 degrees from straight above: the far side 20 to 35% shorter.
    add("perspective_25", Desk::Dark, Layout::Column, 5, 0.45,
        [](PhotoSpec& s) { s.foreshorten = 0.25; });
    add("perspective_35", Desk::Wood, Layout::TwoColumns, -12, 0.45,
        [](PhotoSpec& s) { s.foreshorten = 0.35; });
    add("perspective_20_light", Desk::Light, Layout::Table, 28, 0.4,
        [](PhotoSpec& s) { s.foreshorten = 0.2; });
    // Small, heavily compressed, shaken.
    add("small_q45", Desk::Stone, Layout::Column, -8, 0.5,
        [](PhotoSpec& s) { s.photoScale = 2.0 / 3, s.quality = 45, s.noise = 4; });
    add("small_q55_motion", Desk::Dark, Layout::TwoColumns, 16, 0.5,
        [](PhotoSpec& s) { s.photoScale = 2.0 / 3, s.quality = 55, s.motion = 6; });
    add("small_q40_motion", Desk::Mid, Layout::GreyNotes, -2, 0.55,
        [](PhotoSpec& s) { s.photoScale = 2.0 / 3, s.quality = 40, s.motion = 4, s.noise = 4; });
    add("motion_10", Desk::Wood, Layout::Table, 31, 0.45,
        [](PhotoSpec& s) { s.motion = 10, s.quality = 70; });
    // Light: strong vignetting and a warm cast; a glossy highlight.
    add("vignette_warm", Desk::Dark, Layout::Column, -7, 0.55,
        [](PhotoSpec& s) { s.vignette = 0.55, s.warmth = 0.3; });
    add("vignette_warm_light", Desk::Light, Layout::TwoColumns, 11, 0.5,
        [](PhotoSpec& s) { s.vignette = 0.5, s.warmth = 0.35; });
    add("gloss", Desk::Dark, Layout::Table, 3, 0.5, [](PhotoSpec& s) { s.gloss = 0.9; });
    add("gloss_edge_warm", Desk::Wood, Layout::Column, -15, 0.5,
        [](PhotoSpec& s) { s.gloss = 0.95, s.glossAtEdge = true, s.warmth = 0.25; });
    // A book spread: two facing pages, a dark gutter between them, the cover around.
    add("spread_wood", Desk::Wood, Layout::Column, 4, 0.6, [](PhotoSpec& s) { s.spread = true; });
    add("spread_light", Desk::Light, Layout::TwoColumns, -9, 0.6,
        [](PhotoSpec& s) { s.spread = true, s.foreshorten = 0.1; });
    // Fingers holding the page down at one edge.
    add("thumb", Desk::Dark, Layout::Column, -5, 0.5, [](PhotoSpec& s) { s.fingers = 1; });
    add("two_fingers", Desk::Wood, Layout::TwoColumns, 14, 0.5,
        [](PhotoSpec& s) { s.fingers = 2; });
    add("thumb_white_desk", Desk::White, Layout::Table, 2, 0.5,
        [](PhotoSpec& s) { s.fingers = 1, s.contrast = 12, s.contactShadow = 0.08; });
    return cases;
}

const std::vector<HardCase>& HardCases() {
    static const std::vector<HardCase> cases = BuildHardCases();
    return cases;
}

}  // namespace

HardPhotoSet::HardPhotoSet(int width, int height, std::string cacheDir)
    : base_(width, height, std::move(cacheDir)) {}

int HardPhotoSet::Count() {
    return int(HardCases().size());
}

const PhotoSpec& HardPhotoSet::Spec(int index) {
    return HardCases().at(std::size_t(index)).spec;
}

std::string HardPhotoSet::Name(int index) {
    char name[64];
    std::snprintf(name, sizeof name, "h%02d_%s", index,
                  HardCases().at(std::size_t(index)).name.c_str());
    return name;
}

std::string HardPhotoSet::Labels(int index) {
    const PhotoSpec& s = Spec(index);
    std::ostringstream out;
    out << SpecLabels(s);
    out.setf(std::ios::fixed);
    out.precision(1);
    if (s.contrast > 0)
        out << " contrast" << s.contrast;
    if (s.curl != Curl::None)
        out << (s.curl == Curl::Barrel ? " barrel" : " wave") << s.bulge * 100
            << (s.curlAcross ? "across" : "");
    if (s.cornerRadius > 0)
        out << " radius" << s.cornerRadius;
    if (s.dogEar > 0)
        out << " dogear" << s.dogEar * 100;
    if (s.hardShadow > 0)
        out << (s.hardShadowBand ? " phoneshadow" : " hardshadow") << s.hardShadow * 100;
    constexpr const char* company[] = {"",         " +pageunder",  " +pagebeside",
                                       " +sticky", " +stickyover", " +cover"};
    out << company[int(s.company)];
    if (s.outOfFrame > 0)
        out << " out" << s.outOfFrame * 100;
    if (s.foreshorten > 0)
        out << " foreshorten" << s.foreshorten * 100;
    if (s.photoScale != 1)
        out << " scale" << s.photoScale;
    if (s.motion > 0)
        out << " motion" << s.motion;
    if (s.vignette > 0)
        out << " vignette" << s.vignette * 100;
    if (s.warmth > 0)
        out << " warm" << s.warmth * 100;
    if (s.gloss > 0)
        out << (s.glossAtEdge ? " glossedge" : " gloss") << s.gloss * 100;
    if (s.spread)
        out << " spread";
    if (s.fingers > 0)
        out << " fingers" << s.fingers;
    return out.str();
}

Photo HardPhotoSet::Make(int index) const {
    Photo photo = base_.Render(Spec(index), index);
    photo.name = Name(index);
    photo.labels = Labels(index);
    return photo;
}

}  // namespace imgdesk::test
