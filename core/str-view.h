// StrView: the library's non-owning text, a pointer and a length passed by
// value. It is not NUL-terminated; the empty view is always {nullptr, 0}, and
// a NUL inside a view is an ordinary byte to every comparison and search.
// Nothing here allocates except the exception of to_c_str's failure case.
#pragma once

#include "core/types.h"

/// Result of the three-way comparisons; the values are 0, 1, 2 (not -1, 0, 1).
enum class Ordering : u8 { Less = 0, Equal = 1, Greater = 2 };

struct StrView {
  /// The "not found" index of the searches.
  static constexpr u64 npos = ~0ull;

  const char *data = nullptr;
  u64 len = 0;

  constexpr StrView() = default;
  /// Empty for a null pointer or an empty C string.
  StrView(const char *s);
  /// Empty when n is 0, whatever p is.
  constexpr StrView(const char *p, u64 n) : data(n ? p : nullptr), len(n) {}
  StrView(std::nullptr_t) = delete; // a null literal is always a bug here

  [[nodiscard]] constexpr bool empty() const { return len == 0; }
  [[nodiscard]] constexpr const char *begin() const { return data; }
  [[nodiscard]] constexpr const char *end() const { return data + len; }
  [[nodiscard]] constexpr char operator[](u64 i) const { return data[i]; }

  [[nodiscard]] bool operator==(StrView o) const;
  [[nodiscard]] bool operator!=(StrView o) const { return !(*this == o); }

  [[nodiscard]] bool starts_with(char c) const { return len > 0 && data[0] == c; }
  [[nodiscard]] bool ends_with(char c) const { return len > 0 && data[len - 1] == c; }
  [[nodiscard]] bool starts_with(StrView prefix) const;
  [[nodiscard]] bool ends_with(StrView suffix) const;

  /// Byte-wise order (unsigned bytes), shorter first on a common prefix.
  [[nodiscard]] Ordering compare(StrView o) const;
  /// Order ignoring ASCII case. Bytes are compared as signed values, so bytes
  /// 0x80..0xFF order below 0x00..0x7F here, unlike in compare().
  [[nodiscard]] Ordering compare_ci(StrView o) const;

  /// hash_fnv64 of the characters; the empty view gives 0xCBF29CE484222325.
  [[nodiscard]] u64 hash() const;

  [[nodiscard]] u64 find(char c) const;
  [[nodiscard]] u64 find_last(char c) const;
  /// First occurrence of `needle`; an empty needle is found at 0.
  [[nodiscard]] u64 find(StrView needle) const;
  /// Last occurrence of `needle`; an empty needle is found at 0, not at len.
  [[nodiscard]] u64 find_last(StrView needle) const;

  /// Up to `count` characters from `pos` (pos <= len); count npos reaches the end.
  ///   "hello".sub(2, npos) => "llo",  "abc".sub(1, 100) => "bc",  "abc".sub(3, 5) => ""
  [[nodiscard]] StrView sub(u64 pos, u64 count) const;

  /// Parts between separators, empty parts kept; stops when `out` is full and
  /// drops the rest of the text.   "a,,b," at ',' => "a", "", "b", ""
  ArrView<StrView> split(char sep, ArrView<StrView> out) const;
  /// As split, but empty parts are never written.   ",a,,b," => "a", "b"
  ArrView<StrView> split_se(char sep, ArrView<StrView> out) const;
  /// Splits at a multi-character separator, non-overlapping, left to right.
  ///   "a:::b" at "::" => "a", ":b";  an empty separator gives the whole view.
  ArrView<StrView> split(StrView sep, ArrView<StrView> out) const;
  ArrView<StrView> split_se(StrView sep, ArrView<StrView> out) const;

  /// Without leading / trailing / both kinds of white space (isspace).
  [[nodiscard]] StrView trim_left() const;
  [[nodiscard]] StrView trim_right() const;
  [[nodiscard]] StrView trim() const;

  /// Copies the text and a NUL into dst; cap counts the NUL. Returns false and
  /// writes nothing when it does not fit.
  [[nodiscard]] bool try_to_c_str(char *dst, u64 cap) const;
  /// As try_to_c_str, but throws Err "Not enough memory to convert string to c string".
  void to_c_str(char *dst, u64 cap) const;

  /// Copies o over the characters this view refers to when both lengths are
  /// equal and non-zero; otherwise does nothing. The view must be writable
  /// storage (a sub-view of a pre-sized Str).
  void assign(StrView o) const;
};

/// A string's identity carried without the string: hash_fnv64 of its characters.
struct StrHash {
  u64 value = 0;
  explicit StrHash(StrView s);
};
