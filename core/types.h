// Integer and float width names, and ArrView, the non-owning view of a
// caller-owned run of elements that fill-style operations write into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

using i8 = int8_t;
using i16 = int16_t;
using i32 = int32_t;
using i64 = int64_t;
using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using u64 = uint64_t;
using f32 = float;
using f64 = double;

/// A caller-owned run of `count` elements at `data`; the memory must outlive
/// every call it is passed to. Operations that fill one write at most `count`
/// elements and return a view of what they wrote.
template <typename T> struct ArrView {
  T *data = nullptr;
  u64 count = 0;

  constexpr ArrView() = default;
  constexpr ArrView(T *p, u64 n) : data(p), count(n) {}
  template <u64 N> constexpr ArrView(T (&arr)[N]) : data(arr), count(N) {}
  /// A view of mutable elements is also a read-only view of them.
  template <typename U>
  requires std::is_same_v<const U, T>
  constexpr ArrView(ArrView<U> o) : data(o.data), count(o.count) {}

  [[nodiscard]] constexpr T &operator[](u64 i) const { return data[i]; }
  [[nodiscard]] constexpr T *begin() const { return data; }
  [[nodiscard]] constexpr T *end() const { return data + count; }
};
