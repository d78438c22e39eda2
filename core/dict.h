// Dict<K, V>: the library's hash dictionary. Open addressing with 16-bit
// metadata per bucket and chains threaded through the bucket array; all of
// the logic lives once in details::DictV, which sees keys and values only as
// bytes reached through a table of operations that each Dict<K, V> supplies.
//
// The trap: entries move. Any insertion may rebuild the table or evict an
// entry to another bucket, and any erasure may move another entry into the
// hole, so iterators, key and value references do not survive a change. The
// one exception is erasing while iterating: call erase(it) and advance only
// when it returned true (false means an entry not yet visited has just moved
// into the current bucket).
#pragma once

#include "core/fs.h"
#include "core/hash.h"
#include "core/str.h"

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

/// How a key type hashes and compares: static `hash(const K&)` -> u64 and
/// `equals(const K&, const K&)`. There is no fallback; a key type without a
/// specialisation does not compile.
template <typename K> struct DictKey;

namespace details {
template <typename T> struct DictIntKey {
  static u64 hash(const T &k) { return ::hash<T>(k); }
  static bool equals(const T &a, const T &b) { return a == b; }
};
} // namespace details

template <> struct DictKey<int> : details::DictIntKey<int> {};
template <> struct DictKey<long> : details::DictIntKey<long> {};
template <> struct DictKey<unsigned int> : details::DictIntKey<unsigned int> {};
template <> struct DictKey<unsigned long> : details::DictIntKey<unsigned long> {};

/// Owned strings hash their characters with StrView::hash and compare exactly.
template <> struct DictKey<Str> {
  static u64 hash(const Str &k) { return k.view().hash(); }
  static bool equals(const Str &a, const Str &b) { return a.view() == b.view(); }
};

/// Paths compare by exact text, so a/b and a//b are different keys.
template <> struct DictKey<Path> {
  static u64 hash(const Path &k) { return k.view().hash(); }
  static bool equals(const Path &a, const Path &b) { return a.view() == b.view(); }
};

// ------------------------------------------------------------ untyped core
//
// Callers use Dict<K, V> below; the core comes first only because the shell
// holds one by value. It handles keys and values as raw bytes.

/// The shared, read-only "empty" metadatum that every home of an unallocated
/// dictionary reads; nothing ever writes through it.
extern const u16 g_vt_empty_placeholder_metadatum;

namespace details {

/// What the core needs to know about one Dict<K, V>: a static constant per
/// instantiation, never written at run time.
struct DictVTable {
  u64 bucket_size;
  u64 key_offset;
  u64 value_offset;
  u64 (*v_hash)(const void *key);
  bool (*v_equals_key)(const void *stored, const void *probe);
  void (*v_move_key)(void *dst, void *src);
  void (*v_move_value)(void *dst, void *src);
  void (*v_copy_key)(void *dst, const void *src);
  void (*v_copy_value)(void *dst, const void *src);
  void (*v_move_bucket)(void *dst, void *src);
  void (*v_destroy_key)(void *key);
  void (*v_destroy_value)(void *value);
};

/// Untyped position; the null iterator (all fields zero) is at the end.
struct DictVItr {
  u8 *bucket = nullptr;
  u16 *metadatum = nullptr;
  u16 *metadata_end = nullptr;
  /// Home of the entry for results of get and insert; all ones from iteration.
  u64 home_bucket = 0;
  const DictVTable *vtable = nullptr;

  /// True for the null iterator too.
  [[nodiscard]] bool at_end() const { return metadatum == metadata_end; }
  /// Must not be called at the end.
  DictVItr &operator++();
  /// Stays put on an occupied bucket; must not be called at the end.
  void fast_forward();
};

/// Bucket metadatum: hash fragment (bits 63..60 of the hash), in-home flag,
/// and the displacement of the chain's next member (0x7FF: none). 0 is empty.
inline constexpr u16 k_dict_fragment_mask = 0xF000;
inline constexpr u16 k_dict_in_home = 0x0800;
inline constexpr u16 k_dict_link_mask = 0x07FF;
inline constexpr u16 k_dict_no_link = 0x07FF;
inline constexpr u64 k_dict_max_displacement = 2046;

/// Bucket at displacement d from `home`: home + d(d+1)/2, wrapped by the mask.
[[nodiscard]] constexpr u64 dict_displaced_bucket(u64 home, u64 d, u64 mask) {
  return (home + d * (d + 1) / 2) & mask;
}

/// A plain structure without constructor or destructor: init() must run
/// first, and destroy() must run to release the block.
struct DictV {
  u64 count; // number of entries
  u64 bucket_mask;
  u8 *buckets;
  u16 *metadata;
  const DictVTable *vtable;

