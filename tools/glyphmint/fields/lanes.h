// Blocks of four pixels computed at once with GCC's vector extension: the
// fields' painting and conversions, whose rows are too short for the
// compiler's own vectorising to take. The same operations lane by lane as
// one at a time, so the bytes are those of plain code.
#pragma once

#include "core/types.h"

#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace outline::lanes {

using Lanes = float __attribute__((vector_size(16)));
/// A comparison's result: -1 in the lanes where it holds, 0 elsewhere.
using Mask = int __attribute__((vector_size(16)));
inline constexpr int k_block = 4;
inline constexpr Lanes k_lane_offsets = {0, 1, 2, 3};

inline Lanes load(const float *p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store(float *p, Lanes v) {
  std::memcpy(p, &v, sizeof v);
}
inline Lanes sqrt_lanes(Lanes v) {
  return Lanes{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
}
/// The lesser and the greater lane by lane, as std::min and std::max choose.
inline Lanes lower(Lanes a, Lanes b) {
  return b < a ? b : a;
}
inline Lanes higher(Lanes a, Lanes b) {
  return a < b ? b : a;
}
/// The sign bit cleared: ordered as v < 0 ? -v : v, without a blend.
inline Lanes magnitude(Lanes v) {
  Mask bits;
  std::memcpy(&bits, &v, sizeof v);
  bits &= 0x7fffffff;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
/// -v where the mask is set: the sign bit flipped, without a blend.
inline Lanes negated_where(Lanes v, Mask where) {
  Mask bits;
  std::memcpy(&bits, &v, sizeof v);
  bits ^= where & int(0x80000000u);
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
/// Four of the eight lanes of a and b (b's are 4 to 7), as GCC's and
/// Clang's builtins each spell it.
template <int l0, int l1, int l2, int l3> inline Lanes shuffled(Lanes a, Lanes b) {
#ifdef __clang__
  return __builtin_shufflevector(a, b, l0, l1, l2, l3);
#else
  return __builtin_shuffle(a, b, Mask{l0, l1, l2, l3});
#endif
}
/// The lanes where a comparison holds, a bit each.
inline int lanes_set(Mask m) {
#ifdef __SSE2__
  return _mm_movemask_ps(__m128(m));
#else
  return (m[0] & 1) | (m[1] & 2) | (m[2] & 4) | (m[3] & 8);
#endif
}

/// Lanes of values 0 to 255 as four bytes.
inline void store_bytes(u8 *out, Mask m) {
#ifdef __SSE2__
  const __m128i words = _mm_packs_epi32(__m128i(m), __m128i(m));
  const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
  std::memcpy(out, &bytes, 4);
#else
  for (int l = 0; l < k_block; ++l) out[l] = u8(m[l]);
#endif
}

} // namespace outline::lanes
