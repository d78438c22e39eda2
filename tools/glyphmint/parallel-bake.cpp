#include "tools/glyphmint/parallel-bake.h"

#include "core/log.h"
#include "tools/glyphmint/atlas.h"
#include "tools/glyphmint/bake.h"
#include "tools/glyphmint/glyph-faces.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Glyphs a worker claims at once: few enough that the last size's glyphs
// spread over every thread, enough that claiming costs nothing.
constexpr u64 k_chunk = 16;
constexpr u64 k_none = ~u64{0};

// How a step of the run failed: a fatal stop, whose CRIT line is the last
// one kept, or an Err and its message.
struct Failure {
  bool critical = false;
  Str message;
};

// Runs `work` with this thread's log lines kept in `lines`; false, with the
// failure, when it stopped the run.
template <typename Work> bool captured(LogLines &lines, Failure &failure, Work &&work) {
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

// The glyphs of one claim, [first, first + glyphs.size()), with the cell
// area each one's own budget took.
struct Chunk {
  u64 first = 0;
  std::vector<RasterGlyph> glyphs;
  std::vector<u64> areas;
};

// One step of the sequential run, in its order: a settings file's start (its
// "processing" line and the reading of its settings), one size of it, or
// the failure of the walk itself.
struct Step {
  u64 index = 0;
  const Glyphmint *settings = nullptr; // set for a size
  const CodeSequence *codes = nullptr;
  int size = 0;

  // Written by the thread that completes the step, read by the writer once ready.
  LogLines lines;
  bool failed = false;
  Failure failure;
  SizeFiles files;
  bool ready = false; // under the mutex

  // Loading, under the mutex but for the atomics.
  bool claimed = false;     // a first chunk was
  std::atomic<u64> next{0}; // the first glyph not claimed
  u64 busy = 0;             // claims being loaded
  std::deque<Chunk> chunks;
  std::atomic<u64> stop_at{k_none}; // no glyph from here on is needed
  std::atomic<u64> area{0};         // of every cell loaded so far, in any order
  u64 failed_at = k_none;           // the earliest failure: 0 the face, i + 1 glyph i
  LogLines failed_lines;
  Failure load_failure;

  [[nodiscard]] u64 end() const {
    const u64 stop = stop_at.load();
    const u64 count = codes->count();
    return stop < count ? stop : count;
  }
};

void lower(std::atomic<u64> &value, u64 to) {
  u64 now = value.load();
  while (to < now && !value.compare_exchange_weak(now, to)) {
  }
}

// The walk's settings files, in its order.
struct SettingsLister : IFileVisitor {
  std::vector<Path> files;
  [[nodiscard]] bool visit(const Path &path, FsType type) override {
    if (is_settings_file(path, type)) files.push_back(path);
    return true;
  }
};

// Every step of the run up to the first that is certain to fail: the walk
// and the settings files are read before anything is baked.
struct Plan {
  std::deque<Step> steps;
  std::deque<Glyphmint> settings;
  std::deque<CodeSequence> codes;

  explicit Plan(const Path &dir) {
    SettingsLister lister;
    LogLines walk_lines;
    Failure walk_failure;
    const bool walked =
        captured(walk_lines, walk_failure, [&] { dir.visit_dir(lister, FsDirMode::Default); });
    for (const Path &path : lister.files)
      if (!add_file(path)) return;
    if (!walked) {
      Step &step = add_step();
      step.lines = static_cast<LogLines &&>(walk_lines);
      step.failed = true;
      step.failure = static_cast<Failure &&>(walk_failure);
    }
  }

  Step &add_step() {
    Step &step = steps.emplace_back();
    step.index = steps.size() - 1;
    step.ready = true;
    return step;
  }

  bool add_file(const Path &path) {
    Step &start = add_step();
    Glyphmint read;
    start.failed = !captured(start.lines, start.failure, [&] {
      log_info("processing ", path);
      read = read_settings(path);
    });
    if (start.failed) return false;
    const Glyphmint &kept = settings.emplace_back(static_cast<Glyphmint &&>(read));
    const CodeSequence &sequence = codes.emplace_back(kept);
    for (const int size : kept.sizes) {
      Step &step = add_step();
      step.settings = &kept;
      step.codes = &sequence;
      step.size = size;
      step.ready = false;
    }
    return true;
  }
};

// A worker's own FreeType library and faces, and the faces it last set a size on.
struct WorkerFonts {
  FontLibrary fonts;
  const Glyphmint *settings = nullptr;
  int size = 0;
  GlyphFaces faces;

  const GlyphFaces &at_size(const Glyphmint &wanted, int pixels) {
    require_started(fonts);
    if (&wanted != settings || pixels != size) {
      settings = nullptr; // until the faces are set, should opening one stop
      faces = GlyphFaces::open(fonts, wanted, pixels);
      settings = &wanted;
      size = pixels;
    }
    return faces;
  }
};

class ParallelBake {
public:
  ParallelBake(Plan &plan, int threads) : plan_(plan), window_(2 * u64(threads) + 2) {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  }

  ~ParallelBake() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    cut_.store(0);
    work_cv_.notify_all();
    for (std::thread &worker : workers_) worker.join();
  }

  ParallelBake(const ParallelBake &) = delete;
  ParallelBake &operator=(const ParallelBake &) = delete;

  // The writer: each step in order, its lines replayed, its pair written;
  // the first failure ends the run as the sequential run would.
  void write_all() {
    for (Step &step : plan_.steps) {
      {
        std::unique_lock lock(mutex_);
        ready_cv_.wait(lock, [&] { return step.ready; });
      }
      step.lines.replay();
      if (step.failed) {
        if (step.failure.critical) std::abort();
        throw Err(step.failure.message.view());
      }
      if (step.settings != nullptr) {
        write_size_files(bake_outputs(step.settings->font, step.size), step.files);
        step.files = SizeFiles();
      }
      {
        const std::lock_guard lock(mutex_);
        written_ = step.index + 1;
      }
      work_cv_.notify_all();
    }
  }

private:
  Plan &plan_;
  const u64 window_; // steps past the writer's that may be worked on
  std::mutex mutex_;
  std::condition_variable work_cv_;
  std::condition_variable ready_cv_;
  u64 claim_from_ = 0; // no step before it has anything left to claim
  u64 written_ = 0;
  bool stopping_ = false;
  std::atomic<u64> cut_{k_none}; // a step certain to fail: nothing after it counts
  std::vector<std::thread> workers_;

  [[nodiscard]] bool abandoned(const Step &step) const {
    return step.index > cut_.load(std::memory_order_relaxed);
  }

  void work();
  [[nodiscard]] bool claim(std::unique_lock<std::mutex> &lock, Step *&step, Chunk *&chunk);
  void load(WorkerFonts &fonts, Step &step, Chunk &chunk);
  void fail_loading(Step &step, u64 position, LogLines &lines, Failure &failure);
  void finish(WorkerFonts &fonts, Step &step);
  [[nodiscard]] bool merge(Step &step, List<RasterGlyph> &glyphs);
};

