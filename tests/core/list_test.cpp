#include "core/list.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

// Counts live objects and flags a destructor run twice on the same object.
struct Tracked {
  static inline int live = 0;
  static inline bool fail_default = false;
  int v = 0;
  bool alive = true;

  Tracked() {
    if (fail_default) throw std::runtime_error("no");
    ++live;
  }
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

template <typename T> std::vector<int> values_of(const List<T> &list) {
  std::vector<int> out;
  for (const T &x : list) out.push_back(x.v);
  return out;
}

} // namespace

TEST(List, AppendLinksBothDirectionsAndClearTwiceIsHarmless) {
  {
    List<Tracked> list;
    list.clear();
    EXPECT_TRUE(list.first == nullptr && list.last == nullptr && list.count == 0);
    list.append(Tracked(1));
    EXPECT_EQ(list.first, list.last);
    EXPECT_TRUE(list.first->next == nullptr && list.first->prev == nullptr);
    list.append(Tracked(2));
    EXPECT_EQ(list.first->next, list.last);
    EXPECT_EQ(list.last->prev, list.first);
    EXPECT_EQ(list.last->next, nullptr);
    EXPECT_EQ(Tracked::live, 2);
    list.clear();
    list.clear();
    EXPECT_TRUE(list.first == nullptr && list.last == nullptr && list.count == 0);
    EXPECT_EQ(Tracked::live, 0);
    list.append(Tracked(3)); // still usable, and the destructor frees it
  }
  EXPECT_EQ(Tracked::live, 0);
}

TEST(List, ElementsStayPutAndIterateInAppendOrder) {
  List<Tracked> list;
  Tracked *first = &list.append(Tracked(0));
  for (int i = 1; i < 100; ++i) list.append(Tracked(i));
  EXPECT_EQ(first, &list.first->value);
  EXPECT_EQ(values_of(list).size(), 100u);
  EXPECT_EQ(values_of(list)[99], 99);
}

// The log writer relies on this: a handler that adds a handler must not be
// called again for the same line through the node it just appended.
TEST(List, AppendDuringWalkAtTheLastElementIsNotVisited) {
  List<Tracked> list;
  list.append(Tracked(1));
  int visited = 0;
  for (Tracked &x : list) {
    ++visited;
    if (x.v < 5) list.append(Tracked(x.v + 1));
  }
  EXPECT_EQ(visited, 1);
  EXPECT_EQ(list.count, 2u);
}

TEST(List, MoveAssignmentExchangesAndFreesEverything) {
  {
    List<Tracked> a;
    a.append(Tracked(1));
    a.append(Tracked(2));
    List<Tracked> b;
    b.append(Tracked(3));
    a = static_cast<List<Tracked> &&>(b);
    EXPECT_EQ(values_of(a), std::vector<int>{3});
    EXPECT_EQ(values_of(b), (std::vector<int>{1, 2}));
    List<Tracked> c(static_cast<List<Tracked> &&>(b));
    EXPECT_EQ(b.count, 0u);
    EXPECT_EQ(c.count, 2u);
  }
  EXPECT_EQ(Tracked::live, 0);
}

TEST(SDict, ResizeKeepsLeadingEntriesAndNeverLeavesCountPastTheArrays) {
  const u64 sizes[] = {0, 1, 2, 3, 5};
  for (u64 n : sizes) {
    {
      SDict<int, Tracked> d;
      d.resize(3);
      for (int i = 0; i < 3; ++i) d.append(i * 10, Tracked(i));
      const int *keys_before = d.keys;
      d.resize(n);
      EXPECT_EQ(d.keys_len, n) << "n=" << n;
      EXPECT_EQ(d.values_len, n) << "n=" << n;
      EXPECT_EQ(d.count, n < 3 ? n : 3) << "n=" << n;
      EXPECT_EQ(d.keys == nullptr, n == 0) << "n=" << n;
      EXPECT_EQ(d.values == nullptr, n == 0) << "n=" << n;
      if (n == 3) {
        EXPECT_EQ(d.keys, keys_before) << "same length must keep the arrays";
      }
      for (u64 i = 0; i < d.count; ++i) {
        EXPECT_EQ(d.keys[i], int(i) * 10) << "n=" << n << " i=" << i;
        EXPECT_EQ(d.values[i].v, int(i)) << "n=" << n << " i=" << i;
      }
    }
    EXPECT_EQ(Tracked::live, 0) << "n=" << n;
  }
}

TEST(SDict, FailedResizeLeavesTheDictAsItWas) {
  SDict<int, Tracked> d;
  d.resize(2);
  d.append(7, Tracked(70));
  Tracked::fail_default = true;
  EXPECT_THROW(d.resize(4), std::runtime_error);
  Tracked::fail_default = false;
  EXPECT_EQ(d.keys_len, 2u);
  EXPECT_EQ(d.values_len, 2u);
  EXPECT_EQ(d.keys[0], 7);
  EXPECT_EQ(d.values[0].v, 70);
}

TEST(SDict, SortIsStableAndStopsAfterAPassWithoutSwaps) {
  struct Row {
    std::vector<int> keys;
    std::vector<int> sorted_tags; // the append index of each entry after sorting
    int compares;
  };
  const Row rows[] = {
      {{}, {}, 0},
      {{5}, {0}, 0},
      {{1, 2, 3, 4}, {0, 1, 2, 3}, 3}, // one pass
      {{4, 3, 2, 1}, {3, 2, 1, 0}, 6}, // count - 1 passes
      {{2, 1, 3, 4}, {1, 0, 2, 3}, 5}, // second pass finds nothing to swap
      {{3, -1, 3, -7, 0, -1}, {3, 1, 5, 4, 0, 2}, -1},
  };
  for (const Row &row : rows) {
    SDict<CountedKey, int> d;
    d.resize(row.keys.size());
    for (u64 i = 0; i < row.keys.size(); ++i) d.append(CountedKey{row.keys[i]}, int(i));
    CountedKey::compares = 0;
    d.sort();
    std::vector<int> tags(d.values, d.values + d.count);
    EXPECT_EQ(tags, row.sorted_tags) << "row with " << row.keys.size() << " keys";
    if (row.compares >= 0) {
      EXPECT_EQ(CountedKey::compares, row.compares) << "row with " << row.keys.size() << " keys";
    }
  }
}

TEST(SDict, FindReturnsFirstEqualEntryOrNull) {
  SDict<int, int> d;
  EXPECT_EQ(d.find(1), nullptr);
  d.resize(6);
  const int keys[] = {9, -4, 2, 9, 0, 2};
  for (int i = 0; i < 6; ++i) d.append(keys[i], i);
  d.sort(); // -4 0 2 2 9 9
  const int hits[][2] = {{-4, 1}, {0, 4}, {2, 2}, {9, 0}};
  for (const auto &h : hits) {
    ASSERT_NE(d.find(h[0]), nullptr) << "key " << h[0];
    EXPECT_EQ(*d.find(h[0]), h[1]) << "key " << h[0];
  }
  for (int miss : {-5, -3, 1, 3, 10}) EXPECT_EQ(d.find(miss), nullptr) << "key " << miss;
}

#ifndef NDEBUG
TEST(SDictDeathTest, AppendPastTheArraysIsCaughtInDebugBuilds) {
  SDict<int, int> d;
  d.resize(1);
  d.append(1, 1);
  EXPECT_DEATH(d.append(2, 2), "resize first");
}
#endif
