// Hostile input, end to end: the built binary is run on settings files,
// fonts and directories that a careless or malicious user could hand it. Each
// run must end in one of the tool's three outcomes, bounded in memory, and
// leave alone every file it has no business writing:
//   - "Done!" as the last log line and exit status 0;
//   - an Err: status 1 and its message as the one line on stderr;
//   - a fatal stop: a CRIT line as the last line on stdout, then SIGABRT.
#include "tests/support/support.h"

#include <random>

// The suite's own freed memory would otherwise stay resident in
// AddressSanitizer's quarantine (256 MiB by default) and, through fork, count
// towards the peak resident size of every later run. Read only by sanitizer
// builds; the tool's own runs keep their defaults.
extern "C" const char *__asan_default_options() {
  return "quarantine_size_mb=4";
}

namespace {

using support::RunResult;

const std::string k_exe = GLYPHMINT_EXE;

// The peak resident size that wait4 reports for a run. Linux carries the
// high-water mark of the forked test process across exec, so the test process
// itself stays small: the FreeType oracle below runs in a child of its own.
// Sanitizer runs of these cases peak below 70 MiB (the largest renders a
// full stop of 6753 x 8128 pixels); reading or rasterising without bound
// goes far beyond the limit. Above the hard limit the run is killed outright.
constexpr long k_rss_limit_kib = 256 * 1024;
constexpr long k_rss_kill_kib = 2 * 1024 * 1024;

/// A scratch fonts directory with helpers to fill it and run the tool on it.
class Hostile : public ::testing::Test {
protected:
  support::ScratchDir scratch_; // holds the fonts directory and the captures
  std::string dir_ = scratch_.path() + "/fonts";
  std::string capture_ = scratch_.path() + "/capture";

  void SetUp() override {
    ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(capture_.c_str(), 0755), 0);
  }

  void write(const std::string &name, const std::string &bytes) {
    support::write_file(dir_ + "/" + name, bytes);
  }

  /// A settings file for DejaVu Sans copied in as font.ttf.
  void settings(const std::string &sizes, const std::string &ranges, const std::string &chars) {
    write("font.ttf", support::read_file(support::k_sans));
    write("x.glyphmint.ini", "path = font.ttf\nsizes = " + sizes + "\nranges = " + ranges +
                                 "\nchars = " + chars + "\n");
  }

  [[nodiscard]] RunResult run(const std::vector<std::string> &args) const {
    RunResult r = support::run_program(k_exe, args, scratch_.path(), capture_, 120, k_rss_kill_kib);
    EXPECT_FALSE(r.timed_out) << r;
    EXPECT_FALSE(r.rss_exceeded) << r;
    EXPECT_LT(r.peak_rss_kib, k_rss_limit_kib) << r;
    // A sanitizer report ends the run with status 1 too; it must never be
    // mistaken for an Err.
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r;
    return r;
  }
  [[nodiscard]] RunResult run() const { return run({"--dir", dir_}); }

  [[nodiscard]] std::set<std::string> listing() const { return support::tree(dir_); }
};

std::vector<std::string> lines_of(const RunResult &r) {
  return support::log_lines(r.out);
}

void expect_done(const RunResult &r) {
  EXPECT_TRUE(r.exited && r.exit_code == 0) << r;
  const auto lines = lines_of(r);
  ASSERT_FALSE(lines.empty()) << r;
  EXPECT_EQ(lines.back(), "info | Done!") << r;
  EXPECT_EQ(r.err, "") << r;
}

void expect_err(const RunResult &r, const std::string &message) {
  EXPECT_TRUE(r.exited && r.exit_code == 1) << r;
  EXPECT_EQ(r.err, message + "\n") << r;
  for (const auto &line : lines_of(r)) EXPECT_NE(line, "info | Done!") << r;
}

