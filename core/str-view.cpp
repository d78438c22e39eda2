#include "core/str-view.h"

#include "core/hash.h"

#include <cctype>
#include <cstring>

namespace {

Ordering order_by_length(u64 a, u64 b) {
  if (a < b) return Ordering::Less;
  if (a > b) return Ordering::Greater;
  return Ordering::Equal;
}

// isspace in the POSIX locale, which the program never changes.
bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// 'A'..'Z' folded, every other byte kept, as a signed value: folding by hand
// keeps bytes 0x80..0xFF below ASCII, which glibc's tolower would not.
int fold_signed(char c) {
  const int v = static_cast<signed char>(c);
  return (v >= 'A' && v <= 'Z') ? v + ('a' - 'A') : v;
}

template <typename FindSep>
ArrView<StrView> split_impl(StrView text, ArrView<StrView> out, bool skip_empty, u64 sep_len,
                            FindSep find_sep) {
  if (text.len == 0 || out.count == 0) return {};
  u64 written = 0;
  u64 pos = 0;
  while (true) {
    const StrView rest = text.sub(pos, StrView::npos);
    const u64 at = sep_len == 0 ? StrView::npos : find_sep(rest);
    const StrView part = at == StrView::npos ? rest : rest.sub(0, at);
    if (!(skip_empty && part.len == 0)) {
      out.data[written++] = part;
      if (written == out.count) break;
    }
    if (at == StrView::npos) break;
    pos += at + sep_len;
  }
  if (written == 0) return {};
  return {out.data, written};
}

} // namespace

StrView::StrView(const char *s) {
  if (s != nullptr) {
    const u64 n = std::strlen(s);
    if (n != 0) {
      data = s;
      len = n;
    }
  }
}

// The comparisons use memcmp, not strncmp: a NUL inside a view is an ordinary
// byte. Stopping at it would make views that differ after a NUL compare equal
// while hashing differently, and dictionary keys would collide into one.
bool StrView::operator==(StrView o) const {
  return len == o.len && (len == 0 || std::memcmp(data, o.data, len) == 0);
}

bool StrView::starts_with(StrView p) const {
  if (p.len > len) return false;
  return p.len == 0 || std::memcmp(data, p.data, p.len) == 0;
}

bool StrView::ends_with(StrView s) const {
  if (s.len > len) return false;
  return s.len == 0 || std::memcmp(data + len - s.len, s.data, s.len) == 0;
}

Ordering StrView::compare(StrView o) const {
  const u64 n = len < o.len ? len : o.len;
  if (n == 0) return order_by_length(len, o.len);
  const int c = std::memcmp(data, o.data, n);
  if (c < 0) return Ordering::Less;
  if (c > 0) return Ordering::Greater;
  return order_by_length(len, o.len);
}

Ordering StrView::compare_ci(StrView o) const {
  const u64 n = len < o.len ? len : o.len;
  for (u64 i = 0; i < n; ++i) {
    const int a = fold_signed(data[i]);
    const int b = fold_signed(o.data[i]);
    if (a != b) return a < b ? Ordering::Less : Ordering::Greater;
  }
  return order_by_length(len, o.len);
}

u64 StrView::hash() const {
  return hash_fnv64(data, len);
}

u64 StrView::find(char c) const {
  for (u64 i = 0; i < len; ++i)
    if (data[i] == c) return i;
  return npos;
}

u64 StrView::find_last(char c) const {
  for (u64 i = len; i > 0; --i)
    if (data[i - 1] == c) return i - 1;
  return npos;
}

u64 StrView::find(StrView n) const {
  if (n.len == 0) return 0;
  if (n.len > len) return npos;
  for (u64 i = 0; i <= len - n.len; ++i)
    if (std::memcmp(data + i, n.data, n.len) == 0) return i;
  return npos;
}

u64 StrView::find_last(StrView n) const {
  if (n.len == 0) return 0;
  if (n.len > len) return npos;
  for (u64 i = len - n.len + 1; i > 0; --i)
    if (std::memcmp(data + i - 1, n.data, n.len) == 0) return i - 1;
  return npos;
}

StrView StrView::sub(u64 pos, u64 count) const {
  if (len == 0 || count == 0 || pos >= len) return {};
  const u64 rest = len - pos;
  return {data + pos, count < rest ? count : rest};
}

ArrView<StrView> StrView::split(char sep, ArrView<StrView> out) const {
  return split_impl(*this, out, false, 1, [sep](StrView rest) { return rest.find(sep); });
}

ArrView<StrView> StrView::split_se(char sep, ArrView<StrView> out) const {
  return split_impl(*this, out, true, 1, [sep](StrView rest) { return rest.find(sep); });
}

ArrView<StrView> StrView::split(StrView sep, ArrView<StrView> out) const {
  return split_impl(*this, out, false, sep.len, [sep](StrView rest) { return rest.find(sep); });
}

ArrView<StrView> StrView::split_se(StrView sep, ArrView<StrView> out) const {
  return split_impl(*this, out, true, sep.len, [sep](StrView rest) { return rest.find(sep); });
}

StrView StrView::trim_left() const {
  u64 i = 0;
  while (i < len && is_space(data[i])) ++i;
  return sub(i, npos);
}

StrView StrView::trim_right() const {
  u64 n = len;
  while (n > 0 && is_space(data[n - 1])) --n;
  return sub(0, n);
}

StrView StrView::trim() const {
  return trim_left().trim_right();
}

bool StrView::try_to_c_str(char *dst, u64 cap) const {
  if (dst == nullptr || cap == 0 || len > cap - 1) return false;
  if (len != 0) std::memcpy(dst, data, len);
  dst[len] = '\0';
  return true;
}

void StrView::assign(StrView o) const {
  if (len != 0 && len == o.len) std::memmove(const_cast<char *>(data), o.data, len);
}

StrHash::StrHash(StrView s) : value(hash_fnv64(s.data, s.len)) {}
