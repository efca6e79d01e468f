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
// 800 x 600 picture without a resolution gives an 800 x 600 page.
#include <cstdio>
#include <string>

#include "module/Export.h"

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
    bool writeFailed_ = false;  // any write since CreatePdfFile
    std::wstring path_;         // the file CreatePdfFile made
};