  void init(const DictVTable *vt);
  /// Deep copy into an uninitialised DictV; false when the block cannot be
  /// allocated, leaving an empty, unallocated dictionary. A throwing copy
  /// constructor propagates after everything copied so far is destroyed.
  [[nodiscard]] bool init(const DictV &src);
  /// Only on a freshly initialised, empty dictionary; `src` is left empty.
  void init(DictV &&src);

  /// Moves from both arguments; null iterator only when memory runs out.
  DictVItr insert(void *key, void *value);
  /// Never grows; on failure returns the null iterator and has not moved from
  /// the arguments.
  DictVItr insert_raw(void *key, void *value, bool unique, bool replace);
  [[nodiscard]] DictVItr get(const void *key) const;
  bool erase(const void *key);
  /// True means an iterating caller advances; see Dict::erase(const Itr&).
  bool erase(const DictVItr &itr);
  /// Trusts `itr` to denote an entry of this table.
  bool erase_itr_raw(DictVItr itr);
  /// The null iterator when there are no entries.
  [[nodiscard]] DictVItr begin() const;
  [[nodiscard]] u64 size() const { return count; }

  bool reserve(u64 n);
  bool shrink();
  bool rehash(u64 new_count);
  void clear();
  void destroy();

  [[nodiscard]] u64 bucket_count() const { return bucket_mask == 0 ? 0 : bucket_mask + 1; }
  [[nodiscard]] u8 *get_bucket(u64 index) const { return buckets + index * vtable->bucket_size; }
  [[nodiscard]] void *get_bucket_key(u8 *bucket) const { return bucket + vtable->key_offset; }
  [[nodiscard]] void *get_bucket_value(u8 *bucket) const { return bucket + vtable->value_offset; }
  /// Bytes of the block; 0 while nothing is allocated.
  [[nodiscard]] u64 total_alloc_size() const;
  [[nodiscard]] u64 metadata_offset() const;

  /// Nearest empty bucket at displacement 1..2046 from `home`; outputs are
  /// untouched when there is none.
  [[nodiscard]] bool find_first_empty(u64 home, u64 &index, u64 &displacement) const;
  /// The member of home's chain whose link a new member at `displacement`
  /// takes over: the last one with a smaller displacement.
  [[nodiscard]] u64 find_insert_location_in_chain(u64 home, u64 displacement) const;
  /// Moves the displaced entry in home bucket `index` further along its own
  /// chain; false, with nothing changed, when that chain has no room. The
  /// bucket's metadatum is left for the caller to overwrite.
  bool evict(u64 index);
};

/// The lookup's chain walk, shared by the untyped core (equality through the
/// table of operations) and the typed shell (the key's own equality, inline:
/// lookups are the hot path). Keys are compared only where fragments agree.
template <typename StoredKeyEquals>
[[nodiscard]] DictVItr dict_find_in_chain(const DictV &t, u64 hash, StoredKeyEquals &&equals) {
  const u16 *md = t.metadata;
  const u64 home = hash & t.bucket_mask;
  if (!(md[home] & k_dict_in_home)) return {};
  const u16 fragment = static_cast<u16>((hash >> 48) & k_dict_fragment_mask);
  u64 b = home;
  for (;;) {
    if ((md[b] & k_dict_fragment_mask) == fragment) {
      u8 *bucket = t.get_bucket(b);
      if (equals(t.get_bucket_key(bucket)))
        return {bucket, t.metadata + b, t.metadata + t.bucket_count(), home, t.vtable};
    }
    const u64 link = md[b] & k_dict_link_mask;
    if (link == k_dict_no_link) return {};
    b = dict_displaced_bucket(home, link, t.bucket_mask);
  }
}

} // namespace details

// -------------------------------------------------------------- typed shell

namespace details {
/// A bucket is the record {K key; V value;}: key first, natural alignment.
template <typename K, typename V> struct DictLayout {
  static constexpr u64 key_offset = 0;
  static constexpr u64 value_offset = (sizeof(K) + alignof(V) - 1) / alignof(V) * alignof(V);
  static constexpr u64 align = alignof(K) > alignof(V) ? alignof(K) : alignof(V);
  static constexpr u64 bucket_size = (value_offset + sizeof(V) + align - 1) / align * align;
};
} // namespace details

