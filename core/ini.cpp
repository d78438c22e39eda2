#include "core/ini.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

constexpr i32 initial_capacity = 16;

void *checked_malloc(u64 n) {
  void *p = std::malloc(n);
  if (p == nullptr) details::out_of_memory();
  return p;
}

// Where a stored text's bytes are: its own block when it has one.
StrView text_of(const char *buf, const char *heap, u64 len) {
  return {heap != nullptr ? heap : buf, len};
}

// Stores `text` into a buffer-or-block slot. The new bytes are in place before
// the old block is freed, so the text may be a view of the slot itself.
template <u64 N> void store_text(char (&buf)[N], char *&heap, u64 &len, StrView text) {
  char *old = heap;
  if (text.len <= N) {
    if (text.len != 0) std::memmove(buf, text.data, text.len);
    heap = nullptr;
  } else {
    heap = static_cast<char *>(checked_malloc(text.len));
    std::memcpy(heap, text.data, text.len);
  }
  len = text.len;
  std::free(old);
}

// Gives a cloned record its own copy of a text's block.
void copy_heap(char *&heap, u64 len) {
  if (heap == nullptr) return;
  char *block = static_cast<char *>(checked_malloc(len));
  std::memcpy(block, heap, len);
  heap = block;
}

// Only the same length can match, so a prefix is never taken for the name.
bool same_name_ci(StrView a, StrView b) {
  return a.len == b.len && (a.len == 0 || strncasecmp(a.data, b.data, a.len) == 0);
}

// Doubles a record array that is full; the capacity must stay an i32.
template <typename T> void grow_if_full(T *&array, i32 &capacity, i32 count) {
  if (count < capacity) return;
  if (capacity > INT_MAX / 2) details::out_of_memory();
  const i32 doubled = capacity * 2;
  void *p = std::realloc(array, sizeof(T) * static_cast<u64>(doubled));
  if (p == nullptr) details::out_of_memory();
  array = static_cast<T *>(p);
  capacity = doubled;
}

bool section_resolves(const ini_t *doc, i32 index) {
  return doc != nullptr && index >= 0 && index < doc->section_count;
}

// The record of a section's property at `ordinal`, counting that section's
// records in array order; null when the handle does not resolve.
ini_prop_t *find_prop(ini_t *doc, i32 section, i32 ordinal) {
  if (!section_resolves(doc, section) || ordinal < 0) return nullptr;
  i32 seen = 0;
  for (i32 i = 0; i < doc->prop_count; ++i) {
    ini_prop_t &p = doc->props[i];
    if (p.section != section) continue;
    if (seen == ordinal) return &p;
    ++seen;
  }
  return nullptr;
}

StrView section_name(const ini_section_t &s) {
  return text_of(s.name_buf, s.name_heap, s.name_len);
}

StrView prop_name(const ini_prop_t &p) {
  return text_of(p.name_buf, p.name_heap, p.name_len);
}

StrView prop_value(const ini_prop_t &p) {
  return text_of(p.value_buf, p.value_heap, p.value_len);
}

void free_prop(ini_prop_t &p) {
  std::free(p.name_heap);
  std::free(p.value_heap);
}

// Passed over before a line's first byte: every byte that is at most 0x20 as
// a signed char, i.e. controls, space and all of 0x80..0xFF, so a byte order
// mark is skipped without being matched. A key that starts with a non-ASCII
// byte loses it; settings keys are ASCII.
bool is_line_blank(char c) {
  return static_cast<signed char>(c) <= 0x20;
}

// Trimmed from both ends of a value: only ASCII spaces and control bytes.
// Non-ASCII bytes are text here; trimming them would cut a UTF-8 character
// at the end of a value in half.
bool is_value_blank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// A text form buffer: starts at 256 bytes and doubles, so a large document
// is written in a logarithmic number of reallocations.
struct TextOut {
  char *data = nullptr;
  u64 len = 0;
  u64 capacity = 0;

  ~TextOut() { std::free(data); }

