// Non-cryptographic hashes over byte ranges and integers. Pure functions;
// none allocates. StrView::hash and the dictionary's path keys use hash_fnv64.
#pragma once

#include "core/types.h"

#include <array>

namespace details {
constexpr std::array<u32, 256> make_crc_table() {
  std::array<u32, 256> table{};
  for (u32 i = 0; i < 256; ++i) {
    u32 r = i;
    for (int step = 0; step < 8; ++step) r = (r & 1u) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    table[i] = r;
  }
  return table;
}
} // namespace details

/// The reflected CRC-32 table of polynomial 0xEDB88320 (entry 1 is 0x77073096).
inline constexpr std::array<u32, 256> g_crc_table = details::make_crc_table();

/// wyhash (final version 4, default constants) with seed 0.
[[nodiscard]] u64 hash_wy(const void *p, u64 len);
/// CRC-32 continued from 0xCA813BF4 instead of 0: "" => 0xCA813BF4.
[[nodiscard]] u32 hash_crc32(const void *p, u64 len);
/// FNV-1a, 32 bits: "" => 0x811C9DC5, "abc" => 0x1A47E90B.
[[nodiscard]] u32 hash_fnv32(const void *p, u64 len);
/// FNV-1 (multiply, then XOR), 64 bits: "" => 0xCBF29CE484222325.
[[nodiscard]] u64 hash_fnv64(const void *p, u64 len);

namespace details {
[[nodiscard]] constexpr u64 fasthash_mix(u64 x) {
  x ^= x >> 23;
  x *= 0x2127599BF4325C37ull;
  x ^= x >> 47;
  return x;
}
} // namespace details

/// The fasthash mixing step over an integer; 32-bit values are zero-extended,
/// so hash<int>(-1) mixes 0x00000000FFFFFFFF. Only the four types below.
template <typename T> u64 hash(const T &v) = delete;
template <> inline u64 hash<unsigned long>(const unsigned long &v) {
  return details::fasthash_mix(v);
}
template <> inline u64 hash<long>(const long &v) {
  return details::fasthash_mix(static_cast<u64>(v));
}
template <> inline u64 hash<unsigned int>(const unsigned int &v) {
  return details::fasthash_mix(v);
}
template <> inline u64 hash<int>(const int &v) {
  return details::fasthash_mix(static_cast<u32>(v));
}
