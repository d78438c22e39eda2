#include "core/hash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The test input of the reference table: byte i is (i * 7 + 3) mod 256, so it
// holds every byte value, the ones above 0x7F included.
std::vector<u8> pattern(u64 n) {
  std::vector<u8> bytes(n);
  for (u64 i = 0; i < n; ++i) bytes[i] = static_cast<u8>((i * 7 + 3) % 256);
  return bytes;
}

// One byte per step, the way the hashes are defined, so the unrolled loops
// have something independent to agree with. The CRC is computed bit by bit,
// without the table.
u32 fnv32_reference(const u8 *p, u64 n) {
  u32 h = 0x811C9DC5u;
  for (u64 i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

u64 fnv64_reference(const u8 *p, u64 n) {
  u64 h = 0xCBF29CE484222325ull;
  for (u64 i = 0; i < n; ++i) h = (h * 0x100000001B3ull) ^ p[i];
  return h;
}

u32 crc32_reference(const u8 *p, u64 n) {
  u32 r = ~0xCA813BF4u;
  for (u64 i = 0; i < n; ++i) {
    r ^= p[i];
    for (int bit = 0; bit < 8; ++bit) r = (r & 1u) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
  }
  return ~r;
}

struct VectorRow {
  u64 len;
  u64 wy, fnv64;
  u32 fnv32, crc32;
};

std::vector<VectorRow> read_vectors() {
  std::ifstream in(GLYPHMINT_TEST_DATA "/hash-vectors.txt");
  std::vector<VectorRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    VectorRow row{};
    fields >> std::dec >> row.len >> std::hex >> row.wy >> row.fnv64 >> row.fnv32 >> row.crc32;
    EXPECT_FALSE(fields.fail()) << "malformed line: " << line;
    rows.push_back(row);
  }
  return rows;
}

} // namespace

TEST(Hash, AllHashesMatchReferenceVectors) {
  const std::vector<VectorRow> rows = read_vectors();
  // 27 lengths reach every branch of hash_wy: <4, 4..16, the 16-byte loop,
  // the 48-byte lanes and the tails after them.
  ASSERT_EQ(rows.size(), 27u) << "tests/data/hash-vectors.txt is missing or incomplete";
  for (const VectorRow &row : rows) {
    const std::vector<u8> in = pattern(row.len);
    const u8 *p = in.data();
    EXPECT_EQ(hash_wy(p, row.len), row.wy) << "len " << row.len;
    EXPECT_EQ(hash_fnv64(p, row.len), row.fnv64) << "len " << row.len;
    EXPECT_EQ(hash_fnv32(p, row.len), row.fnv32) << "len " << row.len;
    EXPECT_EQ(hash_crc32(p, row.len), row.crc32) << "len " << row.len;
  }
}

TEST(Hash, KnownValuesOfEmptyAndAbc) {
  EXPECT_EQ(hash_fnv64(nullptr, 0), 0xCBF29CE484222325ull);
  EXPECT_EQ(hash_fnv32(nullptr, 0), 0x811C9DC5u);
  EXPECT_EQ(hash_crc32(nullptr, 0), 0xCA813BF4u);
  EXPECT_EQ(hash_wy(nullptr, 0), 0x93228A4DE0EEC5A2ull);

  EXPECT_EQ(hash_fnv64("abc", 3), 0xD8DCCA186BAFADCBull);
  EXPECT_EQ(hash_fnv32("abc", 3), 0x1A47E90Bu);
  EXPECT_EQ(hash_crc32("abc", 3), 0x21E4C68Au);
  EXPECT_EQ(hash_wy("abc", 3), 0x989B4A209C1011C9ull);
}

TEST(Hash, HighBytesEnterAsUnsignedValues) {
  // A sign-extended 0xFF would XOR all-ones into the state.
  const char high[] = "\xFF\x80";
  EXPECT_EQ(hash_fnv32(high, 2), (((0x811C9DC5u ^ 0xFFu) * 16777619u) ^ 0x80u) * 16777619u);
  EXPECT_EQ(hash_fnv64(high, 2),
            (((0xCBF29CE484222325ull * 0x100000001B3ull) ^ 0xFFu) * 0x100000001B3ull) ^ 0x80u);
}

TEST(Hash, CrcTableIsTheReflectedStandardOne) {
  EXPECT_EQ(g_crc_table[0], 0u);
  EXPECT_EQ(g_crc_table[1], 0x77073096u);
  EXPECT_EQ(g_crc_table[128], 0xEDB88320u);
  EXPECT_EQ(g_crc_table[255], 0x2D02EF8Du);
}

TEST(Hash, IntegerMixZeroExtendsThirtyTwoBitValues) {
  EXPECT_EQ(hash<int>(-1), 0xA57F244E9B46D8FEull);
  EXPECT_EQ(hash<unsigned int>(0xFFFFFFFFu), 0xA57F244E9B46D8FEull);
  EXPECT_EQ(hash<long>(-1), 0x9B4792000001368Full);
  EXPECT_EQ(hash<unsigned long>(~0ul), 0x9B4792000001368Full);
  EXPECT_EQ(hash<int>(0), 0u);
  EXPECT_EQ(hash<unsigned int>(0), 0u);
  EXPECT_EQ(hash<long>(0), 0u);
  EXPECT_EQ(hash<unsigned long>(0), 0u);
}

TEST(Hash, AgreesWithByteAtATimeAtAnyLengthAndOffset) {
  // Each input ends exactly where its heap block ends, so AddressSanitizer
  // reports any read past the range (hash_wy's tail reads overlap backwards,
  // never forwards), and the offsets make every load unaligned in turn.
  const std::vector<u8> in = pattern(100);
  for (u64 offset = 0; offset < 8; ++offset) {
    for (u64 len = 0; len <= 100; ++len) {
      std::unique_ptr<u8[]> block(new u8[offset + len]);
      u8 *p = block.get() + offset;
      std::memcpy(p, in.data(), len);
      const std::string where = "offset " + std::to_string(offset) + " len " + std::to_string(len);
      EXPECT_EQ(hash_fnv32(p, len), fnv32_reference(p, len)) << where;
      EXPECT_EQ(hash_fnv64(p, len), fnv64_reference(p, len)) << where;
      EXPECT_EQ(hash_crc32(p, len), crc32_reference(p, len)) << where;
      EXPECT_EQ(hash_wy(p, len), hash_wy(in.data(), len)) << where;
    }
  }
}
