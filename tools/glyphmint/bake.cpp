#include "tools/glyphmint/bake.h"

#include "core/log.h"
#include "shared/staged-outputs.h"
#include "tools/glyphmint/atlas.h"
#include "tools/glyphmint/fnt-file.h"
#include "tools/glyphmint/glyph-faces.h"

#include <algorithm>

BakeOutputs bake_outputs(const Path &font, int size) {
  const StrView base = font.name_without_ext();
  const Path dir = font.parent();
  return {dir / fmt(base, '-', size, ".png").view(), dir / fmt(base, '-', size, ".fnt").view()};
}

CodeSequence::CodeSequence(const Glyphmint &settings) {
  for (const CharRange &range : settings.ranges) {
    // Counted in 64 bits so a range ending at the largest int still ends.
    if (range.last >= range.first) count_ += u64(i64{range.last} - range.first + 1);
    ranges_.push_back(range);
    range_ends_.push_back(count_);
  }
  for (const int code : settings.chars) chars_.push_back(code);
  count_ += chars_.size();
}

int CodeSequence::at(u64 i) const {
  const auto end = std::upper_bound(range_ends_.begin(), range_ends_.end(), i);
  if (end == range_ends_.end()) return chars_[i - (range_ends_.empty() ? 0 : range_ends_.back())];
  const auto r = static_cast<u64>(end - range_ends_.begin());
  const u64 start = r == 0 ? 0 : range_ends_[r - 1];
  return static_cast<int>(i64{ranges_[r].first} + static_cast<i64>(i - start));
}

SizeFiles encode_size(List<RasterGlyph> &glyphs, SizeMetrics metrics, const Glyphmint &settings,
                      const BakeOutputs &out, int size) {
  const AtlasSize atlas_size = pack_glyphs(glyphs);
  SizeFiles files;
  files.png = encode_atlas_png(fill_atlas(glyphs, atlas_size, atlas_channels(settings.render)));
  files.fnt = Fnt::build(out.image, metrics, size, settings, glyphs).encode(out.fnt);
  return files;
}

void write_size_files(const BakeOutputs &out, const SizeFiles &files) {
  const Output outputs[] = {{out.image, ArrView<const u8>(files.png.data, files.png.len)},
                            {out.fnt, ArrView<const u8>(files.fnt.data(), files.fnt.size())}};
  OutputFailure failure;
  bool committed = false;
  bool staged = false;
  {
    // Its temporaries are gone before a fatal stop, which runs no destructors.
    StagedOutputs pair;
    staged = pair.try_stage(outputs, failure);
    committed = staged && pair.try_commit(failure);
  }
  if (committed) {
    log_info("Image written: ", out.image);
    return;
  }
  if (failure.index == 0) log_critical("Failed to write png");
  if (!staged && !failure.opened) throw Err(fmt("Cannot open file ", out.fnt, " (mode: wb)"));
  throw Err("Write fail");
}

void bake_size(FontLibrary &fonts, const Glyphmint &settings, int size) {
  const BakeOutputs out = bake_outputs(settings.font, size);
  const GlyphFaces faces = GlyphFaces::open(fonts, settings, size);

  const CodeSequence codes(settings);
  List<RasterGlyph> glyphs;
  CellBudget budget;
  for (u64 i = 0; i < codes.count(); ++i) {
    const SizedFace &face = faces.supplier(codes.at(i));
    glyphs.append(rasterise_glyph(face.face, codes.at(i), face.style, &budget));
  }
  write_size_files(out, encode_size(glyphs, faces.main.metrics(), settings, out, size));
}

void bake_settings_file(FontLibrary &fonts, const Path &settings_file) {
  const Glyphmint settings = read_settings(settings_file);
  for (const int size : settings.sizes) bake_size(fonts, settings, size);
}

bool is_settings_file(const Path &path, FsType type) {
  return type == FsType::File && path.ext() == StrView(".glyphmint.ini");
}

bool FontsVisitor::visit(const Path &path, FsType type) {
  if (!is_settings_file(path, type)) return true;
  log_info("processing ", path);
  bake_settings_file(fonts_, path);
  return true;
}
