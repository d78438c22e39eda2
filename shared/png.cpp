#include "shared/png.h"

#include "shared/deflate.h"
#include "shared/threads.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <type_traits>
#include <zlib.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// stb and PNG's chunk lengths count in 31 bits; this leaves room for the
// stream's own bytes.
constexpr u64 largest_filtered = 0x7ff00000;
// Below this a thread costs more than it saves.
constexpr u64 smallest_threaded = u64(64) << 10;
// The filtering thread tells the compressor about its rows this often.
constexpr u64 publish_every = u64(32) << 10;
// Rows are drawn about this many bytes at a time: few enough calls, and a
// band still in cache when it is filtered.
constexpr u64 draw_every = u64(64) << 10;

/// Eight bytes widened to 16-bit lanes, and back: the filters work on
/// eight bytes at once in these and on the last few as plain ints, through
/// the same templates below.
using Lanes = i16 __attribute__((vector_size(16)));
using EightBytes = u8 __attribute__((vector_size(8)));

Lanes load_lanes(const u8 *p) {
#ifdef __SSE2__ // a single unpack, where the generic widening takes a dozen instructions
  return Lanes(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)),
                                 _mm_setzero_si128()));
#else
  EightBytes bytes;
  std::memcpy(&bytes, p, 8);
  return __builtin_convertvector(bytes, Lanes);
#endif
}

void store_low_bytes(Lanes lanes, u8 *out) {
#ifdef __SSE2__
  const __m128i bytes = __m128i(lanes & 0xff);
  _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(bytes, bytes));
#else
  const EightBytes bytes = __builtin_convertvector(lanes & 0xff, EightBytes);
  std::memcpy(out, &bytes, 8);
#endif
}

template <class V> V magnitude(V v) {
  if constexpr (std::is_same_v<V, int>) {
    return std::abs(v);
  } else {
    const V negative = v >> 15;
    return (v ^ negative) - negative;
  }
}

// The magnitude of the residual's low byte taken as signed: stb's estimate per byte.
template <class V> V signed_byte_magnitude(V residual) {
  if constexpr (std::is_same_v<V, int>)
    return std::abs(int(i8(residual)));
  else
    return magnitude(V((residual << 8) >> 8));
}

// All ones where `holds`, else zero, as vector comparisons already give.
template <class V, class Comparison> V all_ones_where(Comparison holds) {
  if constexpr (std::is_same_v<V, int>)
    return -int(holds);
  else
    return V(holds);
}

template <class V> V select(V mask, V where_set, V elsewhere) {
  return (mask & where_set) | (~mask & elsewhere);
}

// Each filter's prediction of a byte from the bytes left (a), up (b) and up-left (c).
template <int Filter, class V> V prediction(V a, V b, V c) {
  if constexpr (Filter == 0) return V{};
  if constexpr (Filter == 1) return a;
  if constexpr (Filter == 2) return b;
  if constexpr (Filter == 3) return (a + b) >> 1;
  if constexpr (Filter == 4) {
    const V pa = magnitude(V(b - c)), pb = magnitude(V(a - c)), pc = magnitude(V(a + b - c - c));
    const V b_or_c = select(all_ones_where<V>(pb <= pc), b, c);
    return select(V(all_ones_where<V>(pa <= pb) & all_ones_where<V>(pa <= pc)), a, b_or_c);
  }
}

/// One row, the one above it, its length in bytes and the bytes of a pixel.
struct Row {
  const u8 *pixels;
  const u8 *above;
  u64 bytes;
  u64 pixel;
};

/// A stretch of a row as the filters see it: each byte, the bytes left, up
/// and up-left of it. In a row's first pixel left and up-left point at
/// zeros, which gives stb's first-pixel form of every filter (and the
/// first row's, whose row above is zeros).
struct Stretch {
  const u8 *x, *left, *up, *up_left;
  u64 bytes;
};

// Calls visit(at, x, a, b, c) on the stretch, eight bytes at a time as Lanes
// and the rest one at a time as ints.
template <class Visit> void over_stretch(const Stretch &s, Visit &&visit) {
  u64 k = 0;
  for (; k + 8 <= s.bytes; k += 8)
    visit(k, load_lanes(s.x + k), load_lanes(s.left + k), load_lanes(s.up + k),
          load_lanes(s.up_left + k));
  for (; k < s.bytes; ++k) visit(k, int(s.x[k]), int(s.left[k]), int(s.up[k]), int(s.up_left[k]));
}

