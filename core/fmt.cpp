#include "core/fmt.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

// Every text form is built in a small stack buffer and appended in one piece.
// The digits are produced from the least significant end.
struct Digits {
  char buf[24];
  u64 start = sizeof(buf);

  explicit Digits(u64 v) {
    do {
      buf[--start] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
  }
  void push_front(char c) { buf[--start] = c; }
  u64 size() const { return sizeof(buf) - start; }
  StrView view() const { return {buf + start, size()}; }
};

template <typename T> void format_signed(T v, StrBuilder &b) {
  using U = std::make_unsigned_t<T>;
  // The magnitude as unsigned, so the most negative value keeps all its digits.
  const U magnitude = v < 0 ? static_cast<U>(U{0} - static_cast<U>(v)) : static_cast<U>(v);
  Digits d(magnitude);
  if (v < 0) d.push_front('-');
  b.append(d.view());
}

template <typename T> void format_unsigned(T v, StrBuilder &b) {
  b.append(Digits(v).view());
}

template <typename F, int FractionDigits> void format_float(F v, StrBuilder &b) {
  constexpr F lowest = static_cast<F>(-9223372036854775808.0);
  constexpr F limit = static_cast<F>(9223372036854775808.0);
  // NaN fails both comparisons and joins the out-of-range values.
  const bool in_range = v >= lowest && v < limit;
  const i64 integer = in_range ? static_cast<i64>(v) : std::numeric_limits<i64>::min();

  char buf[48];
  u64 n = 0;
  if (v < 0) buf[n++] = '-';
  const u64 magnitude =
      integer < 0 ? u64{0} - static_cast<u64>(integer) : static_cast<u64>(integer);
  const Digits d(magnitude);
  std::memcpy(buf + n, d.buf + d.start, d.size());
  n += d.size();
  buf[n++] = '.';

  F fraction = in_range ? v - static_cast<F>(integer) : F(0);
  if (fraction < 0) fraction = -fraction;
  for (int i = 0; i < FractionDigits; ++i) {
    fraction = fraction * F(10);
    int digit = static_cast<int>(fraction);
    if (digit > 9) digit = 9; // f * 10 cannot reach 10 for f < 1, but never print a ':'
    fraction = fraction - static_cast<F>(digit);
    buf[n++] = static_cast<char>('0' + digit);
  }
  b.append(StrView(buf, n));
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

template <typename T> bool parse_integer(StrView text, T &out) {
  using U = std::make_unsigned_t<T>;
  if (text.len == 0) return false;
  u64 i = 0;
  bool negative = false;
  if (text[0] == '+') {
    i = 1;
  } else if (text[0] == '-') {
    if constexpr (std::is_unsigned_v<T>) return false;
    negative = true;
    i = 1;
  }
  if (i == text.len || !is_digit(text[i])) return false;
  const U limit = negative ? static_cast<U>(static_cast<U>(std::numeric_limits<T>::max()) + 1u)
                           : static_cast<U>(std::numeric_limits<T>::max());
  U m = 0;
  for (; i < text.len; ++i) {
    if (!is_digit(text[i])) return false;
    const U d = static_cast<U>(text[i] - '0');
    if (m > static_cast<U>((limit - d) / 10u)) return false;
    m = static_cast<U>(m * 10u + d);
  }
  out = negative ? static_cast<T>(static_cast<U>(U{0} - m)) : static_cast<T>(m);
  return true;
}

template <typename F> bool parse_float(StrView text, F &out) {
  if (text.len == 0) return false;
  u64 i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.len || !is_digit(text[i])) return false;
  F v = 0;
  for (; i < text.len && is_digit(text[i]); ++i) v = v * F(10) + static_cast<F>(text[i] - '0');
  if (i < text.len && text[i] == '.') {
    ++i;
    const F tenth = F(0.1);
    F fraction = 0;
    F scale = tenth;
    for (; i < text.len && is_digit(text[i]); ++i) {
      fraction = fraction + static_cast<F>(text[i] - '0') * scale;
      scale = scale * tenth;
    }
    v = v + fraction;
  }
  if (i != text.len) return false;
  // Enough digits overflow the accumulation to infinity, a value the grammar
  // cannot spell: such a text is as malformed as any other.
  if (!std::isfinite(v)) return false;
  out = negative ? -v : v;
  return true;
}

} // namespace

void Fmt<char>::format(const char &v, StrBuilder &b) {
  b.append(v);
}
void Fmt<unsigned char>::format(const unsigned char &v, StrBuilder &b) {
  format_unsigned(v, b);
}
void Fmt<short>::format(const short &v, StrBuilder &b) {
  format_signed(v, b);
}
void Fmt<int>::format(const int &v, StrBuilder &b) {
  format_signed(v, b);
}
void Fmt<long>::format(const long &v, StrBuilder &b) {
  format_signed(v, b);
}
void Fmt<unsigned short>::format(const unsigned short &v, StrBuilder &b) {
  format_unsigned(v, b);
}
void Fmt<unsigned int>::format(const unsigned int &v, StrBuilder &b) {
  format_unsigned(v, b);
}
void Fmt<unsigned long>::format(const unsigned long &v, StrBuilder &b) {
  format_unsigned(v, b);
}
void Fmt<unsigned long long>::format(const unsigned long long &v, StrBuilder &b) {
  format_unsigned(static_cast<u64>(v), b);
}

