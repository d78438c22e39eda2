// Dict<int, int> and Dict<Path, int> beside std::unordered_map (with
// std::string for paths) at 100, 10,000 and 1,000,000 entries: insertion
// into a growing table, lookups that hit and that miss, erasure of every
// entry, and iteration. Both sides get the same keys in the same order.
//
// Integer keys are distinct but scattered (a bijection of the index), not
// 0, 1, 2..., which would flatter std::hash<int>, the identity. Path keys
// look like font paths, about 44 characters, longer than std::string keeps
// inline, so both sides allocate one block per stored key.
//
// Insertion and erasure need a fresh table per round; building it is not
// timed. Small tables are handled in batches of many tables per round so
// that pausing the clock stays negligible.
#include "bench/micro.h"
#include "core/dict.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr u64 k_sizes[] = {100, 10'000, 1'000'000};
// Operations per timed round for insertion and erasure, at least.
constexpr u64 k_batch_ops = 100'000;

u32 scatter(u64 i) {
  return static_cast<u32>(i) * 2654435761u ^ 0x9E3779B9u;
}

// Keys n .. 2n - 1 of the same families are the misses: never stored.
struct Fixture {
  u64 n = 0;
  std::vector<int> ints, int_misses;
  std::vector<Path> paths, path_misses;
  std::vector<std::string> strs, str_misses;
  std::vector<u32> order; // a shuffled 0 .. n - 1, for lookups and erasure
};

std::string font_path(u64 i, std::mt19937 &rng) {
  char letters[6];
  for (int c = 0; c < 5; ++c) letters[c] = static_cast<char>('a' + rng() % 26);
  letters[5] = '\0';
  char text[64];
  std::snprintf(text, sizeof text, "/usr/share/fonts/truetype/%s/%08x.ttf", letters, scatter(i));
  return text;
}

// One fixture at a time: the million-entry ones are large.
const Fixture &fixture(u64 n, bool paths) {
  static std::unique_ptr<Fixture> fx;
  static bool fx_paths = false;
  if (fx && fx->n == n && fx_paths == paths) return *fx;
  fx = std::make_unique<Fixture>();
  fx->n = n;
  fx_paths = paths;
  std::mt19937 rng(7);
  for (u64 i = 0; i < n; ++i) {
    if (paths) {
      fx->strs.push_back(font_path(i, rng));
      fx->str_misses.push_back(font_path(n + i, rng));
      fx->paths.emplace_back(StrView(fx->strs.back().data(), fx->strs.back().size()));
      fx->path_misses.emplace_back(
          StrView(fx->str_misses.back().data(), fx->str_misses.back().size()));
    } else {
      fx->ints.push_back(static_cast<int>(scatter(i)));
      fx->int_misses.push_back(static_cast<int>(scatter(n + i)));
    }
    fx->order.push_back(static_cast<u32>(i));
  }
  std::shuffle(fx->order.begin(), fx->order.end(), rng);
  return *fx;
}

// ------------------------------------------------- the four contestants

struct OursInt {
  using Map = Dict<int, int>;
  static constexpr bool paths = false;
  static void insert(Map &m, const Fixture &f, u64 i) { m.insert(f.ints[i], static_cast<int>(i)); }
  static int find(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.get(f.ints[i]);
    return it.found() ? it.value() : 0;
  }
  static int find_miss(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.get(f.int_misses[i]);
    return it.found() ? it.value() : 0;
  }
  static void erase(Map &m, const Fixture &f, u64 i) { m.erase(f.ints[i]); }
  static long sum(const Map &m) {
    long s = 0;
    for (const auto &e : m) s += e.value();
    return s;
  }
};

struct StdInt {
  using Map = std::unordered_map<int, int>;
  static constexpr bool paths = false;
  static void insert(Map &m, const Fixture &f, u64 i) { m[f.ints[i]] = static_cast<int>(i); }
  static int find(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.find(f.ints[i]);
    return it != m.end() ? it->second : 0;
  }
  static int find_miss(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.find(f.int_misses[i]);
    return it != m.end() ? it->second : 0;
  }
  static void erase(Map &m, const Fixture &f, u64 i) { m.erase(f.ints[i]); }
  static long sum(const Map &m) {
    long s = 0;
    for (const auto &e : m) s += e.second;
    return s;
  }
};

struct OursPath {
  using Map = Dict<Path, int>;
  static constexpr bool paths = true;
  static void insert(Map &m, const Fixture &f, u64 i) { m.insert(f.paths[i], static_cast<int>(i)); }
  static int find(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.get(f.paths[i]);
    return it.found() ? it.value() : 0;
  }
  static int find_miss(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.get(f.path_misses[i]);
    return it.found() ? it.value() : 0;
  }
  static void erase(Map &m, const Fixture &f, u64 i) { m.erase(f.paths[i]); }
  static long sum(const Map &m) {
    long s = 0;
    for (const auto &e : m) s += e.value();
    return s;
  }
};

