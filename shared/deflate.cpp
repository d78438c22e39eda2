#include "shared/deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace {

constexpr u32 quality = 8; // stb_image_write's default compression level
constexpr u32 bucket_room = 2 * quality;
constexpr u32 bucket_count = 16384;
constexpr u64 window = 32768;
constexpr u32 longest_match = 258;
constexpr u32 shortest_match = 3;
// How far past a position the compressor reads: a match from it, then the
// hashes made ahead of where that match ends.
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
  std::array<u8, 30> distance_code; // the symbol's five bits, reversed as the stream takes them

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
      distance_code[j] = u8(reversed(j, 5));
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
    return {distance_code[j] | ((d - distance_base[j]) << 5), 5u + distance_extra[j]};
  }
};

const CodeTables &code_tables() {
  static const CodeTables tables;
  return tables;
}

/// Bits into bytes, least significant first. Each code stores eight bytes
/// and moves on by the whole ones: no branch for the stream to mispredict.
/// Needs 8 bytes of room past the stream's end.
class BitWriter {
public:
  explicit BitWriter(u8 *out) : out_(out) {}
  // A code is at most 18 bits and at most 7 wait from the last: 25 fit the word stored.
  void put(Code code) {
    pending_ |= u64(code.bits) << count_;
    count_ += code.length;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out_, &pending_, 8);
    } else {
      for (u32 k = 0; k < 8; ++k) out_[k] = u8(pending_ >> (8 * k));
    }
    const u32 whole = count_ / 8;
    out_ += whole;
    pending_ >>= 8 * whole;
    count_ %= 8;
  }
  /// Writes what is pending, the last byte padded with zero bits; returns the end.
  u8 *finish() {
    if (count_ > 0) *out_++ = u8(pending_);
    pending_ = 0;
    count_ = 0;
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

struct Match {
  u32 length = 0; // 0: none
  u64 from = 0;
};

// Whether the first n bytes of a and b agree, n at least 8. The last word
// first: it holds the byte a shorter candidate fails at.
bool agree(const u8 *a, const u8 *b, u32 n) {
  if (load64(a + n - 8) != load64(b + n - 8)) return false;
  for (u32 k = 0; k + 8 < n; k += 8)
    if (load64(a + k) != load64(b + k)) return false;
  return true;
}

/// The positions of a bucket that are still in the window, newest first.
class Candidates {
public:
  Candidates(const Buckets &buckets, u32 h, u64 at)
      : bucket_(buckets.lines[h].at), left_(buckets.counts[h]), at_(at) {}
  /// The next candidate's position into `from`, or false when none is left.
  bool next(u64 &from) {
    if (left_ == 0) return false;
    from = bucket_[--left_];
    return at_ - from < window;
  }

private:
  const u32 *bucket_;
  u32 left_;
  u64 at_;
};

// stb takes the newest of the longest matches at least 3 long within the
// window; newest first, the first longest is that one, and a match as long
// as allowed ends the search. While the best is shorter than a word, one
// word compared gives a candidate's length; after, the word ending where a
// longer candidate must still match rejects most.
Match longest(const Buckets &buckets, u32 h, const u8 *data, u64 at, u32 limit) {
  const u8 *here = data + at;
  Candidates candidates(buckets, h, at);
  Match best;
  u32 need = shortest_match - 1; // a candidate must beat this
  u64 from = 0;
  if (limit < 8) { // the last few bytes
    while (need < limit && candidates.next(from)) {
      const u32 n = match_length(data + from, here, limit);
      if (n > need) best = {n, from}, need = n;
    }
    return best;
  }
  const u64 head = load64(here);
  while (candidates.next(from)) {
    const u64 differ = load64(data + from) ^ head;
    if (differ == 0) {
      need = match_length(data + from, here, limit);
      best = {need, from};
      break;
    }
    const u32 n = u32(__builtin_ctzll(differ)) / 8; // the first bytes, little-endian
    // Selected, not branched on: whether a candidate is longer is a coin toss.
    const bool longer = n > need;
    best.from = longer ? from : best.from;
    need = longer ? n : need;
  }
  best.length = need > shortest_match - 1 ? need : 0;
  while (need < limit && candidates.next(from)) {
    if (load64(data + from + need - 7) != load64(here + need - 7)) continue;
    const u32 n = match_length(data + from, here, limit);
    if (n > need) best = {n, from}, need = n;
  }
  return best;
}

// stb writes the next position's literal instead when any match there is
// longer than this one.
bool longer_match_next(const Buckets &buckets, u32 h, const u8 *data, u64 at, u32 length,
                       u32 limit) {
  if (length >= limit) return false;
  const u8 *here = data + at;
  const u32 need = length + 1;
  Candidates candidates(buckets, h, at);
  u64 from = 0;
  if (need >= 8) {
    while (candidates.next(from))
      if (agree(data + from, here, need)) return true;
  } else if (limit >= 8) {
    const u64 head = load64(here);
    while (candidates.next(from))
      if (((load64(data + from) ^ head) << (64 - 8 * need)) == 0) return true; // little-endian
  } else {
    while (candidates.next(from))
      if (match_length(data + from, here, need) == need) return true;
  }
  return false;
}

/// One stream's search: its buckets, the hashes ahead and the bits written.
class Compressor {
public:
  Compressor(const u8 *data, u64 len, u8 *out) : data_(data), len_(len), bits_(out) {}

  /// Positions from `i` before `stop` (whose bytes to lookahead past them are final); returns where
  /// it stopped.
  u64 positions(u64 i, u64 stop) {
    while (i < stop) i = position(i);
    return i;
  }
  BitWriter &bits() { return bits_; }

  /// The buckets of positions this far ahead are fetched while one is
  /// searched: a literal's search then finds its line in cache.
  static constexpr u64 fetch_ahead = 4;

private:
  // A literal or a match at i, as stb chooses; returns the position after it.
  // Only the positions searched are hashed, and those whose buckets are
  // fetched ahead: a match skips most positions.
  u64 position(u64 i) {
    const u32 h = i == next_at_ ? next_h_ : hash3(data_ + i);
    const u32 next_h = hash3(data_ + i + 1);
    // Brought in while this one is searched; hashes no byte past the end.
    buckets_.prefetch(hash3(data_ + std::min(i + fetch_ahead, len_ - 3)));
    const u32 limit = u32(std::min<u64>(len_ - i, longest_match));
    Match match = longest(buckets_, h, data_, i, limit);
    // Where the match would end, and the position after it, whose bucket
    // that position's lazy check searches: neither was fetched ahead.
    if (match.length != 0 && i + match.length + 4 <= len_) {
      buckets_.prefetch(hash3(data_ + i + match.length));
      buckets_.prefetch(hash3(data_ + i + match.length + 1));
    }
    buckets_.add(h, i);
    if (match.length == 0 || longer_match_next(buckets_, next_h, data_, i + 1, match.length,
                                               u32(std::min<u64>(len_ - i - 1, longest_match)))) {
      bits_.put(codes_.literal[data_[i]]);
      next_at_ = i + 1, next_h_ = next_h;
      return i + 1;
    }
    bits_.put(codes_.length[match.length]);
    bits_.put(codes_.distance(u32(i - match.from)));
    return i + match.length;
  }

  const u8 *data_;
  u64 len_;
  const CodeTables &codes_ = code_tables();
  Buckets buckets_;
  BitWriter bits_;
  u64 next_at_ = ~u64{0}; // the position after a literal, and its hash
  u32 next_h_ = 0;
};

u8 *compress(const u8 *data, u64 len, u8 *out, const std::function<u64(u64)> &await) {
  Compressor compressor(data, len, out);
  BitWriter &bits = compressor.bits();
  bits.put({1, 1}); // the final block
  bits.put({1, 2}); // fixed Huffman
  u64 ready = 0;
  u64 i = 0;
  // Between waits, the positions whose bytes are final.
  while (i + 3 < len) {
    if (ready < len) ready = await(std::min(len, i + lookahead));
    const u64 final_end = ready == len ? len - 3 : ready - lookahead + 1;
    i = compressor.positions(i, final_end);
  }
  if (ready < len) await(len);
  const CodeTables &codes = code_tables();
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
  // Fixed Huffman spends at most 9 bits a byte; the writer stores 8 bytes at a time.
  return 2 + std::max(len + len / 8 + 16, stored_size(len)) + 8;
}

u64 write_zlib_stream(const u8 *data, u64 len, u8 *out, const StreamData &source) {
  out[0] = 0x78; // a 32K window
  out[1] = 0x5e; // "fast" compression level
  u8 *end = compress(data, len, out + 2, source.await);
  // stb stores instead when the block came out larger than this (including
  // its two header bytes), and writes no block at all for no data.
  if (u64(end - out) > 2 + stored_size(len)) end = store(data, len, out + 2);
  const u32 adler = source.adler32();
  const u8 sum[4] = {u8(adler >> 24), u8(adler >> 16), u8(adler >> 8), u8(adler)};
  std::memcpy(end, sum, 4);
  return u64(end + 4 - out);
}
