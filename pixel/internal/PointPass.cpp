#include "pixel/internal/PointPass.h"

#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace imgdesk::pixel {
namespace {

constexpr int kNarrowBlock = 48;  // three 16-byte vectors
constexpr int kWideBlock = 96;    // three 32-byte vectors

bool HasAvx2() {
#if defined(__SSE2__)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

#if defined(__SSE2__)
// One half of a wide step: (t x factor) / divisor + add, at most 255, in 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i MapHalfAvx2(__m256i t, __m256i factor, __m256i magic,
                                                           __m128i shift, __m256i add,
                                                           __m256i limit) {
    __m256i q = _mm256_mulhi_epu16(_mm256_mullo_epi16(t, factor), magic);
    q = _mm256_adds_epu16(_mm256_srl_epi16(q, shift), add);
    return _mm256_sub_epi16(q, _mm256_subs_epu16(q, limit));
}
#endif

}  // namespace

PointPass::PointPass(int period, const ByteTable* tables, const LinearMap* linear)
    : period_(period < 1 || period > 4 ? 1 : period) {
    for (int c = 0; c < period_; ++c)
        tables_[c] = tables[c];
    if (linear)
        vectorised_ = PrepareVector(*linear);
}

bool PointPass::VectorMatchesTables(bool allowWide) const {
    // Every channel sees every byte value, at every position of a wide block.
    std::vector<unsigned char> probe(kWideBlock * 256), expected(kWideBlock * 256);
    for (size_t p = 0; p < expected.size(); ++p)
        expected[p] = static_cast<unsigned char>(p / period_);
    probe = expected;
    ApplyTables(expected.data(), 0, static_cast<long long>(expected.size()));
    ApplyVector(probe.data(), static_cast<long long>(probe.size()), allowWide);
    return probe == expected;
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
    subtract_ = static_cast<std::uint8_t>(linear.subtract);
    ceiling_ = static_cast<std::uint8_t>(linear.ceiling);
    add_ = static_cast<std::uint16_t>(linear.add);
    for (int position = 0; position < kWideBlock; ++position)
        multiplyAt_[position] = static_cast<std::uint16_t>(linear.multiply[position % period_]);
    // Division by the divisor becomes a 16-bit multiply-high and a shift. Each candidate is kept
    // only if the vector kernels then agree with the tables on every byte value of every channel.
    for (int s = 0; s < 16; ++s) {
        const long long magic = ((1LL << (16 + s)) + linear.divisor - 1) / linear.divisor;
        if (magic > 0xFFFF)
            break;
        magic_ = static_cast<std::uint16_t>(magic);
        shift_ = s;
        if (VectorMatchesTables(false)) {
            wide_ = HasAvx2() && VectorMatchesTables(true);
            return true;
        }
    }
    return false;
#else
    (void)linear;
    return false;
#endif
}

long long PointPass::ApplySse2(unsigned char* bytes, long long count) const {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i subtract = _mm_set1_epi8(static_cast<char>(subtract_));
    const __m128i ceiling = _mm_set1_epi8(static_cast<char>(ceiling_));
    const __m128i magic = _mm_set1_epi16(static_cast<short>(magic_));
    const __m128i add = _mm_set1_epi16(static_cast<short>(add_));
    const __m128i limit = _mm_set1_epi16(255);
    const __m128i ones = _mm_set1_epi8(-1);
    const __m128i shift = _mm_cvtsi32_si128(shift_);
    __m128i multiply[3][2];
    for (int v = 0; v < 3; ++v) {
        for (int half = 0; half < 2; ++half)
            multiply[v][half] =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(multiplyAt_ + 16 * v + 8 * half));
    }
    auto mapHalf = [&](__m128i t, __m128i factor) {
        __m128i q = _mm_mulhi_epu16(_mm_mullo_epi16(t, factor), magic);
        q = _mm_adds_epu16(_mm_srl_epi16(q, shift), add);
        return _mm_sub_epi16(q, _mm_subs_epu16(q, limit));  // min(q, 255)
    };
    long long done = 0;
    for (; done + kNarrowBlock <= count; done += kNarrowBlock) {
        for (int v = 0; v < 3; ++v) {
            auto* at = reinterpret_cast<__m128i*>(bytes + done + 16 * v);
            const __m128i in = _mm_loadu_si128(at);
            const __m128i t = _mm_subs_epu8(in, subtract);
            const __m128i low = mapHalf(_mm_unpacklo_epi8(t, zero), multiply[v][0]);
            const __m128i high = mapHalf(_mm_unpackhi_epi8(t, zero), multiply[v][1]);
            const __m128i within = _mm_cmpeq_epi8(_mm_subs_epu8(in, ceiling), zero);
            _mm_storeu_si128(
                at, _mm_or_si128(_mm_packus_epi16(low, high), _mm_andnot_si128(within, ones)));
        }
    }
    return done;
