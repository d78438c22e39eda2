#include "tools/glyphmint/bake/size-job.h"

#include "shared/staged-outputs.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/atlas/fnt-file.h"

#include <algorithm>

namespace {

void lower(std::atomic<u64> &value, u64 to) {
  u64 now = value.load();
  while (to < now && !value.compare_exchange_weak(now, to)) {
  }
}

void raise(std::atomic<u64> &value, u64 to) {
  u64 now = value.load();
  while (to > now && !value.compare_exchange_weak(now, to)) {
  }
}

} // namespace

CodeSequence::CodeSequence(const Glyphmint &settings, std::vector<GlyphId> others)
    : others_(static_cast<std::vector<GlyphId> &&>(others)) {
  for (const CharRange &range : settings.ranges) {
    // Counted in 64 bits so a range ending at the largest int still ends.
    if (range.last >= range.first) code_count_ += u64(i64{range.last} - range.first + 1);
    ranges_.push_back(range);
    range_ends_.push_back(code_count_);
  }
  for (const int code : settings.chars) chars_.push_back(code);
  code_count_ += chars_.size();
}

std::vector<GlyphId> shaping_glyphs(const Glyphmint &settings) {
  FontLibrary fonts;
  require_started(fonts);
  const GlyphFaces faces = GlyphFaces::open(fonts, settings, *settings.sizes.begin());
  const CodeSequence codes(settings);
  std::vector<GlyphId> reached;
  for (u64 i = 0; i < codes.code_count(); ++i) {
    const int code = codes.at(i);
    const SizedFace &face = faces.supplier(code);
    // A code point no font has stops its bake when it is loaded.
    if (const FT_UInt index = glyph_index(face.face, code); index != 0)
      reached.push_back({faces.font_number(face), index});
  }
  std::vector<FT_Face> all{faces.main.face};
  for (const SizedFace &fallback : faces.fallbacks) all.push_back(fallback.face);
  return substitution_closure(all, reached);
}

int CodeSequence::at(u64 i) const {
  const auto end = std::upper_bound(range_ends_.begin(), range_ends_.end(), i);
  if (end == range_ends_.end()) return chars_[i - (range_ends_.empty() ? 0 : range_ends_.back())];
  const auto r = static_cast<u64>(end - range_ends_.begin());
  const u64 start = r == 0 ? 0 : range_ends_[r - 1];
  return static_cast<int>(i64{ranges_[r].first} + static_cast<i64>(i - start));
}

SizeFiles encode_size(List<RasterGlyph> &glyphs, SizeMetrics metrics, const Glyphmint &settings,
                      const BakeOutputs &out, int size, int threads, bool beside) {
  const AtlasSize atlas_size = pack_glyphs(glyphs);
  SizeFiles files;
  files.png =
      encode_atlas_png(glyphs, atlas_size, atlas_channels(settings.render), threads, beside);
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
  throw Err(fmt("Write fail", failure.unrestored));
}

void RunCut::at(u64 step) {
  lower(step_, step);
}

bool RunCut::passed(u64 step) const {
  return step > step_.load(std::memory_order_relaxed);
}

const GlyphFaces &WorkerFaces::at_size(const Glyphmint &settings, int size) {
  require_started(fonts_);
  if (&settings != settings_ || size != size_) {
    settings_ = nullptr; // until the faces are set, should opening one stop
    faces_ = GlyphFaces::open(fonts_, settings, size);
    settings_ = &settings;
    size_ = size;
  }
  return faces_;
}

SizeJob::SizeJob(const Glyphmint &settings, const CodeSequence &codes, int size, u64 step,
                 RunCut &cut, int threads)
    : settings_(settings), codes_(codes), size_(size), step_(step), cut_(cut), threads_(threads) {}

u64 SizeJob::end() const {
  return std::min(stop_at_.load(), codes_.count());
}

