// INI documents: parse text into sections and properties, look them up by
// name ignoring ASCII case, edit names and values, remove entries, and write
// the document back as text.
//
// The trap: IniSection and IniProp are positions, not pointers. Removing a
// section moves the last section into its slot (removing section 0 makes the
// last section the first), removing a property shifts the later ones, so a
// handle kept across such an edit may silently denote another entry.
#pragma once

#include "core/fmt.h"

/// The document's plain records, defined with the details below.
struct ini_t;

/// Handle of one property, by section and position within it; it never owns.
struct IniProp {
  ini_t *doc = nullptr;
  i32 section = 0;
  i32 ordinal = 0;

  /// The null handle, which denotes no property.
  IniProp() = default;
  /// Not checked here: every accessor resolves the position anew.
  IniProp(ini_t *d, int s, int o) : doc(d), section(s), ordinal(o) {}

  /// True for any handle into a document, even one that no longer resolves.
  [[nodiscard]] explicit operator bool() const { return doc != nullptr; }
  /// Empty when the handle does not resolve.
  [[nodiscard]] StrView name() const;
  /// Empty when the handle does not resolve; never unescaped.
  [[nodiscard]] StrView value() const;
  /// The value, as value() gives it; never the name.
  [[nodiscard]] operator StrView() const { return value(); }
  /// The value, as value() gives it; never the name.
  [[nodiscard]] StrView operator*() const { return value(); }

  /// Throws Err "No value" for the null handle and the parser's Err for text
  /// that is not a valid T; an unresolved non-null handle parses the empty text.
  template <typename T> [[nodiscard]] T value() const {
    if (doc == nullptr) throw Err("No value");
    T out{};
    parse_str<T>(value(), out);
    return out;
  }

  /// Does nothing when the handle does not resolve; the text may be a view of
  /// this document's own storage.
  void set_name(StrView name);
  /// As set_name; an empty view clears the value.
  void set_value(StrView value);
  /// Keeps the order of the other properties; the handle is null afterwards.
  void remove();
};

/// Handle of one section by index; it never owns.
struct IniSection {
  ini_t *doc = nullptr;
  i32 index = 0;

  /// Iterates a section's properties in document order; end is all zeros.
  struct Iterator {
    ini_t *doc = nullptr;
    i32 section = 0;
    i32 ordinal = 0;
    i32 record = 0;

    /// The end iterator.
    Iterator() = default;
    /// `r` must be the array index of the section's property at ordinal `o`.
    Iterator(ini_t *d, int s, int o, int r) : doc(d), section(s), ordinal(o), record(r) {}

    /// A position, not a pointer to the record: it does not survive removals.
    [[nodiscard]] IniProp operator*() const { return {doc, section, ordinal}; }
    /// Becomes the end iterator after the section's last property; stays there.
    Iterator &operator++();
    /// Makes this the end iterator; the document is not touched.
    void reset() { *this = Iterator(); }
    /// Ignores the record index.
    [[nodiscard]] bool operator==(const Iterator &o) const {
      return doc == o.doc && section == o.section && ordinal == o.ordinal;
    }
    /// Ignores the record index.
    [[nodiscard]] bool operator!=(const Iterator &o) const { return !(*this == o); }
  };

  /// The null handle, which denotes no section.
  IniSection() = default;
  /// Not checked here: every accessor checks the index anew.
  IniSection(ini_t *d, int i) : doc(d), index(i) {}

  /// True for any handle into a document, even one whose index is out of range.
  [[nodiscard]] explicit operator bool() const { return doc != nullptr; }
  /// Empty when the handle does not resolve.
  [[nodiscard]] StrView name() const;
  /// The first property whose name equals `name` ignoring ASCII case and has
  /// the same length; a prefix never matches. Null handle when none does.
  [[nodiscard]] IniProp operator[](StrView name) const;

  /// Does nothing when the handle does not resolve; the text may be a view of
  /// this document's own storage.
  void set_name(StrView name);
  /// Removes the section with its properties and moves the last section into
  /// its slot; other sections' properties may change order. The handle is null
  /// afterwards.
  void remove();

  /// The end iterator when the handle does not resolve or the section is empty.
  [[nodiscard]] Iterator begin() const;
  /// Always the all-zero iterator, whatever the section.
  [[nodiscard]] Iterator end() const { return {}; }
};

