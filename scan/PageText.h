#pragma once

// The text of a page: its words with their boxes and confidences, and the quarter or half turn
// that makes it upright.
//
// Recognition is Tesseract's (linked with the library). Its language data is read only when a page
// is first recognised on a thread, and that engine is kept for the thread's later calls with the
// same languages and data folder; the library works without any language data installed, and
// the calls here then say NotAvailable. Orientation detection needs Tesseract's "osd" data.
//
// The library itself starts no threads, but Debian's Tesseract runs OpenMP teams inside a call.
// A host that reads pages on several threads of its own should start with OMP_THREAD_LIMIT=1 in
// its environment (the imgdesk tool does so), or each page spreads over every core.
//
// Pixel buffers are laid out as for CDataHandler: bottom-up rows of 8 (palette), 24 or 32 bits per
// pixel at the platform's row stride. Coordinates are page pixels as displayed: x to the right, y
// down from the top row; a box covers [left, right) x [top, bottom).
#include "module/Export.h"
#include "platform/WinTypes.h"

namespace imgdesk {

enum class PageTextStatus : int {
    Done = 0,
    BadInput = 1,      // null buffer, size below 1 x 1, bits other than 8, 24 or 32, 8 bits
                       // without a palette, or a language list that names nothing
    NotAvailable = 2,  // the language data asked for (or "osd") is not installed
    OutOfMemory = 3,
    Failed = 4,  // the engine could not read the page
};

struct PageTextOptions {
    // Tesseract languages joined by '+' ("eng", "eng+deu").
    const char* languages = "eng";
    // The folder holding the .traineddata files; null for $TESSDATA_PREFIX, else Tesseract's own.
    const char* dataFolder = nullptr;
    // The page's resolution in pixels per inch, 0 when unknown (Tesseract then estimates it).
    int dpi = 0;
};

struct PageWord {
    const char* text = nullptr;  // UTF-8, inside PageText::text
    int left = 0, top = 0, right = 0, bottom = 0;
    // The box of the word's text line, top and bottom, and the line's baseline below the word's
    // middle (a y coordinate): where a text layer sets the word.
    int lineTop = 0, lineBottom = 0;
    double baseline = 0;
    float confidence = 0;  // 0 to 100
    int line = 0;          // the word's text line, counted from 0 in reading order
};

struct PageText {
    PageWord* words = nullptr;  // NewMem block of count words in reading order
    int count = 0;
    char* text = nullptr;  // NewMem block of the words' texts, each ending in a zero byte
};

// Releases both blocks of text and empties it.
IMGDESK_API void ReleasePageText(PageText& text);

// Recognises the page (width x height at bits; palette: 256 entries, needed for 8 bits) and
// replaces what text held, without releasing it, by its words. A page without words gives Done
// and count 0 (null blocks). On any other status text is left untouched.
IMGDESK_API PageTextStatus RecognisePage(const unsigned char* pixels, int width, int height,
                                         int bits, const tagRGBQUAD* palette, PageText& text,
                                         const PageTextOptions& options = PageTextOptions());

// The turn, clockwise as displayed, that makes a page upright.
enum class UprightTurn : int {
    Upright = 0,           // upright already
    QuarterClockwise = 1,  // the page lies turned a quarter counter-clockwise
    Half = 2,              // upside down
    QuarterCounterClockwise = 3,
    NotSure = -1,  // too little text to tell: leave the page as it is
};

struct PageTurn {
    UprightTurn turn = UprightTurn::NotSure;
    // Tesseract's orientation confidence: how much better the best turn scored than the next.
    float confidence = 0;
};

// Finds how the page is turned from the shapes of its characters (options.languages is not used;
// the "osd" data of options.dataFolder is). A turn is reported only when its confidence reaches
// minConfidence, else NotSure; a page without enough characters is NotSure with confidence 0.
// Returns Done with the result in turn; on any other status turn is left untouched.
IMGDESK_API PageTextStatus DetectUprightTurn(const unsigned char* pixels, int width, int height,
                                             int bits, const tagRGBQUAD* palette, PageTurn& turn,
                                             const PageTextOptions& options = PageTextOptions(),
                                             double minConfidence = 10.0);

// A short English phrase for a status, for messages ("no language data installed for it").
IMGDESK_API const char* DescribePageTextStatus(PageTextStatus status);

}  // namespace imgdesk
