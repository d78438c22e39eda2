// Str, the owned string (exactly its length, no terminator, null when empty),
// StrBuilder, the growable buffer every message is assembled in, and Err, the
// library's one exception type. Running out of memory is fatal, not thrown.
#pragma once

#include "core/str-view.h"

#include <exception>

/// Owned text in a malloc block of exactly `len` bytes; null when empty.
/// Appending reallocates every time: assemble text in a StrBuilder instead.
struct Str {
  char *data = nullptr;
  u64 len = 0;

  Str() = default;
  /// n characters whose contents are not set.
  explicit Str(u64 n);
  Str(u64 n, char c);
  Str(const char *s);
  Str(const char *p, u64 n);
  Str(StrView v);
  Str(const Str &o);
  Str(Str &&o) noexcept;
  ~Str();

  Str &operator=(const Str &o);
  Str &operator=(const char *s);
  /// v may be a part of this very string: s = s.view().sub(6, 5) keeps those 5.
  Str &operator=(StrView v);
  /// Exchanges contents: `o` leaves with what this string held and frees it.
  Str &operator=(Str &&o) noexcept;

  operator StrView() const { return {data, len}; }
  [[nodiscard]] StrView view() const { return {data, len}; }
  [[nodiscard]] bool empty() const { return len == 0; }
  [[nodiscard]] bool operator==(StrView o) const { return view() == o; }

  /// Changes the length to n; characters beyond the old length are not set.
  void resize(u64 n);
  /// Appends a NUL that then counts as a character.
  Str &null_terminate();
  /// Appends v, which may be a part of this very string (s += s doubles it).
  Str &operator+=(StrView v);

  /// Adopts the malloc block p holding n characters, without copying.
  [[nodiscard]] static Str from_raw(char *p, u64 n);
};

[[nodiscard]] Str operator+(StrView a, StrView b);

/// Growable text buffer with 128 bytes inline. It points into itself while
/// inline, so it is neither copied nor moved: it lives as a local variable.
struct StrBuilder {
  static constexpr u64 inline_capacity = 128;

  char *data;
  u64 len;
  u64 capacity;
  char inline_buf[inline_capacity];

  StrBuilder() { init(); }
  ~StrBuilder();
  StrBuilder(const StrBuilder &) = delete;
  StrBuilder &operator=(const StrBuilder &) = delete;

  /// Back to the empty inline state; only on a builder that holds no heap block.
  void init();

  /// v may be the builder's own text: b.append(b.view()) doubles it.
  void append(StrView v);
  void append(char c);
  /// Appends what vsnprintf makes of the format, followed by an uncounted NUL;
  /// a failing format appends nothing. The arguments may point into this
  /// builder. Text under 256 bytes is formatted once, longer text twice.
  void appendf(const char *format, ...) __attribute__((format(printf, 2, 3)));
  /// Makes the capacity exceed n (a total, not an addition), growing to the
  /// smallest multiple of 32 above n.
  void ensure_capacity(u64 n);

  [[nodiscard]] StrView view() const { return {data, len}; }
  [[nodiscard]] bool is_inline() const { return data == inline_buf; }
  void remove_last() {
    if (len != 0) --len;
  }
  void reset() { len = 0; }

  /// Hands the text over: a heap block is given to the Str without a copy and
  /// the builder is empty again; inline text is copied and kept.
  [[nodiscard]] Str to_string();
};

/// The library's one exception type; code that reports it reads `message`.
struct Err : std::exception {
  Str message;

  explicit Err(const char *text) : message(text) {}
  explicit Err(StrView text) : message(text) {}
  explicit Err(Str &&text) : message(static_cast<Str &&>(text)) {}
};

namespace details {
/// Writes the allocation-failure text to stderr and aborts.
[[noreturn]] void out_of_memory();
} // namespace details
