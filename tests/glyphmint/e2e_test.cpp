// End-to-end tests: the built glyphmint binary run on scratch font
// directories, its outputs checked against FreeType called directly, the
// decoded PNG and the .fnt layout read byte by byte.
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <stb_image.h>

namespace {

using support::RunResult;

const std::string k_help =
    "Program arguments:\n"
    "-h --help                           - Print this help text.\n"
    "-d --dir=<...>                      - Directory with *.glyphmint.ini settings.\n";

const char *const k_open_face_failed =
    "CRIT | FT call failed: FT_New_Face(library_, filepathname, 0, &face); reason: ";

// ---------------------------------------------------------------------------
// PNG

struct Png {
  int width = 0;
  int height = 0;
  std::vector<u8> pixels; // one byte per pixel, rows top first
};

u32 be_u32(const std::string &b, std::size_t at) {
  u32 v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<u8>(b[at + i]);
  return v;
}

// The header is read by hand so an RGB or 16-bit file cannot pass for the
// 8-bit greyscale one that users load as a single channel.
bool decode_png(const std::string &bytes, Png &out, std::string &why) {
  static const std::string signature("\x89PNG\r\n\x1a\n", 8);
  if (bytes.size() < 33 || bytes.compare(0, 8, signature) != 0 ||
      bytes.compare(12, 4, "IHDR") != 0) {
    why = "not a PNG file (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  const int bit_depth = static_cast<u8>(bytes[24]);
  const int colour_type = static_cast<u8>(bytes[25]);
  if (bit_depth != 8 || colour_type != 0) {
    why = "bit depth " + std::to_string(bit_depth) + ", colour type " +
          std::to_string(colour_type) + "; expected 8-bit greyscale (8, 0)";
    return false;
  }
  int w = 0;
  int h = 0;
  int channels = 0;
  stbi_uc *data = stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(bytes.data()),
                                        static_cast<int>(bytes.size()), &w, &h, &channels, 1);
  if (data == nullptr) {
    why = std::string("cannot decode: ") + stbi_failure_reason();
    return false;
  }
  if (static_cast<u32>(w) != be_u32(bytes, 16) || static_cast<u32>(h) != be_u32(bytes, 20) ||
      channels != 1) {
    stbi_image_free(data);
    why = "decoded size or channel count disagrees with the header";
    return false;
  }
  out.width = w;
  out.height = h;
  out.pixels.assign(data, data + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  stbi_image_free(data);
  return true;
}

// ---------------------------------------------------------------------------
// Which files a run closed after writing and which it renamed into place, in
// order, with the random part of a temporary's name shown as XXXXXX.

class WriteWatch {
public:
  explicit WriteWatch(const std::string &dir) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || inotify_add_watch(fd_, dir.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0)
      ADD_FAILURE() << "cannot watch " << dir;
  }
  ~WriteWatch() {
    if (fd_ >= 0) close(fd_);
  }
  WriteWatch(const WriteWatch &) = delete;
  WriteWatch &operator=(const WriteWatch &) = delete;

  [[nodiscard]] std::vector<std::string> events() const {
    std::vector<std::string> out;
    alignas(inotify_event) char buf[1 << 16];
    while (true) {
      const ssize_t n = read(fd_, buf, sizeof(buf));
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto *e = reinterpret_cast<const inotify_event *>(buf + at);
        if (e->mask & IN_Q_OVERFLOW) out.push_back("<event queue overflow>");
        if (e->len > 0) {
          std::string name = e->name;
          const std::size_t tag = name.rfind(".glyphmint-");
          if (tag != std::string::npos && name.size() == tag + 17)
            name.replace(tag + 11, 6, "XXXXXX");
          out.push_back((e->mask & IN_MOVED_TO ? "renamed to " : "closed ") + name);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    return out;
  }

private:
  int fd_ = -1;
};

// ---------------------------------------------------------------------------
// Checks of one baked size against FreeType and the two file formats.

bool is_series_size(int w, int h) {
  static const std::pair<int, int> series[] = {{256, 256},   {256, 512},   {512, 512},
                                               {512, 1024},  {1024, 1024}, {1024, 2048},
                                               {2048, 2048}, {2048, 4096}};
  return std::find(std::begin(series), std::end(series), std::make_pair(w, h)) != std::end(series);
}

struct Baked {
  Png png;
  support::FntFile fnt;
};

// Checks dir/base-size.png and .fnt, baked from `font` with the code points
// in `load_order` (ranges then chars, as the settings list them), each glyph
// from `font` or else from the first of `fallbacks` that has it, and returns
// them for further checks.
Baked check_baked(const std::string &font, const std::string &dir, const std::string &base,
                  int size, const std::vector<int> &load_order,
                  const std::vector<std::string> &fallbacks = {}) {
  const std::string name = base + "-" + std::to_string(size);
  SCOPED_TRACE("baked " + dir + "/" + name + " from " + font);
  Baked baked;
  std::string why;
  if (!decode_png(support::read_file(dir + "/" + name + ".png"), baked.png, why)) {
    ADD_FAILURE() << name << ".png: " << why;
    return baked;
  }
  if (!support::parse_fnt(support::read_file(dir + "/" + name + ".fnt"), baked.fnt, why)) {
    ADD_FAILURE() << name << ".fnt: " << why;
    return baked;
  }
  const Png &png = baked.png;
  const support::FntFile &fnt = baked.fnt;
  const int w = png.width;
  const int h = png.height;
  EXPECT_TRUE(is_series_size(w, h)) << w << "x" << h;

  // Header: the image is named relative to the .fnt's own directory.
  EXPECT_EQ(fnt.image, name + ".png");
  EXPECT_EQ(fnt.size, size);
  const support::RefFace ref(font, size);
  if (!ref.ok()) return baked;
  std::vector<std::unique_ptr<support::RefFace>> fallback_refs;
  for (const std::string &f : fallbacks)
    fallback_refs.push_back(std::make_unique<support::RefFace>(f, size));
  const support::RefMetrics m = ref.metrics();
  EXPECT_EQ(fnt.line_height, m.line_height);
  EXPECT_EQ(fnt.ascender, m.ascender);
  EXPECT_EQ(fnt.descender, m.descender);

  // Records: ascending codes, a code point requested twice kept twice.
  std::vector<int> expected_codes = load_order;
  std::stable_sort(expected_codes.begin(), expected_codes.end());
  std::vector<int> codes;
  for (const auto &r : fnt.records) codes.push_back(r.code);
  EXPECT_EQ(codes, expected_codes);

  std::vector<bool> in_bitmap(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (std::size_t i = 0; i < fnt.records.size(); ++i) {
    const gm_glyph &r = fnt.records[i];
    SCOPED_TRACE("record " + std::to_string(i) + ", code " + std::to_string(r.code));
    const support::RefFace *from = &ref; // the first font that has the code point
    for (auto f = fallback_refs.begin(); !from->has(r.code) && f != fallback_refs.end(); ++f)
      from = f->get();
    const support::RefGlyph g = from->glyph(r.code);
    EXPECT_EQ(r.reserved, 0);
    EXPECT_EQ(r.width, g.width);
    EXPECT_EQ(r.rows, g.rows);
    EXPECT_EQ(r.bearing_x, g.left);
    EXPECT_EQ(r.bearing_y, g.top);
    EXPECT_EQ(r.advance, g.advance);

    // The cell is the bitmap with a one-pixel frame and lies in the atlas.
    const i64 cell_right = i64{r.x} + r.width + 2;
    const i64 cell_bottom = i64{r.y} + r.rows + 2;
    if (r.x < 0 || r.y < 0 || cell_right > w || cell_bottom > h) {
      ADD_FAILURE() << "cell (" << r.x << ", " << r.y << ") of " << r.width + 2 << "x" << r.rows + 2
                    << " outside the " << w << "x" << h << " atlas";
      continue;
    }
    if (r.width != g.width || r.rows != g.rows) continue;
    u64 mismatches = 0;
    std::string first_mismatch;
    for (u32 row = 0; row < g.rows; ++row) {
      for (u32 col = 0; col < g.width; ++col) {
        const std::size_t at =
            (static_cast<std::size_t>(r.y) + 1 + row) * static_cast<std::size_t>(w) +
            static_cast<std::size_t>(r.x) + 1 + col;
        in_bitmap[at] = true;
        const u8 want = g.bitmap[std::size_t{row} * g.width + col];
        if (png.pixels[at] != want && mismatches++ == 0)
          first_mismatch = "row " + std::to_string(row) + " col " + std::to_string(col) + ": " +
                           std::to_string(png.pixels[at]) + " != " + std::to_string(want);
      }
    }
    EXPECT_EQ(mismatches, 0u) << "bitmap differs from FreeType's, first at " << first_mismatch;
  }

  // Frames and unused space: nothing but the bitmaps is drawn.
  u64 stray = 0;
  std::string first_stray;
  for (std::size_t at = 0; at < in_bitmap.size(); ++at) {
    if (!in_bitmap[at] && png.pixels[at] != 0 && stray++ == 0)
      first_stray = "(" + std::to_string(at % static_cast<std::size_t>(w)) + ", " +
                    std::to_string(at / static_cast<std::size_t>(w)) + ")";
  }
  EXPECT_EQ(stray, 0u) << "non-zero pixels outside every bitmap, first at " << first_stray;

  for (std::size_t i = 0; i < fnt.records.size(); ++i) {
    for (std::size_t j = i + 1; j < fnt.records.size(); ++j) {
      const gm_glyph &a = fnt.records[i];
      const gm_glyph &b = fnt.records[j];
      const bool apart = i64{a.x} + a.width + 2 <= b.x || i64{b.x} + b.width + 2 <= a.x ||
                         i64{a.y} + a.rows + 2 <= b.y || i64{b.y} + b.rows + 2 <= a.y;
      EXPECT_TRUE(apart) << "cells of records " << i << " (code " << a.code << ") and " << j
                         << " (code " << b.code << ") overlap";
    }
  }
  return baked;
}

std::vector<int> codes(std::initializer_list<std::pair<int, int>> ranges,
                       std::initializer_list<int> chars) {
  std::vector<int> out;
  for (const auto &[first, last] : ranges)
    for (int c = first; c <= last; ++c) out.push_back(c);
  out.insert(out.end(), chars.begin(), chars.end());
  return out;
}

void expect_exit(const RunResult &r, int code) {
  EXPECT_TRUE(r.exited && r.exit_code == code) << "expected exit status " << code << "\n" << r;
}

void expect_abort(const RunResult &r) {
  EXPECT_TRUE(!r.exited && r.signal == SIGABRT) << "expected SIGABRT\n" << r;
}

// ---------------------------------------------------------------------------

class Glyphmint : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    fonts_ = scratch_.path() + "/fonts";
    ASSERT_EQ(mkdir(fonts_.c_str(), 0755), 0);
  }

  [[nodiscard]] std::string at(const std::string &name) const { return fonts_ + "/" + name; }

  void put_font(const std::string &name, const std::string &source = support::k_sans) {
    std::filesystem::copy_file(source, at(name));
  }

  void put(const std::string &name, const std::string &text) {
    support::write_file(at(name), text);
  }

  [[nodiscard]] RunResult run(const std::vector<std::string> &args, const std::string &cwd = "",
                              int watchdog_seconds = 300, long rss_limit_kib = 0,
                              long file_size_limit = 0) const {
    return support::run_program(GLYPHMINT_EXE, args, cwd.empty() ? scratch_.path() : cwd,
                                scratch_.path(), watchdog_seconds, rss_limit_kib, file_size_limit);
  }

  [[nodiscard]] RunResult bake() const { return run({"--dir=" + fonts_}); }

  // Two settings files whose walk order is known: the names are made first,
  // the order read back with readdir, and the caller then writes the content
  // meant to be processed first into the first name.
  [[nodiscard]] std::pair<std::string, std::string> two_settings_in_walk_order() {
    put("a.glyphmint.ini", "");
    put("b.glyphmint.ini", "");
    std::vector<std::string> order;
    for (const std::string &n : support::listing_order(fonts_))
      if (n == "a.glyphmint.ini" || n == "b.glyphmint.ini") order.push_back(n);
    EXPECT_EQ(order.size(), 2u);
    if (order.size() != 2) return {"a.glyphmint.ini", "b.glyphmint.ini"};
    return {order[0], order[1]};
  }

  support::ScratchDir scratch_;
  std::string fonts_;
};

// The failure tests, on one thread and on several: a run ends the same way
// whichever thread meets the failure.
class GlyphmintFailure : public Glyphmint, public ::testing::WithParamInterface<const char *> {
protected:
  void SetUp() override {
    Glyphmint::SetUp();
    setenv("GLYPHMINT_JOBS", GetParam(), 1);
  }
  void TearDown() override { unsetenv("GLYPHMINT_JOBS"); }
};

INSTANTIATE_TEST_SUITE_P(Jobs, GlyphmintFailure, ::testing::Values("1", "4"),
                         [](const auto &row) { return std::string("jobs") + row.param; });

TEST_F(Glyphmint, FontsDirIsLoggedInAbsoluteForm) {
  struct Case {
    std::vector<std::string> args;
    bool in_fonts_dir; // else the run starts in the fonts dir's parent
  };
  const Case cases[] = {
      {{}, true},            // no option: the working directory
      {{"--dir", ""}, true}, // an empty value too
      {{"-d", "."}, true},
      {{"--dir=fonts"}, false},
      {{"--dir", "fonts/../fonts/"}, false},
  };
  for (const Case &c : cases) {
    std::string row;
    for (const std::string &a : c.args) row += "[" + a + "] ";
    SCOPED_TRACE("args: " + row);
    const RunResult r = run(c.args, c.in_fonts_dir ? fonts_ : scratch_.path());
    expect_exit(r, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(support::log_lines(r.out),
              (std::vector<std::string>{"info | Fonts dir: " + fonts_, "info | Done!"}));
  }
}

TEST_F(Glyphmint, MissingDirFailsBeforeAnyLogLine) {
  const RunResult r = run({"--dir=no/such/dir"});
  expect_exit(r, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Cannot get absolute path for no/such/dir\n");
}

TEST_P(GlyphmintFailure, RegularFileAsDirCannotBeVisited) {
  put("notes.txt", "not a directory\n");
  const RunResult r = run({"--dir=fonts/notes.txt"});
  expect_exit(r, 1);
  EXPECT_EQ(support::log_lines(r.out),
            std::vector<std::string>{"info | Fonts dir: " + at("notes.txt")});
  EXPECT_EQ(r.err, "Cannot visit directory " + at("notes.txt") + "\n");
}

TEST_F(Glyphmint, OnlySettingsFilesDirectlyInTheDirAreBaked) {
  const std::string would_bake = "path = Font.ttf\nsizes = [12]\nranges = [65-66]\nchars = []\n";
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = []\nranges = []\nchars = []\n");
  ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
  put_font("sub/Font.ttf");
  put("sub/Sub.glyphmint.ini", would_bake);
  ASSERT_EQ(mkdir(at("x.glyphmint.ini").c_str(), 0755), 0);
  put("Serif.Bold.glyphmint.ini", would_bake); // its extension is .Bold.glyphmint.ini
  put("X.GLYPHMINT.INI", would_bake);
  put("Font.glyphmint.ini.bak", would_bake);
  put("glyphmint.ini", would_bake);
  const auto before = support::tree(fonts_);

  const RunResult r = bake();
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(
      support::log_lines(r.out),
      (std::vector<std::string>{"info | Fonts dir: " + fonts_,
                                "info | processing " + at("Font.glyphmint.ini"), "info | Done!"}));
  EXPECT_EQ(support::tree(fonts_), before);
}

TEST_F(Glyphmint, LogsEveryStepAndWritesFourFilesInOrder) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [12, 16]\nranges = [65-70]\nchars = []\n");
  const WriteWatch watch(fonts_);

  const RunResult r = bake();
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{
                "info | Fonts dir: " + fonts_, "info | processing " + at("Font.glyphmint.ini"),
                "info | Atlas size: 256x256", "info | Image written: " + at("Font-12.png"),
                "info | Atlas size: 256x256", "info | Image written: " + at("Font-16.png"),
                "info | Done!"}));
  // Each file is complete under a temporary name before it takes its own.
  std::vector<std::string> writes;
  for (const char *name : {"Font-12.png", "Font-12.fnt", "Font-16.png", "Font-16.fnt"}) {
    writes.push_back("closed ." + std::string(name) + ".glyphmint-XXXXXX");
    writes.push_back("renamed to " + std::string(name));
  }
  EXPECT_EQ(watch.events(), writes);
  EXPECT_EQ(support::tree(fonts_),
            (std::set<std::string>{"Font.ttf", "Font.glyphmint.ini", "Font-12.png", "Font-12.fnt",
                                   "Font-16.png", "Font-16.fnt"}));
  check_baked(support::k_sans, fonts_, "Font", 12, codes({{65, 70}}, {}));
  check_baked(support::k_sans, fonts_, "Font", 16, codes({{65, 70}}, {}));
}

TEST_F(Glyphmint, HelpPrintsTheOptionsAndBakesNothing) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [12]\nranges = [65-66]\nchars = []\n");
  const auto before = support::tree(fonts_);
  for (const char *arg : {"--help", "-h", "--helpme", "--HELP"}) {
    SCOPED_TRACE(arg);
    const RunResult r = run({arg}, fonts_);
    expect_exit(r, 0);
    EXPECT_EQ(r.out, k_help);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(support::tree(fonts_), before);
}

TEST_F(Glyphmint, UsageErrorsPrintTheProblemAndTheHelp) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [12]\nranges = [65-66]\nchars = []\n");
  const auto before = support::tree(fonts_);
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  };
  const Case cases[] = {
      {{"--bogus"}, "Unknown flag: --bogus\n"},
      {{"-x"}, "Unknown flag: -x\n"},
      {{"--dir"}, "Invalid usage of flag: dir\n"},
      {{"--dir", "-h"}, "Invalid usage of flag: dir\n"},
      {{"-d.."}, "Invalid usage of flag: -d..\n"},
      {{"stray"}, "Unknown option: 43  (args count: 2)\n"},
      {{"--dir=.", "stray"}, "Unknown option: 43  (args count: 2)\n"},
  };
  for (const Case &c : cases) {
    std::string row;
    for (const std::string &a : c.args) row += "[" + a + "] ";
    SCOPED_TRACE("args: " + row);
    const RunResult r = run(c.args, fonts_);
    expect_exit(r, 1);
    EXPECT_EQ(r.out, c.first_line + k_help);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(support::tree(fonts_), before);
}