void expect_crit(const RunResult &r, const std::string &message) {
  EXPECT_FALSE(r.exited) << r;
  EXPECT_EQ(r.signal, SIGABRT) << r;
  const auto lines = lines_of(r);
  ASSERT_FALSE(lines.empty()) << r;
  EXPECT_EQ(lines.back(), "CRIT | " + message) << r;
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string &l) { return l.rfind("CRIT | ", 0) == 0; }),
            1)
      << r;
}

/// Whether the cell of DejaVu Sans's full stop at pixel height `size` fits
/// the widest and tallest atlas, as FreeType renders it (-1 when unknown).
/// Rendered in a child process: at the largest sizes the bitmap alone is tens
/// of megabytes, which would otherwise stay in this process and be counted
/// in the peak resident size of every later run.
int full_stop_fits(int size) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    support::RefFace face(support::k_sans, size);
    const support::RefGlyph g = face.glyph('.');
    const char answer = face.ok() && g.width + 2 <= 2048 && g.rows + 2 <= 4096 ? '1' : '0';
    (void)!write(fds[1], &answer, 1);
    _exit(0);
  }
  close(fds[1]);
  char answer = 0;
  const bool got = pid > 0 && read(fds[0], &answer, 1) == 1;
  close(fds[0]);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  return got ? answer - '0' : -1;
}

std::string face_failure(int code) {
  return "FT call failed: FT_New_Face(library_, filepathname, 0, &face); reason: " +
         std::to_string(code);
}

// ------------------------------------------------------------ settings files

TEST_F(Hostile, BinaryGarbageSettingsFileEndsWithNoValue) {
  std::mt19937 rng(20240611);
  std::string garbage(64 * 1024, '\0');
  for (char &c : garbage) c = static_cast<char>(rng() & 0xFF);
  write("x.glyphmint.ini", garbage);
  const auto before = listing();
  expect_err(run(), "No value");
  EXPECT_EQ(listing(), before);
}

TEST_F(Hostile, TenMebibyteSettingsFileIsReadInBoundedMemory) {
  std::string text = "path = font.ttf\nsizes = []\nranges = []\nchars = []\n";
  const std::string filler = "; a comment line that the reader must step over without keeping\n"
                             "no equals sign on this line either, so nothing is stored\n";
  while (text.size() < 10u * 1024 * 1024) text += filler;
  write("x.glyphmint.ini", text);
  const auto before = listing();
  const RunResult r = run();
  expect_done(r);
  EXPECT_EQ(listing(), before); // an empty sizes list bakes nothing
}

TEST_F(Hostile, FifoNamedLikeSettingsIsSkippedWithoutBlocking) {
  // Opening a FIFO for reading would wait for a writer forever.
  ASSERT_EQ(mkfifo((dir_ + "/x.glyphmint.ini").c_str(), 0644), 0);
  const auto before = listing();
  const RunResult r = run();
  expect_done(r);
  for (const auto &line : lines_of(r)) EXPECT_EQ(line.find("processing"), std::string::npos) << r;
  EXPECT_EQ(listing(), before);
}

TEST_F(Hostile, DirectoryNamedLikeSettingsIsSkipped) {
  ASSERT_EQ(mkdir((dir_ + "/x.glyphmint.ini").c_str(), 0755), 0);
  // A settings file inside it is below the fonts directory and not read.
  write("x.glyphmint.ini/y.glyphmint.ini", "garbage");
  const auto before = listing();
  const RunResult r = run();
  expect_done(r);
  EXPECT_EQ(lines_of(r).size(), 2u) << r; // "Fonts dir: ..." and "Done!"
  EXPECT_EQ(listing(), before);
}

TEST_F(Hostile, TenThousandNonMatchingFilesAreWalkedPast) {
  // Names that come close to the settings suffix without having it.
  const char *const kinds[] = {"f%05d.ini",           "f%05d.glyphmint.ini.bak",
                               "f%05d.GLYPHMINT.INI", "f.%05d.glyphmint.ini",
                               "f%05d.glyphmint",     "f%05d"};
  for (int i = 0; i < 10000; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, kinds[i % 6], i);
    const int fd = open((dir_ + "/" + name).c_str(), O_CREAT | O_WRONLY | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << name;
    close(fd);
  }
  const auto before = listing();
  const RunResult r = run();
  expect_done(r);
  EXPECT_EQ(lines_of(r).size(), 2u) << r;
  EXPECT_EQ(listing(), before);
}