struct StdPath {
  using Map = std::unordered_map<std::string, int>;
  static constexpr bool paths = true;
  static void insert(Map &m, const Fixture &f, u64 i) { m[f.strs[i]] = static_cast<int>(i); }
  static int find(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.find(f.strs[i]);
    return it != m.end() ? it->second : 0;
  }
  static int find_miss(const Map &m, const Fixture &f, u64 i) {
    const auto it = m.find(f.str_misses[i]);
    return it != m.end() ? it->second : 0;
  }
  static void erase(Map &m, const Fixture &f, u64 i) { m.erase(f.strs[i]); }
  static long sum(const Map &m) {
    long s = 0;
    for (const auto &e : m) s += e.second;
    return s;
  }
};

// A table holding all n keys, built once per size and contestant.
template <typename C> const typename C::Map &filled(const Fixture &f) {
  static std::unique_ptr<typename C::Map> map;
  static u64 map_n = 0;
  if (!map || map_n != f.n) {
    map.reset();
    map = std::make_unique<typename C::Map>();
    for (u64 i = 0; i < f.n; ++i) C::insert(*map, f, i);
    map_n = f.n;
  }
  return *map;
}

// ------------------------------------------------------------ operations

template <typename C> void bm_insert(benchmark::State &state, u64 n) {
  const Fixture &f = fixture(n, C::paths);
  const u64 batch = std::max<u64>(1, k_batch_ops / n);
  std::unique_ptr<typename C::Map[]> maps;
  for (auto _ : state) {
    state.PauseTiming();
    maps.reset();
    maps.reset(new typename C::Map[batch]);
    state.ResumeTiming();
    for (u64 b = 0; b < batch; ++b)
      for (u64 i = 0; i < n; ++i) C::insert(maps[b], f, i);
  }
  // The clock stopped with the loop: the last tables are freed untimed.
  maps.reset();
  state.SetItemsProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * batch * n));
}

template <typename C, bool hit> void bm_find(benchmark::State &state, u64 n) {
  const Fixture &f = fixture(n, C::paths);
  const typename C::Map &map = filled<C>(f);
  for (auto _ : state) {
    long sum = 0;
    for (u64 j = 0; j < n; ++j) sum += hit ? C::find(map, f, f.order[j]) : C::find_miss(map, f, j);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * n));
}

template <typename C> void bm_erase(benchmark::State &state, u64 n) {
  const Fixture &f = fixture(n, C::paths);
  const typename C::Map &full = filled<C>(f);
  const u64 batch = std::max<u64>(1, k_batch_ops / n);
  std::unique_ptr<typename C::Map[]> maps(new typename C::Map[batch]);
  for (auto _ : state) {
    state.PauseTiming();
    for (u64 b = 0; b < batch; ++b) maps[b] = full;
    state.ResumeTiming();
    for (u64 b = 0; b < batch; ++b)
      for (u64 j = 0; j < n; ++j) C::erase(maps[b], f, f.order[j]);
  }
  // The clock stopped with the loop: the last tables are freed untimed.
  maps.reset();
  state.SetItemsProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * batch * n));
}

template <typename C> void bm_iterate(benchmark::State &state, u64 n) {
  const typename C::Map &map = filled<C>(fixture(n, C::paths));
  for (auto _ : state) benchmark::DoNotOptimize(C::sum(map));
  state.SetItemsProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * n));
}

std::string size_name(u64 n) {
  return n >= 1'000'000 ? std::to_string(n / 1'000'000) + "M"
         : n >= 1000    ? std::to_string(n / 1000) + "k"
                        : std::to_string(n);
}

template <typename Ours, typename Std>
void add_dict(const std::string &type, const std::string &std_name) {
  struct Op {
    const char *name;
    void (*ours)(benchmark::State &, u64);
    void (*alt)(benchmark::State &, u64);
    micro::Target target;
    bool rebuilds; // needs a fresh table per round
  };
  const Op ops[] = {
      {"insert", bm_insert<Ours>, bm_insert<Std>, micro::Target::NotSlower, true},
      {"find hit", bm_find<Ours, true>, bm_find<Std, true>, micro::Target::NotSlower, false},
      {"find miss", bm_find<Ours, false>, bm_find<Std, false>, micro::Target::NotSlower, false},
      {"erase", bm_erase<Ours>, bm_erase<Std>, micro::Target::None, true},
      {"iterate", bm_iterate<Ours>, bm_iterate<Std>, micro::Target::None, false},
  };
  // Sizes outermost: the fixture and the filled tables are rebuilt per size.
  for (u64 n : k_sizes) {
    for (const Op &op : ops) {
      const std::string group = type + " " + op.name + "/";
      const std::string ours = group + "Dict/" + size_name(n);
      const std::string alt = group + std_name + "/" + size_name(n);
      auto *a = micro::add(ours, [n, fn = op.ours](benchmark::State &s) { fn(s, n); });
      auto *b = micro::add(alt, [n, fn = op.alt](benchmark::State &s) { fn(s, n); });
      // A million-entry round takes long enough on its own.
      if (n >= 1'000'000 && op.rebuilds) {
        a->Iterations(2);
        b->Iterations(2);
      }
      micro::compare(ours, alt, op.target);
    }
  }
}

const bool registered = [] {
  add_dict<OursInt, StdInt>("Dict<int,int>", "std::unordered_map");
  add_dict<OursPath, StdPath>("Dict<Path,int>", "std::unordered_map<string>");
  return true;
}();

} // namespace