TEST_P(GlyphmintFailure, BadSettingsEndTheRunWithTheirMessage) {
  put_font("Font.ttf");
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"path = Font.ttf\nsizes = [16,24]\nranges = [65-66]\nchars = []\n",
       "Cannot parse string: [16,24]"},
      {"path = Font.ttf\nsizes = [16]\nranges = [-1-5]\nchars = []\n",
       "Cannot parse string: [-1-5]"},
      {"path = Font.ttf\nsizes = [16]\nranges = [65-66]\nchars = [0x41]\n",
       "Cannot parse string: [0x41]"},
      {"path = Font.ttf\nsizes = [16]\nranges = [65-66]\n", "No value"},
      {"[Glyphmint]\npath = Font.ttf\nsizes = [16]\nranges = [65-66]\nchars = []\n", "No value"},
      // The first bad key in reading order is the one reported.
      {"path = Font.ttf\nsizes = [16]\nranges = [65-66,]\n", "Cannot parse string: [65-66,]"},
      {"path = Font.ttf\nsizes = [16]\nranges = []\nchars = []\nfallback = [a.ttf, , b.ttf]\n",
       "Cannot parse string: [a.ttf, , b.ttf] (fallback is a list of font files: [Icons.ttf, "
       "CJK.ttc])"},
      {"path = Font.ttf\nsizes = [16]\nranges = []\nchars = []\nfallback_first = [61440-61503]\n",
       "Cannot parse string: [61440-61503] (fallback_first goes with fallback)"},
      {"path = Font.ttf\nsizes = [16]\nranges = []\nchars = []\nfallback = [Font.ttf]\n"
       "fallback_first = [61440]\n",
       "Cannot parse string: [61440] (fallback_first is a list of ranges: [61440-63743])"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("settings:\n" + c.text);
    put("Font.glyphmint.ini", c.text);
    const RunResult r = bake();
    expect_exit(r, 1);
    EXPECT_EQ(r.err, c.message + "\n");
    EXPECT_EQ(support::log_lines(r.out),
              (std::vector<std::string>{"info | Fonts dir: " + fonts_,
                                        "info | processing " + at("Font.glyphmint.ini")}));
    EXPECT_EQ(support::tree(fonts_), (std::set<std::string>{"Font.ttf", "Font.glyphmint.ini"}));
  }
}

