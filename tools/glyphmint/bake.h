// The bake of one settings file: for every size it lists, rasterise the code
// points (ranges first, then chars, never de-duplicated), pack them, and write
// <font name up to its first dot>-<size>.png and .fnt beside the font file.
// The two files of a size are put in place together. Any failure ends the
// run; the pairs finished before it stay on disk.
#pragma once

#include "core/fs.h"
#include "shared/font-face.h"
#include "tools/glyphmint/glyph.h"
#include "tools/glyphmint/settings.h"

#include <vector>

/// The two output paths of one size: dir/base-size.png and dir/base-size.fnt.
struct BakeOutputs {
  Path image;
  Path fnt;
};
[[nodiscard]] BakeOutputs bake_outputs(const Path &font, int size);

/// The code points that each size of the settings loads, in load order.
class CodeSequence {
public:
  explicit CodeSequence(const Glyphmint &settings);
  [[nodiscard]] u64 count() const { return count_; }
  /// The i-th code point, for i below count().
  [[nodiscard]] int at(u64 i) const;

private:
  std::vector<CharRange> ranges_;
  std::vector<u64> range_ends_; // the count of the ranges up to and with each one
  std::vector<int> chars_;
  u64 count_ = 0;
};

/// One size's two files, encoded and not yet written.
struct SizeFiles {
  Bytes png;
  std::vector<u8> fnt;
};

/// Packs the loaded glyphs (logging "Atlas size: WxH"), draws the atlas of
/// the settings' kind and encodes it and the .fnt that describes it.
[[nodiscard]] SizeFiles encode_size(List<RasterGlyph> &glyphs, SizeMetrics metrics,
                                    const Glyphmint &settings, const BakeOutputs &out, int size);

/// Writes both files under temporary names and puts them in place together,
/// then logs "Image written: " and the atlas's path. When either cannot be
/// written, the previous pair stays as it was: the fatal stop "Failed to
/// write png" for the atlas, Err "Cannot open file <path> (mode: wb)" or
/// "Write fail" for the .fnt.
void write_size_files(const BakeOutputs &out, const SizeFiles &files);

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

/// Whether a walk's entry is a settings file.
[[nodiscard]] bool is_settings_file(const Path &path, FsType type);
