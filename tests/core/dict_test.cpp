#include "core/dict.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// ------------------------------------------------------------ test types

// Counts live objects. An object that is used or destroyed after its
// destructor ran, or that was never constructed, fails by its tag.
struct Live {
  static inline i64 count = 0;
  static constexpr u32 k_alive = 0x11FE11FE;
  static constexpr u32 k_dead = 0xDEADDEAD;
  u32 tag = k_alive;

  Live() { ++count; }
  Live(const Live &o) : Live() { check(o); }
  Live(Live &&o) noexcept : Live() { check(o); }
  Live &operator=(const Live &) = delete;
  ~Live() {
    check(*this);
    tag = k_dead;
    --count;
  }
  static void check(const Live &o) {
    if (o.tag != k_alive) ADD_FAILURE() << "object used after destruction or never constructed";
  }
};

struct Val {
  int v = 0;
  Live live;
  explicit Val(int x) : v(x) {}
};

// A key whose hash the test chooses, to build chains, evictions and full
// displacement ranges on purpose. Equal ids must carry equal hashes.
struct BadKey {
  u32 id = 0;
  u64 hash = 0;
  Live live;
  static inline u64 compares = 0;
};

// A value whose copy throws once the countdown reaches zero.
struct Fragile {
  static inline int copies_left = -1;
  int v = 0;
  Live live;
  explicit Fragile(int x) : v(x) {}
  Fragile(const Fragile &o) : v(o.v), live(o.live) {
    if (copies_left == 0) throw std::runtime_error("copy refused");
    if (copies_left > 0) --copies_left;
  }
  Fragile(Fragile &&o) noexcept = default;
};

// A key and value small enough that buckets are 4 bytes.
struct Tiny {
  u16 v = 0;
};

} // namespace

template <> struct DictKey<BadKey> {
  static u64 hash(const BadKey &k) { return k.hash; }
  static bool equals(const BadKey &a, const BadKey &b) {
    ++BadKey::compares;
    return a.id == b.id;
  }
};

template <> struct DictKey<Tiny> {
  static u64 hash(const Tiny &k) { return ::hash<unsigned>(k.v); }
  static bool equals(const Tiny &a, const Tiny &b) { return a.v == b.v; }
};