// The stretch from byte k on.
Stretch from_byte(const Stretch &s, u64 k) {
  return {s.x + k, s.left + k, s.up + k, s.up_left + k, s.bytes - k};
}

#ifdef __SSE2__
/// Sixteen bytes of a stretch at once, as SSE2 registers: four filters work
/// on them as bytes, which halves the work of the 16-bit lanes above.
struct Sixteen {
  __m128i x, a, b, c;
  Sixteen(const Stretch &s, u64 k)
      : x(load(s.x + k)), a(load(s.left + k)), b(load(s.up + k)), c(load(s.up_left + k)) {}
  static __m128i load(const u8 *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

  template <int Filter> [[nodiscard]] __m128i residual() const {
    if constexpr (Filter == 0) return x;
    if constexpr (Filter == 1) return _mm_sub_epi8(x, a);
    if constexpr (Filter == 2) return _mm_sub_epi8(x, b);
    if constexpr (Filter == 3) { // pavgb rounds up; the filter rounds down
      const __m128i odd = _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1));
      return _mm_sub_epi8(x, _mm_sub_epi8(_mm_avg_epu8(a, b), odd));
    }
    if constexpr (Filter == 4) return _mm_sub_epi8(x, paeth());
  }

  // Paeth's predictor in bytes: |a + b - 2c| is the sum of |b - c| and
  // |a - c| where a and b lie on the same side of c, else their difference;
  // it saturates only past every value it is compared with.
  [[nodiscard]] __m128i paeth() const {
    const __m128i pa = distance(b, c), pb = distance(a, c);
    const __m128i sides_differ = _mm_xor_si128(at_most(c, b), at_most(c, a));
    const __m128i pc = select(sides_differ, distance(pa, pb), _mm_adds_epu8(pa, pb));
    const __m128i take_a = _mm_and_si128(at_most(pa, pb), at_most(pa, pc));
    return select(take_a, a, select(at_most(pb, pc), b, c));
  }
  static __m128i distance(__m128i u, __m128i v) {
    return _mm_or_si128(_mm_subs_epu8(u, v), _mm_subs_epu8(v, u));
  }
  static __m128i at_most(__m128i u, __m128i v) {
    return _mm_cmpeq_epi8(_mm_subs_epu8(u, v), _mm_setzero_si128());
  }
};

// The sum of sixteen residuals' magnitudes as signed bytes, in two 64-bit
// halves: as unsigned bytes, the smaller of v and -v is |v|.
__m128i sum_of_magnitudes(__m128i residual) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_sad_epu8(_mm_min_epu8(residual, _mm_sub_epi8(zero, residual)), zero);
}
#endif

// Adds to `sums` stb's estimate of each filter over the stretch: the sum of
// the residuals' magnitudes as signed bytes, in an int that wraps (only rows
// of 16 MiB could). All five in one pass.
void add_estimates(const Stretch &whole, u32 sums[5]) {
  u64 k = 0;
#ifdef __SSE2__
  __m128i totals[5] = {};
  for (; k + 16 <= whole.bytes; k += 16) {
    const Sixteen bytes(whole, k);
    totals[0] = _mm_add_epi64(totals[0], sum_of_magnitudes(bytes.residual<0>()));
    totals[1] = _mm_add_epi64(totals[1], sum_of_magnitudes(bytes.residual<1>()));
    totals[2] = _mm_add_epi64(totals[2], sum_of_magnitudes(bytes.residual<2>()));
    totals[3] = _mm_add_epi64(totals[3], sum_of_magnitudes(bytes.residual<3>()));
    totals[4] = _mm_add_epi64(totals[4], sum_of_magnitudes(bytes.residual<4>()));
  }
  for (int f = 0; f < 5; ++f) {
    u64 halves[2];
    std::memcpy(halves, &totals[f], 16);
    sums[f] += u32(halves[0] + halves[1]);
  }
#endif
  const Stretch s = from_byte(whole, k);
  // Lanes of at most 8 x 128 per block: 255 blocks fit in 16 bits unsigned.
  constexpr u64 blocks_per_flush = 255;
  Lanes lanes[5] = {};
  u64 blocks = 0;
  const auto flush = [&] {
    for (int f = 0; f < 5; ++f) {
      for (int l = 0; l < 8; ++l) sums[f] += u16(lanes[f][l]);
      lanes[f] = Lanes{};
    }
  };
  over_stretch(s, [&](u64, auto x, auto a, auto b, auto c) {
    using V = decltype(x);
    const V magnitudes[5] = {signed_byte_magnitude(V(x - prediction<0>(a, b, c))),
                             signed_byte_magnitude(V(x - prediction<1>(a, b, c))),
                             signed_byte_magnitude(V(x - prediction<2>(a, b, c))),
                             signed_byte_magnitude(V(x - prediction<3>(a, b, c))),
                             signed_byte_magnitude(V(x - prediction<4>(a, b, c)))};
    if constexpr (std::is_same_v<V, int>) {
      for (int f = 0; f < 5; ++f) sums[f] += u32(magnitudes[f]);
    } else {
      for (int f = 0; f < 5; ++f) lanes[f] += magnitudes[f];
      if (++blocks == blocks_per_flush) flush(), blocks = 0;
    }
  });
  flush();
}

