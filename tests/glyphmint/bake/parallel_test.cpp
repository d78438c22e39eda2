// The bake on several threads against the sequential one (GLYPHMINT_JOBS=1):
// the same files, log lines, message and exit status, whatever fails where.
#include "tests/support/support.h"
#include "tools/glyphmint/bake/bake.h"
#include "tools/glyphmint/jobs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace {

// The log lines a bake in this process wrote.
std::string g_log;
void keep_log_line(LogLevel, StrView line) {
  g_log.append(line.data, line.len);
}

// Starts g_threads_left more threads, then fails as std::thread does when
// the system refuses one (ulimit -u).
int g_threads_left = 0;
std::thread start_some(std::function<void()> work) {
  if (g_threads_left-- <= 0) throw std::system_error(EAGAIN, std::generic_category());
  return std::thread(static_cast<std::function<void()> &&>(work));
}

using support::RunResult;

// Everything a run shows: how it ended, its log without timestamps, and
// every file of the fonts directory with its bytes.
struct Seen {
  RunResult run;
  std::vector<std::string> log;
  std::map<std::string, std::string> files;
};

// A fonts directory of settings files, given in the order the walk must meet
// them (the names are made first and their listing order read back).
class FontsDir {
public:
  explicit FontsDir(const std::vector<std::string> &settings) {
    dir_ = scratch_.path() + "/fonts";
    std::filesystem::create_directory(dir_);
    std::filesystem::copy_file(support::k_sans, dir_ + "/Sans.ttf");
    std::filesystem::copy_file(support::k_mono, dir_ + "/Mono.ttf");
    for (std::size_t i = 0; i < settings.size(); ++i)
      support::write_file(dir_ + "/" + std::string(1, char('a' + i)) + ".glyphmint.ini", "");
    std::size_t next = 0;
    for (const std::string &name : support::listing_order(dir_))
      if (name.ends_with(".glyphmint.ini"))
        support::write_file(dir_ + "/" + name, settings[next++]);
    inputs_ = support::tree(dir_);
  }

  // Bakes with the variable set, then removes the outputs for the next run.
  Seen bake(const char *jobs) {
    setenv("GLYPHMINT_JOBS", jobs, 1);
    Seen seen{
        support::run_program(GLYPHMINT_EXE, {"--dir=" + dir_}, scratch_.path(), scratch_.path()),
        {},
        {}};
    unsetenv("GLYPHMINT_JOBS");
    seen.log = support::log_lines(seen.run.out);
    take_files(seen);
    return seen;
  }

  // Bakes in this process on `jobs` threads, of which the system lets
  // `started` start beside the calling one.
  Seen bake_here(int jobs, int started) {
    Seen seen{{}, {}, {}};
    seen.run.exited = true;
    seen.run.exit_code = 0;
    g_log.clear();
    g_threads_left = started;
    try {
      FontLibrary fonts;
      bake_dir(Path(dir_.c_str()), fonts, jobs, start_some);
    } catch (const Err &e) {
      seen.run.exit_code = 1;
      seen.run.err = std::string(e.message.data, e.message.len) + "\n";
    }
    seen.log = support::log_lines(g_log);
    take_files(seen);
    return seen;
  }

private:
  // Every file's bytes, the outputs then removed for the next run.
  void take_files(Seen &seen) {
    for (const std::string &name : support::tree(dir_)) {
      seen.files[name] = support::read_file(dir_ + "/" + name);
      if (inputs_.count(name) == 0) std::filesystem::remove_all(dir_ + "/" + name);
    }
  }

  support::ScratchDir scratch_;
  std::string dir_;
  std::set<std::string> inputs_;
};

void expect_same(const Seen &threads, const Seen &one) {
  EXPECT_EQ(threads.run.exited, one.run.exited) << threads.run;
  EXPECT_EQ(threads.run.exit_code, one.run.exit_code) << threads.run;
  EXPECT_EQ(threads.run.signal, one.run.signal) << threads.run;
  EXPECT_EQ(threads.run.err, one.run.err);
  EXPECT_EQ(threads.log, one.log);
  ASSERT_EQ(threads.files.size(), one.files.size()) << "files on disk differ";
  for (const auto &[name, bytes] : one.files) {
    const auto found = threads.files.find(name);
    ASSERT_NE(found, threads.files.end()) << name;
    EXPECT_EQ(support::first_difference(found->second, bytes), "") << name;
  }
}

const std::string k_fits = "path = Sans.ttf\nsizes = [12, 20]\nranges = [32-126]\nchars = [65]\n";

