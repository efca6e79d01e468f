#include "support/TextPage.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace imgdesk::test {
namespace {

const char* const kLines[] = {
    "Every morning the archivist opens the reading room,",
    "sets out the boxes that visitors asked for, and checks",
    "that the camera above the desk is level and in focus.",
    "A page laid under it is photographed in a moment, then",
    "found on the dark desk, straightened and cut out, and",
    "bound with the other pages into a single document.",
    "Some pages are placed sideways or upside down by tired",
    "hands late in the afternoon, and they must still come",
    "out upright without anyone turning them by hand again.",
    "The words on every page are read as well, so that the",
    "finished file can be searched for a name, a date or a",
    "street, and any sentence can be copied into a letter.",
    "Nothing about the paper itself is changed: the picture",
    "stays exactly as the camera saw it, under its words.",
};
constexpr double kPageWidth = 419.53, kPageHeight = 595.28;  // A5 in points
constexpr double kFontSize = 12, kLeading = 17;

std::string PagePdf() {
    std::ostringstream text;
    text << "BT /F1 " << kFontSize << " Tf " << kLeading << " TL 42 540 Td\n";
    for (const char* line : kLines)
        text << '(' << line << ") Tj T*\n";
    text << "ET\n";
    const std::string content = text.str();
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 419.53 595.28] /Resources << /Font << /F1 "
        "5 0 R >> >> /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < std::size(objects); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

GreyImage ReadPgm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    GreyImage image;
    in >> magic >> image.width >> image.height >> maximum;
    in.get();
    if (magic != "P5" || maximum != 255 || image.width < 1 || image.height < 1)
        throw std::runtime_error("cannot read " + path);
    image.levels.resize(size_t(image.width) * image.height);
    in.read(reinterpret_cast<char*>(image.levels.data()), std::streamsize(image.levels.size()));
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return image;
}

std::vector<std::string> Split(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

}  // namespace

const std::vector<std::string>& TextPageWords() {
    static const std::vector<std::string> words = [] {
        std::string all;
        for (const char* line : kLines)
            all += std::string(line) + ' ';
        return Split(all);
    }();
    return words;
}

GreyImage RenderTextPage(int dpi) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("imgdesk-textpage-" + std::to_string(::getpid()) + "-" + std::to_string(dpi));
    std::filesystem::create_directories(folder);
    const std::string pdf = (folder / "page.pdf").string(), stem = (folder / "page").string();
    std::ofstream(pdf, std::ios::binary) << PagePdf();
    const std::string command = "pdftoppm -r " + std::to_string(dpi) + " -gray -singlefile '" +
                                pdf + "' '" + stem + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    GreyImage page;
    try {
        if (status != 0)
            throw std::runtime_error(
                "pdftoppm failed (scripts/install-deps.sh installs poppler-utils)");
        page = ReadPgm(stem + ".pgm");
    } catch (...) {
        std::filesystem::remove_all(folder);
        throw;
    }
    std::filesystem::remove_all(folder);
    return page;
}

GreyImage PhotographTurned(const GreyImage& page, double degrees) {
    const double diagonal = std::hypot(page.width, page.height);
    GreyImage photo;
    photo.width = photo.height = int(diagonal * 1.1);
    photo.levels.assign(size_t(photo.width) * photo.height, 0);
    const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
    const double cx = photo.width / 2.0, cy = photo.height / 2.0;
    for (int y = 0; y < photo.height; ++y) {
        for (int x = 0; x < photo.width; ++x) {
            // A turn counter-clockwise as displayed (y down): the page point under this pixel.
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double u = c * dx - s * dy + page.width / 2.0 - 0.5;
            const double v = s * dx + c * dy + page.height / 2.0 - 0.5;
            // A desk of dark grey with a faint grain, so that it is not a flat fill.
            double level = 38 + ((x * 7 + y * 13) % 11);
            if (u >= 0 && v >= 0 && u <= page.width - 1 && v <= page.height - 1) {
                const int u0 = std::min(int(u), page.width - 2),
                          v0 = std::min(int(v), page.height - 2);
                const double fu = u - u0, fv = v - v0;
                level = (1 - fv) * ((1 - fu) * page.At(u0, v0) + fu * page.At(u0 + 1, v0)) +
                        fv * ((1 - fu) * page.At(u0, v0 + 1) + fu * page.At(u0 + 1, v0 + 1));
                level = 25 + level * 0.85;  // paper a little below white, as a camera sees it
            }
            photo.levels[size_t(y) * photo.width + x] =
                static_cast<unsigned char>(std::lround(level));
        }
    }
    return photo;
}

GreyImage TurnQuarters(const GreyImage& picture, int quarters) {
    quarters &= 3;
    GreyImage turned;
    turned.width = quarters % 2 ? picture.height : picture.width;
    turned.height = quarters % 2 ? picture.width : picture.height;
    turned.levels.resize(picture.levels.size());
    const int w = picture.width, h = picture.height;
    for (int y = 0; y < turned.height; ++y)
        for (int x = 0; x < turned.width; ++x) {
            const int sx = quarters == 0   ? x
                           : quarters == 1 ? y
                           : quarters == 2 ? w - 1 - x
                                           : w - 1 - y;
            const int sy = quarters == 0   ? y
                           : quarters == 1 ? h - 1 - x
                           : quarters == 2 ? h - 1 - y
                                           : x;
            turned.levels[size_t(y) * turned.width + x] = picture.At(sx, sy);
        }
    return turned;
}

bool WriteBmp(const GreyImage& picture, const std::string& path) {
    const int stride = (picture.width * 3 + 3) / 4 * 4;
    const unsigned imageSize = unsigned(stride) * picture.height, fileSize = 54 + imageSize;
    unsigned char header[54] = {'B', 'M'};
    auto put32 = [&](int at, unsigned value) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put32(2, fileSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, unsigned(picture.width));
    put32(22, unsigned(picture.height));
    header[26] = 1;
    header[28] = 24;
    put32(34, imageSize);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<char> row(size_t(stride), 0);
    for (int y = picture.height - 1; y >= 0; --y) {  // bottom-up
        for (int x = 0; x < picture.width; ++x)
            row[size_t(x) * 3] = row[size_t(x) * 3 + 1] = row[size_t(x) * 3 + 2] =
                static_cast<char>(picture.At(x, y));
        out.write(row.data(), stride);
    }
    return bool(out);
}

double WordRecall(const std::string& text) {
    const std::vector<std::string>& truth = TextPageWords();
    const std::vector<std::string> found = Split(text);
    std::vector<int> previous(found.size() + 1, 0), current(found.size() + 1, 0);
    for (const std::string& word : truth) {
        for (size_t j = 1; j <= found.size(); ++j)
            current[j] =
                word == found[j - 1] ? previous[j - 1] + 1 : std::max(previous[j], current[j - 1]);
        std::swap(previous, current);
    }
    return double(previous[found.size()]) / truth.size();
}

}  // namespace imgdesk::test