TEST_P(GlyphmintFailure, ControlBytesInErrorsAreEscapedOnStderrOnly) {
  // Input repeated in a message could recolour or clear the terminal, or
  // forge a second line; stdout's log lines keep the bytes as they are.
  put_font("Font.ttf");
  const std::string settings = "a\x1b[31m.glyphmint.ini";
  // A backslash before a line feed carries the value on to the next line.
  put(settings, "path = Font.ttf\nsizes = [1\x1b]0;title\x07\\\n6]\nranges = []\nchars = []\n");
  struct Case {
    std::vector<std::string> args;
    std::string err;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{"--dir=" + fonts_},
       "Cannot parse string: [1\\x1b]0;title\\x07\\\\x0a6]\n",
       {"info | Fonts dir: " + fonts_, "info | processing " + at(settings)}},
      {{"--dir=no\x1b[2J\r\ndir"}, "Cannot get absolute path for no\\x1b[2J\\x0d\\x0adir\n", {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("args: " + c.args[0]);
    const RunResult r = run(c.args);
    expect_exit(r, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(support::log_lines(r.out), c.lines);
  }
}

TEST_F(Glyphmint, BakedGlyphsMatchFreeType) {
  const std::string settings =
      "sizes = [12, 16]\nranges = [32-126, 160-383]\nchars = [8364, 8230]\n";
  put_font("Sans.ttf", support::k_sans);
  put_font("Mono.ttf", support::k_mono);
  put("Sans.glyphmint.ini", "path = Sans.ttf\n" + settings);
  put("Mono.glyphmint.ini", "path = Mono.ttf\n" + settings);

  const RunResult r = bake();
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "");
  const std::vector<int> load_order = codes({{32, 126}, {160, 383}}, {8364, 8230});
  const std::vector<std::pair<std::string, std::string>> fonts = {{"Sans", support::k_sans},
                                                                  {"Mono", support::k_mono}};
  for (const auto &[base, font] : fonts)
    for (const int size : {12, 16}) check_baked(font, fonts_, base, size, load_order);
}

TEST_F(Glyphmint, FallbackFontsSupplyWhatTheMainFontLacks) {
  // Sans maps U+F000..F003 itself; the icons after them and the CJK come from
  // the fallbacks, the CJK font's Latin never; the emoji font, which a grey
  // bake cannot size, supplies nothing and so stops nothing.
  put_font("Sans.ttf");
  ASSERT_EQ(symlink(support::k_icons.c_str(), at("Icons.ttf").c_str()) |
                symlink(support::k_cjk.c_str(), at("CJK.ttc").c_str()) |
                symlink(support::k_emoji.c_str(), at("Emoji.ttf").c_str()),
            0);
  put("Sans.glyphmint.ini",
      "path = Sans.ttf\nsizes = [13, 20]\nranges = [65-70, 61440-61446]\n"
      "chars = [20013, 25991, 12290, 1046]\nfallback = [Icons.ttf,CJK.ttc,Emoji.ttf]\n");
  const RunResult r = bake();
  expect_exit(r, 0);
  const std::vector<int> load_order =
      codes({{65, 70}, {61440, 61446}}, {20013, 25991, 12290, 1046});
  for (const int size : {13, 20})
    check_baked(support::k_sans, fonts_, "Sans", size, load_order,
                {support::k_icons, support::k_cjk});
}

TEST_F(Glyphmint, FallbackFirstTakesItsCodePointsFromTheFallbacksBeforeTheMainFont) {
  // Sans maps U+F000..F003 itself. Overlapping ranges ask once; U+F000 is
  // not in the icon font, so Sans supplies it; 'A' outside the ranges stays
  // Sans's though the CJK font has one too.
  put_font("Sans.ttf");
  ASSERT_EQ(symlink(support::k_icons.c_str(), at("Icons.ttf").c_str()) |
                symlink(support::k_cjk.c_str(), at("CJK.ttc").c_str()),
            0);
  const std::string keys = "path = Sans.ttf\nsizes = [14]\nranges = [65-66, 61440-61446]\n"
                           "chars = [20013]\nfallback = [CJK.ttc, Icons.ttf]\n";
  put("Sans.glyphmint.ini", keys + "fallback_first = [61441-61443, 61442-61446]\n");
  expect_exit(bake(), 0);
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(support::read_file(at("Sans-14.fnt")), fnt, why)) << why;
  // The oracle: each record is the glyph FreeType gives in the font the rule names.
  const support::RefFace sans(support::k_sans, 14), icons(support::k_icons, 14),
      cjk(support::k_cjk, 14);
  std::map<int, const support::RefFace *> from = {{65, &sans}, {66, &sans}, {61440, &sans},
                                                  {20013, &cjk}};
  for (int code = 61441; code <= 61446; ++code) from[code] = &icons;
  ASSERT_FALSE(cjk.has(61441)) << "the CJK font now has icons: the oracle must change";
  ASSERT_EQ(fnt.records.size(), from.size());
  for (const gm_glyph &r : fnt.records) {
    const support::RefGlyph g = from.at(r.code)->glyph(r.code);
    EXPECT_EQ(std::make_tuple(r.width, r.rows, r.bearing_x, r.bearing_y, r.advance),
              std::make_tuple(g.width, g.rows, g.left, g.top, g.advance))
        << "code " << r.code;
  }
  // Without the key, the same bake takes U+F001..F003 from Sans again.
  put("Sans.glyphmint.ini", keys);
  expect_exit(bake(), 0);
  check_baked(support::k_sans, fonts_, "Sans", 14, codes({{65, 66}, {61440, 61446}}, {20013}),
              {support::k_cjk, support::k_icons});
}

