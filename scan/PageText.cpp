#include "scan/PageText.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "pixel/internal/PixelLayout.h"
#include "scan/internal/PictureInput.h"
#include "service/CoreKit.h"

namespace imgdesk {
namespace {

using pixel::RowStride;

using scan::Allocate;
using scan::Mem;

// The page's grey levels, top row first and rows width bytes apart, as the engine takes them.
Mem<unsigned char> TopDownGrey(const unsigned char* pixels, int width, int height, int bits,
                               const tagRGBQUAD* palette) {
    Mem<unsigned char> grey = Allocate<unsigned char>(static_cast<long long>(width) * height);
    if (!grey)
        return grey;
    unsigned char levels[256];
    auto luma = [](int r, int g, int b) {
        return static_cast<unsigned char>((299 * r + 587 * g + 114 * b + 500) / 1000);
    };
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            levels[i] = luma(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    const int stride = RowStride(width, bits), step = bits / 8;
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + static_cast<long long>(height - 1 - y) * stride;
        unsigned char* out = grey.get() + static_cast<long long>(y) * width;
        if (bits == 8) {
            for (int x = 0; x < width; ++x)
                out[x] = levels[in[x]];
        } else {
            for (int x = 0; x < width; ++x, in += step)
                out[x] = luma(in[2], in[1], in[0]);
        }
    }
    return grey;
}

// One engine per thread and language set, made on first use: loading the language data takes
// longer than reading a page.
struct Engine {
    std::string key;
    std::unique_ptr<tesseract::TessBaseAPI> api;
};

// Whether every language asked for was loaded: the engine carries on with those it found.
bool LoadedAll(tesseract::TessBaseAPI& api, const char* languages) {
    std::vector<std::string> loaded;
    api.GetLoadedLanguagesAsVector(&loaded);
    std::string name;
    for (const char* c = languages;; ++c) {
        if (*c && *c != '+') {
            name.push_back(*c);
            continue;
        }
        if (!name.empty() && name[0] != '~' &&
            std::find(loaded.begin(), loaded.end(), name) == loaded.end())
            return false;
        name.clear();
        if (!*c)
            return true;
    }
}

// The engine for languages in dataFolder, or null when the data cannot be loaded. The engine's
// messages (missing files, resolution guesses) are kept off the host's standard error.
tesseract::TessBaseAPI* EngineFor(Engine& engine, const char* languages, const char* dataFolder) {
    std::string key = std::string(dataFolder ? dataFolder : "") + '\n' + languages;
    if (engine.api && engine.key == key)
        return engine.api.get();
    engine.api.reset();
    engine.key.clear();
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    const std::vector<std::string> names = {"debug_file"}, values = {"/dev/null"};
    if (api->Init(dataFolder, languages, tesseract::OEM_DEFAULT, nullptr, 0, &names, &values,
                  false) != 0 ||
        !LoadedAll(*api, languages))
        return nullptr;
    engine.api = std::move(api);
    engine.key = std::move(key);
    return engine.api.get();
}

bool NamesALanguage(const char* languages) {
    if (!languages)
        return false;
    for (const char* c = languages; *c; ++c)
        if (*c != '+' && *c != ' ')
            return true;
    return false;
}

struct TesseractText {
    void operator()(char* text) const { delete[] text; }
};

struct FoundWord {
    PageWord word;
    size_t textAt = 0;
};

// The y of the line through (x1, y1) and (x2, y2) at x.
double LineAt(int x1, int y1, int x2, int y2, double x) {
    return x2 == x1 ? y1 : y1 + (y2 - y1) * (x - x1) / double(x2 - x1);
}

PageTextStatus CollectWords(tesseract::TessBaseAPI& api, PageText& text) {
    std::vector<FoundWord> found;
    std::string texts;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    int line = -1;
    int lineTop = 0, lineBottom = 0, lineLeft = 0, lineRight = 0;
    int baseX1 = 0, baseY1 = 0, baseX2 = 0, baseY2 = 0;
    bool baseline = false;
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_WORD))
                continue;
            if (line < 0 || it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                ++line;
                it->BoundingBox(tesseract::RIL_TEXTLINE, &lineLeft, &lineTop, &lineRight,
                                &lineBottom);
                baseline =
                    it->Baseline(tesseract::RIL_TEXTLINE, &baseX1, &baseY1, &baseX2, &baseY2);
            }
            const std::unique_ptr<char[], TesseractText> utf8(it->GetUTF8Text(tesseract::RIL_WORD));
            if (!utf8 || !utf8[0])
                continue;
            FoundWord w;
            it->BoundingBox(tesseract::RIL_WORD, &w.word.left, &w.word.top, &w.word.right,
                            &w.word.bottom);
            w.word.lineTop = lineTop;
            w.word.lineBottom = lineBottom;
            const double middle = 0.5 * (w.word.left + w.word.right);
            w.word.baseline =
                baseline ? LineAt(baseX1, baseY1, baseX2, baseY2, middle) : w.word.bottom;
            w.word.confidence = it->Confidence(tesseract::RIL_WORD);
            w.word.line = line;
            w.textAt = texts.size();
            texts.append(utf8.get());
            texts.push_back('\0');
            found.push_back(w);
        } while (it->Next(tesseract::RIL_WORD));
    }
    if (found.empty()) {
        text = PageText();
        return PageTextStatus::Done;
    }
    Mem<PageWord> words = Allocate<PageWord>(static_cast<long long>(found.size()));
    Mem<char> block = words ? Allocate<char>(static_cast<long long>(texts.size())) : Mem<char>();
    if (!words || !block)
        return PageTextStatus::OutOfMemory;
    std::memcpy(block.get(), texts.data(), texts.size());
    for (size_t i = 0; i < found.size(); ++i) {
        words[i] = found[i].word;
        words[i].text = block.get() + found[i].textAt;
    }
    text.words = words.release();
    text.text = block.release();
    text.count = static_cast<int>(found.size());
    return PageTextStatus::Done;
}

