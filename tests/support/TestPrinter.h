#pragma once

// A real IPP printer for the print tests: CUPS's ippeveprinter on a free loopback port, keeping
// every document it receives in a spool folder. Stopped when the object goes.
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace imgdesk::test {

// One page of a PWG raster document as the printer received it.
struct RasterPage {
    unsigned width = 0;
    unsigned height = 0;
    unsigned dpi = 0;
    unsigned bitsPerPixel = 0;
    std::vector<unsigned char> pixels;  // rows of width * bitsPerPixel / 8 bytes

    unsigned char At(unsigned x, unsigned y) const;  // 8-bit pages: the byte at (x, y)
};

class TestPrinter {
public:
    static bool Installed();

    TestPrinter();
    ~TestPrinter();
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

    // Starts the printer and waits (bounded) until it answers; false with a reason otherwise.
    bool Start(std::string* why);
    std::string Uri() const;
    // The documents received so far, and the pages of one of them.
    std::vector<std::string> Documents() const;
    static std::vector<RasterPage> ReadPages(const std::string& document);

private:
    TempDir folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace imgdesk::test