namespace {

BadKey bad(u32 id, u64 hash) {
  BadKey k;
  k.id = id;
  k.hash = hash;
  return k;
}

// Key i of a chain at home 3 whose members differ only in the fragment.
BadKey chain(u32 i) {
  return bad(i, u64{i} << 60 | 3);
}

// Every id shares home 7 in tables up to 4096 buckets; bit 12 and above
// split them only in larger tables.
BadKey same_home(u32 id) {
  return bad(id, (u64{id & 15} << 60) | (u64{id >> 4} << 12) | 7);
}

template <typename D, typename It> u64 index_of(const D &d, const It &it) {
  return static_cast<u64>(it.raw.metadatum - d.raw().metadata);
}

int plain(int v) {
  return v;
}
int plain(const Val &v) {
  return v.v;
}

// The stored value, or nothing: a miss reports instead of crashing the test.
template <typename K, typename V> std::optional<int> lookup(const Dict<K, V> &d, const K &k) {
  auto it = d.get(k);
  if (!it.found()) return std::nullopt;
  return plain(it.value());
}

// ------------------------------------------------------------ empty state

TEST(Dict, NewDictionaryIsEmptyAndOwnsNothing) {
  Dict<int, int> d;
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(d.bucket_count(), 0u);
  EXPECT_EQ(d.raw().buckets, nullptr);
  EXPECT_EQ(d.raw().metadata, &g_vt_empty_placeholder_metadatum);
  EXPECT_EQ(d.raw().total_alloc_size(), 0u);
  EXPECT_TRUE(d.begin().at_end());
  EXPECT_FALSE(d.get(0).found());
  EXPECT_FALSE(d.get(-1).found());
  EXPECT_FALSE(d.erase(0));
  EXPECT_TRUE(d.erase(d.get(0))) << "erasing nothing must not ask an iterating caller to stay";
  for (auto e : d) ADD_FAILURE() << "visited key " << e.key();
  d.clear();
  d.destroy();
  EXPECT_TRUE(d.shrink());
  EXPECT_EQ(d.raw().buckets, nullptr);
  EXPECT_EQ(g_vt_empty_placeholder_metadatum, u16{0});
}

// ---------------------------------------------------------- sizes, layout

TEST(Dict, CapacityFollowsTheLoadLimit) {
  struct Row {
    int entries;
    u64 buckets;
  };
  const Row rows[] = {{1, 8},   {7, 8},   {8, 16},  {14, 16}, {15, 32},
                      {28, 32}, {29, 64}, {57, 64}, {58, 128}};
  Dict<int, int> d;
  int inserted = 0;
  for (const Row &r : rows) {
    while (inserted < r.entries) {
      ASSERT_TRUE(d.insert(inserted, inserted * 3).found());
      ++inserted;
    }
    EXPECT_EQ(d.bucket_count(), r.buckets) << "entries: " << r.entries;
    EXPECT_EQ(d.size(), static_cast<u64>(r.entries));
  }
  for (int k = 0; k < inserted; ++k) {
    auto it = d.get(k);
    ASSERT_TRUE(it.found()) << "key " << k;
    EXPECT_EQ(it.value(), k * 3);
  }
}

TEST(Dict, ReserveShrinkAndRehashSizes) {
  struct Row {
    u64 reserve;
    u64 buckets;
  };
  for (const Row r : {Row{0, 0}, Row{1, 8}, Row{7, 8}, Row{8, 16}, Row{15, 32}, Row{57, 64}}) {
    Dict<int, int> d;
    EXPECT_TRUE(d.reserve(r.reserve));
    EXPECT_EQ(d.bucket_count(), r.buckets) << "reserve(" << r.reserve << ")";
  }

  Dict<int, int> d;
  ASSERT_TRUE(d.reserve(50));
  ASSERT_EQ(d.bucket_count(), 64u);
  EXPECT_TRUE(d.reserve(7));
  EXPECT_EQ(d.bucket_count(), 64u) << "reserve must never shrink";
  for (int k = 0; k < 7; ++k) d.insert(k, -k);
  EXPECT_TRUE(d.shrink());
  EXPECT_EQ(d.bucket_count(), 8u);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(lookup(d, k), -k) << "key " << k;

  EXPECT_TRUE(d.rehash(256));
  EXPECT_EQ(d.bucket_count(), 256u);
  EXPECT_TRUE(d.rehash(8));
  for (const u64 bad_count : {u64{0}, u64{4}, u64{12}, u64{1} << 63 | 8}) {
    EXPECT_FALSE(d.rehash(bad_count)) << "rehash(" << bad_count << ")";
    EXPECT_EQ(d.bucket_count(), 8u);
  }
  // Far beyond memory: must fail cleanly instead of looping or wrapping.
  for (const u64 huge : {~u64{0}, u64{1} << 62, u64{1} << 58}) {
    EXPECT_FALSE(d.reserve(huge)) << "reserve(" << huge << ")";
    EXPECT_EQ(d.bucket_count(), 8u);
  }

  for (int k = 0; k < 7; ++k) d.erase(k);
  EXPECT_NE(d.raw().buckets, nullptr) << "erasing keeps the block";
  EXPECT_TRUE(d.shrink());
  EXPECT_EQ(d.raw().buckets, nullptr);
  EXPECT_EQ(d.raw().metadata, &g_vt_empty_placeholder_metadatum);
}

TEST(Dict, SmallBucketsSurviveRebuilds) {
  Dict<Tiny, u8> d;
  ASSERT_LT(d.raw().vtable->bucket_size, 8u);
  for (u16 k = 0; k < 3000; ++k) d.insert(Tiny{k}, static_cast<u8>(k * 7));
  for (u16 k = 0; k < 3000; k += 2) d.erase(Tiny{k});
  EXPECT_TRUE(d.shrink());
  EXPECT_EQ(d.bucket_count(), 2048u);
  for (u16 k = 0; k < 3000; ++k) {
    auto it = d.get(Tiny{k});
    ASSERT_EQ(it.found(), k % 2 == 1) << "key " << k;
    if (it.found()) {
      EXPECT_EQ(it.value(), static_cast<u8>(k * 7)) << "key " << k;
    }
  }
}

// -------------------------------------------------------- chains, eviction

TEST(Dict, DisplacementsVisitEveryOtherBucketOnce) {
  for (u64 count = 8; count <= 1024; count *= 2) {
    for (const u64 home : {u64{0}, count / 2 + 1, count - 1}) {
      std::vector<bool> seen(count);
      seen[home] = true;
      for (u64 d = 1; d < count; ++d) {
        const u64 b = details::dict_displaced_bucket(home, d, count - 1);
        ASSERT_FALSE(seen[b]) << "count " << count << " home " << home << " d " << d;
        seen[b] = true;
      }
    }
  }
}

TEST(Dict, ChainFromHomeThreeFillsTheWalkInOrder) {
  Dict<BadKey, int> d;
  const u64 expected[] = {3, 4, 6, 1, 5, 2, 0};
  for (u32 i = 0; i < 7; ++i) {
    auto it = d.insert(chain(i), static_cast<int>(i));
    ASSERT_TRUE(it.found());
    EXPECT_EQ(index_of(d, it), expected[i]) << "key " << i;
  }
  ASSERT_EQ(d.bucket_count(), 8u);
  EXPECT_TRUE(d.raw().metadata[3] & details::k_dict_in_home);
  u64 index = 99;
  u64 displacement = 99;
  ASSERT_TRUE(d.raw().find_first_empty(3, index, displacement));
  EXPECT_EQ(index, 7u);
  EXPECT_EQ(displacement, 7u);

  // Other fragments in the same chain are skipped without a key comparison.
  for (u32 i = 0; i < 7; ++i) {
    BadKey::compares = 0;
    EXPECT_EQ(lookup(d, chain(i)), static_cast<int>(i));
    EXPECT_EQ(BadKey::compares, 1u) << "key " << i;
  }
  BadKey::compares = 0;
  EXPECT_FALSE(d.get(chain(7)).found());
  EXPECT_EQ(BadKey::compares, 0u);
  EXPECT_FALSE(d.get(bad(100, 3)).found()) << "same fragment as key 0, different key";
  EXPECT_EQ(BadKey::compares, 1u);
}

TEST(Dict, ReplacingKeepsSizeEvenAtTheLoadLimit) {
  Dict<BadKey, Val> d;
  for (u32 i = 0; i < 7; ++i) d.insert(chain(i), Val(static_cast<int>(i)));
  ASSERT_EQ(d.bucket_count(), 8u);
  const i64 live = Live::count;
  auto it = d.insert(chain(4), Val(40));
  ASSERT_TRUE(it.found());
  EXPECT_EQ(it.value().v, 40);
  EXPECT_EQ(d.size(), 7u);
  EXPECT_EQ(d.bucket_count(), 8u);
  EXPECT_EQ(Live::count, live);
  EXPECT_EQ(lookup(d, chain(4)), 40);
}

TEST(Dict, ForeignEntryLeavesAHomeBucketForItsOwnChain) {
  Dict<BadKey, int> d;
  d.insert(bad(0, 3), 0);
  d.insert(chain(1), 1); // displaced to bucket 4
  ASSERT_EQ(index_of(d, d.get(chain(1))), 4u);
  auto it = d.insert(bad(2, 4), 2); // home 4 is taken by key 1
  EXPECT_EQ(index_of(d, it), 4u);
  EXPECT_TRUE(d.raw().metadata[4] & details::k_dict_in_home);
  EXPECT_EQ(index_of(d, d.get(chain(1))), 6u) << "next free from home 3";
  EXPECT_EQ(lookup(d, bad(0, 3)), 0);
  EXPECT_EQ(lookup(d, chain(1)), 1);
  EXPECT_EQ(lookup(d, bad(2, 4)), 2);
}

TEST(Dict, FullDisplacementRangeGrowsTheTable) {
  Dict<BadKey, Val> d;
  for (u32 i = 0; i < 2047; ++i)
    ASSERT_TRUE(d.insert(same_home(i), Val(static_cast<int>(i))).found());
  // One chain of 2047: the home plus every displacement 1..2046.
  ASSERT_EQ(d.bucket_count(), 4096u);

  // Its members cannot be evicted: the failed attempt must change nothing.
  // (A shallow copy of the core, to reach the operation; it shares the block.)
  details::DictV v = d.raw();
  const std::vector<u16> before(v.metadata, v.metadata + 4096 + 4);
  const u64 member = details::dict_displaced_bucket(7, 5, 4095);
  EXPECT_FALSE(v.evict(member));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), v.metadata));

  // A key whose home is that member's bucket, and one more for the chain.
  ASSERT_TRUE(d.insert(bad(5000, member), Val(5000)).found());
  ASSERT_TRUE(d.insert(same_home(2047), Val(2047)).found());
  EXPECT_GE(d.bucket_count(), 8192u);
  EXPECT_EQ(d.size(), 2049u);
  for (u32 i = 0; i < 2048; ++i) ASSERT_EQ(lookup(d, same_home(i)), static_cast<int>(i));
  EXPECT_EQ(lookup(d, bad(5000, member)), 5000);
  EXPECT_EQ(Live::count, 2 * 2049);
}