thread_local Engine recogniser;
thread_local Engine orienter;

}  // namespace

void ReleasePageText(PageText& text) {
    DelMem(text.words);
    DelMem(text.text);
    text = PageText();
}

PageTextStatus RecognisePage(const unsigned char* pixels, int width, int height, int bits,
                             const tagRGBQUAD* palette, PageText& text,
                             const PageTextOptions& options) {
    if (!scan::IsUsablePicture(pixels, width, height, bits, palette) ||
        !NamesALanguage(options.languages) || options.dpi < 0)
        return PageTextStatus::BadInput;
    try {
        Mem<unsigned char> grey = TopDownGrey(pixels, width, height, bits, palette);
        if (!grey)
            return PageTextStatus::OutOfMemory;
        tesseract::TessBaseAPI* api = EngineFor(recogniser, options.languages, options.dataFolder);
        if (!api)
            return PageTextStatus::NotAvailable;
        api->SetPageSegMode(tesseract::PSM_AUTO);
        api->SetImage(grey.get(), width, height, 1, width);
        if (options.dpi > 0)
            api->SetSourceResolution(options.dpi);
        const bool read = api->Recognize(nullptr) == 0;
        const PageTextStatus status = read ? CollectWords(*api, text) : PageTextStatus::Failed;
        api->Clear();
        return status;
    } catch (const std::bad_alloc&) {
        return PageTextStatus::OutOfMemory;
    }
}

PageTextStatus DetectUprightTurn(const unsigned char* pixels, int width, int height, int bits,
                                 const tagRGBQUAD* palette, PageTurn& turn,
                                 const PageTextOptions& options, double minConfidence) {
    if (!scan::IsUsablePicture(pixels, width, height, bits, palette) || options.dpi < 0)
        return PageTextStatus::BadInput;
    try {
        Mem<unsigned char> grey = TopDownGrey(pixels, width, height, bits, palette);
        if (!grey)
            return PageTextStatus::OutOfMemory;
        tesseract::TessBaseAPI* api = EngineFor(orienter, "osd", options.dataFolder);
        if (!api)
            return PageTextStatus::NotAvailable;
        api->SetPageSegMode(tesseract::PSM_OSD_ONLY);
        api->SetImage(grey.get(), width, height, 1, width);
        if (options.dpi > 0)
            api->SetSourceResolution(options.dpi);
        int degrees = 0;
        float confidence = 0, scriptConfidence = 0;
        const char* script = nullptr;
        PageTurn found;
        // The engine names the page's turn counter-clockwise; the cure turns it back.
        if (api->DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence)) {
            found.confidence = confidence;
            if (confidence >= minConfidence)
                found.turn = static_cast<UprightTurn>(((360 - degrees) % 360) / 90);
        }
        api->Clear();
        turn = found;
        return PageTextStatus::Done;
    } catch (const std::bad_alloc&) {
        return PageTextStatus::OutOfMemory;
    }
}

const char* DescribePageTextStatus(PageTextStatus status) {
    switch (status) {
        case PageTextStatus::Done:
            return "done";
        case PageTextStatus::BadInput:
            return "not a page the text reader takes";
        case PageTextStatus::NotAvailable:
            return "no Tesseract language data installed for it";
        case PageTextStatus::OutOfMemory:
            return "out of memory";
        case PageTextStatus::Failed:
            return "the text reader could not read the page";
    }
    return "unknown";
}

}  // namespace imgdesk
