// Type-driven formatting and strict parsing of values.
//
// A message is a list of values: fmt(b, "Atlas size: ", w, 'x', h) appends the
// text form of each, in order and without separators. Each type's text form is
// a Fmt<T> specialisation beside its type; there is no fallback, so a type
// without one does not compile. StrParser<T> is the reverse direction: strict,
// the whole text must match, and `out` is only written on success.
#pragma once

#include "core/str.h"

// ---------------------------------------------------------------- formatting

template <typename T> struct Fmt;

/// A pointer or any 64-bit value, shown as "0x" and 16 upper-case hex digits.
struct Ptr {
  u64 value;
};

/// A byte count: "0B", "1023B", then kilobytes with one decimal ("1.5K").
struct HumanMemorySize {
  u64 bytes;
};

/// A number padded with leading zeros to at least `width` digits.
struct ZeroPrefixU16 {
  u16 width;
  u16 value;
};

/// Text shown to a person on a terminal: every byte below 0x20 and 0x7F is
/// written as \xNN (lowercase hex), so input repeated in a message can neither
/// send control sequences nor break the line; all other bytes, UTF-8 included,
/// pass unchanged:  "a\x1b[2Jb\n" => a\x1b[2Jb\x0a
struct EscapedControl {
  StrView text;
};

#define GLYPHMINT_DECLARE_FMT(T)                                                                   \
  template <> struct Fmt<T> { static void format(const T &v, StrBuilder &b); }

GLYPHMINT_DECLARE_FMT(char);
GLYPHMINT_DECLARE_FMT(unsigned char); // as a number: 65 => "65"
GLYPHMINT_DECLARE_FMT(short);
GLYPHMINT_DECLARE_FMT(int);
GLYPHMINT_DECLARE_FMT(long);
GLYPHMINT_DECLARE_FMT(unsigned short);
GLYPHMINT_DECLARE_FMT(unsigned int);
GLYPHMINT_DECLARE_FMT(unsigned long);
GLYPHMINT_DECLARE_FMT(unsigned long long);
GLYPHMINT_DECLARE_FMT(bool);
GLYPHMINT_DECLARE_FMT(float);  // 4 fraction digits, truncated: 123.456f => "123.4560"
GLYPHMINT_DECLARE_FMT(double); // 5 fraction digits, truncated: 2.0/3 => "0.66666"
GLYPHMINT_DECLARE_FMT(StrView);
GLYPHMINT_DECLARE_FMT(Str);
GLYPHMINT_DECLARE_FMT(Ptr);
GLYPHMINT_DECLARE_FMT(StrHash);
GLYPHMINT_DECLARE_FMT(HumanMemorySize);
GLYPHMINT_DECLARE_FMT(ZeroPrefixU16);
GLYPHMINT_DECLARE_FMT(EscapedControl);

namespace details {
template <typename T> void fmt_one(StrBuilder &b, const T &v) {
  Fmt<T>::format(v, b);
}
/// String literals: the characters up to the first NUL.
template <u64 N> void fmt_one(StrBuilder &b, const char (&s)[N]) {
  b.append(StrView(s));
}
} // namespace details

/// Appends the text form of every argument to `b`, left to right.
template <typename... Args> void fmt(StrBuilder &b, const Args &...args) {
  (details::fmt_one(b, args), ...);
}

/// The text form of the arguments as a new Str.
template <typename... Args> [[nodiscard]] Str fmt(const Args &...args) {
  StrBuilder b;
  fmt(b, args...);
  return b.to_string();
}

// ------------------------------------------------------------------- parsing

template <typename T> struct StrParser;

/// Selects the parser that drops every backslash: a\b\\c => abc.
struct StrWithWrap {
  Str str;
};

#define GLYPHMINT_DECLARE_PARSER(T)                                                                \
  template <> struct StrParser<T> { [[nodiscard]] static bool try_parse(StrView text, T &out); }

// Integers: optional sign ('-' never for unsigned), one or more decimal digits,
// exact range limits: "-2147483648" => INT_MIN, "2147483648" fails, "0x10" fails.
GLYPHMINT_DECLARE_PARSER(short);
GLYPHMINT_DECLARE_PARSER(int);
GLYPHMINT_DECLARE_PARSER(long);
GLYPHMINT_DECLARE_PARSER(unsigned short);
GLYPHMINT_DECLARE_PARSER(unsigned int);
GLYPHMINT_DECLARE_PARSER(unsigned long);
GLYPHMINT_DECLARE_PARSER(unsigned long long);
// Exactly "true" or "false".
GLYPHMINT_DECLARE_PARSER(bool);
// Optional sign, digits, optionally '.' and more digits: "3." => 3, ".5" and
// "1e3" fail. Accumulated digit by digit in the target precision; a text whose
// accumulation overflows to infinity (39 nines for float, 309 for double) fails.
GLYPHMINT_DECLARE_PARSER(float);
GLYPHMINT_DECLARE_PARSER(double);
// Never fail.
GLYPHMINT_DECLARE_PARSER(StrView);
GLYPHMINT_DECLARE_PARSER(Str);
GLYPHMINT_DECLARE_PARSER(StrWithWrap);

#undef GLYPHMINT_DECLARE_PARSER
#undef GLYPHMINT_DECLARE_FMT

/// Throws Err "Cannot parse string: " + text when the text is not a valid T.
template <typename T> void parse_str(StrView text, T &out) {
  if (!StrParser<T>::try_parse(text, out)) throw Err(fmt("Cannot parse string: ", text));
}