TEST(Dict, AbandonedRebuildKeepsEveryEntry) {
  Dict<BadKey, Val> d;
  for (u32 i = 0; i < 2048; ++i) d.insert(same_home(i), Val(static_cast<int>(i)));
  ASSERT_EQ(d.bucket_count(), 8192u);
  const i64 live = Live::count;

  // 2048 keys share one home in 4096 buckets: the attempt is given up and
  // the next size taken.
  EXPECT_TRUE(d.rehash(4096));
  EXPECT_EQ(d.bucket_count(), 8192u);
  EXPECT_EQ(Live::count, live);

  // Shrinking would need 4096 buckets, which cannot work: the table stays.
  const u8 *block = d.raw().buckets;
  EXPECT_TRUE(d.shrink());
  EXPECT_EQ(d.raw().buckets, block);

  for (u32 i = 0; i < 2048; ++i) ASSERT_EQ(lookup(d, same_home(i)), static_cast<int>(i));
  EXPECT_EQ(Live::count, live);
}

// ------------------------------------------------------------------- erasure

TEST(Dict, EraseThroughIteratorTellsWhetherToAdvance) {
  // Chains from home 3 fill buckets 3, 4, 6, 1 in order (keys 0, 1, 2, 3).
  // The result is false only when the chain's last member comes from a later
  // bucket, which an iterating caller has not visited yet.
  struct Row {
    u32 members;
    u32 erased;
    bool advance;
  };
  const Row rows[] = {{1, 0, true}, {3, 0, false}, {3, 1, false}, {3, 2, true},
                      {4, 0, true}, {4, 1, true},  {4, 2, true},  {4, 3, true}};
  for (const Row &r : rows) {
    Dict<BadKey, Val> d;
    for (u32 i = 0; i < r.members; ++i) d.insert(chain(i), Val(static_cast<int>(i)));
    auto it = d.get(chain(r.erased));
    EXPECT_EQ(d.erase(it), r.advance) << "members " << r.members << ", erased " << r.erased;
    for (u32 i = 0; i < r.members; ++i)
      EXPECT_EQ(lookup(d, chain(i)).has_value(), i != r.erased)
          << "members " << r.members << ", erased " << r.erased << ", key " << i;
    if (!r.advance) {
      EXPECT_EQ(it.key().id, 2u) << "the iterator denotes the moved-in entry";
    }
    if (r.erased == 0 && r.members > 1) {
      EXPECT_TRUE(d.raw().metadata[3] & details::k_dict_in_home) << "members " << r.members;
    }
    EXPECT_EQ(Live::count, 2 * static_cast<i64>(r.members - 1));
  }
}