/// Owns one INI document (or none); copies are deep.
struct Ini {
  /// Iterates sections by index; end is all zeros.
  struct Iterator {
    ini_t *doc = nullptr;
    i32 index = 0;

    /// The end iterator.
    Iterator() = default;
    /// Not checked here: the section handle checks the index.
    Iterator(ini_t *d, int i) : doc(d), index(i) {}

    /// A position, not a pointer to the record: it does not survive removals.
    [[nodiscard]] IniSection operator*() const { return {doc, index}; }
    /// Becomes the end iterator at the section count; stays there.
    Iterator &operator++();
    /// Compares document and index only.
    [[nodiscard]] bool operator==(const Iterator &o) const {
      return doc == o.doc && index == o.index;
    }
    /// Compares document and index only.
    [[nodiscard]] bool operator!=(const Iterator &o) const { return !(*this == o); }
  };

  /// Null when this Ini holds no document (default, moved-from, destroyed).
  ini_t *doc = nullptr;

  /// Holds no document: lookups miss and the text form is empty.
  Ini() = default;
  /// A deep copy: no text block is shared with `o`.
  Ini(const Ini &o);
  /// Takes the document; `o` is left without one.
  Ini(Ini &&o) noexcept;
  /// Frees the document; handles into it dangle afterwards.
  ~Ini();
  /// Frees the old document first; handles into it dangle afterwards.
  Ini &operator=(const Ini &o);
  /// Exchanges documents; `o` then frees the one this Ini held.
  Ini &operator=(Ini &&o) noexcept;

  /// A document holding only the unnamed global section, index 0.
  [[nodiscard]] static Ini create();
  /// Never fails: bytes that fit no rule are passed over. Properties before
  /// the first header go to section 0; repeated headers and keys are kept.
  ///   "a = 1\n[s] b = x\\\n  y" => global {a: "1"}, s {b: "x\\\n  y"}
  [[nodiscard]] static Ini parse(StrView text);

  /// Sections with "[name]" lines (none for an empty name), properties as
  /// "name = value", a blank line after each section once anything was written.
  /// Texts are written as they are, so a value holding a bare line feed, or
  /// a name with "=" or trailing spaces, does not read back the same.
  [[nodiscard]] Str to_str() const;

  /// The first section, by index, whose name equals `name` ignoring ASCII case
  /// and has the same length; an empty name finds the global section.
  [[nodiscard]] IniSection operator[](StrView name) const;
  /// Not range-checked here: the handle's accessors check the index.
  [[nodiscard]] IniSection operator[](unsigned long index) const;
  /// 0 without a document.
  [[nodiscard]] int section_count() const;

  /// The end iterator when there is no document or no section.
  [[nodiscard]] Iterator begin() const;
  /// Always the all-zero iterator, whatever the document.
  [[nodiscard]] Iterator end() const { return {}; }

  /// Frees the document; the Ini then holds none.
  void destroy();
};

// ------------------------------------------------------------------ details
// End of the public API. The records below are what Ini owns; the handles
// only ever hold a pointer to them.

/// One section record; a name longer than `name_buf` lives in `name_heap`,
/// a block of exactly `name_len` bytes.
struct ini_section_t {
  char name_buf[32];
  char *name_heap;
  u64 name_len;
};

/// One property record; `section` is the index of the owning section.
struct ini_prop_t {
  i32 section;
  char name_buf[32];
  char *name_heap;
  u64 name_len;
  char value_buf[64];
  char *value_heap;
  u64 value_len;
};

/// The document as a plain structure: malloc'ed arrays that only ever grow,
/// owned by exactly one Ini. Texts carry no terminator.
struct ini_t {
  ini_section_t *sections;
  i32 section_capacity;
  i32 section_count;
  ini_prop_t *props;
  i32 prop_capacity;
  i32 prop_count;
};

namespace details {
/// A document with the global section and room for 16 sections and 16 properties.
[[nodiscard]] ini_t *ini_new();
/// A deep copy sharing no memory with `src`.
[[nodiscard]] ini_t *ini_clone(const ini_t *src);
/// Frees every block of the document; null is accepted.
void ini_free(ini_t *doc);
/// Appends a section and returns its index; the name must not be a view into
/// this document, whose arrays may move when they grow.
i32 ini_add_section(ini_t *doc, StrView name);
/// Appends a property of `section`; as with sections, the texts must not be
/// views into this document.
void ini_add_prop(ini_t *doc, i32 section, StrView name, StrView value);
} // namespace details