void ParallelBake::work() {
  WorkerFonts fonts;
  std::unique_lock lock(mutex_);
  Step *step = nullptr;
  Chunk *chunk = nullptr;
  while (claim(lock, step, chunk)) {
    lock.unlock();
    load(fonts, *step, *chunk);
    lock.lock();
    if (--step->busy != 0 || stopping_ || step->next.load() < step->end() || abandoned(*step))
      continue;
    lock.unlock();
    finish(fonts, *step);
    lock.lock();
    step->ready = true;
    ready_cv_.notify_all();
  }
}

// How much work a size is, next to the others: glyphs times their area,
// which the rasterising and the atlas's encoding both grow with.
double cost(const Step &step) {
  return double(step.codes->count()) * double(step.size) * double(step.size);
}

// The next chunk of the costliest size near enough to the writer that has
// glyphs left to claim: the largest sizes start first, so that no long one
// is left to finish alone. False when nothing is left or the run is stopping.
bool ParallelBake::claim(std::unique_lock<std::mutex> &lock, Step *&step, Chunk *&chunk) {
  const auto claimable = [&](const Step &s) {
    return s.settings != nullptr && !abandoned(s) && (!s.claimed || s.next.load() < s.end());
  };
  for (;;) {
    if (stopping_) return false;
    while (claim_from_ < plan_.steps.size() && !claimable(plan_.steps[claim_from_])) ++claim_from_;
    if (claim_from_ >= plan_.steps.size()) return false;
    step = nullptr;
    const u64 window_end = std::min<u64>(plan_.steps.size(), written_ + window_);
    for (u64 i = claim_from_; i < window_end; ++i)
      if (claimable(plan_.steps[i]) && (step == nullptr || cost(plan_.steps[i]) > cost(*step)))
        step = &plan_.steps[i];
    if (step != nullptr) break;
    work_cv_.wait(lock);
  }
  const u64 first = step->next.load();
  const u64 end = step->end(); // a failure may have lowered it since
  const u64 count = end > first ? std::min(k_chunk, end - first) : 0;
  chunk = &step->chunks.emplace_back();
  chunk->first = first;
  chunk->glyphs.resize(count);
  chunk->areas.assign(count, 0);
  step->next.store(first + count);
  step->claimed = true;
  ++step->busy;
  return true;
}