template <typename K, typename V, typename IdOf>
void erase_all_while_iterating(Dict<K, V> &d, IdOf id_of) {
  std::unordered_set<u32> visited;
  const u64 n = d.size();
  for (auto it = d.begin(); !it.at_end();) {
    ASSERT_TRUE(visited.insert(id_of(it.key())).second) << "visited twice: " << id_of(it.key());
    if (d.erase(it)) ++it;
  }
  EXPECT_EQ(visited.size(), n);
  EXPECT_EQ(d.size(), 0u);
  EXPECT_TRUE(d.begin().at_end());
}

TEST(Dict, ErasingEverythingWhileIteratingVisitsEachOnce) {
  Dict<int, Val> ints;
  for (int k = 0; k < 1000; ++k) ints.insert(k * 7919, Val(k));
  erase_all_while_iterating(ints, [](int k) { return static_cast<u32>(k); });

  Dict<BadKey, Val> chained;
  for (u32 i = 0; i < 1500; ++i) chained.insert(bad(i, (u64{i} << 60) | (i % 3) << 4 | 1), Val(0));
  erase_all_while_iterating(chained, [](const BadKey &k) { return k.id; });
  EXPECT_EQ(Live::count, 0);
}

// ------------------------------------------------------------- copy, move

TEST(Dict, CopiesAreDeepAndMovesLeaveTheSourceUnallocated) {
  Dict<Str, Val> src;
  for (int k = 0; k < 40; ++k) src.insert(fmt("key-", k), Val(k));
  Dict<Str, Val> copy(src);
  src.erase(Str("key-4"));
  src.insert(Str("key-3"), Val(-3));
  int visited = 0;
  for (const auto &e : copy) {
    EXPECT_EQ(fmt("key-", e.value().v).view(), e.key().view());
    ++visited;
  }
  EXPECT_EQ(visited, 40);

  Dict<Str, Val> other;
  other.insert(Str("old"), Val(1));
  other = copy;
  other = static_cast<const Dict<Str, Val> &>(other);
  EXPECT_FALSE(other.get(Str("old")).found());
  EXPECT_EQ(lookup(other, Str("key-7")), 7);
  EXPECT_EQ(Live::count, 39 + 40 + 40);

  Dict<Str, Val> moved(std::move(copy));
  other = std::move(moved);
  for (const Dict<Str, Val> *gone : {&copy, &moved}) {
    EXPECT_EQ(gone->size(), 0u);
    EXPECT_EQ(gone->raw().buckets, nullptr);
  }
  EXPECT_EQ(lookup(other, Str("key-4")), 4);
  EXPECT_EQ(Live::count, 39 + 40);
  const Dict<Str, Val> empty;
  const Dict<Str, Val> empty_copy(empty);
  EXPECT_EQ(empty_copy.raw().metadata, &g_vt_empty_placeholder_metadatum);
}