template <int Filter> void write_residuals(const Stretch &whole, u8 *out) {
  u64 k = 0;
#ifdef __SSE2__
  for (; k + 16 <= whole.bytes; k += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), Sixteen(whole, k).residual<Filter>());
#endif
  over_stretch(from_byte(whole, k), [out = out + k](u64 at, auto x, auto a, auto b, auto c) {
    using V = decltype(x);
    const V residual = x - prediction<Filter>(a, b, c);
    if constexpr (std::is_same_v<V, int>) {
      out[at] = u8(residual);
    } else {
      store_low_bytes(residual, out + at);
    }
  });
}

void write_residuals(int filter, const Stretch &s, u8 *out) {
  switch (filter) {
  case 0:
    return write_residuals<0>(s, out);
  case 1:
    return write_residuals<1>(s, out);
  case 2:
    return write_residuals<2>(s, out);
  case 3:
    return write_residuals<3>(s, out);
  default:
    return write_residuals<4>(s, out);
  }
}

// Writes the filter's number, then the row through the first filter of
// least estimate; `zeros` holds a pixel of zeros.
void filter_row(const Row &row, const u8 *zeros, u8 *out) {
  const u64 head = row.bytes < row.pixel ? row.bytes : row.pixel;
  const Stretch first{row.pixels, zeros, row.above, zeros, head};
  const Stretch rest{row.pixels + head, row.pixels, row.above + head, row.above, row.bytes - head};
  u32 sums[5] = {};
  add_estimates(first, sums);
  add_estimates(rest, sums);
  int best = 0;
  for (int f = 1; f < 5; ++f)
    if (i32(sums[f]) < i32(sums[best])) best = f;
  out[0] = u8(best);
  write_residuals(best, first, out + 1);
  write_residuals(best, rest, out + 1 + head);
}

// Asks for huge pages over the whole ones inside a big block, so that its
// first touch takes a fault every 2 MiB instead of every 4 KiB: the faults
// were a fifth of an RGBA page's time. Only advice: nothing changes if the
// system says no.
void advise_huge_pages(u8 *block, u64 size) {
  constexpr uintptr_t huge_page = uintptr_t(2) << 20;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + huge_page - 1) & ~(huge_page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(huge_page - 1);
  if (end > first) madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
}

/// The image's filtered rows, written by one thread and read by another as
/// they become final.
struct FilteredRows {
  const u8 *pixels;
  u64 stride;
  u64 rows;
  u64 pixel;
  const std::function<void(u64, u64)> &draw;
  const std::function<bool()> &help;
  std::unique_ptr<u8[]> bytes{new u8[(stride + 1) * rows]};
  std::unique_ptr<u8[]> zero_row{new u8[std::max<u64>(stride, 4)]()};
  std::atomic<u64> final_bytes{0};

  [[nodiscard]] u64 size() const { return (stride + 1) * rows; }

  // The zlib stream's sum of the rows, made here while the rows are in cache
  // and off the compressing thread; read once every row is final.
  u32 adler = u32(adler32_z(0, nullptr, 0));