  void append(StrView v) {
    if (v.len == 0) return;
    if (len + v.len > capacity) {
      u64 cap = capacity == 0 ? 256 : capacity;
      while (cap < len + v.len) cap *= 2;
      void *p = std::realloc(data, cap);
      if (p == nullptr) details::out_of_memory();
      data = static_cast<char *>(p);
      capacity = cap;
    }
    std::memcpy(data + len, v.data, v.len);
    len += v.len;
  }

  Str take() {
    if (len == 0) return {};
    void *p = std::realloc(data, len);
    if (p == nullptr) details::out_of_memory();
    Str s = Str::from_raw(static_cast<char *>(p), len);
    data = nullptr;
    len = capacity = 0;
    return s;
  }
};

} // namespace

// ------------------------------------------------------------------ details

ini_t *details::ini_new() {
  auto *doc = static_cast<ini_t *>(checked_malloc(sizeof(ini_t)));
  doc->sections =
      static_cast<ini_section_t *>(checked_malloc(sizeof(ini_section_t) * initial_capacity));
  doc->section_capacity = initial_capacity;
  doc->section_count = 0;
  doc->props = static_cast<ini_prop_t *>(checked_malloc(sizeof(ini_prop_t) * initial_capacity));
  doc->prop_capacity = initial_capacity;
  doc->prop_count = 0;
  ini_add_section(doc, StrView());
  return doc;
}

ini_t *details::ini_clone(const ini_t *src) {
  auto *doc = static_cast<ini_t *>(checked_malloc(sizeof(ini_t)));
  *doc = *src;
  doc->sections = static_cast<ini_section_t *>(
      checked_malloc(sizeof(ini_section_t) * static_cast<u64>(src->section_capacity)));
  doc->props = static_cast<ini_prop_t *>(
      checked_malloc(sizeof(ini_prop_t) * static_cast<u64>(src->prop_capacity)));
  if (src->section_count > 0) {
    std::memcpy(doc->sections, src->sections,
                sizeof(ini_section_t) * static_cast<u64>(src->section_count));
  }
  if (src->prop_count > 0) {
    std::memcpy(doc->props, src->props, sizeof(ini_prop_t) * static_cast<u64>(src->prop_count));
  }
  for (i32 i = 0; i < doc->section_count; ++i) {
    ini_section_t &s = doc->sections[i];
    copy_heap(s.name_heap, s.name_len);
  }
  for (i32 i = 0; i < doc->prop_count; ++i) {
    ini_prop_t &p = doc->props[i];
    copy_heap(p.name_heap, p.name_len);
    copy_heap(p.value_heap, p.value_len);
  }
  return doc;
}

void details::ini_free(ini_t *doc) {
  if (doc == nullptr) return;
  for (i32 i = 0; i < doc->prop_count; ++i) free_prop(doc->props[i]);
  for (i32 i = 0; i < doc->section_count; ++i) std::free(doc->sections[i].name_heap);
  std::free(doc->props);
  std::free(doc->sections);
  std::free(doc);
}

i32 details::ini_add_section(ini_t *doc, StrView name) {
  grow_if_full(doc->sections, doc->section_capacity, doc->section_count);
  ini_section_t &s = doc->sections[doc->section_count];
  s.name_heap = nullptr;
  s.name_len = 0;
  store_text(s.name_buf, s.name_heap, s.name_len, name);
  return doc->section_count++;
}

void details::ini_add_prop(ini_t *doc, i32 section, StrView name, StrView value) {
  grow_if_full(doc->props, doc->prop_capacity, doc->prop_count);
  ini_prop_t &p = doc->props[doc->prop_count];
  p.section = section;
  p.name_heap = nullptr;
  p.name_len = 0;
  p.value_heap = nullptr;
  p.value_len = 0;
  store_text(p.name_buf, p.name_heap, p.name_len, name);
  store_text(p.value_buf, p.value_heap, p.value_len, value);
  ++doc->prop_count;
}

// ---------------------------------------------------------------------- Ini

