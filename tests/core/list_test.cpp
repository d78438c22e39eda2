#include "core/list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Counts live objects; a second destructor run on one object fails the test.
struct Tracked {
  static inline int live = 0;
  int v = 0;
  bool alive = true;
  Tracked() { ++live; }
  Tracked(int x) : v(x) { ++live; }
  Tracked(const Tracked &o) : v(o.v) { ++live; }
  Tracked &operator=(const Tracked &o) = default;
  ~Tracked() {
    EXPECT_TRUE(alive) << "destroyed twice: " << v;
    alive = false;
    --live;
  }
};

struct CountedKey {
  static inline int compares = 0;
  int v;
  friend bool operator<(CountedKey a, CountedKey b) { return ++compares, a.v < b.v; }
};

std::vector<int> values_of(const List<Tracked> &list) {
  std::vector<int> out;
  for (const Tracked &x : list) out.push_back(x.v);
  return out;
}

} // namespace

TEST(List, AppendLinksBothWaysAndClearingTwiceIsHarmless) {
  {
    List<Tracked> list;
    list.append(Tracked(1));
    EXPECT_TRUE(list.first == list.last && !list.first->next && !list.first->prev);
    list.append(Tracked(2));
    EXPECT_TRUE(list.first->next == list.last && list.last->prev == list.first);
    list.clear();
    list.clear();
    EXPECT_TRUE(!list.first && !list.last && list.count == 0 && Tracked::live == 0);
    list.append(Tracked(3)); // still usable; the destructor frees it
  }
  EXPECT_EQ(Tracked::live, 0);
}

TEST(List, MoveAssignmentExchangesAndWalksFollowAppendOrder) {
  {
    List<Tracked> a, b;
    const Tracked *first = &a.append(Tracked(1));
    a.append(Tracked(2));
    b.append(Tracked(3));
    a = static_cast<List<Tracked> &&>(b);
    EXPECT_EQ(values_of(a), std::vector<int>{3});
    EXPECT_EQ(values_of(b), (std::vector<int>{1, 2}));
    EXPECT_EQ(first, &b.first->value) << "elements must not move";
    // The log writer relies on this: a handler that adds a handler is not
    // called again for the same line through the node it just appended.
    int visited = 0;
    for (Tracked &x : a) visited += (a.append(Tracked(x.v + 1)), 1);
    EXPECT_EQ(visited, 1);
  }
  EXPECT_EQ(Tracked::live, 0);
}

TEST(List, SpliceMovesNodesAndKeepsBothListsLinked) {
  // {taken, into an empty list}: none, some, all.
  for (const auto &[n, empty] : {std::pair{0, false}, {2, false}, {3, false}, {3, true}}) {
    {
      List<Tracked> to, from;
      if (!empty) to.append(Tracked(0));
      for (int v : {1, 2, 3}) from.append(Tracked(v));
      const Tracked *moved = &from.first->value;
      to.splice_back(from, u64(n));
      std::vector<int> want = empty ? std::vector<int>{} : std::vector<int>{0}, rest;
      for (int v = 1; v <= 3; ++v) (v <= n ? want : rest).push_back(v);
      EXPECT_EQ(values_of(to), want);
      EXPECT_EQ(values_of(from), rest);
      EXPECT_TRUE((to.last == nullptr || !to.last->next) && (!from.first || !from.first->prev));
      EXPECT_EQ(to.count + from.count, empty ? 3u : 4u);
      if (n > 0) {
        EXPECT_EQ(moved, &(empty ? to.first : to.first->next)->value);
      }
    }
    EXPECT_EQ(Tracked::live, 0);
  }
}

TEST(SDict, ResizeKeepsLeadingEntriesAndCountNeverPassesTheArrays) {
  for (u64 n : {0u, 1u, 2u, 3u, 5u}) {
    {
      SDict<int, Tracked> d;
      d.resize(3);
      for (int i = 0; i < 3; ++i) d.append(i * 10, Tracked(i));
      const int *keys_before = d.keys;
      d.resize(n);
      EXPECT_TRUE(d.keys_len == n && d.values_len == n) << "n=" << n;
      EXPECT_EQ(d.count, std::min<u64>(n, 3)) << "n=" << n;
      EXPECT_TRUE((d.keys == nullptr) == (n == 0) && (d.values == nullptr) == (n == 0)) << n;
      EXPECT_TRUE(n != 3 || d.keys == keys_before) << "same length must keep the arrays";
      for (u64 i = 0; i < d.count; ++i) {
        EXPECT_TRUE(d.keys[i] == int(i) * 10 && d.values[i].v == int(i)) << n << " " << i;
      }
    }
    EXPECT_EQ(Tracked::live, 0) << "n=" << n;
  }
}

TEST(SDict, SortIsStableAndTakesOnePassOverKeysInOrder) {
  const struct {
    std::vector<int> keys;
    std::vector<int> sorted_tags; // append index of each entry after sorting
    int compares;                 // -1: not checked
  } rows[] = {
      {{}, {}, 0},
      {{5}, {0}, 0},
      {{1, 2, 3, 4}, {0, 1, 2, 3}, 3}, // one pass
      {{4, 3, 2, 1}, {3, 2, 1, 0}, -1},
      {{2, 1, 3, 4}, {1, 0, 2, 3}, -1},
      {{3, -1, 3, -7, 0, -1}, {3, 1, 5, 4, 0, 2}, -1},
  };
  for (const auto &row : rows) {
    SDict<CountedKey, int> d;
    d.resize(row.keys.size());
    for (u64 i = 0; i < row.keys.size(); ++i) d.append(CountedKey{row.keys[i]}, int(i));
    CountedKey::compares = 0;
    d.sort();
    EXPECT_EQ(std::vector<int>(d.values, d.values + d.count), row.sorted_tags)
        << "row of " << row.keys.size();
    EXPECT_TRUE(row.compares < 0 || CountedKey::compares == row.compares)
        << "row of " << row.keys.size() << ": " << CountedKey::compares << " comparisons";
  }
}

TEST(SDict, SortOfKeysAfterALongRunThatBelongBeforeItIsNotQuadratic) {
  constexpr int run = 8000, lone = 2000;
  SDict<CountedKey, int> d;
  d.resize(run + lone);
  for (int i = 0; i < run; ++i) d.append(CountedKey{lone + i}, i);
  for (int i = 0; i < lone; ++i) d.append(CountedKey{lone - 1 - i}, run + i);
  CountedKey::compares = 0;
  d.sort();
  for (int i = 0; i < run + lone; ++i) ASSERT_EQ(d.keys[i].v, i);
  EXPECT_LT(CountedKey::compares, 20 * (run + lone)) << "an exchange sort makes ~run * lone";
}

TEST(SDict, FindReturnsTheFirstEqualEntryOrNull) {
  SDict<int, int> d;
  EXPECT_EQ(d.find(1), nullptr);
  d.resize(6);
  for (int k : {9, -4, 2, 9, 0, 2}) d.append(k, int(d.count));
  d.sort(); // -4 0 2 2 9 9
  const std::pair<int, int> cases[] = {{-4, 1},  {0, 4},  {2, 2},  {9, 0},
                                       {-5, -1}, {1, -1}, {10, -1}};
  for (auto [key, tag] : cases) {
    const int *v = d.find(key);
    EXPECT_EQ(v ? *v : -1, tag) << "key " << key;
  }
}