// ------------------------------------------------------------------- paths

TEST_F(Hostile, OverlongPathsEndWithAnErr) {
  // Nested directories give absolute paths beyond what a platform call takes.
  std::string deep = dir_;
  while (deep.size() < 470) {
    deep += "/" + std::string(std::min<size_t>(60, 470 - deep.size()), 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << deep;
  }
  ASSERT_LT(deep.size(), 509u);

  const auto fonts_tree = [&] { return support::tree(dir_); };

  // The fonts directory itself is too long for a platform call.
  const std::string long_dir = deep + "/" + std::string(600 - deep.size() - 1, 'e');
  ASSERT_EQ(long_dir.size(), 600u);
  ASSERT_EQ(mkdir(long_dir.c_str(), 0755), 0);
  auto before = fonts_tree();
  expect_err(run({"--dir", long_dir}), "Path " + long_dir + " is too large to fit in OsPath");
  EXPECT_EQ(fonts_tree(), before);
  ASSERT_EQ(rmdir(long_dir.c_str()), 0);

  // The directory fits; the settings file in it, at 600 characters, does not.
  const std::string suffix = ".glyphmint.ini";
  const std::string long_file =
      deep + "/" + std::string(600 - deep.size() - 1 - suffix.size(), 's') + suffix;
  ASSERT_EQ(long_file.size(), 600u);
  support::write_file(long_file, "sizes = []\nranges = []\nchars = []\n");
  before = fonts_tree();
  expect_err(run({"--dir", deep}), "Path " + long_file + " is too large to fit in OsPath");
  EXPECT_EQ(fonts_tree(), before);
}

// ------------------------------------------------------------------- fonts

TEST_F(Hostile, EmptyFontFileIsAFatalStop) {
  settings("[16]", "[65-70]", "[]");
  write("font.ttf", "");
  const int code = support::ft_open_error(dir_ + "/font.ttf");
  ASSERT_NE(code, 0);
  const auto before = listing();
  expect_crit(run(), face_failure(code));
  EXPECT_EQ(listing(), before);
}

TEST_F(Hostile, TruncatedFontIsAFatalStopOrAFullBake) {
  const std::string font = support::read_file(support::k_sans);
  ASSERT_GT(font.size(), 100000u);
  for (const size_t len : {size_t{1}, size_t{12}, size_t{100}, size_t{1000}, size_t{10000},
                           font.size() / 2, font.size() - 1}) {
    SCOPED_TRACE("truncated at " + std::to_string(len));
    support::ScratchDir fresh;
    const std::string dir = fresh.path() + "/fonts";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    support::write_file(dir + "/font.ttf", font.substr(0, len));
    support::write_file(dir + "/x.glyphmint.ini",
                        "path = font.ttf\nsizes = [16]\nranges = [65-70]\nchars = []\n");
    const auto before = support::tree(dir);
    const RunResult r = run({"--dir", dir});
    const int code = support::ft_open_error(dir + "/font.ttf");
    if (code != 0) {
      expect_crit(r, face_failure(code));
      EXPECT_EQ(support::tree(dir), before);
      continue;
    }
    // FreeType reads tables lazily, so a font cut late may still open; then
    // either a later FreeType call fails or every glyph bakes.
    if (r.exited) {
      expect_done(r);
      auto after = before;
      after.insert("font-16.png");
      after.insert("font-16.fnt");
      EXPECT_EQ(support::tree(dir), after);
    } else {
      EXPECT_EQ(r.signal, SIGABRT) << r;
      const auto lines = lines_of(r);
      ASSERT_FALSE(lines.empty()) << r;
      const bool known = lines.back().rfind("CRIT | FT call failed: ", 0) == 0 ||
                         lines.back().rfind("CRIT | No character ", 0) == 0;
      EXPECT_TRUE(known) << r;
      EXPECT_EQ(support::tree(dir), before);
    }
  }
}

// --------------------------------------------------------- sizes and codes

TEST_F(Hostile, ExtremeSizesBakeOrStopAtTheAtlasSearch) {
  // FreeType treats a pixel height of 0 as 1 and clamps heights above 65535
  // to 65535; -1 reaches it as 4294967295. A full stop at those sizes is
  // several thousand pixels wide, more than the widest atlas holds.
  struct Row {
    int size;
    bool fits;
  };
  const Row rows[] = {{0, true}, {-1, false}, {2147483647, false}, {20000, false}};
  for (const Row &row : rows) {
    SCOPED_TRACE("size " + std::to_string(row.size));
    // The premise, checked against FreeType itself.
    ASSERT_EQ(full_stop_fits(row.size), row.fits ? 1 : 0);
    support::ScratchDir fresh;
    const std::string dir = fresh.path() + "/fonts";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    support::write_file(dir + "/font.ttf", support::read_file(support::k_sans));
    support::write_file(dir + "/x.glyphmint.ini", "path = font.ttf\nsizes = [" +
                                                      std::to_string(row.size) +
                                                      "]\nranges = []\nchars = [46]\n");
    const auto before = support::tree(dir);
    const RunResult r = run({"--dir", dir});
    if (row.fits) {
      expect_done(r);
      auto after = before;
      after.insert("font-" + std::to_string(row.size) + ".png");
      after.insert("font-" + std::to_string(row.size) + ".fnt");
      EXPECT_EQ(support::tree(dir), after);
    } else {
      expect_crit(r, "Cannot figure out size for atlas");
      EXPECT_EQ(support::tree(dir), before);
    }
  }
}

TEST_F(Hostile, CodePointsOutsideTheFontAreAFatalStop) {
  support::RefFace face(support::k_sans, 16);
  ASSERT_TRUE(face.ok());
  int first_missing_from_32 = 32;
  while (face.has(first_missing_from_32)) ++first_missing_from_32;

  struct Row {
    std::string ranges;
    std::string chars;
    long missing;
  };
  const Row rows[] = {
      {"[]", "[-1]", -1},
      {"[]", "[1114112]", 0x110000},
      {"[]", "[2147483647]", 2147483647},
      {"[]", "[65, -2147483648]", -2147483648L},
      // Ranges up to the largest code point stop at their first gap; the
      // loop must not run past the end of the type on the way.
      {"[0-2147483647]", "[]", 0},
      {"[32-2147483647]", "[]", first_missing_from_32},
      {"[2147483647-2147483647]", "[]", 2147483647},
      {"[2147483640-2147483647]", "[]", 2147483640},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.ranges + " " + row.chars);
    ASSERT_FALSE(face.has(static_cast<int>(row.missing)));
    support::ScratchDir fresh;
    const std::string dir = fresh.path() + "/fonts";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    support::write_file(dir + "/font.ttf", support::read_file(support::k_sans));
    support::write_file(dir + "/x.glyphmint.ini", "path = font.ttf\nsizes = [16]\nranges = " +
                                                      row.ranges + "\nchars = " + row.chars + "\n");
    const auto before = support::tree(dir);
    expect_crit(run({"--dir", dir}),
                "No character " + std::to_string(row.missing) + " found in font");
    EXPECT_EQ(support::tree(dir), before);
  }
}

TEST_F(Hostile, NumbersBeyondThirtyTwoBitsAreRejected) {
  const std::string values[] = {"[2147483648]", "[-2147483649]", "[99999999999999999999]"};
  for (const std::string &v : values) {
    SCOPED_TRACE(v);
    settings(v, "[]", "[]");
    const auto before = listing();
    expect_err(run(), "Cannot parse string: " + v);
    EXPECT_EQ(listing(), before);
  }
}

} // namespace
