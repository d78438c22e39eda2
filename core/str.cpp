#include "core/str.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void details::out_of_memory() {
  std::fputs("Runtime assertion failed: result != nullptr\n", stderr);
  std::fflush(stderr);
  std::abort();
}

namespace {

// The smallest multiple of 32 strictly greater than n.
u64 builder_target(u64 n) {
  return (n & ~u64{31}) + 32;
}

// Whether v starts inside the block of `len` bytes at `data`. Such a view is a
// part of the string being changed, so it must be read before a resize can
// move or free the block. Compared as integers: unrelated pointers have no
// order in the language.
bool starts_inside(StrView v, const char *data, u64 len) {
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const auto at = reinterpret_cast<std::uintptr_t>(v.data);
  return v.len != 0 && data != nullptr && at >= start && at - start < len;
}

// Appends n characters that appendf formatted, and after them the NUL that
// appendf leaves, not counted.
void append_formatted(StrBuilder &b, const char *text, u64 n) {
  b.ensure_capacity(b.len + n + 1);
  if (n != 0) std::memcpy(b.data + b.len, text, n);
  b.len += n;
  b.data[b.len] = '\0';
}

} // namespace

Str::Str(u64 n) {
  resize(n);
}

Str::Str(u64 n, char c) {
  resize(n);
  if (n != 0) std::memset(data, c, n);
}

Str::Str(const char *s) : Str(StrView(s)) {}

Str::Str(const char *p, u64 n) {
  if (p == nullptr || n == 0) return;
  resize(n);
  std::memcpy(data, p, n);
}

Str::Str(StrView v) : Str(v.data, v.len) {}

Str::Str(const Str &o) : Str(o.data, o.len) {}

Str::Str(Str &&o) noexcept : data(o.data), len(o.len) {
  o.data = nullptr;
  o.len = 0;
}

Str::~Str() {
  std::free(data);
}

Str &Str::operator=(const Str &o) {
  if (&o == this) return *this;
  resize(o.len);
  if (o.len != 0) std::memcpy(data, o.data, o.len);
  return *this;
}

Str &Str::operator=(const char *s) {
  if (s == data) return *this;
  return *this = StrView(s);
}

Str &Str::operator=(StrView v) {
  if (starts_inside(v, data, len)) {
    // A part of this string: move it to the front, then cut to its length.
    // The whole string viewed as itself is left as it is.
    std::memmove(data, v.data, v.len);
    resize(v.len);
    return *this;
  }
  resize(v.len);
  if (v.len != 0) std::memcpy(data, v.data, v.len);
  return *this;
}

Str &Str::operator=(Str &&o) noexcept {
  if (&o == this) return *this;
  char *d = data;
  u64 n = len;
  data = o.data;
  len = o.len;
  o.data = d;
  o.len = n;
  return *this;
}

void Str::resize(u64 n) {
  if (n == 0) {
    std::free(data);
    data = nullptr;
    len = 0;
    return;
  }
  if (n == len) return;
  char *result = static_cast<char *>(len == 0 ? std::malloc(n) : std::realloc(data, n));
  if (result == nullptr) details::out_of_memory();
  data = result;
  len = n;
}

Str &Str::null_terminate() {
  resize(len + 1);
  data[len - 1] = '\0';
  return *this;
}

Str &Str::operator+=(StrView v) {
  if (v.len == 0) return *this;
  if (len == 0) return *this = v;
  const u64 old = len;
  const bool own = starts_inside(v, data, len);
  const u64 offset = own ? static_cast<u64>(v.data - data) : 0;
  resize(len + v.len);
  std::memcpy(data + old, own ? data + offset : v.data, v.len);
  return *this;
}

Str Str::from_raw(char *p, u64 n) {
  Str s;
  s.data = p;
  s.len = n;
  return s;
}

Str operator+(StrView a, StrView b) {
  Str s(a.len + b.len);
  if (a.len != 0) std::memcpy(s.data, a.data, a.len);
  if (b.len != 0) std::memcpy(s.data + a.len, b.data, b.len);
  return s;
}

StrBuilder::~StrBuilder() {
  if (!is_inline()) std::free(data);
}

void StrBuilder::init() {
  data = inline_buf;
  len = 0;
  capacity = inline_capacity;
}

void StrBuilder::ensure_capacity(u64 n) {
  // No multiple of 32 lies above these sizes: the target would wrap to a tiny
  // one and the caller would write past the buffer.
  if (n > ~u64{0} - 32) details::out_of_memory();
  const u64 target = builder_target(n);
  if (target <= capacity) return;
  char *block;
  if (is_inline()) {
    block = static_cast<char *>(std::malloc(target));
    if (block != nullptr && len != 0) std::memcpy(block, inline_buf, len);
  } else {
    block = static_cast<char *>(std::realloc(data, target));
  }
  // A builder that cannot grow would have to drop text silently; treat it
  // like the owned string does.
  if (block == nullptr) details::out_of_memory();
  data = block;
  capacity = target;
}

void StrBuilder::append(StrView v) {
  if (v.len == 0) return;
  // A view of the builder's own text is found again after growing, which may
  // have moved the block.
  const bool own = starts_inside(v, data, len);
  const u64 offset = own ? static_cast<u64>(v.data - data) : 0;
  ensure_capacity(len + v.len);
  std::memcpy(data + len, own ? data + offset : v.data, v.len);
  len += v.len;
}

void StrBuilder::append(char c) {
  ensure_capacity(len + 1);
  data[len++] = c;
}

void StrBuilder::appendf(const char *format, ...) {
  // The arguments may point into this builder (b.appendf("%s", b.data)):
  // growing first would free what they point at, and formatting straight
  // into the spare room would overwrite text that is still being read. So
  // the text is formatted apart and appended once the arguments are read.
  char local[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int k = std::vsnprintf(local, sizeof local, format, args);
  va_end(args);
  if (k >= 0) {
    const u64 n = static_cast<u64>(k);
    if (n < sizeof local) {
      append_formatted(*this, local, n);
    } else {
      // Longer text is formatted once more, into a block of its own, while
      // the builder and so every argument are still as they were.
      char *block = static_cast<char *>(std::malloc(n + 1));
      if (block == nullptr) details::out_of_memory();
      std::vsnprintf(block, n + 1, format, again);
      append_formatted(*this, block, n);
      std::free(block);
    }
  }
  va_end(again);
}

Str StrBuilder::to_string() {
  if (is_inline()) {
    Str s;
    s.resize(len);
    if (len != 0) std::memcpy(s.data, data, len);
    return s;
  }
  if (len == 0) {
    // A reset heap builder: handing over an empty block would break Str's
    // "empty means null" invariant.
    std::free(data);
    init();
    return {};
  }
  Str s = Str::from_raw(data, len);
  init();
  return s;
}

// Beside Err, which it throws, so that str-view stays below str.
void StrView::to_c_str(char *dst, u64 cap) const {
  if (!try_to_c_str(dst, cap)) throw Err("Not enough memory to convert string to c string");
}
