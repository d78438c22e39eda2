// The byte hashes at 8 B, 64 B, 1 KiB and 64 KiB, beside std::hash of a
// string view and beside plain loops of the same algorithms. A plain loop
// is each hash written the obvious way, one step per byte (three wyhash
// lanes per 48 bytes): what the algorithm itself can do on this machine, so
// a library function well below its loop is losing time to its code, not to
// its algorithm. The loops must give the library's results; that is checked
// before anything is timed.
#include "bench/micro.h"
#include "core/hash.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr u64 k_max_len = 64 * 1024;
constexpr u64 k_lengths[] = {8, 64, 1024, k_max_len};

const unsigned char *input() {
  static unsigned char *bytes = [] {
    auto *b = new unsigned char[k_max_len];
    std::mt19937_64 rng(42);
    for (u64 i = 0; i < k_max_len; ++i) b[i] = static_cast<unsigned char>(rng());
    return b;
  }();
  return bytes;
}

// ------------------------------------------------------------- plain loops
// Out of line, like the library's functions, so neither side gains from
// being inlined into the timing loop.

__attribute__((noinline)) u64 loop_fnv64(const void *data, u64 len) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  u64 h = 0xCBF29CE484222325ull;
  for (u64 i = 0; i < len; ++i) h = (h * 0x100000001B3ull) ^ p[i];
  return h;
}

__attribute__((noinline)) u32 loop_fnv32(const void *data, u64 len) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  u32 h = 0x811C9DC5u;
  for (u64 i = 0; i < len; ++i) h = (h ^ p[i]) * 0x01000193u;
  return h;
}

__attribute__((noinline)) u32 loop_crc32(const void *data, u64 len) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  u32 r = ~0xCA813BF4u;
  for (u64 i = 0; i < len; ++i) r = (r >> 8) ^ g_crc_table[(r ^ p[i]) & 0xFF];
  return ~r;
}

__extension__ typedef unsigned __int128 u128;

u64 r8(const unsigned char *p) {
  u64 v;
  std::memcpy(&v, p, 8);
  return v;
}

u64 r4(const unsigned char *p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;
}

u64 mix(u64 a, u64 b) {
  const u128 r = static_cast<u128>(a) * b;
  return static_cast<u64>(r) ^ static_cast<u64>(r >> 64);
}

__attribute__((noinline)) u64 loop_wy(const void *data, u64 len) {
  constexpr u64 s0 = 0x2D358DCCAA6C78A5ull, s1 = 0x8BB84B93962EACC9ull, s2 = 0x4B33A62ED433D4A3ull,
                s3 = 0x4D5A2DA51DE1AA47ull;
  const unsigned char *p = static_cast<const unsigned char *>(data);
  u64 seed = 0xCA813BF4C7ABF0A9ull, a = 0, b = 0;
  if (len <= 16) {
    if (len >= 4) {
      const u64 k = (len >> 3) << 2;
      a = (r4(p) << 32) | r4(p + k);
      b = (r4(p + len - 4) << 32) | r4(p + len - 4 - k);
    } else if (len > 0) {
      a = (u64{p[0]} << 16) | (u64{p[len >> 1]} << 8) | p[len - 1];
    }
  } else {
    u64 i = len;
    if (i >= 48) {
      u64 see1 = seed, see2 = seed;
      for (; i >= 48; i -= 48, p += 48) {
        seed = mix(r8(p) ^ s1, r8(p + 8) ^ seed);
        see1 = mix(r8(p + 16) ^ s2, r8(p + 24) ^ see1);
        see2 = mix(r8(p + 32) ^ s3, r8(p + 40) ^ see2);
      }
      seed ^= see1 ^ see2;
    }
    for (; i > 16; i -= 16, p += 16) seed = mix(r8(p) ^ s1, r8(p + 8) ^ seed);
    a = r8(p + i - 16);
    b = r8(p + i - 8);
  }
  const u128 r = static_cast<u128>(a ^ s1) * (b ^ seed);
  return mix(static_cast<u64>(r) ^ s0 ^ len, static_cast<u64>(r >> 64) ^ s1);
}

__attribute__((noinline)) u64 std_hash(const void *data, u64 len) {
  return std::hash<std::string_view>{}(std::string_view(static_cast<const char *>(data), len));
}

// ---------------------------------------------------------------- running

template <typename R> using HashFn = R (*)(const void *, u64);

template <typename R> void run_hash(benchmark::State &state, HashFn<R> fn, u64 len) {
  const unsigned char *p = input();
  for (auto _ : state) {
    // Hidden from the optimiser so every call hashes afresh.
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(fn(p, len));
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * len));
  state.SetItemsProcessed(state.iterations());
}

template <typename R> void check_same(const char *name, HashFn<R> ours, HashFn<R> loop) {
  for (u64 len = 0; len <= 300; ++len)
    if (ours(input(), len) != loop(input(), len)) {
      std::fprintf(stderr, "micro_bench: the plain %s loop disagrees at length %llu\n", name,
                   static_cast<unsigned long long>(len));
      std::exit(1);
    }
}

std::string len_name(u64 len) {
  return len >= 1024 ? std::to_string(len / 1024) + "KiB" : std::to_string(len) + "B";
}

template <typename R> void add_hash(const std::string &name, HashFn<R> ours, HashFn<R> loop) {
  check_same(name.c_str(), ours, loop);
  for (u64 len : k_lengths) {
    const std::string l = len_name(len);
    micro::add("hash/" + name + "/" + l, [=](benchmark::State &s) { run_hash(s, ours, len); });
    micro::add("hash/" + name + " plain loop/" + l,
               [=](benchmark::State &s) { run_hash(s, loop, len); });
    micro::compare("hash/" + name + "/" + l, "hash/std::hash<string_view>/" + l);
    micro::compare("hash/" + name + "/" + l, "hash/" + name + " plain loop/" + l,
                   len == k_max_len ? micro::Target::Within10Pct : micro::Target::None);
  }
}

const bool registered = [] {
  for (u64 len : k_lengths)
    micro::add("hash/std::hash<string_view>/" + len_name(len),
               [=](benchmark::State &s) { run_hash<u64>(s, std_hash, len); });
  add_hash<u64>("hash_wy", hash_wy, loop_wy);
  add_hash<u64>("hash_fnv64", hash_fnv64, loop_fnv64);
  add_hash<u32>("hash_fnv32", hash_fnv32, loop_fnv32);
  add_hash<u32>("hash_crc32", hash_crc32, loop_crc32);
  return true;
}();

} // namespace
