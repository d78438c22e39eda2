#include "tools/glyphmint/bake/bake.h"

#include "shared/threads.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

namespace {

// Glyphs a worker claims at once: few enough that the last size's glyphs
// spread over every thread, enough that claiming costs nothing.
constexpr u64 k_range = 16;

// One step of the run, in the walk's order: a settings file's start (its
// "processing" line and the reading of its settings), one size of it, or
// the failure of the walk itself.
struct Step {
  u64 index = 0;
  std::unique_ptr<SizeJob> job; // set for a size
  // How much work the size is next to the others: glyphs times their area,
  // which the rasterising and the atlas's encoding both grow with.
  double cost = 0;

  StepEnd outcome; // written by the thread that completes the step, read by the writer once ready
  bool ready = false;

  // The claims, under the run's mutex: none of them is needed by the job.
  bool claimed = false; // a first range was
  u64 next = 0;         // the first glyph not claimed
  u64 busy = 0;         // ranges being loaded
  std::deque<GlyphRange> ranges;
};

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
  int jobs = 1; // the run's threads: with one, each size is encoded on the thread finishing it
  RunCut cut;
  std::deque<Step> steps;
  std::deque<Glyphmint> settings;
  std::deque<CodeSequence> codes;

  void add_dir(const Path &dir) {
    SettingsLister lister;
    StepEnd walk;
    walk.failed =
        !captured(walk.lines, walk.failure, [&] { dir.visit_dir(lister, FsDirMode::Default); });
    for (const Path &path : lister.files)
      if (!add_file(path)) return;
    if (walk.failed) add_step().outcome = static_cast<StepEnd &&>(walk);
  }

  bool add_file(const Path &path) {
    Step &start = add_step();
    Glyphmint read;
    std::vector<GlyphId> others;
    start.outcome.failed = !captured(start.outcome.lines, start.outcome.failure, [&] {
      log_info("processing ", path);
      read = read_settings(path);
      // Once for all sizes: which glyphs shaping can produce does not depend on the size.
      if (read.shaped && !read.sizes.empty()) others = shaping_glyphs(read);
    });
    if (start.outcome.failed) return false;
    const Glyphmint &kept = settings.emplace_back(static_cast<Glyphmint &&>(read));
    const CodeSequence &sequence =
        codes.emplace_back(kept, static_cast<std::vector<GlyphId> &&>(others));
    for (const int size : kept.sizes) {
      Step &step = add_step();
      step.job = std::make_unique<SizeJob>(kept, sequence, size, step.index, cut, jobs);
      step.cost = double(sequence.count()) * double(size) * double(size);
      step.ready = false;
    }
    return true;
  }

  Step &add_step() {
    Step &step = steps.emplace_back();
    step.index = steps.size() - 1;
    step.ready = true;
    return step;
  }
};

class BakeRun {
public:
  BakeRun(Plan &plan, int jobs, StartThread start) : plan_(plan), window_(2 * u64(jobs) + 2) {
    for (int i = 1; i < jobs; ++i) {
      try {
        workers_.push_back(start([this] { work(); }));
      } catch (const std::system_error &) {
        break; // the threads started so far do the work, or the calling thread alone
      }
    }
  }

