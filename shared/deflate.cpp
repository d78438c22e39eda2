#include "shared/deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <zlib.h>

namespace {

constexpr u32 quality = 8; // stb_image_write's default compression level
constexpr u32 bucket_room = 2 * quality;
constexpr u32 bucket_count = 16384;
constexpr u64 window = 32768;
constexpr u32 longest_match = 258;
constexpr u32 shortest_match = 3;
// How far past a position the compressor reads: a match from it, then the
// hashes fetched ahead of where that match ends (Hashes::distance + 3).
constexpr u64 lookahead = longest_match + 8;
constexpr u64 stored_block = 32767;

/// A symbol's bits as the stream takes them (least significant first), and how many.
struct Code {
  u32 bits = 0;
  u32 length = 0;
};

u32 reversed(u32 code, u32 length) {
  u32 out = 0;
  for (u32 i = 0; i < length; ++i) out = (out << 1) | ((code >> i) & 1);
  return out;
}

// The fixed Huffman code of a literal/length symbol (0 .. 287).
Code fixed_code(u32 symbol) {
  if (symbol <= 143) return {reversed(0x30 + symbol, 8), 8};
  if (symbol <= 255) return {reversed(0x190 + symbol - 144, 9), 9};
  if (symbol <= 279) return {reversed(symbol - 256, 7), 7};
  return {reversed(0xc0 + symbol - 280, 8), 8};
}

/// Every literal, every match length with its extra bits, and every
/// distance code with its extra bits, as whole codes.
struct CodeTables {
  std::array<Code, 256> literal;
  std::array<Code, longest_match + 1> length; // by match length
  Code end_of_block;
  std::array<u8, 512> distance_symbol; // by distance - 1, then 256 + (distance - 1) / 128
  std::array<u16, 30> distance_base;
  std::array<u8, 30> distance_extra;

  CodeTables() {
    static constexpr u16 length_base[] = {3,  4,  5,  6,   7,   8,   9,   10,  11,  13,
                                          15, 17, 19, 23,  27,  31,  35,  43,  51,  59,
                                          67, 83, 99, 115, 131, 163, 195, 227, 258, 259};
    static constexpr u8 length_extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr u16 bases[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    for (u32 b = 0; b < 256; ++b) literal[b] = fixed_code(b);
    end_of_block = fixed_code(256);
    for (u32 len = shortest_match; len <= longest_match; ++len) {
      u32 j = 0;
      while (len > u32(length_base[j + 1]) - 1) ++j;
      const Code symbol = fixed_code(257 + j);
      length[len] = {symbol.bits | ((len - length_base[j]) << symbol.length),
                     symbol.length + length_extra[j]};
    }
    for (u32 j = 0; j < 30; ++j) {
      distance_base[j] = bases[j];
      distance_extra[j] = u8(j < 4 ? 0 : j / 2 - 1);
      const u32 last = j + 1 < 30 ? u32(bases[j + 1]) - 1 : u32(window);
      for (u32 d = bases[j]; d <= last; ++d) {
        if (d <= 256)
          distance_symbol[d - 1] = u8(j);
        else
          distance_symbol[256 + ((d - 1) >> 7)] = u8(j);
      }
    }
  }

  [[nodiscard]] Code distance(u32 d) const {
    const u32 j = d <= 256 ? distance_symbol[d - 1] : distance_symbol[256 + ((d - 1) >> 7)];
    return {reversed(j, 5) | ((d - distance_base[j]) << 5), 5u + distance_extra[j]};
  }
};

const CodeTables &code_tables() {
  static const CodeTables tables;
  return tables;
}

/// Bits into bytes, least significant first, four bytes at a time.
class BitWriter {
public:
  explicit BitWriter(u8 *out) : out_(out) {}
  void put(Code code) {
    pending_ |= u64(code.bits) << count_;
    count_ += code.length;
    if (count_ >= 32) {
      const u32 word = u32(pending_);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out_, &word, 4);
      } else {
        for (u32 k = 0; k < 4; ++k) out_[k] = u8(word >> (8 * k));
      }
      out_ += 4;
      pending_ >>= 32;
      count_ -= 32;
    }
  }
  /// Writes what is pending, the last byte padded with zero bits; returns the end.
  u8 *finish() {
    for (; count_ > 0; count_ = count_ > 8 ? count_ - 8 : 0) {
      *out_++ = u8(pending_);
      pending_ >>= 8;
    }
    return out_;
  }

private:
  u8 *out_;
  u64 pending_ = 0;
  u32 count_ = 0;
};