void SizeJob::load(WorkerFaces &faces, GlyphRange &range) {
  LogLines lines;
  Failure failure;
  const GlyphFaces *sized = nullptr;
  if (!captured(lines, failure, [&] { sized = &faces.at_size(settings_, size_); }))
    return fail_loading(0, lines, failure);
  const u64 max_area = u64{k_atlas_max_width} * k_atlas_max_height;
  for (u64 k = 0; k < range.count; ++k) {
    const u64 i = range.first + k;
    if (i >= stop_at_.load() || abandoned()) return;
    CellBudget budget;
    const bool loaded =
        captured(lines, failure, [&] { range.glyphs.append(load_one(*sized, i, &budget)); });
    range.areas[k] = budget.area;
    if (!loaded) return fail_loading(i + 1, lines, failure);
    raise(loaded_end_, i + 1);
    // The cells counted so far all lie before loaded_end_ and cannot fit
    // together: the one-by-one load stops before it, so nothing after it is needed.
    if (area_.fetch_add(budget.area) + budget.area > max_area) {
      lower(stop_at_, loaded_end_.load());
      cut_.at(step_);
    }
  }
}

RasterGlyph SizeJob::load_one(const GlyphFaces &faces, u64 i, CellBudget *budget) const {
  if (i >= codes_.code_count()) {
    const GlyphId id = codes_.other(i);
    const SizedFace &face = faces.font(id.font);
    // A fallback only gives other glyphs after its code points, whose
    // loading stops first when it cannot take the size.
    check_ft(face.unsized);
    RasterGlyph glyph =
        rasterise_glyph_index(face.face, id.index, face.style, budget, FieldTiming::Later);
    glyph.code = GM_FNT_NO_CODE;
    glyph.font_number = id.font;
    return glyph;
  }
  const int code = codes_.at(i);
  const SizedFace &face = faces.supplier(code);
  // Fields are made as the atlas is drawn, beside its encoding.
  RasterGlyph glyph = rasterise_glyph(face.face, code, face.style, budget, FieldTiming::Later);
  glyph.font_number = faces.font_number(face);
  return glyph;
}

void SizeJob::fail_loading(u64 position, LogLines &lines, Failure &failure) {
  {
    const std::lock_guard lock(failure_mutex_);
    if (position < failed_at_) {
      failed_at_ = position;
      failed_lines_ = static_cast<LogLines &&>(lines);
      load_failure_ = static_cast<Failure &&>(failure);
    }
  }
  lower(stop_at_, position);
  cut_.at(step_);
}

bool SizeJob::merge(std::deque<GlyphRange> &ranges, List<RasterGlyph> &glyphs, StepEnd &outcome) {
  const std::lock_guard lock(failure_mutex_);
  const auto fail = [&](LogLines &lines, Failure &failure) {
    outcome.lines = static_cast<LogLines &&>(lines);
    outcome.failure = static_cast<Failure &&>(failure);
    outcome.failed = true;
    return false;
  };
  if (failed_at_ == 0) return fail(failed_lines_, load_failure_);
  const u64 stop = end();
  CellBudget budget;
  for (GlyphRange &range : ranges) {
    u64 k = 0;
    for (; k < range.count && range.first + k < stop; ++k) {
      LogLines lines;
      Failure failure;
      if (!captured(lines, failure, [&] { budget.add(range.areas[k]); }))
        return fail(lines, failure);
      if (range.first + k + 1 == failed_at_) return fail(failed_lines_, load_failure_);
    }
    glyphs.splice_back(range.glyphs, k);
  }
  return true;
}

StepEnd SizeJob::finish(WorkerFaces &faces, std::deque<GlyphRange> &ranges, bool others_idle) {
  StepEnd outcome;
  List<RasterGlyph> glyphs;
  const bool merged = merge(ranges, glyphs, outcome);
  ranges.clear();
  if (merged) {
    outcome.failed = !captured(outcome.lines, outcome.failure, [&] {
      const SizeMetrics metrics = faces.at_size(settings_, size_).main.metrics();
      outcome.files = encode_size(glyphs, metrics, settings_, bake_outputs(settings_.font, size_),
                                  size_, threads_, others_idle);
    });
  }
  if (outcome.failed) cut_.at(step_);
  return outcome;
}

void SizeJob::write(const SizeFiles &files) const {
  write_size_files(bake_outputs(settings_.font, size_), files);
}
