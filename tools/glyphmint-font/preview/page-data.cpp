#include "tools/glyphmint-font/preview/page-data.h"

#include "tools/glyphmint-font/baked/glyph-suppliers.h"

#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <span>

namespace {

const char *kind_name(gm_kind kind) {
  switch (kind) {
  case GM_KIND_SDF:
    return "sdf";
  case GM_KIND_MSDF:
    return "msdf";
  case GM_KIND_MTSDF:
    return "mtsdf";
  case GM_KIND_COLOR:
    return "color";
  case GM_KIND_MONO:
    return "mono";
  case GM_KIND_COVERAGE:
    break;
  }
  return "coverage";
}

void append_number(std::string &out, i64 value) {
  out += std::to_string(value);
}

void append_numbers(std::string &out, std::span<const i64> numbers) {
  out += '[';
  for (size_t f = 0; f < numbers.size(); ++f) {
    if (f > 0) out += ',';
    append_number(out, numbers[f]);
  }
  out += ']';
}

void append_numbers(std::string &out, std::initializer_list<i64> numbers) {
  append_numbers(out, std::span(numbers.begin(), numbers.size()));
}

void append_glyphs(std::string &out, const gm_font &font) {
  out += "\"glyphs\":[";
  const size_t count = font.shaped ? font.record_count : font.glyph_count;
  for (size_t i = 0; i < count; ++i) {
    const gm_glyph g = gm_font_record(&font, i);
    const i64 fields[] = {g.code, g.width, g.rows,    g.bearing_x,   g.bearing_y,
                          g.x,    g.y,     g.advance, g.glyph_index, g.font_number};
    if (i > 0) out += ",\n";
    append_numbers(out, std::span(fields, font.shaped ? 10 : 8));
  }
  out += "]";
}

// null unless the settings beside the bake say which font supplied each glyph.
void append_suppliers(std::string &out, const LoadedFont &loaded) {
  const GlyphSuppliers suppliers = glyph_suppliers(loaded);
  out += "\"suppliers\":";
  if (suppliers.state != GlyphSuppliers::State::Known) {
    out += "null";
    return;
  }
  out += "{\"fonts\":[";
  for (size_t k = 0; k < suppliers.fonts.size(); ++k) {
    if (k > 0) out += ',';
    out += json_string(std::string_view(suppliers.fonts[k].data, suppliers.fonts[k].len));
  }
  out += "],\"of\":[";
  for (size_t i = 0; i < suppliers.of_record.size(); ++i) {
    if (i > 0) out += ',';
    append_number(out, suppliers.of_record[i]);
  }
  out += "]}";
}

void append_shaped(std::string &out, const gm_font &font, std::string_view sample,
                   const TextLayout *shaped) {
  out += ",\n\"codeRecords\":";
  append_number(out, i64(font.glyph_count));
  out += ",\n\"shaped\":";
  if (shaped == nullptr) {
    out += "null";
    return;
  }
  const TextBounds &b = shaped->bounds;
  out += "{\"text\":" + json_string(sample) + ",\"bounds\":";
  append_numbers(out, {b.left, b.top, b.right, b.bottom});
  out += ",\n\"placed\":[";
  for (size_t i = 0; i < shaped->bitmaps.size(); ++i) {
    const PlacedBitmap &p = shaped->bitmaps[i];
    if (i > 0) out += ",\n";
    append_numbers(out, {p.src_x - 1, p.src_y - 1, p.width, p.height, p.x, p.y});
  }
  out += "],\n\"lacking\":[";
  for (size_t i = 0; i < shaped->missing_glyphs.size(); ++i) {
    if (i > 0) out += ',';
    append_numbers(out,
                   {shaped->missing_glyphs[i].glyph_index, shaped->missing_glyphs[i].code_point});
  }
  out += "]}";
}

void append_kerning(std::string &out, const std::vector<KerningPair> *pairs) {
  out += "\"kerning\":";
  if (pairs == nullptr) {
    out += "null";
    return;
  }
  out += '[';
  for (size_t i = 0; i < pairs->size(); ++i) {
    const KerningPair &p = (*pairs)[i];
    out += i == 0 ? "[" : ",\n[";
    append_number(out, p.first);
    out += ',';
    append_number(out, p.second);
    out += ',';
    append_number(out, p.amount);
    out += ']';
  }
  out += ']';
}

} // namespace

std::string json_string(std::string_view utf8) {
  std::string out = "\"";
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    u32 c = 0;
    if (!gm_utf8_decode(utf8.data(), utf8.size(), &at, &c)) {
      out += "\\ufffd";
      at = start + 1;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == '<' || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
      out += escaped;
    } else {
      out.append(utf8.data() + start, at - start);
    }
  }
  return out + '"';
}

std::string page_data_json(const LoadedFont &loaded, const std::vector<KerningPair> *pairs,
                           std::string_view sample, const TextLayout *shaped) {
  const gm_font &f = loaded.font;
  const StrView name = loaded.fnt_path.name();
  std::string out = "{\"name\":" + json_string(std::string_view(name.data, name.len));
  const std::pair<const char *, i64> numbers[] = {{"size", f.size},
                                                  {"lineHeight", f.line_height},
                                                  {"ascender", f.ascender},
                                                  {"descender", f.descender},
                                                  {"spread", f.spread},
                                                  {"channels", f.channels},
                                                  {"atlasWidth", loaded.atlas.width},
                                                  {"atlasHeight", loaded.atlas.height}};
  for (const auto &[key, value] : numbers) {
    out += ",\"";
    out += key;
    out += "\":";
    append_number(out, value);
  }
  out += ",\"kind\":\"";
  out += kind_name(f.kind);
  out += "\",\n";
  append_glyphs(out, f);
  out += ",\n";
  append_suppliers(out, loaded);
  out += ",\n";
  append_kerning(out, pairs);
  out += ",\n\"text\":" + json_string(sample);
  if (f.shaped) append_shaped(out, f, sample, shaped);
  out += "}";
  return out;
}
