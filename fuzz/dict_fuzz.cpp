// Dict driven by the input as a sequence of operations, against
// std::unordered_map. The key type carries a hash chosen by the input, so
// inputs can pile keys onto one home bucket, share or split the 4-bit hash
// fragments, and force long chains, evictions and rebuilds. Keys and values
// own heap text and count their live objects, so a lost, doubled or leaked
// entry is caught by the count or by AddressSanitizer.
#include "fuzz/fuzz-support.h"

#include "core/dict.h"
#include "core/hash.h"

#include <cstdlib>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

i64 g_live_keys = 0;
i64 g_live_values = 0;

struct Key {
  u64 id = 0;
  u64 h = 0;
  Str text; // owned, so a double destroy or a leak is visible to ASan

  Key(u64 i, u64 hash_value) : id(i), h(hash_value), text(fmt("key ", i)) { ++g_live_keys; }
  Key(const Key &o) : id(o.id), h(o.h), text(o.text) { ++g_live_keys; }
  Key(Key &&o) noexcept : id(o.id), h(o.h), text(std::move(o.text)) { ++g_live_keys; }
  Key &operator=(const Key &) = delete;
  ~Key() { --g_live_keys; }
};

struct Value {
  u64 v = 0;
  Str text;

  explicit Value(u64 x) : v(x), text(fmt("value ", x)) { ++g_live_values; }
  Value(const Value &o) : v(o.v), text(o.text) { ++g_live_values; }
  Value(Value &&o) noexcept : v(o.v), text(std::move(o.text)) { ++g_live_values; }
  Value &operator=(const Value &) = delete;
  ~Value() { --g_live_values; }
};

} // namespace

template <> struct DictKey<Key> {
  static u64 hash(const Key &k) { return k.h; }
  static bool equals(const Key &a, const Key &b) {
    // A key that was moved from would compare by an empty text.
    FUZZ_CHECK(a.text.len != 0 && b.text.len != 0, "compared a moved-from key");
    return a.id == b.id;
  }
};