TEST(Dict, FailedCopyLeavesADictionarySafeToUse) {
  Dict<int, int> typed;
  // A source too large to allocate: only its sizes are read before failing.
  details::DictV huge;
  huge.init(typed.raw().vtable);
  huge.count = 1;
  huge.bucket_mask = (u64{1} << 60) - 1;
  huge.buckets = reinterpret_cast<u8 *>(&huge);
  details::DictV copy;
  ASSERT_FALSE(copy.init(huge));
  EXPECT_EQ(copy.size(), 0u);
  EXPECT_EQ(copy.bucket_mask, 0u);
  EXPECT_EQ(copy.buckets, nullptr);
  EXPECT_EQ(copy.metadata, &g_vt_empty_placeholder_metadatum);
  int key = 5;
  EXPECT_EQ(copy.get(&key).bucket, nullptr);
  copy.destroy();
}

TEST(Dict, ThrowingCopyLeavesNothingBehind) {
  using FragileDict = Dict<int, Fragile>;
  FragileDict d;
  for (int k = 0; k < 20; ++k) d.insert(k, Fragile(k));
  const i64 live = Live::count;
  Fragile::copies_left = 10;
  EXPECT_THROW(FragileDict copy(d), std::runtime_error);
  Fragile::copies_left = -1;
  EXPECT_EQ(Live::count, live);
}

