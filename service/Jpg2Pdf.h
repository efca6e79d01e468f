#pragma once

// A PDF writer that turns JPEG files into pages without decoding them: each JPEG is embedded
// byte for byte as a DCTDecode image that fills its own page.
//
// Drive it in this order: Reset; CreatePdfFile; for each page SetPaperSize then AddPage; then
// AddCatalog, AddPages, AddCrossReferenceTable and AddTrailer with the stream CreatePdfFile
// returned. AddTrailer closes that stream. Zero pages give a valid, empty document. The stream
// must be written by the writer alone between CreatePdfFile and AddTrailer.
//
// Page box: the pixel size given to SetPaperSize at the JPEG's own resolution (JFIF density, else
// the EXIF resolution), else at 72 dpi, so that a page measures its pixel count in points: an
// 800 x 600 picture without a resolution gives an 800 x 600 page. SetPageBox names the next
// page's box in points instead, whatever the picture says.
//
// Pages can also come from pixels: black and white as a 1-bit image compressed with CCITT Group 4
// (lossless, a few kilobytes a page), grey and colour JPEG-encoded at a chosen quality.
//
// A page can carry an invisible text layer (the text recognised on it) over its picture: each
// word set in Helvetica with text render mode 3 (neither filled nor stroked) on its line's
// baseline, squeezed or stretched to span its box, so that viewers select, search and copy it and
// text extraction returns it. The font takes the Windows Latin 1 character set; characters outside
// it are written as '?'.
#include <cstdio>
#include <string>

#include "module/Export.h"

// One word of a page's text layer, in the pixels of the page's picture as displayed: x to the
// right, y down from the top row.
struct PdfTextWord {
    const char* text;  // UTF-8
    double left;       // where the word starts and ends
    double right;
    double baseline;  // the y of the baseline it sits on
    double size;      // the font size: its line's height
};

class IMGDESK_API CJpg2Pdf {
public:
    CJpg2Pdf() = default;
    ~CJpg2Pdf();
    CJpg2Pdf(const CJpg2Pdf&) = delete;
    CJpg2Pdf& operator=(const CJpg2Pdf&) = delete;

    // Forgets the pages of any earlier document, ready for CreatePdfFile.
    void Reset();
    // Creates (or truncates) the file and writes the PDF header; the stream, open for writing, or
    // null when the file cannot be created or written (nothing is left on disk then).
    FILE* CreatePdfFile(const wchar_t* path);
    // The pixel size of the next page; 0 by 0 takes the JPEG's own size.
    void SetPaperSize(unsigned long width, unsigned long height);
    // Embeds the JPEG read from jpeg (from its current position to its end; the caller opened and
    // closes it) as the next page. 1 on success; 0 when the JPEG cannot be read or is not an
    // 8-bit baseline, extended or progressive JPEG of 1, 3 or 4 components, when memory is short
    // or when the PDF cannot be written. The page is not counted then.
    int AddPage(FILE* pdf, FILE* jpeg);
    // The next page's box in points (1/72 inch), used by the next page added of any kind and
    // then forgotten; 0 by 0 (or a size that is not positive) forgets it at once.
    void SetPageBox(double widthPoints, double heightPoints);
    // The invisible text layer of the next page added of any kind, then forgotten: count words
    // that must stay valid until that page is added. Words without text or with an empty box are
    // left out; null or a count below 1 forgets it at once.
    void SetPageText(const PdfTextWord* words, int count);
    // Adds a black-and-white page from 8-bit pixels (0 black, any other level white): bottom-up
    // rows stride bytes apart, as for CDataHandler. Stored as a 1-bit image with CCITT Group 4.
    // Without a page box the page measures its pixel count in points. 1 on success; 0 for a null
    // buffer, a size below 1 x 1, a stride shorter than a row, when memory is short or when the PDF
    // cannot be written. The page is not counted then.
    int AddBilevelPage(FILE* pdf, const unsigned char* pixels, int width, int height, int stride);
    // Adds a grey (bits 8: the levels themselves) or colour (bits 24: blue, green, red) page from
    // bottom-up rows stride bytes apart, JPEG-encoded at quality (0 to 100). Refusals as for
    // AddBilevelPage, and also for other bit counts or qualities.
    int AddPixelPage(FILE* pdf, const unsigned char* pixels, int width, int height, int bits,
                     int stride, int quality);
    // The document catalog and the page tree; 1 on success, 0 when the PDF cannot be written.
    int AddCatalog(FILE* pdf);
    int AddPages(FILE* pdf);
    // The cross-reference table of every object written; 1 on success, 0 on a write error.
    int AddCrossReferenceTable(FILE* pdf);
    // The trailer and end-of-file marker; flushes the file to disk and closes pdf on every path. 1
    // when the file was written and closed without error. When any write of the document failed
    // (a full disk, say), the file is deleted and the result is 0: a document that is not whole
    // never stands under its name.
    int AddTrailer(FILE* pdf);

private:
    bool Write(FILE* pdf, const void* bytes, size_t size);
    bool Print(FILE* pdf, const char* format, ...);
    bool BeginObject(FILE* pdf, int number);
    bool ReserveObjects(int count);
    // Writes the image, its drawing and its page; attributes go into the image dictionary between
    // its size and its length.
    int WriteImagePage(FILE* pdf, int width, int height, const char* attributes,
                       const unsigned char* data, size_t size, double pointsX, double pointsY);
    // The page's text layer drawn over a picture of width x height pixels on a page of pointsX x
    // pointsY; empty without words.
    bool TextLayer(int width, int height, double pointsX, double pointsY, std::string& layer) const;
    // The objects a page of any kind needs: three, and the font's before the first text page.
    bool ReservePageObjects();
    int PageObject(int index) const;

    long long* offsets_ = nullptr;  // byte offset of each page object, from object 3 on
    int capacity_ = 0;              // entries in offsets_
    long long catalogOffset_ = 0;   // object 1
    long long pagesOffset_ = 0;     // object 2
    int objects_ = 2;               // highest object number in use: 1 catalog, 2 page tree
    int pages_ = 0;
    long long position_ = 0;  // bytes written to the file so far
    long long xrefOffset_ = 0;
    unsigned long paperWidth_ = 0;
    unsigned long paperHeight_ = 0;
    double boxWidth_ = 0;  // points; 0: none given
    double boxHeight_ = 0;
    bool writeFailed_ = false;            // any write since CreatePdfFile
    std::wstring path_;                   // the file CreatePdfFile made
    const PdfTextWord* words_ = nullptr;  // the next page's text layer
    int wordCount_ = 0;
    int fontObject_ = 0;       // the text layer's font, written before the first page with text
    int pagesBeforeFont_ = 0;  // pages written before it: their objects are a step lower
};