  ~BakeRun() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    plan_.cut.at(0);
    work_cv_.notify_all();
    for (std::thread &worker : workers_) worker.join();
  }

  BakeRun(const BakeRun &) = delete;
  BakeRun &operator=(const BakeRun &) = delete;

  // The calling thread: each step in order, worked on until it is ready,
  // its lines replayed, its pair written; the first failure ends the run as
  // the one-by-one bake would.
  void write_all(WorkerFaces &faces) {
    for (Step &step : plan_.steps) {
      {
        std::unique_lock lock(mutex_);
        while (!step.ready) {
          // Nothing becomes claimable while this thread waits: only its
          // writing moves the window.
          if (Step *claimable = pick(&step))
            run_range(faces, *claimable, lock);
          else
            ready_cv_.wait(lock);
        }
      }
      step.outcome.lines.replay();
      if (step.outcome.failed) {
        if (step.outcome.failure.critical) std::abort();
        throw Err(step.outcome.failure.message.view());
      }
      if (step.job) {
        {
          const std::lock_guard lock(mutex_);
          ++working_;
        }
        step.job->write(step.outcome.files);
        step.outcome.files = SizeFiles();
      }
      {
        const std::lock_guard lock(mutex_);
        if (step.job) --working_;
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
  int working_ = 0; // threads loading, finishing or writing
  bool stopping_ = false;
  std::vector<std::thread> workers_;

  void work();
  [[nodiscard]] bool claimable(const Step &step) const;
  [[nodiscard]] Step *pick(Step *wanted);
  void run_range(WorkerFaces &faces, Step &step, std::unique_lock<std::mutex> &lock);
};

void BakeRun::work() {
  FontLibrary fonts;
  WorkerFaces faces(fonts);
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (Step *step = pick(nullptr))
      run_range(faces, *step, lock);
    else if (claim_from_ >= plan_.steps.size())
      return;
    else
      work_cv_.wait(lock);
  }
}

bool BakeRun::claimable(const Step &step) const {
  return step.job && !plan_.cut.passed(step.index) &&
         (!step.claimed || step.next < step.job->end());
}

// `wanted` when it has glyphs left to claim, else the costliest size near
// enough to the writer that has: the largest sizes start first, so that no
// long one is left to finish alone. Null when there is none now.
Step *BakeRun::pick(Step *wanted) {
  while (claim_from_ < plan_.steps.size() && !claimable(plan_.steps[claim_from_])) ++claim_from_;
  if (wanted != nullptr && claimable(*wanted)) return wanted;
  Step *costliest = nullptr;
  const u64 window_end = std::min<u64>(plan_.steps.size(), written_ + window_);
  for (u64 i = claim_from_; i < window_end; ++i) {
    Step &step = plan_.steps[i];
    if (claimable(step) && (costliest == nullptr || step.cost > costliest->cost)) costliest = &step;
  }
  return costliest;
}

// Claims the step's next range and loads it, then, when it was the last one
// needed, finishes the step. Called and returns with the lock held.
void BakeRun::run_range(WorkerFaces &faces, Step &step, std::unique_lock<std::mutex> &lock) {
  const u64 first = step.next;
  const u64 end = step.job->end(); // a failure may have lowered it since the pick
  GlyphRange &range =
      step.ranges.emplace_back(first, end > first ? std::min(k_range, end - first) : 0);
  step.next = first + range.count;
  step.claimed = true;
  ++step.busy;
  ++working_;
  lock.unlock();
  step.job->load(faces, range);
  lock.lock();
  --working_;
  if (--step.busy != 0 || stopping_ || step.next < step.job->end() || plan_.cut.passed(step.index))
    return;
  // Idle now and nothing they could claim: a processor is free for the
  // encoding's second thread.
  const bool others_idle = working_ == 0 && pick(nullptr) == nullptr;
  ++working_;
  lock.unlock();
  StepEnd finished = step.job->finish(faces, step.ranges, others_idle);
  lock.lock();
  --working_;
  step.outcome = static_cast<StepEnd &&>(finished);
  step.ready = true;
  ready_cv_.notify_all();
}

void run(Plan &plan, FontLibrary &fonts, int jobs, StartThread start) {
  WorkerFaces faces(fonts);
  BakeRun bake(plan, jobs, start);
  bake.write_all(faces);
}

} // namespace

std::thread start_thread(std::function<void()> work) {
  // The run's threads start together, while no other is working.
  return start_beside<std::thread>(static_cast<std::function<void()> &&>(work));
}

void bake_dir(const Path &dir, FontLibrary &fonts, int jobs, StartThread start) {
  Plan plan;
  plan.jobs = jobs;
  plan.add_dir(dir);
  run(plan, fonts, jobs, start);
}

void bake_settings_file(FontLibrary &fonts, const Path &settings_file) {
  Plan plan;
  plan.add_file(settings_file);
  run(plan, fonts, 1, start_thread);
}

bool is_settings_file(const Path &path, FsType type) {
  return type == FsType::File && path.ext() == StrView(".glyphmint.ini");
}
