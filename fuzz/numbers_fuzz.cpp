// Every strict value parser against a model of its own: the whole input is
// one text, offered to each parser in turn. A wrong accept, a wrong reject, a
// wrong value or a touched output after a failure is a finding.
#include "fuzz/fuzz-support.h"

#include "core/fmt.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

template <typename T> void check_int(const std::string &text, const char *type) {
  const T sentinel = static_cast<T>(0x5A5A5A5A5A5A5A5Aull);
  T got = sentinel;
  const bool ok = StrParser<T>::try_parse(fuzz::view(text), got);
  T want = sentinel;
  const bool want_ok = fuzz::model_int<T>(text, want);
  const auto where = [&] {
    return std::string(type) + " " + fuzz::quote(text) + " gave " + std::to_string(got) +
           ", model " + std::to_string(want);
  };
  FUZZ_CHECK(ok == want_ok, where());
  FUZZ_CHECK(got == want, where()); // also: untouched after a failure
}

/// The grammar: sign, digits, and optionally '.' with more digits.
bool float_grammar(std::string_view s, bool &negative, std::string_view &int_digits,
                   std::string_view &frac_digits) {
  negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  size_t i = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  if (i == 0) return false;
  int_digits = s.substr(0, i);
  frac_digits = {};
  if (i == s.size()) return true;
  if (s[i] != '.') return false;
  const std::string_view frac = s.substr(i + 1);
  for (const char c : frac)
    if (c < '0' || c > '9') return false;
  frac_digits = frac;
  return true;
}

// The value is defined by accumulation in the target precision, digit by
// digit, not by correct rounding; the model repeats that definition and is
// itself checked against strtod below.
template <typename T>
T accumulate(bool negative, std::string_view int_digits, std::string_view frac_digits) {
  T v = 0;
  for (const char c : int_digits) v = v * T(10) + T(c - '0');
  if (!frac_digits.empty()) {
    const T tenth = T(0.1);
    T scale = tenth;
    T f = 0;
    for (const char c : frac_digits) {
      f = f + T(c - '0') * scale;
      scale = scale * tenth;
    }
    v = v + f;
  }
  return negative ? -v : v;
}

template <typename T> std::string bits_of(T v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", static_cast<double>(v));
  return buf;
}

template <typename T>
void check_float(const std::string &text, const char *type, double tolerance) {
  const T sentinel = T(-12345.5);
  T got = sentinel;
  const bool ok = StrParser<T>::try_parse(fuzz::view(text), got);
  bool negative = false;
  std::string_view int_digits, frac_digits;
  const bool spelled = float_grammar(text, negative, int_digits, frac_digits);
  const T value = spelled ? accumulate<T>(negative, int_digits, frac_digits) : sentinel;
  // A run of digits long enough to accumulate to infinity is rejected too.
  const bool want_ok = spelled && std::isfinite(value);
  const T want = want_ok ? value : sentinel;
  const auto where = [&] {
    return std::string(type) + " " + fuzz::quote(text) + " gave " + bits_of(got) + ", model " +
           bits_of(want);
  };
  FUZZ_CHECK(ok == want_ok, where());
  // Bit for bit, so that -0 and +0 differ.
  FUZZ_CHECK(std::memcmp(&got, &want, sizeof(T)) == 0, where());

  // The accumulation stays close to the correctly rounded value while the
  // text is short enough for the rounding errors to stay small.
  if (want_ok && text.size() <= 24) {
    const double exact = std::strtod(text.c_str(), nullptr);
    const double err = std::fabs(static_cast<double>(want) - exact);
    FUZZ_CHECK(err <= tolerance * std::fmax(1.0, std::fabs(exact)),
               where() + " strtod " + bits_of(exact));
  }
}

void check_texts(const std::string &text) {
  bool b = true;
  const bool ok = StrParser<bool>::try_parse(fuzz::view(text), b);
  const bool is_true = text == "true", is_false = text == "false";
  FUZZ_CHECK(ok == (is_true || is_false), "bool " + fuzz::quote(text));
  FUZZ_CHECK(b == !is_false, "bool " + fuzz::quote(text));

  StrView v;
  FUZZ_CHECK(StrParser<StrView>::try_parse(fuzz::view(text), v), "StrView");
  FUZZ_CHECK(fuzz::sv(v) == text, "StrView " + fuzz::quote(text));

  Str s("old");
  FUZZ_CHECK(StrParser<Str>::try_parse(fuzz::view(text), s), "Str");
  FUZZ_CHECK(fuzz::sv(s.view()) == text, "Str " + fuzz::quote(text));

  StrWithWrap w{Str("old")};
  FUZZ_CHECK(StrParser<StrWithWrap>::try_parse(fuzz::view(text), w), "StrWithWrap");
  std::string unwrapped;
  for (const char c : text)
    if (c != '\\') unwrapped += c;
  FUZZ_CHECK(fuzz::sv(w.str.view()) == unwrapped,
             "StrWithWrap " + fuzz::quote(text) + " gave " + fuzz::quote(fuzz::sv(w.str.view())));

  // The throwing form quotes the text unchanged after its fixed prefix.
  if (!ok) {
    try {
      parse_str<bool>(fuzz::view(text), b);
      FUZZ_CHECK(false, "parse_str<bool> did not throw for " + fuzz::quote(text));
    } catch (const Err &e) {
      FUZZ_CHECK(fuzz::sv(e.message.view()) == "Cannot parse string: " + text,
                 "message " + fuzz::quote(fuzz::sv(e.message.view())));
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  check_int<short>(text, "short");
  check_int<int>(text, "int");
  check_int<long>(text, "long");
  check_int<unsigned short>(text, "unsigned short");
  check_int<unsigned int>(text, "unsigned int");
  check_int<unsigned long>(text, "unsigned long");
  check_int<unsigned long long>(text, "unsigned long long");
  check_float<float>(text, "float", 1e-5);
  check_float<double>(text, "double", 1e-13);
  check_texts(text);
  return 0;
}