#else
    (void)bytes;
    (void)count;
    return 0;
#endif
}

#if defined(__SSE2__)
__attribute__((target("avx2")))
#endif
long long
PointPass::ApplyAvx2(unsigned char* bytes, long long count) const {
#if defined(__SSE2__)
    const __m256i zero = _mm256_setzero_si256();
    const __m256i subtract = _mm256_set1_epi8(static_cast<char>(subtract_));
    const __m256i ceiling = _mm256_set1_epi8(static_cast<char>(ceiling_));
    const __m256i magic = _mm256_set1_epi16(static_cast<short>(magic_));
    const __m256i add = _mm256_set1_epi16(static_cast<short>(add_));
    const __m256i limit = _mm256_set1_epi16(255);
    const __m256i ones = _mm256_set1_epi8(-1);
    const __m128i shift = _mm_cvtsi32_si128(shift_);
    // The byte unpacks work within each 16-byte lane: the low half of a 32-byte vector holds bytes
    // 0-7 and 16-23, the high half bytes 8-15 and 24-31.
    __m256i multiply[3][2];
    for (int v = 0; v < 3; ++v) {
        for (int half = 0; half < 2; ++half) {
            alignas(32) std::uint16_t lanes[16];
            for (int k = 0; k < 16; ++k)
                lanes[k] = multiplyAt_[32 * v + 8 * half + (k < 8 ? k : k + 8)];
            multiply[v][half] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
        }
    }
    long long done = 0;
    for (; done + kWideBlock <= count; done += kWideBlock) {
        for (int v = 0; v < 3; ++v) {
            auto* at = reinterpret_cast<__m256i*>(bytes + done + 32 * v);
            const __m256i in = _mm256_loadu_si256(at);
            const __m256i t = _mm256_subs_epu8(in, subtract);
            const __m256i low = MapHalfAvx2(_mm256_unpacklo_epi8(t, zero), multiply[v][0], magic,
                                            shift, add, limit);
            const __m256i high = MapHalfAvx2(_mm256_unpackhi_epi8(t, zero), multiply[v][1], magic,
                                             shift, add, limit);
            const __m256i within = _mm256_cmpeq_epi8(_mm256_subs_epu8(in, ceiling), zero);
            _mm256_storeu_si256(at, _mm256_or_si256(_mm256_packus_epi16(low, high),
                                                    _mm256_andnot_si256(within, ones)));
        }
    }
    return done;
#else
    (void)bytes;
    (void)count;
    return 0;
#endif
}

long long PointPass::ApplyVector(unsigned char* bytes, long long count, bool allowWide) const {
    const long long wide = allowWide ? ApplyAvx2(bytes, count) : 0;
    return wide + ApplySse2(bytes + wide, count - wide);
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
    const long long done = vectorised_ ? ApplyVector(bytes, count, wide_) : 0;
    ApplyTables(bytes, done, count);
}

}  // namespace imgdesk::pixel
