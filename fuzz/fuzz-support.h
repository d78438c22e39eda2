// Shared pieces of the fuzz targets: a reader that carves an input into
// operations and texts, the failure check, and the reference models that the
// targets compare the library against.
//
// The trap: a failed check must end the process (abort) so that libFuzzer
// saves the input and the replay test fails; a check that only prints would
// pass every corpus file.
#pragma once

#include "core/str-view.h"
#include "core/types.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size);

namespace fuzz {

/// Prints what went wrong and aborts; never returns.
[[noreturn]] inline void fail(const char *file, int line, const char *what,
                              const std::string &detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

/// Visible bytes as they are, everything else as \xNN, so a report can be read.
[[nodiscard]] inline std::string quote(std::string_view s) {
  std::string out = "\"";
  static const char *const k_hex = "0123456789abcdef";
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7f && c != '"' && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += k_hex[b >> 4];
      out += k_hex[b & 15];
    }
  }
  return out + "\"";
}

[[nodiscard]] inline std::string_view sv(StrView v) {
  return {v.data, v.len};
}
[[nodiscard]] inline StrView view(std::string_view s) {
  return StrView(s.data(), s.size());
}

/// Hands out the input front to back; past the end every read gives zeros or
/// empty texts, so a short input is simply a short run.
class Reader {
public:
  Reader(const u8 *data, size_t size) : data_(data), size_(size) {}

  [[nodiscard]] bool empty() const { return at_ == size_; }
  [[nodiscard]] size_t left() const { return size_ - at_; }

  u8 byte() { return at_ < size_ ? data_[at_++] : 0; }
  u64 bytes(int n) {
    u64 v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<u64>(byte()) << (8 * i);
    return v;
  }
  /// Up to `max` bytes, fewer at the end of the input.
  std::string text(size_t max) {
    const size_t n = max < left() ? max : left();
    std::string s(reinterpret_cast<const char *>(data_ + at_), n);
    at_ += n;
    return s;
  }
  /// A text whose length is the next byte (up to 255).
  std::string short_text() { return text(byte()); }
  /// Everything that is left.
  std::string rest() { return text(left()); }

private:
  const u8 *data_;
  size_t size_;
  size_t at_ = 0;
};

// ------------------------------------------------------------------- models

// Wide enough for any 64-bit value and its sign; __extension__ keeps
// -Wpedantic quiet about the compiler-specific type.
__extension__ typedef __int128 I128;
__extension__ typedef unsigned __int128 U128;

/// Decimal digits only, at least one.
[[nodiscard]] inline bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

/// Strict integer text of a type ranging over [lo, hi]: an optional sign
/// ('-' only when lo < 0) and decimal digits; the value is computed wide
/// enough that no real number of digits can wrap it.
template <typename T> [[nodiscard]] bool model_int(std::string_view s, T &out) {
  if (s.empty()) return false;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    if (negative && !std::numeric_limits<T>::is_signed) return false;
    s.remove_prefix(1);
  }
  if (!all_digits(s)) return false;
  while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
  if (s.size() > 30) return false; // far beyond 64 bits either way
  U128 magnitude = 0;
  for (const char c : s) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  const I128 value = negative ? -static_cast<I128>(magnitude) : static_cast<I128>(magnitude);
  if (value < static_cast<I128>(std::numeric_limits<T>::min()) ||
      value > static_cast<I128>(std::numeric_limits<T>::max()))
    return false;
  out = static_cast<T>(value);
  return true;
}

} // namespace fuzz

#define FUZZ_CHECK(cond, detail)                                                                   \
  do {                                                                                             \
    if (!(cond)) ::fuzz::fail(__FILE__, __LINE__, #cond, (detail));                                \
  } while (0)