// ------------------------------------------------------------ key types

TEST(Dict, PathKeysCompareByExactText) {
  int faces[3] = {};
  Dict<Path, int *> cache;
  const Path a("fonts/a.ttf");
  if (!cache.get(a).found()) cache.insert(a, &faces[0]);
  cache.insert(Path("fonts//a.ttf"), &faces[1]);
  cache.insert(Path(""), &faces[2]);
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(cache.get(Path("fonts/a.ttf")).value(), &faces[0]);
  EXPECT_EQ(cache.get(Path("fonts//a.ttf")).value(), &faces[1]);
  EXPECT_EQ(cache.get(Path("")).value(), &faces[2]);
  EXPECT_FALSE(cache.get(Path("fonts/A.ttf")).found());
  EXPECT_EQ(a.text.view(), StrView("fonts/a.ttf")) << "insert copies, the caller's path is kept";
}

// ------------------------------------------------------ model comparison

// Each harness turns a small id into a key and a small int into a value.
struct IntKeys {
  using K = int;
  using V = Val;
  static constexpr i64 lives_per_entry = 1;
  static K key(u32 id) { return static_cast<int>(id) - 1000; }
  static u32 id(const K &k) { return static_cast<u32>(k + 1000); }
  static V value(int v) { return Val(v); }
  static int value_of(const V &v) { return v.v; }
};

struct PathKeys {
  using K = Path;
  using V = const int *;
  static inline int pointees[64] = {};
  static constexpr i64 lives_per_entry = 0;
  static K key(u32 id) {
    return Path(fmt("fonts/", StrView(id % 7 == 0 ? "sub/" : ""), "face-", id, ".ttf"));
  }
  static u32 id(const K &k) {
    u32 n = 0;
    parse_str(k.name_without_ext().sub(5, StrView::npos), n);
    return n;
  }
  static V value(int v) { return &pointees[v % 64]; }
  static int value_of(const V &v) { return static_cast<int>(v - pointees); }
};

// Few distinct hashes. Three keys in four share bits 0..11 and differ in
// bits 12..14 and the fragment: one chain in tables up to 4096 buckets, long
// enough to exhaust displacements 1..2046, split only by larger tables. The
// rest take 64 scattered values whose homes sit inside those chains and must
// be evicted from them.
struct BadKeys {
  using K = BadKey;
  using V = Val;
  static constexpr i64 lives_per_entry = 2;
  static K key(u32 id) {
    if (id % 4 == 0) return bad(id, (id / 4 % 64 + 1) * 0x9E3779B97F4A7C15ull);
    return bad(id, (u64{id & 15} << 60) | (u64{(id >> 4) & 7} << 12) | 5);
  }
  static u32 id(const K &k) { return k.id; }
  static V value(int v) { return Val(v); }
  static int value_of(const V &v) { return v.v; }
};

