// The baked font file (.fnt) of one size: a raw little-endian dump, with no
// magic, version or padding, of
//   u64 L | L bytes: atlas image path relative to this file's directory |
//   i32 line_height | i32 size | i32 ascender | i32 descender |
//   u64 N | N x 36-byte glyphmint::Glyph records in ascending code order
// so the file is exactly 32 + L + 36 N bytes long.
#pragma once

#include "core/fs.h"
#include "core/list.h"
#include "tool/glyph.h"

namespace glyphmint {

/// One glyph record, as it lies in memory and in the file.
struct Glyph {
  i32 code = 0;
  i32 reserved = 0; ///< always 0
  u32 width = 0;
  u32 rows = 0;
  i32 bearing_x = 0;
  i32 bearing_y = 0;
  i32 x = 0; ///< the cell's corner; the bitmap starts at (x + 1, y + 1)
  i32 y = 0;
  i32 advance = 0;
};
static_assert(sizeof(Glyph) == 36, "the record is written as it lies in memory");

/// The baked font of one size.
struct Fnt {
  Path image;
  i32 line_height = 0;
  i32 size = 0;
  i32 ascender = 0;
  i32 descender = 0;
  SDict<int, Glyph> glyphs;

  /// The record of the glyphs as packed, sorted stably by code point (a code
  /// point loaded twice keeps both records, in load order).
  [[nodiscard]] static Fnt build(const Path &image, SizeMetrics metrics, int size,
                                 const List<::Glyph> &loaded);

  /// Writes the file under a temporary name and renames it over any existing
  /// one once complete. Throws Err "Cannot open file ..." when it cannot be
  /// created and "Write fail" when any write, the flush, the close or the
  /// rename fails; a previous file of that name then stays as it was.
  void write(const Path &path) const;
};

} // namespace glyphmint

/// Writes values as their bytes lie in memory, straight to a File it does not
/// own; a write that does not complete throws Err "Write fail".
struct BStreamWriter {
  const File &file;

  void write(const u64 &value) const;
  /// The length as u64, then the bytes, no terminator.
  void write(StrView text) const;
  void write(const i32 &value) const;
  /// Records are written in one piece: one write, one flush.
  void write(ArrView<const glyphmint::Glyph> records) const;

private:
  void write_bytes(const void *data, u64 len) const;
};