TEST_P(GlyphmintFailure, FallbackFailuresStopBeforeTheSizeIsWritten) {
  put_font("Sans.ttf");
  put("Text.ttf", "this is not a font\n");
  std::filesystem::copy_file(support::k_emoji, at("Emoji.ttf"));
  const std::pair<std::string, std::string> cases[] = {
      // keys, the last log line
      {"chars = [1114111]\nfallback = [Sans.ttf]\n", "CRIT | No character 1114111 found in font"},
      {"chars = [65]\nfallback = [Sans.ttf, Text.ttf]\n",
       k_open_face_failed + std::to_string(support::ft_open_error(at("Text.ttf"))) +
           "; fallback: " + at("Text.ttf")},
      {"chars = [65, 127829]\nfallback = [Emoji.ttf]\n",
       "CRIT | FT call failed: FT_Set_Pixel_Sizes(face, 0, size); reason: 23; fallback: " +
           at("Emoji.ttf") +
           ", which supplies code point 127829; it holds bitmap strikes only (of 109 pixels), "
           "which only render = color scales to other sizes"},
      // Asked first of the fallbacks, then of the main font: none has it.
      {"chars = [1114111]\nfallback = [Sans.ttf]\nfallback_first = [1114111-1114111]\n",
       "CRIT | No character 1114111 found in font"}};
  for (const auto &[keys, line] : cases) {
    put("Sans.glyphmint.ini", "path = Sans.ttf\nsizes = [12]\nranges = []\n" + keys);
    const RunResult r = bake();
    expect_abort(r);
    EXPECT_EQ(support::log_lines(r.out).back(), line);
    EXPECT_EQ(support::tree(fonts_),
              (std::set<std::string>{"Sans.ttf", "Text.ttf", "Emoji.ttf", "Sans.glyphmint.ini"}));
  }
}