namespace {

using D = Dict<Key, Value>;
using Model = std::unordered_map<u64, u64>;

/// The hash of a key id: spread bits under a mask chosen by the input, so a
/// mask of 0 gives every key the same hash and 0xF000... the same home with
/// different fragments.
u64 hash_of(u64 id, u64 mask, u64 salt) {
  return (hash<u64>(id ^ salt) & mask) | (salt & ~mask);
}

/// Every entry once, each findable through get at the very same bucket.
/// The chains as the metadata lays them out: from every home, links with
/// strictly growing displacements, each member of that home and carrying its
/// hash fragment, and every occupied bucket on exactly one chain. Checked on
/// the raw layout so that a broken link is reported instead of looping.
template <typename Where> void check_chains(const D &d, Where where) {
  const details::DictV &t = d.raw();
  const u64 buckets = t.bucket_count();
  if (buckets == 0) {
    FUZZ_CHECK(d.size() == 0, where() + ": entries without storage");
    return;
  }
  std::vector<u8> on_chain(buckets, 0);
  u64 members = 0;
  for (u64 home = 0; home < buckets; ++home) {
    if ((t.metadata[home] & details::k_dict_in_home) == 0) continue;
    u64 b = home, last_d = 0;
    while (true) {
      const u16 md = t.metadata[b];
      FUZZ_CHECK(md != 0, where() + ": chain of " + std::to_string(home) +
                              " reaches empty bucket " + std::to_string(b));
      FUZZ_CHECK(on_chain[b] == 0, where() + ": bucket " + std::to_string(b) + " on two chains");
      on_chain[b] = 1;
      ++members;
      const auto *k = static_cast<const Key *>(t.get_bucket_key(t.get_bucket(b)));
      FUZZ_CHECK((k->h & t.bucket_mask) == home,
                 where() + ": bucket " + std::to_string(b) + " on the chain of another home");
      FUZZ_CHECK((md & details::k_dict_fragment_mask) == ((k->h >> 48) & 0xF000),
                 where() + ": fragment of bucket " + std::to_string(b));
      FUZZ_CHECK((b == home) == ((md & details::k_dict_in_home) != 0),
                 where() + ": in-home flag of bucket " + std::to_string(b));
      const u64 link = md & details::k_dict_link_mask;
      if (link == details::k_dict_no_link) break;
      FUZZ_CHECK(link > last_d && link <= details::k_dict_max_displacement,
                 where() + ": link " + std::to_string(link) + " after displacement " +
                     std::to_string(last_d) + " in the chain of " + std::to_string(home));
      last_d = link;
      b = details::dict_displaced_bucket(home, link, t.bucket_mask);
    }
  }
  u64 occupied = 0;
  for (u64 i = 0; i < buckets; ++i) occupied += t.metadata[i] != 0;
  FUZZ_CHECK(t.metadata[buckets] == 1, where() + ": end marker");
  FUZZ_CHECK(occupied == members && members == d.size(),
             where() + ": " + std::to_string(occupied) + " occupied buckets, " +
                 std::to_string(members) + " on chains, size " + std::to_string(d.size()));
}

/// `others` counts live keys and values held outside `d` (by a copy).
template <typename Where>
void check_all(D &d, const Model &m, u64 mask, u64 salt, Where where, i64 others = 0) {
  FUZZ_CHECK(d.size() == m.size(), where() + ": size " + std::to_string(d.size()) + ", model " +
                                       std::to_string(m.size()));
  const u64 buckets = d.bucket_count();
  FUZZ_CHECK(buckets == 0 || (buckets >= 8 && (buckets & (buckets - 1)) == 0),
             where() + ": bucket count " + std::to_string(buckets));
  FUZZ_CHECK(d.size() <= buckets, where() + ": more entries than buckets");
  check_chains(d, where);
  Model seen;
  u64 visited = 0;
  for (auto it = d.begin(); it != d.end(); ++it) {
    FUZZ_CHECK(++visited <= m.size(), where() + ": iteration runs past the entries");
    const Key &k = it.key();
    FUZZ_CHECK(k.h == hash_of(k.id, mask, salt), where() + ": key hash damaged");
    FUZZ_CHECK(seen.emplace(k.id, it.value().v).second, where() + ": key visited twice");
    const auto found = d.get(Key(k.id, k.h));
    FUZZ_CHECK(found.found() && found.raw.bucket == it.raw.bucket,
               where() + ": iterated entry not found by get");
  }
  FUZZ_CHECK(seen == m, where() + ": iterated entries differ from the model");
  const i64 live = others + static_cast<i64>(m.size());
  FUZZ_CHECK(g_live_keys == live && g_live_values == live,
             where() + ": live objects " + std::to_string(g_live_keys) + "/" +
                 std::to_string(g_live_values) + " for " + std::to_string(m.size()) + " entries");
}

void run(fuzz::Reader &in) {
  const u64 mask = in.bytes(8);
  const u64 salt = in.bytes(8);
  const u64 key_space = 1 + in.byte(); // at most 256 keys, so one chain always fits
  D d;
  Model m;
  int step = 0;
  // Long inputs add little that a shorter one cannot reach, and cost a lot.
  while (!in.empty() && step < 512) {
    const u8 op = in.byte();
    const u64 id = in.byte() % key_space;
    const int this_step = step++;
    const auto where = [&] {
      return "step " + std::to_string(this_step) + " op " + std::to_string(op % 12) + " key " +
             std::to_string(id);
    };
    const u64 h = hash_of(id, mask, salt);
    switch (op % 12) {
    case 0:
    case 1:
    case 2: {
      const u64 v = in.byte();
      const auto it = d.insert(Key(id, h), Value(v));
      FUZZ_CHECK(it.found() && it.key().id == id && it.value().v == v, where() + ": insert");
      m[id] = v;
      break;
    }
    case 3:
    case 4: {
      const bool erased = d.erase(Key(id, h));
      FUZZ_CHECK(erased == (m.erase(id) == 1), where() + ": erase");
      break;
    }
    case 5: {
      const auto it = d.get(Key(id, h));
      const auto mit = m.find(id);
      FUZZ_CHECK(it.found() == (mit != m.end()), where() + ": get");
      if (it.found()) FUZZ_CHECK(it.value().v == mit->second, where() + ": get value");
      break;
    }
    case 6: {
      // Erase every entry whose id has a chosen bit set, while iterating.
      const u8 bit = in.byte() & 7;
      // Each entry must come up exactly once, the ones moved into the
      // current bucket by an erasure included.
      const Model before = m;
      Model visited;
      auto it = d.begin();
      while (it != d.end()) {
        FUZZ_CHECK(visited.emplace(it.key().id, it.value().v).second,
                   where() + ": erase walk visits an entry twice");
        if (((it.key().id >> bit) & 1) != 0) {
          const u64 gone = it.key().id;
          if (std::getenv("DICT_FUZZ_TRACE") != nullptr)
            std::fprintf(stderr, "erase %llu at %lld\n", static_cast<unsigned long long>(gone),
                         static_cast<long long>(it.raw.metadatum - d.raw().metadata));
          if (d.erase(it)) ++it;
          m.erase(gone);
        } else {
          ++it;
        }
      }
      std::string missed;
      for (const auto &[k, v] : before)
        if (visited.count(k) == 0) missed += " " + std::to_string(k);
      FUZZ_CHECK(missed.empty(), where() + ": erase walk on bit " + std::to_string(bit) +
                                     " never visited" + missed);
      break;
    }
    case 7: {
      const u64 n = in.byte();
      FUZZ_CHECK(d.reserve(n), where() + ": reserve");
      if (n > 0) FUZZ_CHECK(n <= d.bucket_count() * 9 / 10 + 1, where() + ": reserve too small");
      break;
    }
    case 8:
      FUZZ_CHECK(d.shrink(), where() + ": shrink");
      if (m.empty()) FUZZ_CHECK(d.bucket_count() == 0, where() + ": empty shrink keeps storage");
      break;
    case 9: {
      const u64 count = u64{8} << (in.byte() % 8);
      FUZZ_CHECK(d.rehash(count), where() + ": rehash");
      FUZZ_CHECK(d.bucket_count() >= count, where() + ": rehash below its count");
      break;
    }
    case 10: {
      // Copies are deep and independent; moves leave the source empty.
      D copy(d);
      check_all(
          copy, m, mask, salt, [&] { return where() + " (copy)"; }, static_cast<i64>(d.size()));
      (void)copy.erase(Key(id, h));
      D moved(std::move(copy));
      FUZZ_CHECK(copy.size() == 0 && copy.bucket_count() == 0,
                 where() + ": moved-from keeps entries");
      D assigned;
      assigned = moved;
      assigned = std::move(moved);
      break;
    }
    case 11:
      if ((in.byte() & 3) == 0) {
        d.clear();
        m.clear();
      }
      break;
    }
    // The full walk costs a lookup per entry and a pass over the buckets, so
    // it runs after the operations that move many entries and every eighth
    // step otherwise, which still pins a fault to a short stretch.
    const bool wholesale = op % 12 >= 6;
    if (wholesale || step % 8 == 0)
      check_all(d, m, mask, salt, where);
    else
      FUZZ_CHECK(d.size() == m.size(), where() + ": size");
  }
  check_all(d, m, mask, salt, [] { return std::string("at the end"); });
  d.destroy();
  FUZZ_CHECK(g_live_keys == 0 && g_live_values == 0, "destroy left live objects");
  FUZZ_CHECK(d.size() == 0 && d.bucket_count() == 0, "destroy kept storage");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  fuzz::Reader in(data, size);
  g_live_keys = g_live_values = 0;
  run(in);
  FUZZ_CHECK(g_live_keys == 0 && g_live_values == 0, "objects outlive the dictionary");
  return 0;
}
