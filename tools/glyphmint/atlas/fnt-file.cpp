#include "tools/glyphmint/atlas/fnt-file.h"

#include "core/log.h"

Fnt Fnt::build(const Path &image_path, SizeMetrics metrics, int baked_size,
               const Glyphmint &settings, const List<RasterGlyph> &loaded) {
  Fnt fnt;
  fnt.image = image_path;
  fnt.line_height = metrics.line_height;
  fnt.size = baked_size;
  fnt.ascender = metrics.ascender;
  fnt.descender = metrics.descender;
  fnt.kind = atlas_kind(settings.render);
  fnt.spread = settings.spread;
  fnt.shaped = settings.shaped;
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
    record.glyph_index = g.glyph_index;
    record.font_number = g.font_number;
    // No code point below 0 loads, so in a shaped bake -1 marks the others.
    if (fnt.shaped && g.code == GM_FNT_NO_CODE)
      fnt.others.push_back(record);
    else
      fnt.glyphs.append(g.code, record);
  }
  fnt.glyphs.sort();
  return fnt;
}

std::vector<u8> Fnt::encode(const Path &path) const {
  const Path name = image.relative_to(path.parent());
  gm_font header{};
  header.image_name = name.text.data;
  header.image_name_length = name.text.len;
  header.line_height = line_height;
  header.size = size;
  header.ascender = ascender;
  header.descender = descender;
  header.glyph_count = glyphs.count;
  header.kind = kind;
  header.spread = spread;
  header.shaped = shaped ? 1 : 0;
  header.record_count = glyphs.count + others.size();
  const u64 records_at = GM_FNT_HEADER_SIZE + header.image_name_length;
  const u64 records_end = records_at + glyphs.count * GM_FNT_RECORD_SIZE;
  std::vector<u8> bytes(records_end + gm_font_kind_word_size(&header) +
                        gm_font_shaped_size(&header));
  gm_font_encode_header(&header, bytes.data());
  for (u64 i = 0; i < glyphs.count; ++i)
    gm_glyph_encode(&glyphs.values[i], bytes.data() + records_at + i * GM_FNT_RECORD_SIZE);
  if (shaped)
    gm_font_encode_shaped(&header, glyphs.values, others.data(), bytes.data() + records_end);
  else if (bytes.size() > records_end)
    gm_font_encode_kind_word(&header, bytes.data() + records_end);
  return bytes;
}