TEST_P(GlyphmintFailure, SizesBelowOneAreRefusedInColourAsInEveryMode) {
  std::filesystem::copy_file(support::k_emoji, at("Emoji.ttf"));
  for (const std::string size : {"0", "-3"})
    for (const std::string mode : {"color", "mono"}) {
      SCOPED_TRACE(mode + " at " + size);
      put("Emoji.glyphmint.ini", "path = Emoji.ttf\nsizes = [" + size +
                                     "]\nranges = []\nchars = [128512]\nrender = " + mode + "\n");
      const RunResult r = bake();
      expect_abort(r);
      EXPECT_EQ(support::log_lines(r.out).back(),
                "CRIT | FT call failed: FT_Set_Pixel_Sizes(face, 0, size); reason: 23");
      EXPECT_EQ(support::tree(fonts_), (std::set<std::string>{"Emoji.ttf", "Emoji.glyphmint.ini"}));
    }
}

TEST_F(Glyphmint, OutputsGoBesideTheFontNamedUpToItsFirstDot) {
  ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
  put_font("sub/My.Font.ttf");
  put("Font.glyphmint.ini", "path = sub/My.Font.ttf\nsizes = [12]\nranges = [65-66]\nchars = []\n");
  const RunResult r = bake();
  expect_exit(r, 0);
  EXPECT_EQ(support::log_lines(r.out)[3], "info | Image written: " + at("sub/My-12.png"));
  EXPECT_EQ(support::tree(at("sub")),
            (std::set<std::string>{"My.Font.ttf", "My-12.png", "My-12.fnt"}));
  const Baked baked = check_baked(support::k_sans, at("sub"), "My", 12, codes({{65, 66}}, {}));
  EXPECT_EQ(baked.fnt.image, "My-12.png"); // relative to the .fnt, not to the settings file
}