/// Passed as `end()` to range-for; an iterator compares unequal to it until it
/// reaches the end marker.
struct DictEnd {};

/// Position of one entry, or the end; V is const-qualified for a const Dict.
/// Invalidated by every insertion and erasure except erase(it) itself.
template <typename K, typename V> struct DictItr {
  details::DictVItr raw;

  /// False for a lookup that missed and for an insertion that ran out of memory.
  [[nodiscard]] bool found() const { return raw.bucket != nullptr && !raw.at_end(); }
  [[nodiscard]] bool at_end() const { return raw.at_end(); }
  /// Read-only: changing a stored key would lose its entry.
  [[nodiscard]] const K &key() const {
    return *std::launder(reinterpret_cast<const K *>(raw.bucket + Layout::key_offset));
  }
  [[nodiscard]] V &value() const {
    return *std::launder(reinterpret_cast<V *>(raw.bucket + Layout::value_offset));
  }
  /// Must not be called at the end.
  DictItr &operator++() {
    ++raw;
    return *this;
  }
  /// Range-for yields the iterator itself, read with key() and value().
  [[nodiscard]] const DictItr &operator*() const { return *this; }
  [[nodiscard]] bool operator!=(DictEnd) const { return !raw.at_end(); }

private:
  using Layout = details::DictLayout<K, std::remove_const_t<V>>;
};

/// Hash dictionary owning its keys and values in one malloc block; an empty
/// one allocates nothing. Not thread-safe; a dictionary belongs to one thread.
template <typename K, typename V> class Dict {
  // Entries are relocated by growth, eviction and erasure with no way back
  // from a half-done move.
  static_assert(std::is_nothrow_move_constructible_v<K> && std::is_nothrow_move_constructible_v<V>,
                "Dict keys and values must have non-throwing move constructors");
  static_assert(alignof(K) <= alignof(std::max_align_t) && alignof(V) <= alignof(std::max_align_t),
                "Dict buckets live in a malloc block and cannot be over-aligned");

public:
  using Itr = DictItr<K, V>;
  using ConstItr = DictItr<K, const V>;

  Dict();
  ~Dict() { core_.destroy(); }
  /// Aborts like an owned string when the copy's block cannot be allocated.
  Dict(const Dict &o);
  /// Leaves `o` empty and unallocated.
  Dict(Dict &&o) noexcept : Dict() { core_.init(std::move(o.core_)); }
  /// Aborts when the copy's block cannot be allocated; this keeps its entries
  /// until the copy is complete.
  Dict &operator=(const Dict &o);
  /// Leaves `o` empty and unallocated.
  Dict &operator=(Dict &&o) noexcept;

  /// A miss is an iterator whose found() is false, never an exception.
  [[nodiscard]] Itr get(const K &key) { return Itr{find(key)}; }
  [[nodiscard]] ConstItr get(const K &key) const { return ConstItr{find(key)}; }
  /// Inserts or replaces (both key and value); found() is false only when
  /// memory ran out, and then the entry is not stored.
  Itr insert(K key, V value) { return Itr{core_.insert(&key, &value)}; }
  /// False only when no entry has an equal key.
  bool erase(const K &key) {
    const details::DictVItr hit = find(key);
    if (hit.bucket == nullptr) return false;
    core_.erase_itr_raw(hit);
    return true;
  }
  /// Not "whether it erased": true means advance as usual, false means stay,
  /// an entry not yet visited now sits at `it`. An iterator that denotes no
  /// entry of this dictionary erases nothing and gives true.
  bool erase(const Itr &it) { return core_.erase(it.raw); }

  [[nodiscard]] u64 size() const { return core_.size(); }
  [[nodiscard]] bool empty() const { return core_.size() == 0; }
  /// 0 while nothing is allocated, otherwise a power of two of at least 8.
  [[nodiscard]] u64 bucket_count() const { return core_.bucket_count(); }

  /// Never shrinks; false when memory runs out, with nothing changed.
  bool reserve(u64 n) { return core_.reserve(n); }
  /// Frees the block when empty; never grows. False when memory runs out.
  bool shrink() { return core_.shrink(); }
  /// `count` must be a power of two of at least 8, else false; the result may
  /// have more buckets when the entries do not fit in `count`.
  bool rehash(u64 count) { return core_.rehash(count); }
  /// Keeps the block for refilling.
  void clear() { core_.clear(); }
  /// Also frees the block; the dictionary stays usable.
  void destroy() { core_.destroy(); }

  [[nodiscard]] Itr begin() { return Itr{core_.begin()}; }
  [[nodiscard]] ConstItr begin() const { return ConstItr{core_.begin()}; }
  [[nodiscard]] DictEnd end() const { return {}; }

  /// The untyped core, for inspecting the layout.
  [[nodiscard]] const details::DictV &raw() const { return core_; }

private:
  using Layout = details::DictLayout<K, V>;

  static K *key_at(void *p) { return std::launder(static_cast<K *>(p)); }
  static V *value_at(void *p) { return std::launder(static_cast<V *>(p)); }
  static const K *key_at(const void *p) { return std::launder(static_cast<const K *>(p)); }
  static const V *value_at(const void *p) { return std::launder(static_cast<const V *>(p)); }

  // DictV::get's walk with the key's own hash and equality called directly
  // instead of through the table of operations: several times cheaper.
  [[nodiscard]] details::DictVItr find(const K &key) const {
    return details::dict_find_in_chain(core_, DictKey<K>::hash(key), [&key](const void *stored) {
      return DictKey<K>::equals(*key_at(stored), key);
    });
  }

  static u64 v_hash(const void *key) { return DictKey<K>::hash(*key_at(key)); }
  static bool v_equals_key(const void *stored, const void *probe) {
    return DictKey<K>::equals(*key_at(stored), *key_at(probe));
  }
  static void v_move_key(void *dst, void *src) { ::new (dst) K(std::move(*key_at(src))); }
  static void v_move_value(void *dst, void *src) { ::new (dst) V(std::move(*value_at(src))); }
  static void v_copy_key(void *dst, const void *src) { ::new (dst) K(*key_at(src)); }
  static void v_copy_value(void *dst, const void *src) { ::new (dst) V(*value_at(src)); }
  static void v_destroy_key(void *key) { key_at(key)->~K(); }
  static void v_destroy_value(void *value) { value_at(value)->~V(); }
  static void v_move_bucket(void *dst, void *src);

  details::DictV core_;
};

