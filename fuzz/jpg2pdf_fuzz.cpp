// Hands arbitrary bytes to the PDF writer as a JPEG page: its marker scan (frame header, JFIF,
// EXIF, Adobe) must refuse or accept every input without reading outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "service/CoreKit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::FILE* sink = std::fopen("/dev/null", "wb");
    if (!sink || size == 0)
        return 0;
    std::FILE* jpeg = ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!jpeg)
        return 0;
    CJpg2Pdf writer;
    writer.Reset();
    writer.SetPaperSize(static_cast<unsigned long>(size), 7);
    writer.AddPage(sink, jpeg);
    std::fclose(jpeg);
    return 0;
}
