// Packing the glyphs of one size into one atlas and encoding it as an 8-bit
// PNG of the atlas's channels (grey, RGB or RGBA). Each glyph gets a cell one
// pixel larger than its bitmap on every side; x, y are the cell's corner, the
// bitmap starts at (x + 1, y + 1).
// The cells are laid out by shared/atlas-pack, whose layout renderers depend on.
#pragma once

#include "core/fs.h"
#include "core/list.h"
#include "shared/atlas-pack.h"
#include "shared/glyph-loading.h"
#include "shared/image.h"
#include "tools/glyphmint/glyphs/raster-glyph.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

/// Tracks the cells of the glyphs loaded so far for one size and stops the run
/// with "Cannot figure out size for atlas" as soon as packing is certain to
/// fail: one cell wider or taller than the largest atlas, or more cell area
/// than it has. It only ever stops earlier a run that would fail anyway.
struct CellBudget {
  u64 area = 0;

  void take(u32 width, u32 rows);
  /// Adds the area of a cell already taken by another budget, in load order.
  void add(u64 cell_area);
};

/// Finds the smallest atlas of the series 256x256, 256x512, 512x512, ...,
/// 2048x4096 (height grows first) that holds every glyph, and stores each
/// glyph's cell position. Logs "Atlas size: WxH"; a fatal stop when none does.
/// An empty list settles at 256x256.
[[nodiscard]] AtlasSize pack_glyphs(List<RasterGlyph> &glyphs);

/// The packed glyphs' atlas of that many channels, drawn a band of rows at a
/// time so that its encoding can start on the first: all zero but for each
/// bitmap copied into its cell. Pending fields are made as their rows are
/// needed, by the drawing and `threads` - 2 threads of its own ahead of it
/// (the encoder's two are the others), and let go once drawn: only the atlas
/// needs their pixels, and their memory then serves the next ones.
/// Every glyph must have the atlas's channels: else the fatal stop
/// "Glyph <code> has <n> channels, the atlas <m>" when it is made, before
/// any row is drawn.
class AtlasDrawing {
public:
  AtlasDrawing(List<RasterGlyph> &glyphs, AtlasSize size, i32 channels, int threads = 1);
  ~AtlasDrawing();
  AtlasDrawing(const AtlasDrawing &) = delete;
  AtlasDrawing &operator=(const AtlasDrawing &) = delete;

  /// Draws rows [first, end); bands follow each other from the top.
  void draw_rows(u64 first, u64 end);
  /// Makes one of the fields no thread has claimed, from any thread: the one
  /// the drawing needs last; false when none is left.
  bool make_next_field();
  [[nodiscard]] Image &image() { return atlas_; }
  /// Once every row is drawn: the first failure of a pending field, in
  /// drawing order, or an exception a thread met making one.
  [[nodiscard]] FtFailure failure();

private:
  Image atlas_;
  std::vector<RasterGlyph *> by_top_; // glyphs with pixels, by their first row
  u64 next_ = 0;                      // the first of them not yet drawn from
  std::vector<u64> open_;             // of by_top_, those with rows below the last band
  std::vector<bool> pending_;         // of by_top_, those whose field is made here
  // The fields not yet claimed, [front, back) of by_top_ as two halves of
  // one word: the drawing claims from the front, as its rows need them, the
  // other threads from the back, so that it seldom waits for one of theirs.
  std::atomic<u64> unclaimed_{0};
  std::unique_ptr<std::atomic<u8>[]> made_;
  std::unique_ptr<FtFailure[]> failures_;
  std::mutex exception_mutex_;
  std::exception_ptr exception_;
  std::vector<std::jthread> makers_;

  void make_field(u64 k);
  void make_fields_up_to(u64 k);
  [[nodiscard]] bool claim(bool front, u64 &k);
};

/// The atlas drawn whole.
[[nodiscard]] Image fill_atlas(List<RasterGlyph> &glyphs, AtlasSize size, i32 channels = 1);

/// The atlas drawn and encoded as PNG together, on `threads` threads at
/// most, the second started as PngEncoding's `beside` says; a failure of the
/// encoder is the fatal stop "Failed to write png", one of a pending field
/// its own.
[[nodiscard]] Bytes encode_atlas_png(List<RasterGlyph> &glyphs, AtlasSize size, i32 channels,
                                     int threads, bool beside = false);
