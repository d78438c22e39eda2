// The bake of one settings file: for every size it lists, rasterise the code
// points (ranges first, then chars, never de-duplicated), pack them, and write
// <font name up to its first dot>-<size>.png and .fnt beside the font file.
// Any failure ends the run; outputs finished before it stay on disk.
#pragma once

#include "core/fs.h"
#include "shared/font-face.h"
#include "tools/glyphmint/settings.h"

/// The two output paths of one size: dir/base-size.png and dir/base-size.fnt.
struct BakeOutputs {
  Path image;
  Path fnt;
};
[[nodiscard]] BakeOutputs bake_outputs(const Path &font, int size);

/// Reads the settings file and bakes every size it lists, in order, with
/// faces from `fonts`, which keeps them open for later files.
void bake_settings_file(FontLibrary &fonts, const Path &settings_file);

/// Bakes one size of already-read settings.
void bake_size(FontLibrary &fonts, const Glyphmint &settings, int size);

/// Finds the settings files among a fonts directory's own entries (not below
/// it): regular files whose extension, from the name's first dot, is exactly
/// ".glyphmint.ini". It logs "processing " and bakes each one.
struct FontsVisitor : IFileVisitor {
  explicit FontsVisitor(FontLibrary &fonts) : fonts_(fonts) {}
  [[nodiscard]] bool visit(const Path &path, FsType type) override;

private:
  FontLibrary &fonts_;
};
