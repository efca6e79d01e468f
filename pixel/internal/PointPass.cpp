#include "pixel/internal/PointPass.h"

#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imgdesk::pixel {
namespace {

constexpr int kBlock = 48;  // bytes per vector step: 1, 3 and 4-byte pixels all divide it

}  // namespace

PointPass::PointPass(int period, const ByteTable* tables, const LinearMap* linear)
    : period_(period < 1 || period > 4 ? 1 : period) {
    for (int c = 0; c < period_; ++c)
        tables_[c] = tables[c];
    if (linear)
        vectorised_ = PrepareVector(*linear);
}

bool PointPass::PrepareVector(const LinearMap& linear) {
#if defined(__SSE2__)
    if (linear.divisor < 2 || linear.subtract < 0 || linear.subtract > 255 || linear.add < 0 ||
        linear.add > 255 || linear.ceiling < 0 || linear.ceiling > 255)
        return false;
    for (int c = 0; c < period_; ++c) {
        if (linear.multiply[c] < 0 || linear.multiply[c] > 257)
            return false;
    }
    for (int lane = 0; lane < 8; ++lane)
        add_[lane] = static_cast<std::uint16_t>(linear.add);
    for (int lane = 0; lane < 16; ++lane) {
        subtract_[lane] = static_cast<std::uint8_t>(linear.subtract);
        ceiling_[lane] = static_cast<std::uint8_t>(linear.ceiling);
    }
    for (int v = 0; v < 3; ++v) {
        for (int half = 0; half < 2; ++half) {
            for (int lane = 0; lane < 8; ++lane) {
                const int position = v * 16 + half * 8 + lane;
                multiply_[v][half][lane] =
                    static_cast<std::uint16_t>(linear.multiply[position % period_]);
            }
        }
    }
    // Division by the divisor becomes a 16-bit multiply-high and a shift. Each candidate is kept
    // only if the vector path then agrees with the tables on every byte value of every channel.
    std::vector<unsigned char> probe(kBlock * 256), expected(kBlock * 256);
    for (size_t p = 0; p < expected.size(); ++p)
        expected[p] = static_cast<unsigned char>(p / period_);
    ApplyTables(expected.data(), 0, static_cast<long long>(expected.size()));
    for (int s = 0; s < 16; ++s) {
        const long long magic = ((1LL << (16 + s)) + linear.divisor - 1) / linear.divisor;
        if (magic > 0xFFFF)
            break;
        for (auto& lane : magic_)
            lane = static_cast<std::uint16_t>(magic);
        shift_ = s;
        for (size_t p = 0; p < probe.size(); ++p)
            probe[p] = static_cast<unsigned char>(p / period_);
        ApplyVector(probe.data(), static_cast<long long>(probe.size()));
        if (probe == expected)
            return true;
    }
    return false;
#else
    (void)linear;
    return false;
#endif
}

long long PointPass::ApplyVector(unsigned char* bytes, long long count) const {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i subtract = _mm_load_si128(reinterpret_cast<const __m128i*>(subtract_));
    const __m128i ceiling = _mm_load_si128(reinterpret_cast<const __m128i*>(ceiling_));
    const __m128i magic = _mm_load_si128(reinterpret_cast<const __m128i*>(magic_));
    const __m128i add = _mm_load_si128(reinterpret_cast<const __m128i*>(add_));
    const __m128i limit = _mm_set1_epi16(255);
    const __m128i shift = _mm_cvtsi32_si128(shift_);
    __m128i multiply[3][2];
    for (int v = 0; v < 3; ++v) {
        for (int half = 0; half < 2; ++half)
            multiply[v][half] =
                _mm_load_si128(reinterpret_cast<const __m128i*>(multiply_[v][half]));
    }
    auto mapHalf = [&](__m128i t, __m128i factor) {
        __m128i q = _mm_mulhi_epu16(_mm_mullo_epi16(t, factor), magic);
        q = _mm_adds_epu16(_mm_srl_epi16(q, shift), add);
        return _mm_sub_epi16(q, _mm_subs_epu16(q, limit));  // min(q, 255)
    };
    long long done = 0;
    for (; done + kBlock <= count; done += kBlock) {
        for (int v = 0; v < 3; ++v) {
            auto* at = reinterpret_cast<__m128i*>(bytes + done + 16 * v);
            const __m128i in = _mm_loadu_si128(at);
            const __m128i t = _mm_subs_epu8(in, subtract);
            const __m128i low = mapHalf(_mm_unpacklo_epi8(t, zero), multiply[v][0]);
            const __m128i high = mapHalf(_mm_unpackhi_epi8(t, zero), multiply[v][1]);
            const __m128i within = _mm_cmpeq_epi8(_mm_subs_epu8(in, ceiling), zero);
            const __m128i out = _mm_or_si128(_mm_packus_epi16(low, high),
                                             _mm_andnot_si128(within, _mm_set1_epi8(-1)));
            _mm_storeu_si128(at, out);
        }
    }
    return done;
#else
    (void)bytes;
    (void)count;
    return 0;
#endif
}

void PointPass::ApplyTables(unsigned char* bytes, long long start, long long count) const {
    if (period_ == 1) {
        ApplyByteTable(bytes + start, count - start, tables_[0]);
        return;
    }
    for (long long i = start; i < count; ++i)
        bytes[i] = tables_[i % period_][bytes[i]];
}

void PointPass::Apply(unsigned char* bytes, long long count) const {
    const long long done = vectorised_ ? ApplyVector(bytes, count) : 0;
    ApplyTables(bytes, done, count);
}

}  // namespace imgdesk::pixel
