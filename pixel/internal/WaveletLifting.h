#pragma once

// The lifting step of the integer wavelet transform, shared by its row and column passes.

namespace imgdesk::pixel {

// The scale of the low-pass and high-pass halves, a single-precision 1.414.
constexpr float kWaveletScale = 1.414f;

// Transforms count even and count odd samples in each of lanes parallel lines: sample k of line l
// lies at even[k x stride + l] and odd[k x stride + l]. Predict (odd -= floor((even_k +
// even_k+1) / 2), the last odd from the last two evens), update (even += floor((odd_k-1 + odd_k)
// / 4), the first even from the first two odds), then evens times and odds divided by the scale,
// truncated. Every result is stored in 16 bits. count must be at least 2.
void LiftAndScale(short* even, short* odd, int count, long long stride, int lanes);

}  // namespace imgdesk::pixel
