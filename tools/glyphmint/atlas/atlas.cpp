#include "tools/glyphmint/atlas/atlas.h"

#include "core/log.h"
#include "shared/png.h"
#include "tools/glyphmint/glyphs/ft-stop.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include <algorithm>
#include <cstring>
#include <system_error>

void CellBudget::take(u32 width, u32 rows) {
  const u64 cell_width = u64{width} + 2;
  const u64 cell_height = u64{rows} + 2;
  if (cell_width > k_atlas_max_width || cell_height > k_atlas_max_height)
    log_critical("Cannot figure out size for atlas");
  add(cell_width * cell_height);
}

void CellBudget::add(u64 cell_area) {
  area += cell_area;
  if (area > u64{k_atlas_max_width} * k_atlas_max_height)
    log_critical("Cannot figure out size for atlas");
}

AtlasSize pack_glyphs(List<RasterGlyph> &glyphs) {
  std::unique_ptr<RectSize[]> cells(new RectSize[glyphs.count]);
  std::unique_ptr<RectCorner[]> corners(new RectCorner[glyphs.count]);
  u64 i = 0;
  for (const RasterGlyph &glyph : glyphs) cells[i++] = {glyph.width + 2, glyph.rows + 2};
  AtlasSize size;
  if (!pack_in_atlas_series(ArrView<const RectSize>(cells.get(), glyphs.count), {},
                            ArrView<RectCorner>(corners.get(), glyphs.count), size))
    log_critical("Cannot figure out size for atlas");
  i = 0;
  for (RasterGlyph &glyph : glyphs) {
    glyph.x = corners[i].x;
    glyph.y = corners[i++].y;
  }
  log_info("Atlas size: ", size.width, 'x', size.height);
  return size;
}

AtlasDrawing::AtlasDrawing(List<RasterGlyph> &glyphs, AtlasSize size, i32 channels, int threads)
    : atlas_(Image::unfilled(size.width, size.height, channels)) {
  bool pending = false;
  for (RasterGlyph &glyph : glyphs) {
    if (glyph.width == 0 || glyph.rows == 0) continue;
    if (glyph.channels != channels)
      log_critical("Glyph ", glyph.code, " has ", glyph.channels, " channels, the atlas ",
                   channels);
    by_top_.push_back(&glyph);
    pending = pending || glyph.pending != nullptr;
  }
  std::stable_sort(by_top_.begin(), by_top_.end(),
                   [](const RasterGlyph *a, const RasterGlyph *b) { return a->y < b->y; });
  for (const RasterGlyph *glyph : by_top_) pending_.push_back(glyph->pending != nullptr);
  unclaimed_.store(u64(by_top_.size()) << 32);
  made_.reset(new std::atomic<u8>[by_top_.size()]());
  failures_.reset(new FtFailure[by_top_.size()]);
  if (!pending) return;
  // Two of the threads compress and draw; the drawing makes what is left.
  for (int i = 2; i < threads; ++i) {
    try {
      makers_.emplace_back([this] {
        while (make_next_field()) {
        }
      });
    } catch (const std::system_error &) {
      break; // the drawing makes what is left
    }
  }
}

AtlasDrawing::~AtlasDrawing() {
  unclaimed_.store(0); // nothing more is claimed
  makers_.clear();
}

void AtlasDrawing::make_field(u64 k) {
  try {
    failures_[k] = draw_pending_field(*by_top_[k]);
  } catch (...) {
    const std::lock_guard lock(exception_mutex_);
    if (exception_ == nullptr) exception_ = std::current_exception();
  }
  made_[k].store(1, std::memory_order_release);
  made_[k].notify_all();
}

bool AtlasDrawing::claim(bool front, u64 &k) {
  u64 now = unclaimed_.load();
  for (;;) {
    const u64 first = now & 0xffffffff, end = now >> 32;
    if (first >= end) return false;
    k = front ? first : end - 1;
    const u64 rest = front ? (end << 32) | (first + 1) : ((end - 1) << 32) | first;
    if (unclaimed_.compare_exchange_weak(now, rest)) return true;
  }
}

bool AtlasDrawing::make_next_field() {
  u64 k = 0;
  if (!claim(false, k)) return false;
  make_field(k);
  return true;
}

// Makes the fields up to the k-th, waiting for those other threads claimed.
void AtlasDrawing::make_fields_up_to(u64 k) {
  if (made_[k].load(std::memory_order_acquire) != 0) return;
  for (u64 j = 0; (unclaimed_.load() & 0xffffffff) <= k && claim(true, j);) make_field(j);
  made_[k].wait(0, std::memory_order_acquire);
}

void AtlasDrawing::draw_rows(u64 first, u64 end) {
  const u64 stride = atlas_.stride();
  std::memset(atlas_.pixels.get() + first * stride, 0, (end - first) * stride);
  // A bitmap starts a row below its cell's top.
  for (; next_ < by_top_.size() && u64(by_top_[next_]->y) + 1 < end; ++next_) {
    make_fields_up_to(next_);
    open_.push_back(next_);
  }
  const u64 channels = u64(atlas_.channels);
  std::erase_if(open_, [&](u64 k) {
    RasterGlyph *glyph = by_top_[k];
    const u64 top = u64(glyph->y) + 1;
    const u64 bottom = top + glyph->rows;
    const u64 row_bytes = u64{glyph->width} * channels;
    u8 *left = atlas_.pixels.get() + (u64(glyph->x) + 1) * channels;
    if (glyph->pixels != nullptr) // none when its field failed
      for (u64 r = std::max(top, first); r < std::min(bottom, end); ++r)
        std::memcpy(left + r * stride, glyph->pixels + (r - top) * row_bytes, row_bytes);
    if (bottom > end) return false;
    if (pending_[k]) {
      delete[] glyph->pixels;
      glyph->pixels = nullptr;
      glyph->pixels_size = 0;
    }
    return true;
  });
}

FtFailure AtlasDrawing::failure() {
  makers_.clear();
  if (exception_ != nullptr) std::rethrow_exception(exception_);
  for (u64 k = 0; k < by_top_.size(); ++k)
    if (failures_[k].error != 0) return failures_[k];
  return {};
}

Image fill_atlas(List<RasterGlyph> &glyphs, AtlasSize size, i32 channels) {
  AtlasDrawing drawing(glyphs, size, channels);
  drawing.draw_rows(0, u64(size.height));
  check_ft(drawing.failure());
  return static_cast<Image &&>(drawing.image());
}

Bytes encode_atlas_png(List<RasterGlyph> &glyphs, AtlasSize size, i32 channels, int threads,
                       bool beside) {
  AtlasDrawing drawing(glyphs, size, channels, threads);
  Bytes png;
  // Encoded in memory and written with checked writes, since stbi_write_png
  // would not notice a failed write (a full disk).
  try {
    png = encode_png(drawing.image(),
                     {threads, [&drawing](u64 first, u64 end) { drawing.draw_rows(first, end); },
                      [&drawing] { return drawing.make_next_field(); }, beside});
  } catch (const Err &) {
    log_critical("Failed to write png");
  }
  check_ft(drawing.failure());
  return png;
}