u32 hash3(const u8 *p) {
  u32 h = u32(p[0]) + (u32(p[1]) << 8) + (u32(p[2]) << 16);
  h ^= h << 3;
  h += h >> 5;
  h ^= h << 4;
  h += h >> 17;
  h ^= h << 25;
  h += h >> 6;
  return h & (bucket_count - 1);
}

u64 load64(const u8 *p) {
  u64 v;
  std::memcpy(&v, p, 8);
  return v;
}

// How many bytes from a and b agree, up to limit (at most 258).
u32 match_length(const u8 *a, const u8 *b, u32 limit) {
  u32 n = 0;
  for (; n + 8 <= limit; n += 8) {
    const u64 differ = load64(a + n) ^ load64(b + n);
    if (differ != 0) return n + u32(__builtin_ctzll(differ)) / 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

/// Each bucket's positions, oldest first, as stb keeps them: 32-bit (the
/// data is under 2 GiB), a bucket to a cache line, so that a search costs
/// one line at most and the table stays in cache.
struct Buckets {
  struct alignas(64) Line {
    u32 at[bucket_room];
  };
  std::unique_ptr<Line[]> lines{new Line[bucket_count]};
  std::unique_ptr<u8[]> counts{new u8[bucket_count]()};

  /// Brings in the bucket of a position searched soon.
  void prefetch(u32 h) const {
    __builtin_prefetch(&lines[h]);
    __builtin_prefetch(&counts[h]);
  }

  /// Trims a full bucket to its newer half (after its search, as stb does), then adds `at`.
  void add(u32 h, u64 at) {
    u32 *bucket = lines[h].at;
    if (counts[h] == bucket_room) {
      std::memmove(bucket, bucket + quality, quality * sizeof(u32));
      counts[h] = quality;
    }
    bucket[counts[h]++] = u32(at);
  }
};

/// The buckets of the positions from the one being searched up to
/// `distance` further, kept in a ring, each fetched when it enters. After a
/// jump past a match only the two the search needs enter, and the reach
/// grows again over a run of literals, where fetching ahead pays.
class Hashes {
public:
  static constexpr u64 distance = 4;
  static_assert(longest_match + distance + 3 <= lookahead);
  Hashes(const u8 *data, u64 len) : data_(data), len_(len) {}

  [[nodiscard]] u32 of(u64 at) const { return ring_[at % ring]; }
  /// Starts again at `at`, after a jump past a match.
  void restart(u64 at, const Buckets &buckets) {
    next_ = at;
    fill(at + 2, buckets);
  }
  /// One literal on, to `at`.
  void advance(u64 at, const Buckets &buckets) {
    fill(std::min(at + distance + 1, next_ + 2), buckets);
  }

private:
  static constexpr u64 ring = 8;
  // Enters the positions before `end` not yet in.
  void fill(u64 end, const Buckets &buckets) {
    for (; next_ < end; ++next_) {
      if (next_ + 3 > len_) return; // past the last position with three bytes
      ring_[next_ % ring] = hash3(data_ + next_);
      buckets.prefetch(ring_[next_ % ring]);
    }
  }
  const u8 *data_;
  u64 len_;
  u64 next_ = 0; // the first position not yet in
  u32 ring_[ring] = {};
};

struct Match {
  u32 length = 0; // 0: none
  u64 from = 0;
};

// The length of a candidate that could beat `need`, or 0 when it cannot.
// While `need` is short, one word compared gives most lengths outright;
// once it is long, one byte (the first that must also match) rejects most.
u32 candidate_length(const u8 *from, const u8 *at, u32 need, u32 limit) {
  if (need < 8 && limit >= 8) {
    const u64 differ = load64(from) ^ load64(at);
    if (differ != 0) return u32(__builtin_ctzll(differ)) / 8;
    return match_length(from, at, limit);
  }
  if (from[need] != at[need]) return 0;
  return match_length(from, at, limit);
}

// stb takes the newest of the longest matches at least 3 long within the
// window; newest first, the first longest is that one, and a match as long
// as allowed ends the search.
Match longest(const Buckets &buckets, u32 h, const u8 *data, u64 at, u32 limit) {
  const u32 *bucket = buckets.lines[h].at;
  Match best;
  u32 need = shortest_match - 1; // a candidate must beat this
  for (u32 j = buckets.counts[h]; j-- > 0 && need < limit;) {
    const u64 from = bucket[j];
    if (at - from >= window) break;
    const u32 n = candidate_length(data + from, data + at, need, limit);
    if (n > need) {
      best = {n, from};
      need = n;
    }
  }
  return best;
}

// stb writes the next position's literal instead when any match there is
// longer than this one.
bool longer_match_next(const Buckets &buckets, u32 h, const u8 *data, u64 at, u32 length,
                       u32 limit) {
  if (length >= limit) return false;
  const u32 *bucket = buckets.lines[h].at;
  for (u32 j = buckets.counts[h]; j-- > 0;) {
    const u64 from = bucket[j];
    if (at - from >= window) break;
    if (candidate_length(data + from, data + at, length, limit) > length) return true;
  }
  return false;
}

u8 *compress(const u8 *data, u64 len, u8 *out, const std::function<u64(u64)> &await) {
  const CodeTables &codes = code_tables();
  Buckets buckets;
  BitWriter bits(out);
  bits.put({1, 1}); // the final block
  bits.put({1, 2}); // fixed Huffman
  u64 ready = 0;
  u64 i = 0;
  // The hashes of this position and the next few, whose buckets are fetched
  // ahead: a literal's search then finds its line in cache.
  Hashes ahead(data, len);
  if (len > 3) {
    ready = await(std::min(len, lookahead));
    ahead.restart(0, buckets);
  }
  while (i + 3 < len) {
    if (ready < len && ready < i + lookahead) ready = await(std::min(len, i + lookahead));
    if (i != 0) ahead.advance(i, buckets);
    const u32 h = ahead.of(i), next_h = ahead.of(i + 1);
    const u32 limit = u32(std::min<u64>(len - i, longest_match));
    Match match = longest(buckets, h, data, i, limit);
    if (match.length != 0 && i + match.length + 3 <= len)
      buckets.prefetch(hash3(data + i + match.length)); // where the match would end
    buckets.add(h, i);
    const u32 next_limit = u32(std::min<u64>(len - i - 1, longest_match));
    if (match.length != 0 &&
        longer_match_next(buckets, next_h, data, i + 1, match.length, next_limit))
      match.length = 0;
    if (match.length != 0) {
      bits.put(codes.length[match.length]);
      bits.put(codes.distance(u32(i - match.from)));
      i += match.length;
      ahead.restart(i, buckets);
    } else {
      bits.put(codes.literal[data[i]]);
      ++i;
    }
  }
  if (ready < len) await(len);
  for (; i < len; ++i) bits.put(codes.literal[data[i]]);
  bits.put(codes.end_of_block);
  return bits.finish();
}

u8 *store(const u8 *data, u64 len, u8 *out) {
  for (u64 at = 0; at < len;) {
    const u64 block = std::min(len - at, stored_block);
    *out++ = u8(at + block == len); // the final block
    const u8 header[4] = {u8(block), u8(block >> 8), u8(~block), u8(~block >> 8)};
    std::memcpy(out, header, 4);
    std::memcpy(out + 4, data + at, block);
    out += 4 + block;
    at += block;
  }
  return out;
}

u64 stored_size(u64 len) {
  return len + ((len + stored_block - 1) / stored_block) * 5;
}

} // namespace

u64 zlib_stream_capacity(u64 len) {
  // Fixed Huffman spends at most 9 bits a byte; the writer stores 4 bytes at a time.
  return 2 + std::max(len + len / 8 + 16, stored_size(len)) + 4;
}

u64 write_zlib_stream(const u8 *data, u64 len, u8 *out, const std::function<u64(u64)> &await) {
  out[0] = 0x78; // a 32K window
  out[1] = 0x5e; // "fast" compression level
  u8 *end = compress(data, len, out + 2, await);
  // stb stores instead when the block came out larger than this (including
  // its two header bytes), and writes no block at all for no data.
  if (u64(end - out) > 2 + stored_size(len)) end = store(data, len, out + 2);
  uLong adler = adler32_z(1, nullptr, 0);
  adler = adler32_z(adler, data, len);
  const u8 sum[4] = {u8(adler >> 24), u8(adler >> 16), u8(adler >> 8), u8(adler)};
  std::memcpy(end, sum, 4);
  return u64(end + 4 - out);
}