void Fmt<bool>::format(const bool &v, StrBuilder &b) {
  // The stored byte decides: only 1 is true.
  u8 byte;
  std::memcpy(&byte, &v, 1);
  b.append(byte == 1 ? StrView("true") : StrView("false"));
}

void Fmt<float>::format(const float &v, StrBuilder &b) {
  format_float<float, 4>(v, b);
}
void Fmt<double>::format(const double &v, StrBuilder &b) {
  format_float<double, 5>(v, b);
}
void Fmt<StrView>::format(const StrView &v, StrBuilder &b) {
  b.append(v);
}
void Fmt<Str>::format(const Str &v, StrBuilder &b) {
  b.append(v.view());
}

void Fmt<Ptr>::format(const Ptr &v, StrBuilder &b) {
  static constexpr char hex[] = "0123456789ABCDEF";
  char buf[18] = {'0', 'x'};
  for (int i = 0; i < 16; ++i) buf[2 + i] = hex[(v.value >> (60 - 4 * i)) & 0xF];
  b.append(StrView(buf, sizeof(buf)));
}

void Fmt<StrHash>::format(const StrHash &v, StrBuilder &b) {
  Fmt<Ptr>::format(Ptr{v.value}, b);
}

void Fmt<HumanMemorySize>::format(const HumanMemorySize &v, StrBuilder &b) {
  if (v.bytes < 1024) {
    format_unsigned(v.bytes, b);
    b.append('B');
    return;
  }
  b.appendf("%.1f%s", static_cast<double>(v.bytes) * (1.0 / 1024), "K");
}

void Fmt<ZeroPrefixU16>::format(const ZeroPrefixU16 &v, StrBuilder &b) {
  Digits d(v.value);
  u64 missing = v.width > d.size() ? v.width - d.size() : 0;
  // A width can exceed the digit buffer (up to 65535): the zeros that do not
  // fit in front of the digits are appended first, in runs of a constant.
  static constexpr char zeros[] = "00000000000000000000000000000000";
  constexpr u64 run = sizeof(zeros) - 1;
  if (missing > d.start) {
    u64 outside = missing - d.start;
    b.ensure_capacity(b.len + missing + d.size());
    for (; outside > run; outside -= run) b.append(StrView(zeros, run));
    b.append(StrView(zeros, outside));
    missing = d.start;
  }
  for (; missing > 0; --missing) d.push_front('0');
  b.append(d.view());
}

void Fmt<EscapedControl>::format(const EscapedControl &v, StrBuilder &b) {
  static constexpr char hex[] = "0123456789abcdef";
  u64 run = 0; // start of the bytes not yet appended
  for (u64 i = 0; i < v.text.len; ++i) {
    const auto c = static_cast<u8>(v.text[i]);
    if (c >= 0x20 && c != 0x7F) continue;
    b.append(v.text.sub(run, i - run));
    const char escaped[] = {'\\', 'x', hex[c >> 4], hex[c & 0xF]};
    b.append(StrView(escaped, sizeof(escaped)));
    run = i + 1;
  }
  b.append(v.text.sub(run, StrView::npos));
}

bool StrParser<short>::try_parse(StrView t, short &out) {
  return parse_integer(t, out);
}
bool StrParser<int>::try_parse(StrView t, int &out) {
  return parse_integer(t, out);
}
bool StrParser<long>::try_parse(StrView t, long &out) {
  return parse_integer(t, out);
}
bool StrParser<unsigned short>::try_parse(StrView t, unsigned short &out) {
  return parse_integer(t, out);
}
bool StrParser<unsigned int>::try_parse(StrView t, unsigned int &out) {
  return parse_integer(t, out);
}
bool StrParser<unsigned long>::try_parse(StrView t, unsigned long &out) {
  return parse_integer(t, out);
}
bool StrParser<unsigned long long>::try_parse(StrView t, unsigned long long &out) {
  return parse_integer(t, out);
}

bool StrParser<bool>::try_parse(StrView t, bool &out) {
  if (t == StrView("true")) {
    out = true;
    return true;
  }
  if (t == StrView("false")) {
    out = false;
    return true;
  }
  return false;
}

bool StrParser<float>::try_parse(StrView t, float &out) {
  return parse_float(t, out);
}
bool StrParser<double>::try_parse(StrView t, double &out) {
  return parse_float(t, out);
}

bool StrParser<StrView>::try_parse(StrView t, StrView &out) {
  out = t;
  return true;
}

bool StrParser<Str>::try_parse(StrView t, Str &out) {
  out = Str(t);
  return true;
}

bool StrParser<StrWithWrap>::try_parse(StrView t, StrWithWrap &out) {
  StrBuilder b;
  u64 start = 0;
  for (u64 i = 0; i < t.len; ++i) {
    if (t[i] == '\\') {
      b.append(t.sub(start, i - start));
      start = i + 1;
    }
  }
  b.append(t.sub(start, StrView::npos));
  out.str = b.to_string();
  return true;
}