TEST_F(Glyphmint, RepeatedCodePointGivesTwoRecordsInLoadOrder) {
  put_font("Font.ttf");
  // 66 comes once from the range and once from chars; 33 from chars sorts first.
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [16]\nranges = [65-67]\nchars = [66, 33]\n");
  const RunResult r = bake();
  expect_exit(r, 0);
  const Baked baked = check_baked(support::k_sans, fonts_, "Font", 16, {65, 66, 67, 66, 33});
  ASSERT_EQ(baked.fnt.records.size(), 5u);
  const gm_glyph &from_range = baked.fnt.records[2];
  const gm_glyph &from_chars = baked.fnt.records[3];
  ASSERT_EQ(from_range.code, 66);
  ASSERT_EQ(from_chars.code, 66);
  // Packed in load order along the bottom of an empty atlas, the glyph loaded
  // first sits before the one loaded later; the records keep that order.
  EXPECT_LT(std::tie(from_range.y, from_range.x), std::tie(from_chars.y, from_chars.x));
}

TEST_F(Glyphmint, AtlasGrowsInHeightFirst) {
  struct Case {
    int size;
    int first;
    int last;
    std::string atlas;
  };
  const Case cases[] = {
      {16, 65, 70, "256x256"},
      // At 44 pixels the cells of 32-126 cover more than 256 x 256 pixels, so
      // the first size cannot hold them; the next one, twice as high, can.
      {44, 32, 126, "256x512"},
  };
  put_font("Font.ttf");
  for (const Case &c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    if (c.atlas != "256x256") {
      const support::RefFace ref(support::k_sans, c.size);
      u64 area = 0;
      for (int code = c.first; code <= c.last; ++code) {
        const support::RefGlyph g = ref.glyph(code);
        area += (u64{g.width} + 2) * (u64{g.rows} + 2);
      }
      ASSERT_GT(area, 256u * 256u) << "the case no longer needs more than the first size";
    }
    put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [" + std::to_string(c.size) +
                                  "]\nranges = [" + std::to_string(c.first) + "-" +
                                  std::to_string(c.last) + "]\nchars = []\n");
    const RunResult r = bake();
    expect_exit(r, 0);
    const auto lines = support::log_lines(r.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "info | Atlas size: " + c.atlas);
    const Baked baked =
        check_baked(support::k_sans, fonts_, "Font", c.size, codes({{c.first, c.last}}, {}));
    EXPECT_EQ(std::to_string(baked.png.width) + "x" + std::to_string(baked.png.height), c.atlas);
  }
}

TEST_P(GlyphmintFailure, MissingGlyphStopsTheRunAndKeepsEarlierOutputs) {
  put_font("Font.ttf");
  const auto [first, second] = two_settings_in_walk_order();
  put(first, "path = Font.ttf\nsizes = [12]\nranges = [65-67]\nchars = []\n");
  // Code point 1 is a control character DejaVu Sans has no glyph for.
  put(second, "path = Font.ttf\nsizes = [16]\nranges = [65-67]\nchars = [1, 68]\n");

  const RunResult r = bake();
  expect_abort(r);
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{
                "info | Fonts dir: " + fonts_, "info | processing " + at(first),
                "info | Atlas size: 256x256", "info | Image written: " + at("Font-12.png"),
                "info | processing " + at(second), "CRIT | No character 1 found in font"}));
  check_baked(support::k_sans, fonts_, "Font", 12, codes({{65, 67}}, {}));
  EXPECT_FALSE(support::entry_exists(at("Font-16.png")));
  EXPECT_FALSE(support::entry_exists(at("Font-16.fnt")));
}

TEST_P(GlyphmintFailure, FailingSecondSettingsFileKeepsTheFirstOnesOutputs) {
  put_font("Font.ttf");
  put_font("Other.ttf", support::k_mono);
  const auto [first, second] = two_settings_in_walk_order();
  put(first, "path = Font.ttf\nsizes = [12]\nranges = [65-67]\nchars = []\n");
  put(second, "path = Other.ttf\nsizes = [16, 24 ]\nranges = [65-67]\nchars = []\n");

  const RunResult r = bake();
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "Cannot parse string: [16, 24 ]\n");
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{
                "info | Fonts dir: " + fonts_, "info | processing " + at(first),
                "info | Atlas size: 256x256", "info | Image written: " + at("Font-12.png"),
                "info | processing " + at(second)}));
  check_baked(support::k_sans, fonts_, "Font", 12, codes({{65, 67}}, {}));
  EXPECT_EQ(support::tree(fonts_), (std::set<std::string>{"Font.ttf", "Other.ttf", first, second,
                                                          "Font-12.png", "Font-12.fnt"}));
}

TEST_P(GlyphmintFailure, UnopenableFontIsAFatalStop) {
  struct Case {
    const char *what;
    std::string path_line;
    std::string font; // what FreeType is asked to open
  };
  put("Text.ttf", "this is not a font\n");
  const Case cases[] = {
      {"not a font", "path = Text.ttf\n", at("Text.ttf")},
      {"missing file", "path = Missing.ttf\n", at("Missing.ttf")},
      {"no path: the directory itself", "", fonts_},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const int code = support::ft_open_error(c.font);
    ASSERT_NE(code, 0) << "FreeType opens " << c.font;
    put("Font.glyphmint.ini", c.path_line + "sizes = [12]\nranges = [65-66]\nchars = []\n");
    const RunResult r = bake();
    expect_abort(r);
    EXPECT_EQ(support::log_lines(r.out),
              (std::vector<std::string>{"info | Fonts dir: " + fonts_,
                                        "info | processing " + at("Font.glyphmint.ini"),
                                        k_open_face_failed + std::to_string(code)}));
    EXPECT_EQ(support::tree(fonts_), (std::set<std::string>{"Text.ttf", "Font.glyphmint.ini"}));
  }
}

