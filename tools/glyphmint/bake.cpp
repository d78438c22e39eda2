#include "tools/glyphmint/bake.h"

#include "core/log.h"
#include "tools/glyphmint/atlas.h"
#include "tools/glyphmint/fnt-file.h"
#include "tools/glyphmint/glyph.h"

BakeOutputs bake_outputs(const Path &font, int size) {
  const StrView base = font.name_without_ext();
  const Path dir = font.parent();
  return {dir / fmt(base, '-', size, ".png").view(), dir / fmt(base, '-', size, ".fnt").view()};
}

void bake_size(FontLibrary &fonts, const Glyphmint &settings, int size) {
  const BakeOutputs out = bake_outputs(settings.font, size);
  const FT_Face face = get_face(fonts, settings.font);
  const GlyphStyle style = set_bake_size(face, size, settings);
  List<RasterGlyph> glyphs;
  CellBudget budget;
  for (const CharRange &range : settings.ranges) {
    // Counted in 64 bits so a range ending at the largest int still ends.
    for (i64 code = range.first; code <= range.last; ++code)
      glyphs.append(RasterGlyph::load(face, static_cast<int>(code), style, &budget));
  }
  for (const int code : settings.chars)
    glyphs.append(RasterGlyph::load(face, code, style, &budget));

  const AtlasSize atlas_size = pack_glyphs(glyphs);
  write_atlas_png(out.image, fill_atlas(glyphs, atlas_size, atlas_channels(settings.render)));
  Fnt::build(out.image, size_metrics(face, style), size, glyphs).write(out.fnt);
}

void bake_settings_file(FontLibrary &fonts, const Path &settings_file) {
  const Glyphmint settings = read_settings(settings_file);
  for (const int size : settings.sizes) bake_size(fonts, settings, size);
}

bool FontsVisitor::visit(const Path &path, FsType type) {
  if (type != FsType::File) return true;
  if (path.ext() != StrView(".glyphmint.ini")) return true;
  log_info("processing ", path);
  bake_settings_file(fonts_, path);
  return true;
}