TEST(ParallelBake, LooksLikeTheSequentialBake) {
  FontsDir dir({
      k_fits,
      "path = Mono.ttf\nsizes = [10, 16]\nranges = [32-126, 160-255]\nchars = []\nrender = mono\n",
      "path = Sans.ttf\nsizes = [16, 28]\nranges = [48-90]\nchars = [8364]\nrender = sdf\n"
      "spread = 6\n",
      "path = Sans.ttf\nsizes = []\nranges = [32-126]\nchars = []\n",
      "path = Mono.ttf\nsizes = [40, 9]\nranges = [100-90]\nchars = [66, 66, 65]\n",
      "path = Sans.ttf\nsizes = [20]\nranges = [65-90]\nchars = []\nrender = msdf\n",
      "path = Sans.ttf\nsizes = [24]\nranges = [97-122]\nchars = []\nrender = mtsdf\n",
      "path = Sans.ttf\nsizes = [18]\nranges = [32-126]\nchars = []\nrender = color\n",
  });
  const Seen one = dir.bake("1");
  EXPECT_EQ(one.run.exit_code, 0) << one.run;
  expect_same(dir.bake("4"), one);
}

TEST(ParallelBake, TheFirstFailureOfTheSequentialBakeIsTheOneSeen) {
  // The second file fails; the third would fail otherwise, and never may.
  const std::string third = "path = Sans.ttf\nsizes = [14]\nranges = [32-126]\nchars = [2]\n";
  const std::string seconds[] = {
      "path = Sans.ttf\nsizes = [18, 24]\nranges = [32-126]\nchars = [66, 1, 67]\n",
      "path = Sans.ttf\nsizes = [18, 700, 24]\nranges = [32-126]\nchars = []\n",
      // Fields are made after packing; their budget still stops the load.
      "path = Sans.ttf\nsizes = [18, 700, 24]\nranges = [32-126]\nchars = []\nrender = msdf\n",
      "path = Sans.ttf\nsizes = [18, 24 ]\nranges = [32-126]\nchars = []\n",
      "path = Missing.ttf\nsizes = [18]\nranges = [32-126]\nchars = []\n",
  };
  for (const std::string &second : seconds) {
    SCOPED_TRACE(second);
    FontsDir dir({k_fits, second, third});
    const Seen one = dir.bake("1");
    EXPECT_NE(one.run.exit_code, 0) << one.run;
    expect_same(dir.bake("4"), one);
  }
}

TEST(ParallelBake, ThreadsTheSystemRefusesAreDoneWithout) {
  // The first refusal ended the run with "terminate called"; the bake goes
  // on with the threads it has, down to the calling thread alone.
  log_add_handler(keep_log_line);
  FontsDir dir({k_fits,
                "path = Mono.ttf\nsizes = [10, 16]\nranges = [32-126]\nchars = []\nrender = mono\n",
                "path = Sans.ttf\nsizes = [14 ]\nranges = [32-126]\nchars = []\n"});
  const Seen alone = dir.bake_here(1, 0);
  EXPECT_EQ(alone.run.err, "Cannot parse string: [14 ]\n");
  for (const int started : {0, 1, 2}) {
    SCOPED_TRACE(std::to_string(started) + " of 3 threads started");
    expect_same(dir.bake_here(4, started), alone);
  }
}

TEST(ParallelBake, OnlyAThreadCountFrom1To256IsTaken) {
  FontsDir dir({k_fits});
  const char *const refused[] = {"0", "257", "-1", "", " 4", "4x", "1.5", "two"};
  for (const char *value : refused) {
    SCOPED_TRACE(std::string("GLYPHMINT_JOBS=") + value);
    const Seen seen = dir.bake(value);
    EXPECT_TRUE(seen.run.exited && seen.run.exit_code == 1) << seen.run;
    EXPECT_EQ(seen.run.err, "Cannot parse string: " + std::string(value) +
                                " (GLYPHMINT_JOBS is an integer from 1 to 256)\n");
    EXPECT_EQ(seen.run.out, "");
    EXPECT_EQ(seen.files.size(), 3u) << "something was written";
  }
  for (const char *value : {"+2", "256"}) EXPECT_EQ(dir.bake(value).run.exit_code, 0) << value;
}

TEST(ParallelBake, ACgroupQuotaRoundsUp) {
  const std::pair<const char *, int> rows[] = {{"max 100000\n", 0},  {"200000 100000\n", 2},
                                               {"150000 100000", 2}, {"50000 100000\n", 1},
                                               {"100000 0\n", 0},    {"", 0}};
  for (const auto &[text, cpus] : rows) EXPECT_EQ(cpu_quota_limit(StrView(text)), cpus) << text;
}

} // namespace
