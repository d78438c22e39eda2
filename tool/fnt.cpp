#include "tool/fnt.h"

#include "core/log.h"

namespace glyphmint {

Fnt Fnt::build(const Path &image_path, SizeMetrics metrics, int baked_size,
               const List<::Glyph> &loaded) {
  Fnt fnt;
  fnt.image = image_path;
  fnt.line_height = metrics.line_height;
  fnt.size = baked_size;
  fnt.ascender = metrics.ascender;
  fnt.descender = metrics.descender;
  log_debug("fnt.line_height = ", fnt.line_height);
  log_debug("fnt.ascender    = ", fnt.ascender);
  log_debug("fnt.descender   = ", fnt.descender);

  fnt.glyphs.resize(loaded.count);
  for (const ::Glyph &g : loaded) {
    fnt.glyphs.append(g.code, Glyph{g.code, g.reserved, g.width, g.rows, g.bearing_x, g.bearing_y,
                                    g.x, g.y, g.advance});
  }
  fnt.glyphs.sort();
  return fnt;
}

void Fnt::write(const Path &path) const {
  // Written beside the path and renamed over it once complete: a failure
  // (the Err unwinds through `file`, which removes it) keeps the old file.
  AtomicFile file;
  file.open(path);
  const BStreamWriter out{file.file()};
  out.write(image.relative_to(path.parent()).view());
  out.write(line_height);
  out.write(size);
  out.write(ascender);
  out.write(descender);
  out.write(u64{glyphs.count});
  out.write(ArrView<const Glyph>(glyphs.values, glyphs.count));
  // A close that fails may have lost buffered bytes: never pass that as done.
  if (!file.try_commit()) throw Err("Write fail");
}

} // namespace glyphmint

void BStreamWriter::write_bytes(const void *data, u64 len) const {
  if (!file.try_write_bytes(ArrView<const u8>(static_cast<const u8 *>(data), len)))
    throw Err("Write fail");
}

void BStreamWriter::write(const u64 &value) const {
  write_bytes(&value, sizeof(value));
}

void BStreamWriter::write(StrView text) const {
  write(u64{text.len});
  write_bytes(text.data, text.len);
}

void BStreamWriter::write(const i32 &value) const {
  write_bytes(&value, sizeof(value));
}

void BStreamWriter::write(ArrView<const glyphmint::Glyph> records) const {
  write_bytes(records.data, records.count * sizeof(glyphmint::Glyph));
}