  void filter_all() {
    u64 unpublished = 0;
    const u64 band = std::max<u64>(1, draw_every / std::max<u64>(stride, 1));
    for (u64 y = 0, drawn = 0; y < rows; ++y) {
      if (draw && y == drawn) {
        drawn = std::min(rows, y + band);
        draw(y, drawn);
      }
      const u8 *row = pixels + y * stride;
      u8 *filtered = bytes.get() + y * (stride + 1);
      filter_row({row, y == 0 ? zero_row.get() : row - stride, stride, pixel}, zero_row.get(),
                 filtered);
      adler = u32(adler32_z(adler, filtered, stride + 1));
      unpublished += stride + 1;
      if (unpublished >= publish_every || y + 1 == rows) {
        final_bytes.store((y + 1) * (stride + 1), std::memory_order_release);
        final_bytes.notify_one();
        unpublished = 0;
      }
    }
  }

  u64 await(u64 needed) {
    u64 now = final_bytes.load(std::memory_order_acquire);
    for (bool helping = bool(help); now < needed;) {
      helping = helping && help();
      if (!helping) final_bytes.wait(now, std::memory_order_acquire);
      now = final_bytes.load(std::memory_order_acquire);
    }
    return now;
  }
};

u8 *put32(u8 *out, u64 value) {
  const u8 bytes[4] = {u8(value >> 24), u8(value >> 16), u8(value >> 8), u8(value)};
  std::memcpy(out, bytes, 4);
  return out + 4;
}

// Finishes the chunk whose length and type start at `chunk`: its CRC after the data.
u8 *put_crc(const u8 *chunk, u8 *data_end) {
  return put32(data_end, crc32_z(0, chunk + 4, u64(data_end - chunk - 4)));
}

Bytes encode(const u8 *pixels, u64 width, u64 height, u64 channels, const PngEncoding &how) {
  FilteredRows filtered{pixels, width * channels, height, channels, how.draw, how.help};
  advise_huge_pages(filtered.bytes.get(), filtered.size());
  // Declared after what it uses, so it is joined before they go.
  std::jthread filterer;
  if (how.threads > 1 && filtered.size() >= smallest_threaded) {
    try {
      const auto filter = [&filtered] { filtered.filter_all(); };
      filterer = how.beside ? start_beside<std::jthread>(filter) : std::jthread(filter);
    } catch (const std::system_error &) {
      filtered.filter_all();
    }
  } else {
    filtered.filter_all();
  }

  constexpr u64 before_stream = 8 + 25 + 8, after_stream = 4 + 12;
  Bytes png;
  const u64 capacity = before_stream + zlib_stream_capacity(filtered.size()) + after_stream;
  png.data = new u8[capacity];
  advise_huge_pages(png.data, capacity);
  static constexpr u8 signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  static constexpr u8 colour_types[5] = {0, 0, 4, 2, 6};
  std::memcpy(png.data, signature, 8);
  u8 *out = put32(png.data + 8, 13);
  std::memcpy(out, "IHDR", 4);
  out = put32(put32(out + 4, width), height);
  const u8 header_tail[5] = {8, colour_types[channels], 0, 0, 0};
  std::memcpy(out, header_tail, 5);
  out = put_crc(png.data + 8, out + 5);

  u8 *idat = out;
  const u64 stream = write_zlib_stream(
      filtered.bytes.get(), filtered.size(), idat + 8,
      {[&filtered](u64 n) { return filtered.await(n); }, [&filtered] { return filtered.adler; }});
  put32(idat, stream);
  std::memcpy(idat + 4, "IDAT", 4);
  out = put_crc(idat, idat + 8 + stream);
  u8 *iend = out;
  out = put32(out, 0);
  std::memcpy(out, "IEND", 4);
  out = put_crc(iend, out + 4);
  png.len = u64(out - png.data);
  return png;
}

} // namespace

Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels, const PngEncoding &how) {
  if (width < 0 || height < 0 || channels < 1 || channels > 4 ||
      (u64(width) * u64(channels) + 1) * u64(height) > largest_filtered)
    throw Err("Cannot encode the PNG image");
  try {
    return encode(pixels, u64(width), u64(height), u64(channels), how);
  } catch (const std::bad_alloc &) {
    throw Err("Cannot encode the PNG image");
  }
}
