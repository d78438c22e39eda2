#include "tools/glyphmint-font/baked/glyph-suppliers.h"

#include "core/fmt.h"
#include "shared/glyph-supplier.h"
#include "shared/settings.h"

#include <algorithm>

namespace {

// The records' code points, sorted, against what the settings ask for: the
// same multiset, or the settings no longer bake these glyphs. Counted before
// any range is spelled out, so a huge range costs nothing.
bool same_code_points(const Glyphmint &settings, const gm_font &font) {
  u64 asked = settings.chars.count;
  for (const CharRange &range : settings.ranges)
    if (range.last >= range.first) asked += u64(i64{range.last} - range.first + 1);
  if (asked != font.glyph_count) return false;
  std::vector<i64> codes;
  codes.reserve(asked);
  for (const CharRange &range : settings.ranges)
    for (i64 code = range.first; code <= range.last; ++code) codes.push_back(code);
  for (const int code : settings.chars) codes.push_back(code);
  std::sort(codes.begin(), codes.end());
  for (size_t i = 0; i < font.glyph_count; ++i)
    if (codes[i] != gm_font_glyph(&font, i).code) return false;
  return true;
}

// Why the settings do not describe this bake; "" when they do.
Str why_not_this_bake(const Glyphmint &settings, const LoadedFont &loaded,
                      const Path &settings_file) {
  const gm_font &font = loaded.font;
  const StrView name = settings_file.name();
  const Path here = settings_file.parent() / loaded.fnt_path.name();
  if (bake_outputs(settings.font, font.size).fnt != here)
    return fmt(name, " bakes ", bake_outputs(settings.font, font.size).fnt.name(),
               ", not this file");
  bool has_size = false;
  for (const int size : settings.sizes) has_size = has_size || size == font.size;
  if (!has_size) return fmt(name, " no longer bakes size ", font.size);
  if (atlas_kind(settings.render) != font.kind || settings.spread != font.spread)
    return fmt(name, " bakes another kind or spread");
  if (!same_code_points(settings, font)) return fmt(name, " asks for other code points");
  return Str();
}

GlyphSuppliers unknown(Str why) {
  GlyphSuppliers suppliers;
  suppliers.state = GlyphSuppliers::State::Unknown;
  suppliers.why = static_cast<Str &&>(why);
  return suppliers;
}

} // namespace

GlyphSuppliers glyph_suppliers(const LoadedFont &loaded) {
  const gm_font &font = loaded.font;
  const Str suffix = fmt('-', font.size, ".fnt");
  const StrView name = loaded.fnt_path.name();
  if (name.len <= suffix.len || !name.ends_with(suffix.view())) return {};
  const Path settings_file =
      loaded.fnt_path.parent() / fmt(name.sub(0, name.len - suffix.len), ".glyphmint.ini").view();
  if (settings_file.type() != FsType::File) return {};
  Glyphmint settings;
  try {
    settings = read_settings(settings_file);
  } catch (const Err &e) {
    return unknown(fmt(settings_file.name(), " cannot be read: ", e.message.view()));
  }
  if (settings.fallbacks.empty()) return {};
  if (Str why = why_not_this_bake(settings, loaded, settings_file); why.len != 0)
    return unknown(static_cast<Str &&>(why));

  FontLibrary library;
  GlyphSuppliers suppliers;
  std::vector<FT_Face> faces;
  const auto open = [&](const Path &file) {
    FT_Face face = nullptr;
    if (library.open(file, face) != 0) return false;
    faces.push_back(face);
    suppliers.fonts.push_back(Str(file.name()));
    return true;
  };
  if (!open(settings.font)) return unknown(fmt(settings.font.name(), " cannot be opened"));
  for (const Path &fallback : settings.fallbacks)
    if (!open(fallback)) return unknown(fmt(fallback.name(), " cannot be opened"));
  suppliers.state = GlyphSuppliers::State::Known;
  suppliers.counts.assign(faces.size(), 0);
  for (size_t i = 0; i < font.glyph_count; ++i) {
    const u64 k = supplying_font(settings, ArrView<const FT_Face>(faces.data(), faces.size()),
                                 gm_font_glyph(&font, i).code);
    ++suppliers.counts[k];
    suppliers.of_record.push_back(u32(k));
  }
  return suppliers;
}

std::vector<u32> GlyphSuppliers::fallback_codes(const gm_font &font) const {
  std::vector<u32> codes;
  for (size_t i = 0; i < font.glyph_count; ++i) {
    const i32 code = gm_font_glyph(&font, i).code;
    if (from_fallback(i) && code >= 0 && (codes.empty() || codes.back() != u32(code)))
      codes.push_back(u32(code));
  }
  return codes;
}

Str glyph_suppliers_line(const GlyphSuppliers &suppliers) {
  StrBuilder out;
  if (suppliers.state == GlyphSuppliers::State::OneFont) return Str();
  if (suppliers.state == GlyphSuppliers::State::Unknown) {
    fmt(out, "fonts: unknown, ", EscapedControl{suppliers.why.view()}, '\n');
    return out.to_string();
  }
  fmt(out, "fonts: ");
  for (size_t k = 0; k < suppliers.fonts.size(); ++k)
    fmt(out, StrView(k == 0 ? "" : ", "), EscapedControl{suppliers.fonts[k].view()}, ' ',
        suppliers.counts[k]);
  out.append("\n");
  return out.to_string();
}
