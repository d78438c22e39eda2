#include "core/hash.h"

#include <cstring>

namespace {

constexpr u64 k_wy_s0 = 0x2D358DCCAA6C78A5ull;
constexpr u64 k_wy_s1 = 0x8BB84B93962EACC9ull;
constexpr u64 k_wy_s2 = 0x4B33A62ED433D4A3ull;
constexpr u64 k_wy_s3 = 0x4D5A2DA51DE1AA47ull;

// Unaligned little-endian loads; memcpy compiles to a single mov on x86-64.
inline u64 read8(const u8 *p) {
  u64 v;
  std::memcpy(&v, p, 8);
  return v;
}

inline u64 read4(const u8 *p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;
}

__extension__ typedef unsigned __int128 u128; // the full 64x64 product

inline void mum(u64 &a, u64 &b) {
  const u128 r = static_cast<u128>(a) * b;
  a = static_cast<u64>(r);
  b = static_cast<u64>(r >> 64);
}

inline u64 mix(u64 a, u64 b) {
  mum(a, b);
  return a ^ b;
}

} // namespace

u64 hash_wy(const void *data, u64 len) {
  const u8 *p = static_cast<const u8 *>(data);
  u64 seed = 0xCA813BF4C7ABF0A9ull; // seed 0 after wyhash's initial mixing step
  u64 a, b;
  if (len <= 16) {
    if (len >= 4) {
      const u64 k = (len >> 3) << 2;
      a = (read4(p) << 32) | read4(p + k);
      b = (read4(p + len - 4) << 32) | read4(p + len - 4 - k);
    } else if (len > 0) {
      a = (static_cast<u64>(p[0]) << 16) | (static_cast<u64>(p[len >> 1]) << 8) | p[len - 1];
      b = 0;
    } else {
      a = b = 0;
    }
  } else {
    u64 i = len;
    if (i >= 48) {
      u64 see1 = seed, see2 = seed;
      do {
        seed = mix(read8(p) ^ k_wy_s1, read8(p + 8) ^ seed);
        see1 = mix(read8(p + 16) ^ k_wy_s2, read8(p + 24) ^ see1);
        see2 = mix(read8(p + 32) ^ k_wy_s3, read8(p + 40) ^ see2);
        p += 48;
        i -= 48;
      } while (i >= 48);
      seed ^= see1 ^ see2;
    }
    while (i > 16) {
      seed = mix(read8(p) ^ k_wy_s1, read8(p + 8) ^ seed);
      p += 16;
      i -= 16;
    }
    a = read8(p + i - 16);
    b = read8(p + i - 8);
  }
  a ^= k_wy_s1;
  b ^= seed;
  mum(a, b);
  return mix(a ^ k_wy_s0 ^ len, b ^ k_wy_s1);
}

u32 hash_crc32(const void *data, u64 len) {
  const u8 *p = static_cast<const u8 *>(data);
  u32 r = ~0xCA813BF4u;
  u64 i = 0;
  for (; i + 8 <= len; i += 8) {
    r = (r >> 8) ^ g_crc_table[(r ^ p[i]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 1]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 2]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 3]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 4]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 5]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 6]) & 0xFF];
    r = (r >> 8) ^ g_crc_table[(r ^ p[i + 7]) & 0xFF];
  }
  for (; i < len; ++i) r = (r >> 8) ^ g_crc_table[(r ^ p[i]) & 0xFF];
  return ~r;
}

u32 hash_fnv32(const void *data, u64 len) {
  constexpr u32 prime = 0x01000193u;
  const u8 *p = static_cast<const u8 *>(data);
  u32 h = 0x811C9DC5u;
  u64 i = 0;
  for (; i + 4 <= len; i += 4) {
    h = (h ^ p[i]) * prime;
    h = (h ^ p[i + 1]) * prime;
    h = (h ^ p[i + 2]) * prime;
    h = (h ^ p[i + 3]) * prime;
  }
  for (; i < len; ++i) h = (h ^ p[i]) * prime;
  return h;
}

u64 hash_fnv64(const void *data, u64 len) {
  constexpr u64 prime = 0x100000001B3ull;
  const u8 *p = static_cast<const u8 *>(data);
  u64 h = 0xCBF29CE484222325ull;
  u64 i = 0;
  for (; i + 4 <= len; i += 4) {
    h = (h * prime) ^ p[i];
    h = (h * prime) ^ p[i + 1];
    h = (h * prime) ^ p[i + 2];
    h = (h * prime) ^ p[i + 3];
  }
  for (; i < len; ++i) h = (h * prime) ^ p[i];
  return h;
}