Ini::Ini(const Ini &o) : doc(o.doc != nullptr ? details::ini_clone(o.doc) : nullptr) {}

Ini::Ini(Ini &&o) noexcept : doc(o.doc) {
  o.doc = nullptr;
}

Ini::~Ini() {
  destroy();
}

Ini &Ini::operator=(const Ini &o) {
  if (&o == this) return *this;
  destroy();
  if (o.doc != nullptr) doc = details::ini_clone(o.doc);
  return *this;
}

Ini &Ini::operator=(Ini &&o) noexcept {
  if (&o == this) return *this;
  ini_t *mine = doc;
  doc = o.doc;
  o.doc = mine;
  o.destroy();
  return *this;
}

void Ini::destroy() {
  details::ini_free(doc);
  doc = nullptr;
}

Ini Ini::create() {
  Ini ini;
  ini.doc = details::ini_new();
  return ini;
}

Ini Ini::parse(StrView text) {
  Ini ini = create();
  ini_t *doc = ini.doc;
  const char *t = text.data;
  const u64 n = text.len;
  i32 current = 0;
  u64 i = 0;
  for (;;) {
    while (i < n && is_line_blank(t[i])) ++i;
    if (i >= n) break;

    if (t[i] == '[') {
      u64 j = i + 1;
      while (j < n && t[j] != ']' && t[j] != '\n') ++j;
      if (j >= n) break;
      if (t[j] == '\n') {
        i = j;
        continue;
      }
      current = details::ini_add_section(doc, StrView(t + i + 1, j - i - 1));
      // The rest of the header's line is ordinary content.
      i = j + 1;
      continue;
    }

    if (t[i] == ';') {
      while (i < n && t[i] != '\n') ++i;
      continue;
    }

    u64 eq = i;
    while (eq < n && t[eq] != '=' && t[eq] != '\n') ++eq;
    if (eq >= n) break;
    if (t[eq] == '\n') {
      i = eq;
      continue;
    }
    u64 name_end = eq;
    while (name_end > i && t[name_end - 1] == ' ') --name_end;

    u64 vs = eq + 1;
    while (vs < n && t[vs] != '\n' && is_value_blank(t[vs])) ++vs;
    u64 ve = vs;
    // A backslash right before a line feed carries the value on to the next
    // line; both bytes stay in the value.
    while (ve < n && (t[ve] != '\n' || (ve > vs && t[ve - 1] == '\\'))) ++ve;
    while (ve > vs && is_value_blank(t[ve - 1])) --ve;

    details::ini_add_prop(doc, current, StrView(t + i, name_end - i), StrView(t + vs, ve - vs));
    i = ve > vs ? ve : eq + 1;
  }
  return ini;
}

Str Ini::to_str() const {
  if (doc == nullptr) return {};
  TextOut out;
  for (i32 s = 0; s < doc->section_count; ++s) {
    const StrView name = section_name(doc->sections[s]);
    if (name.len != 0) {
      out.append("[");
      out.append(name);
      out.append("]\n");
    }
    for (i32 i = 0; i < doc->prop_count; ++i) {
      const ini_prop_t &p = doc->props[i];
      if (p.section != s) continue;
      out.append(prop_name(p));
      out.append(" = ");
      const StrView value = prop_value(p);
      out.append(value);
      // A backslash right before the line feed would carry the next line into
      // this value when the text is read back; the parser trims the blank.
      if (value.ends_with('\\')) out.append(" ");
      out.append("\n");
    }
    if (out.len != 0) out.append("\n");
  }
  return out.take();
}

// An empty view finds the empty name whatever its pointer: every empty view
// is null, so refusing null pointers would make the global section and
// properties written "= value" unreachable by name.
IniSection Ini::operator[](StrView name) const {
  if (doc == nullptr) return {};
  for (i32 s = 0; s < doc->section_count; ++s) {
    if (same_name_ci(section_name(doc->sections[s]), name)) return {doc, s};
  }
  return {};
}

