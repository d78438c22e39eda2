// Blocks of four pixels computed at once with GCC's vector extension (and
// of eight, for painting, where the processor has AVX2): the fields'
// painting and conversions, whose rows are too short for the compiler's own
// vectorising to take. The same operations lane by lane as one at a time,
// so the bytes are those of plain code.
#pragma once

#include "core/types.h"

#include <cmath>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace outline::lanes {

using Lanes = float __attribute__((vector_size(16)));
/// A comparison's result: -1 in the lanes where it holds, 0 elsewhere.
using Mask = int __attribute__((vector_size(16)));
inline constexpr int k_block = 4;
inline constexpr Lanes k_lane_offsets = {0, 1, 2, 3};

/// A block of pixels measured at once: four lanes everywhere, eight where
/// the processor has AVX2 (has_eight_lanes()). Eight lanes paint exactly
/// the pixels two blocks of four would (the second only where a four-lane
/// loop reaches it), so the bytes are the same either way.
struct FourLanes {
  static constexpr int width = 4;
  using V = Lanes;
  using M = Mask;
  static constexpr V offsets = {0, 1, 2, 3};
};
struct EightLanes {
  static constexpr int width = 8;
  using V = float __attribute__((vector_size(32)));
  using M = int __attribute__((vector_size(32)));
  static constexpr V offsets = {0, 1, 2, 3, 4, 5, 6, 7};
};

#if defined(__x86_64__) || defined(__i386__)
#define GLYPHMINT_EIGHT_LANES 1
/// Whether this processor runs the eight-lane blocks, which are compiled
/// for AVX2 in functions of their own.
inline bool has_eight_lanes() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

/// The lanes of an eight-lane block that a four-lane loop painting up to
/// `to` reaches from i: all but the upper four past it.
template <class W> [[gnu::always_inline]] inline typename W::M reached(int i, int to) {
  if constexpr (W::width == k_block)
    return typename W::M{} - 1;
  else
    return (W::offsets < float(k_block)) | (typename W::M{} - (i + k_block <= to));
}

// The helpers below take either width.

template <class V = Lanes> [[gnu::always_inline]] inline V load(const float *p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V> [[gnu::always_inline]] inline void store(float *p, V v) {
  std::memcpy(p, &v, sizeof v);
}
template <class V, size_t... L>
[[gnu::always_inline]] inline V sqrt_each(V v, std::index_sequence<L...>) {
  return V{std::sqrt(v[L])...};
}
template <class V> [[gnu::always_inline]] inline V sqrt_lanes(V v) {
  return sqrt_each(v, std::make_index_sequence<sizeof(V) / sizeof(float)>{});
}
/// The lesser and the greater lane by lane, as std::min and std::max choose.
inline Lanes lower(Lanes a, Lanes b) {
  return b < a ? b : a;
}
inline Lanes higher(Lanes a, Lanes b) {
  return a < b ? b : a;
}
/// The sign bit cleared: ordered as v < 0 ? -v : v, without a blend.
template <class V> [[gnu::always_inline]] inline V magnitude(V v) {
  decltype(v < v) bits;
  std::memcpy(&bits, &v, sizeof v);
  bits &= 0x7fffffff;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
/// -v where the mask is set: the sign bit flipped, without a blend.
template <class V, class M> [[gnu::always_inline]] inline V negated_where(V v, M where) {
  M bits;
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
