#include "tools/glyphmint/fnt-file.h"

#include "core/log.h"

#include <vector>

namespace {

void write_bytes(const File &file, const std::vector<u8> &bytes) {
  if (!file.try_write_bytes(ArrView<const u8>(bytes.data(), bytes.size()))) throw Err("Write fail");
}

} // namespace

Fnt Fnt::build(const Path &image_path, SizeMetrics metrics, int baked_size,
               const List<RasterGlyph> &loaded) {
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
  for (const RasterGlyph &g : loaded) {
    gm_glyph record{};
    record.code = g.code;
    record.width = g.width;
    record.rows = g.rows;
    record.bearing_x = g.bearing_x;
    record.bearing_y = g.bearing_y;
    record.x = g.x;
    record.y = g.y;
    record.advance = g.advance;
    record.reserved = g.reserved;
    fnt.glyphs.append(g.code, record);
  }
  fnt.glyphs.sort();
  return fnt;
}

void Fnt::write(const Path &path) const {
  // Written beside the path and renamed over it once complete: a failure
  // (the Err unwinds through `file`, which removes it) keeps the old file.
  AtomicFile file;
  file.open(path);
  const Path name = image.relative_to(path.parent());
  gm_font header{};
  header.image_name = name.text.data;
  header.image_name_length = name.text.len;
  header.line_height = line_height;
  header.size = size;
  header.ascender = ascender;
  header.descender = descender;
  header.glyph_count = glyphs.count;
  std::vector<u8> bytes(GM_FNT_HEADER_SIZE + header.image_name_length);
  gm_font_encode_header(&header, bytes.data());
  write_bytes(file.file(), bytes);

  bytes.assign(glyphs.count * GM_FNT_RECORD_SIZE, 0);
  for (u64 i = 0; i < glyphs.count; ++i)
    gm_glyph_encode(&glyphs.values[i], bytes.data() + i * GM_FNT_RECORD_SIZE);
  write_bytes(file.file(), bytes);
  // A close that fails may have lost buffered bytes: never pass that as done.
  if (!file.try_commit()) throw Err("Write fail");
}
