// Colour-mode conversions: palette expansion, grey, black and white, negative, relief, sharpen.
// Each writes a converted copy into a caller-owned destination. "Clear, then write" is done row by
// row: every pixel byte is written and the padding set to 0, which leaves the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "pixel/DataHandler.h"
#include "pixel/internal/ByteTable.h"
#include "pixel/internal/PixelLayout.h"

namespace imgdesk::pixel {
namespace {

// 0.3 red + 0.59 green + 0.11 blue in double precision, summed as (green + red) + blue and
// truncated: the reference definition of a grey level.
inline int GreyLevelExact(int blue, int green, int red) {
    return static_cast<int>(green * 0.59 + red * 0.3 + blue * 0.11);
}

// The same grey level, mostly in integers. The double sum lies within 1e-12 of the exact value
// (59 green + 30 red + 11 blue) / 100, whose fraction is at least 0.01 unless the numerator is a
// multiple of 100; only then can rounding push the sum below a whole number, so only then is the
// double sum formed.
inline int GreyLevel(int blue, int green, int red) {
    const int hundredths = 59 * green + 30 * red + 11 * blue;
    const int level = hundredths / 100;
    return level * 100 != hundredths ? level : GreyLevelExact(blue, green, red);
}

ByteTable PaletteGreyTable(const tagRGBQUAD* palette) {
    ByteTable table{};
    for (int i = 0; i < 256; ++i) {
        table[i] = static_cast<unsigned char>(
            GreyLevelExact(palette[i].rgbBlue, palette[i].rgbGreen, palette[i].rgbRed));
    }
    return table;
}

#if defined(__x86_64__) || defined(__i386__)
// 59 green + 30 red + 11 blue of the four pixels a 16-byte load starts with, in 32-bit lanes.
__attribute__((target("ssse3"))) inline __m128i Numerators(const unsigned char* pixels,
                                                           __m128i pickBlueRed, __m128i pickGreen) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    return _mm_add_epi32(
        _mm_madd_epi16(_mm_shuffle_epi8(p, pickBlueRed), _mm_set1_epi32(11 | 30 << 16)),
        _mm_madd_epi16(_mm_shuffle_epi8(p, pickGreen), _mm_set1_epi32(59)));
}

// Grey levels of the leading pixels of a row of 24- or 32-bit pixels, eight at a time; returns
// how many pixels it did. The integer numerator 59 green + 30 red + 11 blue (at most 25500) is
// divided by 100 as (numerator x 41944) >> 22, exact in that range; lanes whose numerator is a
// multiple of 100 are redone with the double sum, as in GreyLevel.
__attribute__((target("ssse3"))) int GreyLevelsSsse3(const unsigned char* in, int width,
                                                     int bytesPerPixel, unsigned char* out) {
    const int b = bytesPerPixel;
    alignas(16) signed char blueRed[16];
    alignas(16) signed char green[16];
    for (int k = 0; k < 4; ++k) {
        const signed char at = static_cast<signed char>(b * k);
        const signed char none = -128;  // a byte of 0
        const signed char br[4] = {at, none, static_cast<signed char>(at + 2), none};
        const signed char g[4] = {static_cast<signed char>(at + 1), none, none, none};
        std::memcpy(blueRed + 4 * k, br, 4);
        std::memcpy(green + 4 * k, g, 4);
    }
    const __m128i pickBlueRed = _mm_load_si128(reinterpret_cast<const __m128i*>(blueRed));
    const __m128i pickGreen = _mm_load_si128(reinterpret_cast<const __m128i*>(green));
    const __m128i hundred = _mm_set1_epi16(100);
    const __m128i reciprocal = _mm_set1_epi16(static_cast<short>(41944));
    int x = 0;
    // Each load reads 16 bytes from the start of a group of four pixels: stay inside the row.
    for (; (x + 4) * b + 16 <= width * b; x += 8) {
        const __m128i numerator =
            _mm_packs_epi32(Numerators(in + x * b, pickBlueRed, pickGreen),
                            Numerators(in + (x + 4) * b, pickBlueRed, pickGreen));
        const __m128i level = _mm_srli_epi16(_mm_mulhi_epu16(numerator, reciprocal), 6);
        const int whole =
            _mm_movemask_epi8(_mm_cmpeq_epi16(numerator, _mm_mullo_epi16(level, hundred)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(level, level));
        for (int lane = 0; whole && lane < 8; ++lane) {
            if (whole >> (2 * lane) & 1) {
                const unsigned char* p = in + (x + lane) * b;
                out[x + lane] = static_cast<unsigned char>(GreyLevelExact(p[0], p[1], p[2]));
            }
        }
    }
    return x;
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#else
int GreyLevelsSsse3(const unsigned char*, int, int, unsigned char*) {
    return 0;
}
bool HasSsse3() {
    return false;
}
#endif

// Calls writeRow(in, out) for rows 0 .. rows - 1 of a source and a destination, each with its own
// stride; after each row the destination's bytes from outRowBytes up to its stride (the padding)
// become 0.
template <typename WriteRow>
void WriteRows(const unsigned char* source, int sourceStride, unsigned char* destination,
               int destinationStride, int outRowBytes, int rows, WriteRow writeRow) {
    for (int y = 0; y < rows; ++y) {
        const unsigned char* in = source + static_cast<std::ptrdiff_t>(y) * sourceStride;
        unsigned char* out = destination + static_cast<std::ptrdiff_t>(y) * destinationStride;
        writeRow(in, out);
        std::memset(out + outRowBytes, 0, destinationStride - outRowBytes);
    }
}

// The rows of a filter that compares each byte with a neighbour pixel: the first pixel of a row
// has none and becomes 0, every later byte i of a row becomes byteValue(in, i).
template <typename ByteValue>
void WriteNeighbourRows(const unsigned char* source, int width, int rows, int bitsPerPixel,
                        unsigned char* destination, ByteValue byteValue) {
    const int stride = RowStride(width, bitsPerPixel);
    const int rowBytes = RowBytes(width, bitsPerPixel);
    const int bytesPerPixel = bitsPerPixel / 8;
    WriteRows(source, stride, destination, stride, rowBytes, rows,
              [&](const unsigned char* in, unsigned char* out) {
                  std::memset(out, 0, bytesPerPixel);
                  for (int i = bytesPerPixel; i < rowBytes; ++i)
                      out[i] = byteValue(in, i);
              });
}

// Writes the grey level of every pixel, mapped through levelMap, into a grey buffer of the given
// destination stride; padding bytes become 0. An 8-bit source without palette has grey level 0.
void WriteGreyRows(const unsigned char* source, int width, int height, int bitsPerPixel,
                   const tagRGBQUAD* palette, unsigned char* destination, int destinationStride,
                   const ByteTable* levelMap) {
    const int sourceStride = RowStride(width, bitsPerPixel);
    ByteTable table{};
    if (bitsPerPixel == 8) {
        if (palette)
            table = PaletteGreyTable(palette);
        if (levelMap)
            for (int v = 0; v < 256; ++v)
                table[v] = (*levelMap)[table[v]];
    }
    const int bytesPerPixel = bitsPerPixel / 8;
    const bool vector = bitsPerPixel != 8 && HasSsse3();
    WriteRows(source, sourceStride, destination, destinationStride, width, height,
              [&](const unsigned char* in, unsigned char* out) {
                  if (bitsPerPixel == 8) {
                      for (int x = 0; x < width; ++x)
                          out[x] = table[in[x]];
                      return;
                  }
                  int x = vector ? GreyLevelsSsse3(in, width, bytesPerPixel, out) : 0;
                  for (; x < width; ++x) {
                      const unsigned char* p = in + x * bytesPerPixel;
                      out[x] = static_cast<unsigned char>(GreyLevel(p[0], p[1], p[2]));
                  }
                  if (levelMap)
                      ApplyByteTable(out, width, *levelMap);
              });
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::GreyScaleToColour24(unsigned char* source, int width, int height,
                                      int bitsPerPixel, tagRGBQUAD* palette,
                                      unsigned char* destination) {
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    const int sourceStride = RowStride(width, bitsPerPixel);
    const int destinationStride = RowStride(width, 24);
    // Without the palette an 8-bit picture has no colours to give; it comes out black, as the
    // grey conversion treats it.
    if (bitsPerPixel == 8 && !palette) {
        std::memset(destination, 0, static_cast<size_t>(destinationStride) * height);
        return 1;
    }
    const int bytesPerPixel = bitsPerPixel / 8;
    WriteRows(source, sourceStride, destination, destinationStride, width * 3, height,
              [&](const unsigned char* in, unsigned char* out) {
                  if (bitsPerPixel == 24) {
                      std::memcpy(out, in, static_cast<size_t>(width) * 3);
                  } else if (bitsPerPixel == 8) {
                      for (int x = 0; x < width; ++x, out += 3) {
                          const tagRGBQUAD& entry = palette[in[x]];
                          out[0] = entry.rgbBlue;
                          out[1] = entry.rgbGreen;
                          out[2] = entry.rgbRed;
                      }
                  } else {
                      for (int x = 0; x < width; ++x, in += bytesPerPixel, out += 3) {
                          out[0] = in[0];
                          out[1] = in[1];
                          out[2] = in[2];
                      }
                  }
              });
    return 1;
}

int CDataHandler::ColourToGreyScale(unsigned char* source, int width, int height, int bitsPerPixel,
                                    tagRGBQUAD* palette, unsigned char* destination, int padRows) {
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    const int destinationStride = padRows ? RowStride(width, 8) : width;
    WriteGreyRows(source, width, height, bitsPerPixel, palette, destination, destinationStride,
                  nullptr);
    return 1;
}

int CDataHandler::ColourToSingle(unsigned char* source, int width, int height, int bitsPerPixel,
                                 tagRGBQUAD* palette, unsigned char* destination, int threshold) {
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    ByteTable aboveThreshold{};
    for (int level = 0; level < 256; ++level)
        aboveThreshold[level] = level > threshold ? 255 : 0;
    WriteGreyRows(source, width, height, bitsPerPixel, palette, destination, RowStride(width, 8),
                  &aboveThreshold);
    return 1;
}

int CDataHandler::ColourToReversed(unsigned char* source, int width, int height, int bitsPerPixel,
                                   tagRGBQUAD* palette, unsigned char* destination) {
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    const int stride = RowStride(width, bitsPerPixel);
    if (bitsPerPixel == 8) {
        // The negative of a palette picture lives in its palette; the indices, padding included,
        // are copied as they are.
        std::memcpy(destination, source, static_cast<size_t>(stride) * height);
        if (palette) {
            for (int i = 0; i < 256; ++i) {
                palette[i].rgbBlue = static_cast<BYTE>(255 - palette[i].rgbBlue);
                palette[i].rgbGreen = static_cast<BYTE>(255 - palette[i].rgbGreen);
                palette[i].rgbRed = static_cast<BYTE>(255 - palette[i].rgbRed);
            }
        }
        return 1;
    }
    const int rowBytes = RowBytes(width, bitsPerPixel);
    WriteRows(source, stride, destination, stride, rowBytes, height,
              [&](const unsigned char* in, unsigned char* out) {
                  if (bitsPerPixel == 24) {
                      for (int i = 0; i < rowBytes; ++i)
                          out[i] = static_cast<unsigned char>(~in[i]);
                      return;
                  }
                  // Little-endian words: the low three bytes are blue, green and red; the fourth
                  // is 0.
                  for (int x = 0; x < width; ++x) {
                      std::uint32_t pixel;
                      std::memcpy(&pixel, in + 4 * x, 4);
                      pixel = ~pixel & 0x00FFFFFFu;
                      std::memcpy(out + 4 * x, &pixel, 4);
                  }
              });
    return 1;
}

int CDataHandler::ColourToRelief(unsigned char* source, int width, int height, int bitsPerPixel,
                                 unsigned char* destination) {
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    const int bytesPerPixel = bitsPerPixel / 8;
    WriteNeighbourRows(source, width, height, bitsPerPixel, destination,
                       [bytesPerPixel](const unsigned char* in, int i) {
                           return static_cast<unsigned char>(in[i - bytesPerPixel] - in[i] + 128);
                       });
    return 1;
}

int CDataHandler::ColourToSharpen(unsigned char* source, int width, int height, int bitsPerPixel,
                                  unsigned char* destination) {
    if (!IsSupportedBitCount(bitsPerPixel))
        return 0;
    const int stride = RowStride(width, bitsPerPixel);
    const int bytesPerPixel = bitsPerPixel / 8;
    // Each row is compared with the next one in memory; the last row has none and becomes 0.
    WriteNeighbourRows(source, width, height - 1, bitsPerPixel, destination,
                       [stride, bytesPerPixel](const unsigned char* in, int i) {
                           const unsigned char* next = in + stride;
                           const unsigned char difference =
                               static_cast<unsigned char>(in[i] - next[i - bytesPerPixel] + 128);
                           return static_cast<unsigned char>(in[i] + difference / 4);
                       });
    if (height >= 1)
        std::memset(destination + static_cast<std::ptrdiff_t>(height - 1) * stride, 0, stride);
    return 1;
}