TEST_F(Glyphmint, EmptyGlyphListWritesABlankAtlas) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [12]\nranges = [100-90]\nchars = []\n");
  const RunResult r = bake();
  expect_exit(r, 0);
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{
                "info | Fonts dir: " + fonts_, "info | processing " + at("Font.glyphmint.ini"),
                "info | Atlas size: 256x256", "info | Image written: " + at("Font-12.png"),
                "info | Done!"}));
  const Baked baked = check_baked(support::k_sans, fonts_, "Font", 12, {});
  EXPECT_EQ(baked.png.width, 256);
  EXPECT_EQ(baked.png.height, 256);
  EXPECT_EQ(support::read_file(at("Font-12.fnt")).size(), 32u + 11u);
}

TEST_P(GlyphmintFailure, UnwritableImageIsAFatalStop) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [12]\nranges = [65-66]\nchars = []\n");
  ASSERT_EQ(symlink("/dev/full", at("Font-12.png").c_str()), 0);
  const RunResult r = bake();
  expect_abort(r);
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{"info | Fonts dir: " + fonts_,
                                      "info | processing " + at("Font.glyphmint.ini"),
                                      "info | Atlas size: 256x256", "CRIT | Failed to write png"}));
  EXPECT_FALSE(support::entry_exists(at("Font-12.fnt")));
}

TEST_P(GlyphmintFailure, FailedWriteKeepsThePreviousPair) {
  // A re-bake whose .fnt could not be written once left the new atlas beside
  // the old .fnt, whose records then pointed at the wrong glyphs. A file-size
  // limit makes the second, larger bake fail part-way, at either file.
  const long limit = 8 * 1024;
  struct Case {
    const char *what;
    std::string stem, first, second; // the outputs' name, the two bakes' settings
    bool png_fails;                  // else the .fnt
  } cases[] = {
      {"atlas", "Font-24", "sizes = [24]\nranges = [65-70]", "sizes = [24]\nranges = [32-126]",
       true},
      {".fnt", "Font-4", "sizes = [4]\nranges = [65-70]", "sizes = [4]\nranges = [32-126, 160-383]",
       false},
  };
  put_font("Font.ttf");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string png = at(c.stem + ".png");
    const std::string fnt = at(c.stem + ".fnt");
    put("Font.glyphmint.ini", "path = Font.ttf\n" + c.first + "\nchars = []\n");
    expect_exit(run({"--dir=" + fonts_}, "", 300, 0, limit), 0);
    const std::string old_png = support::read_file(png);
    const std::string old_fnt = support::read_file(fnt);
    ASSERT_LT(std::max(old_png.size(), old_fnt.size()), std::size_t(limit));
    put("Font.glyphmint.ini", "path = Font.ttf\n" + c.second + "\nchars = []\n");
    const auto before = support::tree(fonts_);

    const RunResult r = run({"--dir=" + fonts_}, "", 300, 0, limit);
    if (c.png_fails) {
      expect_abort(r);
      EXPECT_NE(r.out.find(" | CRIT | Failed to write png\n"), std::string::npos) << r;
    } else {
      expect_exit(r, 1);
      EXPECT_EQ(r.err, "Write fail\n");
      EXPECT_EQ(r.out.find("Image written"), std::string::npos) << r;
    }
    EXPECT_EQ(support::first_difference(support::read_file(png), old_png), "");
    EXPECT_EQ(support::first_difference(support::read_file(fnt), old_fnt), "");
    EXPECT_EQ(support::tree(fonts_), before) << "a temporary was left behind";
  }
}

TEST_P(GlyphmintFailure, ALaterSizeThatCannotBeWrittenKeepsItsPreviousPair) {
  // Under a file-size limit the first size's new pair fits and the second's
  // atlas does not: the first pair is the new one, the second the old.
  const long limit = 8 * 1024;
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [8, 24]\nranges = [65-70]\nchars = []\n");
  expect_exit(run({"--dir=" + fonts_}, "", 300, 0, limit), 0);
  const std::string old_png = support::read_file(at("Font-24.png"));
  const std::string old_fnt = support::read_file(at("Font-24.fnt"));
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [8, 24]\nranges = [32-126]\nchars = []\n");

  const RunResult r = run({"--dir=" + fonts_}, "", 300, 0, limit);
  expect_abort(r);
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{
                "info | Fonts dir: " + fonts_, "info | processing " + at("Font.glyphmint.ini"),
                "info | Atlas size: 256x256", "info | Image written: " + at("Font-8.png"),
                "info | Atlas size: 256x256", "CRIT | Failed to write png"}));
  check_baked(support::k_sans, fonts_, "Font", 8, codes({{32, 126}}, {}));
  EXPECT_EQ(support::first_difference(support::read_file(at("Font-24.png")), old_png), "");
  EXPECT_EQ(support::first_difference(support::read_file(at("Font-24.fnt")), old_fnt), "");
}

TEST_P(GlyphmintFailure, UnwritableFontFileFailsWithWriteFail) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [12]\nranges = [65-66]\nchars = []\n");
  ASSERT_EQ(symlink("/dev/full", at("Font-12.fnt").c_str()), 0);
  const RunResult r = bake();
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "Write fail\n");
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{"info | Fonts dir: " + fonts_,
                                      "info | processing " + at("Font.glyphmint.ini"),
                                      "info | Atlas size: 256x256"}));
  EXPECT_FALSE(support::entry_exists(at("Font-12.png"))) << "an atlas without its .fnt";
}