template <typename H> class Differential {
public:
  using K = typename H::K;
  using V = typename H::V;

  explicit Differential(u32 seed) : rng_(seed) {}

  void run(u64 ops) {
    const u32 domains[] = {40, 600, 5000, 1500};
    for (u64 op = 0; op < ops; ++op) {
      op_ = op;
      domain_ = domains[(op * 4 / ops) % 4];
      step();
      if (::testing::Test::HasFatalFailure()) return;
      if (op % 1000 == 999) check_all();
      if (::testing::Test::HasFatalFailure()) return;
    }
    check_all();
    d_.destroy();
    EXPECT_EQ(Live::count, 0);
  }

private:
  u32 pick(u32 n) { return std::uniform_int_distribution<u32>(0, n - 1)(rng_); }

  void step() {
    const u32 roll = pick(100000);
    const u32 id = pick(domain_);
    const int value = static_cast<int>(pick(1 << 20));
    if (roll < 45000) {
      auto it = d_.insert(H::key(id), H::value(value));
      ASSERT_TRUE(it.found()) << where();
      ASSERT_EQ(H::id(it.key()), id) << where();
      ASSERT_EQ(H::value_of(it.value()), H::value_of(H::value(value))) << where();
      model_[id] = H::value_of(H::value(value));
    } else if (roll < 80000) {
      auto it = d_.get(H::key(id));
      const auto m = model_.find(id);
      ASSERT_EQ(it.found(), m != model_.end()) << where() << " get " << id;
      if (it.found()) {
        ASSERT_EQ(H::value_of(it.value()), m->second) << where();
      }
    } else if (roll < 94000) {
      ASSERT_EQ(d_.erase(H::key(id)), model_.erase(id) == 1) << where() << " erase " << id;
    } else if (roll < 99000) {
      auto it = d_.get(H::key(id));
      if (it.found()) {
        (void)d_.erase(it);
        model_.erase(id);
      }
    } else if (roll < 99020) {
      erase_while_iterating();
    } else if (roll < 99400) {
      const u64 n = pick(static_cast<u32>(2 * d_.size() + 20));
      const u64 before = d_.bucket_count();
      ASSERT_TRUE(d_.reserve(n)) << where();
      ASSERT_GE(d_.bucket_count(), before) << where();
      if (n > 0) {
        ASSERT_LE(static_cast<double>(n), static_cast<double>(d_.bucket_count()) * 0.9) << where();
      }
    } else if (roll < 99800) {
      ASSERT_TRUE(d_.shrink()) << where();
      if (model_.empty()) {
        ASSERT_EQ(d_.raw().buckets, nullptr) << where();
      }
    } else if (roll < 99990) {
      Dict<K, V> copy(d_);
      check_all(copy);
      if (pick(2) == 0)
        d_ = std::move(copy);
      else
        copy.insert(H::key(id), H::value(value)); // must not reach d_
    } else {
      d_.clear();
      model_.clear();
    }
    ASSERT_EQ(d_.size(), model_.size()) << where();
  }

  void erase_while_iterating() {
    std::unordered_set<u32> visited;
    const u64 before = d_.size();
    for (auto it = d_.begin(); !it.at_end();) {
      const u32 id = H::id(it.key());
      ASSERT_TRUE(visited.insert(id).second) << where() << " visited twice: " << id;
      if (pick(8) != 0) {
        ++it;
        continue;
      }
      model_.erase(id);
      if (d_.erase(it)) ++it;
    }
    ASSERT_EQ(visited.size(), before) << where();
  }

  void check_all() { check_all(d_); }

  void check_all(const Dict<K, V> &d) {
    ASSERT_EQ(d.size(), model_.size()) << where();
    std::unordered_set<u32> seen;
    for (const auto &e : d) {
      const u32 id = H::id(e.key());
      ASSERT_TRUE(seen.insert(id).second) << where() << " iterated twice: " << id;
      const auto m = model_.find(id);
      ASSERT_NE(m, model_.end()) << where() << " stale entry " << id;
      ASSERT_EQ(H::value_of(e.value()), m->second) << where();
    }
    ASSERT_EQ(seen.size(), model_.size()) << where();
    for (const auto &[id, value] : model_) {
      auto it = d.get(H::key(id));
      ASSERT_TRUE(it.found()) << where() << " lost " << id;
      ASSERT_EQ(H::value_of(it.value()), value) << where();
    }
    if (H::lives_per_entry != 0) {
      const u64 entries = d_.size() + (&d == &d_ ? 0 : d.size());
      ASSERT_EQ(Live::count, H::lives_per_entry * static_cast<i64>(entries)) << where();
    }
  }

  std::string where() const { return "op " + std::to_string(op_); }

  std::mt19937 rng_;
  Dict<K, V> d_;
  std::unordered_map<u32, int> model_;
  u64 op_ = 0;
  u32 domain_ = 0;
};

TEST(Dict, MatchesAModelWithIntegerKeys) {
  Differential<IntKeys>(20240601).run(120000);
}

TEST(Dict, MatchesAModelWithPathKeys) {
  Differential<PathKeys>(77).run(100000);
}

TEST(Dict, MatchesAModelWithABadHash) {
  Differential<BadKeys>(4242).run(120000);
}

} // namespace