void ParallelBake::load(WorkerFonts &fonts, Step &step, Chunk &chunk) {
  LogLines lines;
  Failure failure;
  const GlyphFaces *faces = nullptr;
  if (!captured(lines, failure, [&] { faces = &fonts.at_size(*step.settings, step.size); }))
    return fail_loading(step, 0, lines, failure);
  const u64 max_area = u64{k_atlas_max_width} * k_atlas_max_height;
  for (u64 k = 0; k < chunk.glyphs.size(); ++k) {
    const u64 i = chunk.first + k;
    if (i >= step.stop_at.load() || abandoned(step)) return;
    CellBudget budget;
    const bool loaded = captured(lines, failure, [&] {
      const int code = step.codes->at(i);
      const SizedFace &face = faces->supplier(code);
      chunk.glyphs[k] = rasterise_glyph(face.face, code, face.style, &budget);
    });
    chunk.areas[k] = budget.area;
    if (!loaded) return fail_loading(step, i + 1, lines, failure);
    // Every cell so far lies before the claimed end, and together they cannot
    // fit: the sequential run stops before it, so nothing after it is needed.
    if (step.area.fetch_add(budget.area) + budget.area > max_area) {
      lower(step.stop_at, step.next.load());
      lower(cut_, step.index);
    }
  }
}

void ParallelBake::fail_loading(Step &step, u64 position, LogLines &lines, Failure &failure) {
  {
    const std::lock_guard lock(mutex_);
    if (position < step.failed_at) {
      step.failed_at = position;
      step.failed_lines = static_cast<LogLines &&>(lines);
      step.load_failure = static_cast<Failure &&>(failure);
    }
  }
  lower(step.stop_at, position);
  lower(cut_, step.index);
}

// The loaded glyphs in load order, their cells counted as the sequential
// budget counts them; false at the first failure that run meets.
bool ParallelBake::merge(Step &step, List<RasterGlyph> &glyphs) {
  const auto fail = [&](LogLines &lines, Failure &failure) {
    step.lines = static_cast<LogLines &&>(lines);
    step.failure = static_cast<Failure &&>(failure);
    step.failed = true;
    return false;
  };
  if (step.failed_at == 0) return fail(step.failed_lines, step.load_failure);
  const u64 end = step.end();
  CellBudget budget;
  for (Chunk &chunk : step.chunks) {
    for (u64 k = 0; k < chunk.glyphs.size() && chunk.first + k < end; ++k) {
      LogLines lines;
      Failure failure;
      if (!captured(lines, failure, [&] { budget.add(chunk.areas[k]); }))
        return fail(lines, failure);
      if (chunk.first + k + 1 == step.failed_at) return fail(step.failed_lines, step.load_failure);
      glyphs.append(static_cast<RasterGlyph &&>(chunk.glyphs[k]));
    }
  }
  return true;
}

void ParallelBake::finish(WorkerFonts &fonts, Step &step) {
  List<RasterGlyph> glyphs;
  const bool merged = merge(step, glyphs);
  step.chunks.clear();
  if (!merged) return;
  step.failed = !captured(step.lines, step.failure, [&] {
    const SizeMetrics metrics = fonts.at_size(*step.settings, step.size).main.metrics();
    step.files = encode_size(glyphs, metrics, *step.settings,
                             bake_outputs(step.settings->font, step.size), step.size);
  });
  if (step.failed) lower(cut_, step.index);
}

} // namespace

void bake_dir_in_parallel(const Path &dir, int threads) {
  Plan plan(dir);
  ParallelBake bake(plan, threads);
  bake.write_all();
}