// -------------------------------------------------------- Dict implementation

template <typename K, typename V> Dict<K, V>::Dict() {
  static constexpr details::DictVTable vtable = {
      // Stride of one {key, value} record.
      Layout::bucket_size,
      // The key opens the record.
      Layout::key_offset,
      // The value follows at its own alignment.
      Layout::value_offset,
      // Hash and equality come from DictKey<K>.
      &v_hash,
      // Only called when the 4-bit hash fragments already match.
      &v_equals_key,
      // Move-constructs into raw storage; the source stays a live object.
      &v_move_key,
      // As for keys.
      &v_move_value,
      // Copy-constructs into raw storage, for copying whole dictionaries.
      &v_copy_key,
      // As for keys.
      &v_copy_value,
      // Move-constructs both members and destroys the source's.
      &v_move_bucket,
      // Runs K's destructor in place.
      &v_destroy_key,
      // Runs V's destructor in place.
      &v_destroy_value,
  };
  core_.init(&vtable);
}

template <typename K, typename V> Dict<K, V>::Dict(const Dict &o) {
  if (!core_.init(o.core_)) details::out_of_memory();
}

template <typename K, typename V> Dict<K, V> &Dict<K, V>::operator=(const Dict &o) {
  if (this == &o) return *this;
  details::DictV copy;
  if (!copy.init(o.core_)) details::out_of_memory();
  core_.destroy();
  core_.init(std::move(copy));
  return *this;
}

template <typename K, typename V> Dict<K, V> &Dict<K, V>::operator=(Dict &&o) noexcept {
  if (this == &o) return *this;
  core_.destroy();
  core_.init(std::move(o.core_));
  return *this;
}

template <typename K, typename V> void Dict<K, V>::v_move_bucket(void *dst, void *src) {
  u8 *d = static_cast<u8 *>(dst);
  u8 *s = static_cast<u8 *>(src);
  // A moved-from object may still own something, so it is destroyed here:
  // the core never touches the source bucket again.
  K *sk = key_at(s + Layout::key_offset);
  ::new (d + Layout::key_offset) K(std::move(*sk));
  sk->~K();
  V *sv = value_at(s + Layout::value_offset);
  ::new (d + Layout::value_offset) V(std::move(*sv));
  sv->~V();
}
