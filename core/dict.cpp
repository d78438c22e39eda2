#include "core/dict.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

const u16 g_vt_empty_placeholder_metadatum = 0;

namespace details {
namespace {

constexpr u64 k_min_buckets = 8;
constexpr u64 k_unknown_home = ~u64{0};
constexpr u64 k_no_bucket = ~u64{0};
// Width of one rebuild plan slot: the index of the old bucket an entry comes from.
constexpr u64 k_plan_slot_size = sizeof(u64);

u16 *placeholder() {
  // Read-only storage: a stray write faults instead of corrupting every
  // empty dictionary at once.
  return const_cast<u16 *>(&g_vt_empty_placeholder_metadatum);
}

u16 fragment_of(u64 hash) {
  return static_cast<u16>((hash >> 60) << 12);
}

u16 link_of(u16 metadatum) {
  return metadatum & k_dict_link_mask;
}

void set_link(u16 &metadatum, u64 displacement) {
  metadatum = static_cast<u16>((u64{metadatum} & ~u64{k_dict_link_mask}) | displacement);
}

// The load limit is 0.9 of the bucket count, compared in double so that the
// capacities come out as 7, 14, 28, 57, ...
bool fits(u64 entries, u64 buckets) {
  return static_cast<double>(entries) <= static_cast<double>(buckets) * 0.9;
}

// Smallest power of two of at least 8 whose load limit holds n entries.
bool buckets_for(u64 n, u64 &count) {
  u64 c = k_min_buckets;
  while (!fits(n, c)) {
    if (c > (u64{1} << 61)) return false;
    c *= 2;
  }
  count = c;
  return true;
}

u64 metadata_offset_for(u64 count, u64 bucket_size) {
  return (count * bucket_size + 1) & ~u64{1};
}

// The four metadata at p as one word, lane i holding the metadatum at p + i.
u64 load_four(const u16 *p) {
  u64 word;
  std::memcpy(&word, p, sizeof(word));
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// One malloc block: buckets, then count + 4 metadata with the end marker at
// [count]. A block for a rebuild also needs a plan slot per bucket; buckets of
// at least 8 bytes hold their own slot, smaller ones get an area after the
// metadata.
struct Block {
  u8 *base = nullptr;
  u16 *metadata = nullptr;
  u8 *plan = nullptr;
  u64 plan_stride = 0;
};

bool allocate_block(u64 count, u64 bucket_size, bool with_plan, Block &out) {
  // Sizes are bounded so that no byte count below can wrap.
  const u64 per_bucket = bucket_size + sizeof(u16) + k_plan_slot_size;
  if (count > (static_cast<u64>(PTRDIFF_MAX) - 64) / per_bucket) return false;
  const u64 metadata_offset = metadata_offset_for(count, bucket_size);
  u64 size = metadata_offset + (count + 4) * sizeof(u16);
  u64 plan_offset = 0;
  const bool separate_plan = with_plan && bucket_size < k_plan_slot_size;
  if (separate_plan) {
    plan_offset = (size + 7) & ~u64{7};
    size = plan_offset + count * k_plan_slot_size;
  }
  u8 *base = static_cast<u8 *>(std::malloc(size));
  if (base == nullptr) return false;
  u16 *metadata = reinterpret_cast<u16 *>(base + metadata_offset);
  std::memset(metadata, 0, (count + 4) * sizeof(u16));
  metadata[count] = 1;
  out.base = base;
  out.metadata = metadata;
  out.plan = separate_plan ? base + plan_offset : base;
  out.plan_stride = separate_plan ? k_plan_slot_size : bucket_size;
  return true;
}

// How placement reaches the entries it moves. Normally they live in the
// table itself. While a rebuild is planned, the new table's buckets hold only
// the index of the old bucket each entry will come from, so a failed plan can
// be dropped without having moved anything.
struct Placement {
  DictV &table;
  const DictV *source = nullptr; // the table being rebuilt, while planning
  u8 *plan = nullptr;
  u64 plan_stride = 0;

  u64 planned_source(u64 index) const {
    u64 from;
    std::memcpy(&from, plan + index * plan_stride, sizeof(from));
    return from;
  }
  void plan_entry(u64 index, u64 from) const {
    std::memcpy(plan + index * plan_stride, &from, sizeof(from));
  }
  u64 hash_at(u64 index) const {
    if (source == nullptr)
      return table.vtable->v_hash(table.get_bucket_key(table.get_bucket(index)));
    const u8 *old = source->get_bucket(planned_source(index));
    return source->vtable->v_hash(old + source->vtable->key_offset);
  }
  void relocate(u64 dst, u64 src) const {
    if (source == nullptr)
      table.vtable->v_move_bucket(table.get_bucket(dst), table.get_bucket(src));
    else
      plan_entry(dst, planned_source(src));
  }
};

bool evict_entry(const Placement &pl, u64 b) {
  DictV &t = pl.table;
  u16 *md = t.metadata;
  const u16 evicted = md[b];
  const u64 home = pl.hash_at(b) & t.bucket_mask;
  // Find room before unlinking anything: a failure then leaves the chain
  // whole, so the entry stays findable even if the rebuild that follows
  // runs out of memory.
  u64 e;
  u64 d;
  if (!t.find_first_empty(home, e, d)) return false;
  u64 p = home;
  for (;;) {
    const u64 next = dict_displaced_bucket(home, link_of(md[p]), t.bucket_mask);
    if (next == b) break;
    p = next;
  }
  set_link(md[p], link_of(evicted));
  const u64 q = t.find_insert_location_in_chain(home, d);
  pl.relocate(e, b);
  md[e] = static_cast<u16>((evicted & k_dict_fragment_mask) | link_of(md[q]));
  set_link(md[q], d);
  return true;
}

// Claims and links a bucket for a new entry of `hash`; the caller fills it.
// k_no_bucket when the load limit, the displacement limit or an eviction
// stands in the way; nothing has changed then.
u64 claim_bucket(const Placement &pl, u64 hash) {
  DictV &t = pl.table;
  if (!fits(t.count + 1, t.bucket_count())) return k_no_bucket;
  u16 *md = t.metadata;
  const u64 home = hash & t.bucket_mask;
  const u16 fragment = fragment_of(hash);
  if (md[home] & k_dict_in_home) {
    u64 e;
    u64 d;
    if (!t.find_first_empty(home, e, d)) return k_no_bucket;
    const u64 p = t.find_insert_location_in_chain(home, d);
    md[e] = static_cast<u16>(fragment | link_of(md[p]));
    set_link(md[p], d);
    return e;
  }
  if (md[home] != 0 && !evict_entry(pl, home)) return k_no_bucket;
  md[home] = static_cast<u16>(fragment | k_dict_in_home | k_dict_no_link);
  return home;
}

DictVItr find_entry(const DictV &t, const void *key, u64 hash) {
  return dict_find_in_chain(
      t, hash, [&t, key](const void *stored) { return t.vtable->v_equals_key(stored, key); });
}

// Rebuilds with new_count buckets, doubling while some chain cannot be
// placed. Reaching stop_at (0: never) keeps the table as it is: shrinking
// must not end in a table larger than the one it started from.
bool rebuild(DictV &t, u64 new_count, u64 stop_at) {
  for (;;) {
    if (new_count == stop_at) return true;
    Block block;
    if (!allocate_block(new_count, t.vtable->bucket_size, true, block)) return false;
    DictV next;
    next.init(t.vtable);
    next.bucket_mask = new_count - 1;
    next.buckets = block.base;
    next.metadata = block.metadata;
    const Placement plan{next, &t, block.plan, block.plan_stride};

    // Every entry is placed before any is moved, in bucket order.
    bool placed = true;
    for (DictVItr it = t.begin(); !it.at_end(); ++it) {
      const u64 b = claim_bucket(plan, t.vtable->v_hash(t.get_bucket_key(it.bucket)));
      if (b == k_no_bucket) {
        placed = false;
        break;
      }
      plan.plan_entry(b, static_cast<u64>(it.metadatum - t.metadata));
      ++next.count;
    }
    if (placed) {
      for (DictVItr it = next.begin(); !it.at_end(); ++it) {
        const u64 to = static_cast<u64>(it.metadatum - next.metadata);
        t.vtable->v_move_bucket(it.bucket, t.get_bucket(plan.planned_source(to)));
      }
      std::free(t.buckets);
      t.count = next.count;
      t.bucket_mask = next.bucket_mask;
      t.buckets = next.buckets;
      t.metadata = next.metadata;
      return true;
    }
    // Some entry found no bucket (the count was below the load limit, or a
    // chain ran out of displacements). Nothing has moved, so the table stands
    // as it was and a larger one is tried.
    std::free(block.base);
    if (new_count > (u64{1} << 62)) return false;
    new_count *= 2;
  }
}

} // namespace

// ----------------------------------------------------------------- iteration

void DictVItr::fast_forward() {
  // The end marker is non-zero, so the scan needs no bounds test.
  for (;;) {
    const u64 word = load_four(metadatum);
    if (word != 0) {
      const u64 lane = static_cast<u64>(std::countr_zero(word)) / 16;
      metadatum += lane;
      bucket += lane * vtable->bucket_size;
      break;
    }
    metadatum += 4;
    bucket += 4 * vtable->bucket_size;
  }
  home_bucket = k_unknown_home;
}

DictVItr &DictVItr::operator++() {
  ++metadatum;
  bucket += vtable->bucket_size;
  fast_forward();
  return *this;
}

DictVItr DictV::begin() const {
  if (count == 0) return {};
  DictVItr it{buckets, metadata, metadata + bucket_count(), k_unknown_home, vtable};
  it.fast_forward();
  return it;
}

// ------------------------------------------------------------- construction

void DictV::init(const DictVTable *vt) {
  count = 0;
  bucket_mask = 0;
  buckets = nullptr;
  metadata = placeholder();
  vtable = vt;
}

bool DictV::init(const DictV &src) {
  init(src.vtable);
  if (src.buckets == nullptr) return true;
  const u64 n = src.bucket_count();
  Block block;
  if (!allocate_block(n, vtable->bucket_size, false, block)) return false;
  u64 i = 0;
  bool key_copied = false;
  try {
    for (; i < n; ++i) {
      if (src.metadata[i] == 0) continue;
      key_copied = false;
      u8 *to = block.base + i * vtable->bucket_size;
      const u8 *from = src.get_bucket(i);
      vtable->v_copy_key(to + vtable->key_offset, from + vtable->key_offset);
      key_copied = true;
      vtable->v_copy_value(to + vtable->value_offset, from + vtable->value_offset);
    }
  } catch (...) {
    if (key_copied)
      vtable->v_destroy_key(block.base + i * vtable->bucket_size + vtable->key_offset);
    for (u64 j = 0; j < i; ++j) {
      if (src.metadata[j] == 0) continue;
      u8 *b = block.base + j * vtable->bucket_size;
      vtable->v_destroy_key(b + vtable->key_offset);
      vtable->v_destroy_value(b + vtable->value_offset);
    }
    std::free(block.base);
    throw;
  }
  std::memcpy(block.metadata, src.metadata, (n + 4) * sizeof(u16));
  count = src.count;
  bucket_mask = src.bucket_mask;
  buckets = block.base;
  metadata = block.metadata;
  return true;
}

void DictV::init(DictV &&src) {
  std::swap(count, src.count);
  std::swap(bucket_mask, src.bucket_mask);
  std::swap(buckets, src.buckets);
  std::swap(metadata, src.metadata);
  vtable = src.vtable;
}

// ------------------------------------------------------------------ layout

u64 DictV::metadata_offset() const {
  return metadata_offset_for(bucket_count(), vtable->bucket_size);
}

u64 DictV::total_alloc_size() const {
  if (buckets == nullptr) return 0;
  return metadata_offset() + (bucket_count() + 4) * sizeof(u16);
}

// ------------------------------------------------------------------- chains

bool DictV::find_first_empty(u64 home, u64 &index, u64 &displacement) const {
  // Displacements 1 .. count - 1 already reach every other bucket, so a small
  // table stops there instead of revisiting buckets up to 2046.
  const u64 last = bucket_mask < k_dict_max_displacement ? bucket_mask : k_dict_max_displacement;
  for (u64 d = 1; d <= last; ++d) {
    const u64 b = dict_displaced_bucket(home, d, bucket_mask);
    if (metadata[b] == 0) {
      index = b;
      displacement = d;
      return true;
    }
  }
  return false;
}

u64 DictV::find_insert_location_in_chain(u64 home, u64 displacement) const {
  u64 p = home;
  // The "no next" link, 0x7FF, exceeds every displacement and ends the walk.
  while (link_of(metadata[p]) <= displacement)
    p = dict_displaced_bucket(home, link_of(metadata[p]), bucket_mask);
  return p;
}

bool DictV::evict(u64 index) {
  return evict_entry(Placement{*this}, index);
}

// ---------------------------------------------------------- lookup, insert

DictVItr DictV::get(const void *key) const {
  return find_entry(*this, key, vtable->v_hash(key));
}

DictVItr DictV::insert_raw(void *key, void *value, bool unique, bool replace) {
  const u64 hash = vtable->v_hash(key);
  const u64 home = hash & bucket_mask;
  if (!unique) {
    const DictVItr hit = find_entry(*this, key, hash);
    if (hit.bucket != nullptr) {
      if (replace) {
        vtable->v_destroy_key(get_bucket_key(hit.bucket));
        vtable->v_move_key(get_bucket_key(hit.bucket), key);
        vtable->v_destroy_value(get_bucket_value(hit.bucket));
        vtable->v_move_value(get_bucket_value(hit.bucket), value);
      }
      return hit;
    }
  }
  const u64 b = claim_bucket(Placement{*this}, hash);
  if (b == k_no_bucket) return {};
  u8 *bucket = get_bucket(b);
  vtable->v_move_key(get_bucket_key(bucket), key);
  vtable->v_move_value(get_bucket_value(bucket), value);
  ++count;
  return {bucket, metadata + b, metadata + bucket_count(), home, vtable};
}

DictVItr DictV::insert(void *key, void *value) {
  for (;;) {
    const DictVItr it = insert_raw(key, value, false, true);
    if (it.bucket != nullptr) return it;
    const u64 next = buckets == nullptr ? k_min_buckets : bucket_count() * 2;
    if (!rehash(next)) return {};
  }
}

// ------------------------------------------------------------------ erasure

bool DictV::erase(const void *key) {
  const DictVItr it = get(key);
  if (it.bucket == nullptr) return false;
  erase_itr_raw(it);
  return true;
}

bool DictV::erase(const DictVItr &itr) {
  // Nothing to erase: saying "advance" keeps an erase-while-iterating loop
  // from spinning on a position that will never change.
  const auto at = reinterpret_cast<std::uintptr_t>(itr.metadatum);
  const auto first = reinterpret_cast<std::uintptr_t>(metadata);
  if (buckets == nullptr || at < first || at >= first + bucket_count() * sizeof(u16)) return true;
  const u64 i = static_cast<u64>(itr.metadatum - metadata);
  if (metadata[i] == 0 || itr.bucket != get_bucket(i)) return true;
  return erase_itr_raw(itr);
}

bool DictV::erase_itr_raw(DictVItr itr) {
  const u64 i = static_cast<u64>(itr.metadatum - metadata);
  u8 *bucket = get_bucket(i);
  const u16 m = metadata[i];
  --count;
  vtable->v_destroy_value(get_bucket_value(bucket));
  if ((m & k_dict_in_home) && link_of(m) == k_dict_no_link) {
    vtable->v_destroy_key(get_bucket_key(bucket));
    metadata[i] = 0;
    return true;
  }
  u64 home = i;
  if (!(m & k_dict_in_home)) {
    home = itr.home_bucket;
    if (home > bucket_mask) home = vtable->v_hash(get_bucket_key(bucket)) & bucket_mask;
  }
  vtable->v_destroy_key(get_bucket_key(bucket));

  if (link_of(m) == k_dict_no_link) {
    // The chain's last member: its predecessor becomes the last.
    u64 p = home;
    for (;;) {
      const u64 next = dict_displaced_bucket(home, link_of(metadata[p]), bucket_mask);
      if (next == i) break;
      p = next;
    }
    set_link(metadata[p], k_dict_no_link);
    metadata[i] = 0;
    return true;
  }

  // Fill the hole with the chain's last member, which keeps the chain in
  // displacement order and leaves no tombstone.
  u64 prev = i;
  u64 last = dict_displaced_bucket(home, link_of(m), bucket_mask);
  while (link_of(metadata[last]) != k_dict_no_link) {
    prev = last;
    last = dict_displaced_bucket(home, link_of(metadata[last]), bucket_mask);
  }
  vtable->v_move_bucket(bucket, get_bucket(last));
  metadata[i] = static_cast<u16>((metadata[last] & k_dict_fragment_mask) |
                                 (m & (k_dict_in_home | k_dict_link_mask)));
  // When the last member directly followed i, this ends i's own link.
  set_link(metadata[prev], k_dict_no_link);
  metadata[last] = 0;
  return last <= i;
}

// ------------------------------------------------------------ sizing

bool DictV::rehash(u64 new_count) {
  if (new_count < k_min_buckets || !std::has_single_bit(new_count)) return false;
  return rebuild(*this, new_count, 0);
}

bool DictV::reserve(u64 n) {
  if (n == 0) return true;
  u64 c;
  if (!buckets_for(n, c)) return false;
  if (c > bucket_count()) return rehash(c);
  return true;
}

bool DictV::shrink() {
  if (count == 0) {
    destroy();
    return true;
  }
  u64 c;
  if (!buckets_for(count, c) || c >= bucket_count()) return true;
  return rebuild(*this, c, bucket_count());
}

void DictV::clear() {
  if (count == 0) return;
  for (DictVItr it = begin(); !it.at_end(); ++it) {
    vtable->v_destroy_key(get_bucket_key(it.bucket));
    vtable->v_destroy_value(get_bucket_value(it.bucket));
    *it.metadatum = 0;
  }
  count = 0;
}

void DictV::destroy() {
  if (buckets == nullptr) return;
  clear();
  std::free(buckets);
  init(vtable);
}

} // namespace details
