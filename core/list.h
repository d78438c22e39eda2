// List<T>, a doubly linked list with one heap node per element, and
// SDict<K, V>, a small dictionary in two parallel arrays kept in key order.
//
// The traps: SDict::append neither grows nor checks bounds, so size the
// arrays with resize() first; and find() binary-searches, so it only answers
// correctly after sort() (or when entries were appended in key order).
#pragma once

#include "core/types.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <numeric>
#include <type_traits>
#include <utility>

/// Elements never move once appended, so pointers to them stay valid until
/// the list is cleared or destroyed; there is no removal of single elements.
template <typename T> struct List {
  struct Node {
    T value;
    Node *next;
    Node *prev;
  };

  /// Reads the next link before the current element is used, so the walk
  /// survives appends; an element appended while at the last one is not visited.
  struct Iterator {
    Node *node;
    Node *next;

    [[nodiscard]] T &operator*() const { return node->value; }
    [[nodiscard]] T *operator->() const { return &node->value; }
    Iterator &operator++() {
      node = next;
      next = node ? node->next : nullptr;
      return *this;
    }
    [[nodiscard]] bool operator==(const Iterator &o) const { return node == o.node; }
    [[nodiscard]] bool operator!=(const Iterator &o) const { return node != o.node; }
  };

  Node *first = nullptr; ///< null when empty, like `last`
  Node *last = nullptr;
  u64 count = 0;

  /// All zeros and owning nothing, so a global list works before any constructor runs.
  constexpr List() = default;
  ~List() { clear(); }

  /// Copying would have to duplicate every node; nothing needs it, so it is
  /// left out rather than done by sharing nodes (a double free).
  List(const List &) = delete;
  List &operator=(const List &) = delete;

  /// Takes the nodes over and leaves `o` empty.
  List(List &&o) noexcept : first(o.first), last(o.last), count(o.count) {
    o.first = nullptr;
    o.last = nullptr;
    o.count = 0;
  }
  /// Exchanges contents: `o` leaves with this list's former elements and
  /// releases them when it is destroyed.
  List &operator=(List &&o) noexcept {
    std::swap(first, o.first);
    std::swap(last, o.last);
    std::swap(count, o.count);
    return *this;
  }

  /// Copies `v` into a new node at the end; returns the stored element.
  T &append(const T &v) { return link(new Node{v, nullptr, last}); }
  /// Moves `v` into a new node at the end; returns the stored element.
  T &append(T &&v) { return link(new Node{std::move(v), nullptr, last}); }

  /// Destroys every element front to back; the list is a valid empty list
  /// afterwards, so clearing (or destroying) twice is harmless.
  void clear() {
    while (first != nullptr) {
      Node *next = first->next;
      delete first;
      first = next;
    }
    last = nullptr;
    count = 0;
  }

  /// Moves the first n elements of `o` (n at most o.count) to the end of
  /// this list, nodes and all: no element is copied or moved in memory.
  void splice_back(List &o, u64 n) {
    if (n == 0) return;
    Node *cut = o.first;
    for (u64 i = 1; i < n; ++i) cut = cut->next;
    Node *rest = cut->next;
    o.first->prev = last;
    if (last != nullptr)
      last->next = o.first;
    else
      first = o.first;
    last = cut;
    cut->next = nullptr;
    count += n;
    o.first = rest;
    if (rest != nullptr)
      rest->prev = nullptr;
    else
      o.last = nullptr;
    o.count -= n;
  }

  [[nodiscard]] bool empty() const { return count == 0; }
  [[nodiscard]] Iterator begin() const { return {first, first ? first->next : nullptr}; }
  [[nodiscard]] Iterator end() const { return {nullptr, nullptr}; }

private:
  T &link(Node *n) {
    if (last != nullptr) {
      last->next = n;
    } else {
      first = n;
    }
    last = n;
    ++count;
    return n->value;
  }
};