IniSection Ini::operator[](unsigned long index) const {
  // An index beyond i32 must not wrap around onto a real section.
  return {doc, index > static_cast<unsigned long>(INT_MAX) ? -1 : static_cast<int>(index)};
}

int Ini::section_count() const {
  return doc != nullptr ? doc->section_count : 0;
}

Ini::Iterator Ini::begin() const {
  if (doc == nullptr || doc->section_count <= 0) return {};
  return {doc, 0};
}

Ini::Iterator &Ini::Iterator::operator++() {
  if (doc == nullptr || ++index >= doc->section_count) *this = Iterator();
  return *this;
}

// --------------------------------------------------------------- IniSection

StrView IniSection::name() const {
  if (!section_resolves(doc, index)) return {};
  return section_name(doc->sections[index]);
}

IniProp IniSection::operator[](StrView name) const {
  if (!section_resolves(doc, index)) return {};
  i32 ordinal = 0;
  for (i32 i = 0; i < doc->prop_count; ++i) {
    const ini_prop_t &p = doc->props[i];
    if (p.section != index) continue;
    if (same_name_ci(prop_name(p), name)) return {doc, index, ordinal};
    ++ordinal;
  }
  return {};
}

void IniSection::set_name(StrView name) {
  if (!section_resolves(doc, index)) return;
  ini_section_t &s = doc->sections[index];
  store_text(s.name_buf, s.name_heap, s.name_len, name);
}

void IniSection::remove() {
  if (section_resolves(doc, index)) {
    std::free(doc->sections[index].name_heap);
    // From the end, so the record moved into a freed slot has been looked at.
    for (i32 i = doc->prop_count - 1; i >= 0; --i) {
      if (doc->props[i].section != index) continue;
      free_prop(doc->props[i]);
      if (i != --doc->prop_count) doc->props[i] = doc->props[doc->prop_count];
    }
    const i32 last = --doc->section_count;
    if (index != last) {
      doc->sections[index] = doc->sections[last];
      for (i32 i = 0; i < doc->prop_count; ++i) {
        if (doc->props[i].section == last) doc->props[i].section = index;
      }
    }
  }
  *this = IniSection();
}

IniSection::Iterator IniSection::begin() const {
  if (!section_resolves(doc, index)) return {};
  for (i32 i = 0; i < doc->prop_count; ++i) {
    if (doc->props[i].section == index) return {doc, index, 0, i};
  }
  return {};
}

IniSection::Iterator &IniSection::Iterator::operator++() {
  if (doc == nullptr) return *this;
  for (i32 i = record + 1; i < doc->prop_count; ++i) {
    if (doc->props[i].section == section) {
      ++ordinal;
      record = i;
      return *this;
    }
  }
  *this = Iterator();
  return *this;
}

// ------------------------------------------------------------------ IniProp

StrView IniProp::name() const {
  const ini_prop_t *p = find_prop(doc, section, ordinal);
  return p != nullptr ? prop_name(*p) : StrView();
}

StrView IniProp::value() const {
  const ini_prop_t *p = find_prop(doc, section, ordinal);
  return p != nullptr ? prop_value(*p) : StrView();
}

void IniProp::set_name(StrView name) {
  ini_prop_t *p = find_prop(doc, section, ordinal);
  if (p != nullptr) store_text(p->name_buf, p->name_heap, p->name_len, name);
}

void IniProp::set_value(StrView value) {
  ini_prop_t *p = find_prop(doc, section, ordinal);
  if (p != nullptr) store_text(p->value_buf, p->value_heap, p->value_len, value);
}

void IniProp::remove() {
  ini_prop_t *p = find_prop(doc, section, ordinal);
  if (p != nullptr) {
    free_prop(*p);
    const i32 at = static_cast<i32>(p - doc->props);
    std::memmove(p, p + 1, sizeof(ini_prop_t) * static_cast<u64>(doc->prop_count - at - 1));
    --doc->prop_count;
  }
  *this = IniProp();
}
