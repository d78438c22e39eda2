// The bake of one size: its code points loaded in ranges, by any number of
// workers in any order, each worker with FreeType faces of its own (a face is
// never shared between threads), then merged in load order, packed, encoded
// and written beside the font as <font name up to its first dot>-<size>.png
// and .fnt. Whatever the ranges and their order, a size ends exactly as
// loading its glyphs one by one would: the same files, the same log lines,
// the same first failure. The trap: a fatal stop inside a job is kept as a
// Failure (the worker's log is captured), never an abort on the spot.
#pragma once

#include "core/fs.h"
#include "core/log.h"
#include "shared/font-face.h"
#include "shared/settings.h"
#include "tools/glyphmint/glyphs/glyph-closure.h"
#include "tools/glyphmint/glyphs/glyph-faces.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

/// What each size of the settings loads, in load order: the code points
/// (ranges first, then chars, never de-duplicated), then, for a shaped bake,
/// the glyphs that shaping them can produce.
class CodeSequence {
public:
  explicit CodeSequence(const Glyphmint &settings, std::vector<GlyphId> others = {});
  /// Code points and other glyphs.
  [[nodiscard]] u64 count() const { return code_count_ + others_.size(); }
  [[nodiscard]] u64 code_count() const { return code_count_; }
  /// The i-th code point, for i below code_count().
  [[nodiscard]] int at(u64 i) const;
  /// The i-th glyph, for i from code_count() to count().
  [[nodiscard]] GlyphId other(u64 i) const { return others_[i - code_count_]; }

private:
  std::vector<CharRange> ranges_;
  std::vector<u64> range_ends_; // the count of the ranges up to and with each one
  std::vector<int> chars_;
  u64 code_count_ = 0;
  std::vector<GlyphId> others_;
};

/// The glyphs a shaped bake of the settings adds to its code points: the
/// substitution closure of the glyphs that the faces supplying the code
/// points (GlyphFaces::supplier) map them to, opened at the first size. The
/// faces' failures are the fatal stops that loading that size meets.
[[nodiscard]] std::vector<GlyphId> shaping_glyphs(const Glyphmint &settings);

/// One size's two files, encoded and not yet written.
struct SizeFiles {
  Bytes png;
  std::vector<u8> fnt;
};

/// Packs the loaded glyphs (logging "Atlas size: WxH"), draws the atlas of
/// the settings' kind and encodes it, on `threads` threads at most (as
/// encode_atlas_png), and the .fnt that describes it.
[[nodiscard]] SizeFiles encode_size(List<RasterGlyph> &glyphs, SizeMetrics metrics,
                                    const Glyphmint &settings, const BakeOutputs &out, int size,
                                    int threads, bool beside = false);

/// Writes both files under temporary names and puts them in place together,
/// then logs "Image written: " and the atlas's path. When either cannot be
/// written, the previous pair stays as it was: the fatal stop "Failed to
/// write png" for the atlas, Err "Cannot open file <path> (mode: wb)" or
/// "Write fail" for the .fnt, followed, for an atlas that could not be put
/// back, by "; <path> could not be put back ..." and where its previous
/// content is.
void write_size_files(const BakeOutputs &out, const SizeFiles &files);

/// How a step of a run failed: a fatal stop, whose CRIT line is the last one
/// kept, or an Err and its message.
struct Failure {
  bool critical = false;
  Str message;
};

/// How a step of a run ended: its log lines, kept to be written in the
/// run's order, and its failure or the files it is to write.
struct StepEnd {
  LogLines lines;
  bool failed = false;
  Failure failure;
  SizeFiles files;
};

/// Runs `work` with this thread's log lines kept in `lines`; false, with the
/// failure, when it stopped the run.
template <typename Work>
[[nodiscard]] bool captured(LogLines &lines, Failure &failure, Work &&work) {
  const LogCapture capture(lines);
  try {
    work();
    return true;
  } catch (const CriticalStop &) {
    failure.critical = true;
  } catch (const Err &e) {
    failure.message = Str(e.message.view());
  }
  return false;
}

/// The earliest step of a run that is certain to fail: no step after it is
/// needed, so work on those stops.
class RunCut {
public:
  void at(u64 step);
  [[nodiscard]] bool passed(u64 step) const;

private:
  std::atomic<u64> step_{~u64{0}};
};

/// A worker's faces, set to the size it loaded last; opened through the
/// worker's own FontLibrary, which keeps every face it opened.
class WorkerFaces {
public:
  explicit WorkerFaces(FontLibrary &fonts) : fonts_(fonts) {}
  /// Opens and sizes them as GlyphFaces::open does, unless they are already.
  [[nodiscard]] const GlyphFaces &at_size(const Glyphmint &settings, int size);

private:
  FontLibrary &fonts_;
  const Glyphmint *settings_ = nullptr;
  int size_ = 0;
  GlyphFaces faces_;
};

/// The glyphs [first, first + count) of a size, as far as one worker loaded
/// them, with the cell area each took. The worker makes their list's nodes,
/// so that the merge only links them.
struct GlyphRange {
  GlyphRange(u64 from, u64 glyph_count) : first(from), count(glyph_count), areas(glyph_count, 0) {}
  u64 first = 0;
  u64 count = 0;
  // The first ones in order, up to the first that failed or was not needed.
  List<RasterGlyph> glyphs;
  std::vector<u64> areas;
};

/// One size of a settings file as a step of a run: loaded in ranges that
/// the run hands out, finished by whoever loads the last one, written by the
/// run's writer.
class SizeJob {
public:
  /// Step `step` of a run whose cut is `cut`, encoded on `threads` threads at
  /// most; the settings and codes outlive it.
  SizeJob(const Glyphmint &settings, const CodeSequence &codes, int size, u64 step, RunCut &cut,
          int threads);

  /// The end of the glyphs still needed: their count, or less once a failure
  /// before it is certain.
  [[nodiscard]] u64 end() const;

  /// Loads the range's glyphs with the worker's faces, each with a budget of
  /// its own; stops at the first one that fails or is no longer needed.
  void load(WorkerFaces &faces, GlyphRange &range);

  /// Once every range up to end() is loaded: the glyphs in load order, their
  /// cells counted as one budget counts them, packed and encoded; or the
  /// first failure the one-by-one load meets. `ranges` are in claim order;
  /// `others_idle` when the run's other threads have nothing to do.
  [[nodiscard]] StepEnd finish(WorkerFaces &faces, std::deque<GlyphRange> &ranges,
                               bool others_idle = false);

  /// Writes the files that finish() encoded.
  void write(const SizeFiles &files) const;

private:
  const Glyphmint &settings_;
  const CodeSequence &codes_;
  const int size_;
  const u64 step_;
  RunCut &cut_;
  const int threads_;

  std::atomic<u64> stop_at_{~u64{0}}; // no glyph from here on is needed
  std::atomic<u64> area_{0};          // of every cell loaded so far, in any order
  std::atomic<u64> loaded_end_{0};    // past the last glyph any worker loaded
  std::mutex failure_mutex_;          // guards the three below
  u64 failed_at_ = ~u64{0};           // the earliest failure: 0 the faces, i + 1 glyph i
  LogLines failed_lines_;
  Failure load_failure_;

  [[nodiscard]] bool abandoned() const { return cut_.passed(step_); }
  [[nodiscard]] RasterGlyph load_one(const GlyphFaces &faces, u64 i, CellBudget *budget) const;
  void fail_loading(u64 position, LogLines &lines, Failure &failure);
  [[nodiscard]] bool merge(std::deque<GlyphRange> &ranges, List<RasterGlyph> &glyphs,
                           StepEnd &outcome);
};