TEST_P(GlyphmintFailure, HugeSizeFailsFastWithBoundedMemory) {
  put_font("Font.ttf");
  // At 20000 pixels '!' alone is about 14600 rows high: no atlas can hold it.
  // Rasterising all of 32-126 at that size first would take gigabytes; the
  // watchdog kills such a run at 2 GiB before it can exhaust the machine.
  put("Font.glyphmint.ini", "path = Font.ttf\nsizes = [20000]\nranges = [32-126]\nchars = []\n");
  const long limit_kib = 2L * 1024 * 1024;
  const RunResult r = run({"--dir=" + fonts_}, "", 60, limit_kib);
  RecordProperty("peak_rss_kib", std::to_string(r.peak_rss_kib));
  EXPECT_FALSE(r.timed_out) << "still running after a minute";
  EXPECT_FALSE(r.rss_exceeded) << "killed above 2 GiB resident";
  EXPECT_LT(r.peak_rss_kib, limit_kib / 2) << "peak resident size in KiB";
  expect_abort(r);
  EXPECT_EQ(support::log_lines(r.out),
            (std::vector<std::string>{"info | Fonts dir: " + fonts_,
                                      "info | processing " + at("Font.glyphmint.ini"),
                                      "CRIT | Cannot figure out size for atlas"}));
  EXPECT_EQ(support::tree(fonts_), (std::set<std::string>{"Font.ttf", "Font.glyphmint.ini"}));
}

TEST_F(Glyphmint, RunsOverTheSameInputGiveIdenticalFiles) {
  put_font("Font.ttf");
  put("Font.glyphmint.ini",
      "path = Font.ttf\nsizes = [12, 16]\nranges = [32-126]\nchars = [8364, 65]\n");
  const char *const outputs[] = {"Font-12.png", "Font-12.fnt", "Font-16.png", "Font-16.fnt"};
  expect_exit(bake(), 0);
  std::vector<std::string> first;
  for (const char *name : outputs) first.push_back(support::read_file(at(name)));
  expect_exit(bake(), 0);
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_FALSE(first[i].empty()) << outputs[i];
    EXPECT_EQ(support::first_difference(support::read_file(at(outputs[i])), first[i]), "")
        << outputs[i];
  }
}

// ---------------------------------------------------------------------------
// The documentation's settings examples, baked as a user would paste them.

struct Example {
  std::string where; // file:line of the block
  std::string text;
};

// The font that the example's "path" key names; empty if it has none.
std::string font_of(const std::string &example) {
  std::istringstream lines(example);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t key = line.find_first_not_of(" \t");
    const std::size_t eq = line.find('=');
    if (key == std::string::npos || line.compare(key, 4, "path") != 0 ||
        line.find_first_not_of(" \t", key + 4) != eq)
      continue;
    const std::size_t first = line.find_first_not_of(" \t", eq + 1);
    return first == std::string::npos
               ? ""
               : line.substr(first, line.find_last_not_of(" \t") + 1 - first);
  }
  return "";
}

// Every ```ini block of a Markdown file; in a manual page, every example
// block (.EX/.EE, .nf/.fi) that sets "path", with the usual roff escapes undone.
std::vector<Example> examples_in(const std::filesystem::path &file, bool manual) {
  static const std::pair<std::string, std::string> roff[] = {
      {"\\-", "-"}, {"\\e", "\\"}, {"\\(rs", "\\"}, {"\\&", ""}, {"\\(aq", "'"}, {"\\(dq", "\""}};
  std::vector<Example> out;
  std::istringstream lines(support::read_file(file.string()));
  bool inside = false;
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!inside && (manual ? line == ".EX" || line == ".nf" : line == "```ini")) {
      inside = true;
      out.push_back({file.filename().string() + ":" + std::to_string(number), ""});
    } else if (inside && (manual ? line == ".EE" || line == ".fi" : line == "```")) {
      inside = false;
      if (manual && font_of(out.back().text).empty()) out.pop_back();
    } else if (inside && !manual) {
      out.back().text += line + "\n";
    } else if (inside && line.rfind(".", 0) != 0) {
      for (const auto &[from, to] : roff)
        for (std::size_t at = 0; (at = line.find(from, at)) != std::string::npos; at += to.size())
          line.replace(at, from.size(), to);
      out.back().text += line + "\n";
    }
  }
  return out;
}

TEST_F(Glyphmint, DocumentedSettingsExamplesBake) {
  // The README once put remarks after values ("sizes = [12, 16]  ; ..."),
  // which do not parse. Each example is baked with DejaVu Sans under the
  // font name it gives.
  const std::filesystem::path source(GLYPHMINT_SOURCE_DIR);
  std::vector<Example> examples = examples_in(source / "README.md", false);
  ASSERT_FALSE(examples.empty()) << "no ```ini block in the README";
  const std::size_t in_readme = examples.size();
  for (const auto &e : std::filesystem::directory_iterator(source / "man"))
    if (e.path().extension() == ".1")
      for (const Example &example : examples_in(e.path(), true)) examples.push_back(example);
  ASSERT_GT(examples.size(), in_readme) << "no settings example in the manual pages";

  for (std::size_t i = 0; i < examples.size(); ++i) {
    SCOPED_TRACE(examples[i].where + ":\n" + examples[i].text);
    const std::string dir = at("example-" + std::to_string(i));
    const std::string font = dir + "/" + font_of(examples[i].text);
    std::filesystem::create_directories(std::filesystem::path(font).parent_path());
    std::filesystem::copy_file(support::k_sans, font);
    // The fallbacks an example names are the system's fonts of those names.
    for (const std::string &system : {support::k_icons, support::k_cjk}) {
      const std::string name = std::filesystem::path(system).filename();
      if (examples[i].text.find(name) != std::string::npos)
        std::filesystem::create_symlink(system, dir + "/" + name);
    }
    support::write_file(dir + "/Example.glyphmint.ini", examples[i].text);
    const RunResult r = run({"--dir=" + dir});
    expect_exit(r, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = support::log_lines(r.out);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
      return line.rfind("info | Image written: ", 0) == 0;
    })) << "the example bakes nothing";
  }
}

} // namespace