/// Entries 0 .. count - 1 are keys[i] with values[i]. Meant for entry counts
/// known before filling: one allocation per array, no growth on append.
template <typename K, typename V> struct SDict {
  K *keys = nullptr; ///< owned; null when keys_len is 0, likewise values
  u64 keys_len = 0;
  V *values = nullptr;
  u64 values_len = 0;
  u64 count = 0; ///< entries in use, never more than the arrays hold

  constexpr SDict() = default;
  ~SDict() {
    delete[] values;
    delete[] keys;
  }

  SDict(const SDict &) = delete;
  SDict &operator=(const SDict &) = delete;
  /// Takes the arrays over and leaves `o` empty.
  SDict(SDict &&o) noexcept { swap(o); }
  /// Exchanges contents, like List.
  SDict &operator=(SDict &&o) noexcept {
    swap(o);
    return *this;
  }

  /// Sets both array lengths to n, keeping the first min(old, n) entries;
  /// 0 releases both arrays. A shrink below `count` drops the entries past
  /// n, so count never exceeds the arrays. If an allocation or an element
  /// copy throws, the dictionary is left as it was.
  void resize(u64 n) {
    std::unique_ptr<K[]> new_keys;
    std::unique_ptr<V[]> new_values;
    if (n != keys_len && n != 0) {
      new_keys.reset(new K[n]);
      transfer(keys, keys_len, new_keys.get(), n);
    }
    if (n != values_len && n != 0) {
      new_values.reset(new V[n]);
      transfer(values, values_len, new_values.get(), n);
    }
    if (n != keys_len) {
      delete[] keys;
      keys = new_keys.release();
      keys_len = n;
    }
    if (n != values_len) {
      delete[] values;
      values = new_values.release();
      values_len = n;
    }
    if (count > n) count = n;
  }

  /// Writes entry `count` and advances; the arrays must have room (resize first).
  void append(const K &key, const V &value) {
    assert(count < keys_len && count < values_len && "SDict::append past the arrays; resize first");
    keys[count] = key;
    values[count] = value;
    ++count;
  }
  /// As above, moving the value in (no copy of what it owns).
  void append(const K &key, V &&value) {
    assert(count < keys_len && count < values_len && "SDict::append past the arrays; resize first");
    keys[count] = key;
    values[count] = std::move(value);
    ++count;
  }

  /// Stable sort by key (operator<): equal keys keep their append order.
  /// O(n log n) whatever the order, and input already in order costs a
  /// single pass. Throws std::bad_alloc, entries untouched, when its index
  /// array cannot be had.
  void sort() {
    if (count < 2 || in_key_order()) return;
    // source[i]: the entry that belongs at i. Sorting indices leaves the
    // entries alone until the order is known, then each moves once.
    std::unique_ptr<u64[]> source(new u64[count]);
    std::iota(source.get(), source.get() + count, u64(0));
    std::stable_sort(source.get(), source.get() + count,
                     [this](u64 a, u64 b) { return keys[a] < keys[b]; });
    move_along_cycles(source.get());
  }

  /// The value of the first entry with `key`, or null; assumes sorted entries.
  [[nodiscard]] V *find(const K &key) { return find_impl(key); }
  [[nodiscard]] const V *find(const K &key) const { return find_impl(key); }

private:
  void swap(SDict &o) noexcept {
    std::swap(keys, o.keys);
    std::swap(keys_len, o.keys_len);
    std::swap(values, o.values);
    std::swap(values_len, o.values_len);
    std::swap(count, o.count);
  }

  // Elements are moved when that cannot throw, so a failed resize never
  // leaves half-moved entries behind; element types that own memory (glyph
  // bitmaps) may have no copy at all and are moved regardless.
  template <typename E> static void transfer(E *from, u64 from_len, E *to, u64 to_len) {
    u64 n = from_len < to_len ? from_len : to_len;
    for (u64 i = 0; i < n; ++i) {
      if constexpr (std::is_nothrow_move_assignable_v<E> || !std::is_copy_assignable_v<E>) {
        to[i] = std::move(from[i]);
      } else {
        to[i] = from[i];
      }
    }
  }

  [[nodiscard]] bool in_key_order() const {
    for (u64 i = 1; i < count; ++i)
      if (keys[i] < keys[i - 1]) return false;
    return true;
  }

  // Follows each cycle of the permutation once, marking a placed entry as
  // its own source.
  void move_along_cycles(u64 *source) {
    for (u64 start = 0; start < count; ++start) {
      if (source[start] == start) continue;
      K key = std::move(keys[start]);
      V value = std::move(values[start]);
      u64 at = start;
      while (source[at] != start) {
        const u64 from = source[at];
        keys[at] = std::move(keys[from]);
        values[at] = std::move(values[from]);
        source[at] = at;
        at = from;
      }
      keys[at] = std::move(key);
      values[at] = std::move(value);
      source[at] = at;
    }
  }

  V *find_impl(const K &key) const {
    u64 lo = 0;
    u64 hi = count;
    while (lo < hi) {
      u64 mid = lo + (hi - lo) / 2;
      if (keys[mid] < key) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo < count && !(key < keys[lo])) return &values[lo];
    return nullptr;
  }
};
