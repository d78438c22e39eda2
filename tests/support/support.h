// Helpers shared by the tool's tests: scratch directories, whole files,
// running the built binary, reading its log lines and .fnt files, and
// rasterising with FreeType directly. The trap: nothing here may reuse the
// tool's own code, or the tests would only check the tool against itself;
// the .fnt reader and the FreeType reference are written from the file format
// and FreeType's documentation alone.
#pragma once

#include "core/types.h"
#include "glyphmint/fnt.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace support {

inline const std::string k_sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const std::string k_mono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
// Fonts to bake beside a text font: icons (fonts-font-awesome) and CJK
// (fonts-noto-cjk, a collection).
inline const std::string k_icons = "/usr/share/fonts/truetype/font-awesome/fontawesome-webfont.ttf";
inline const std::string k_cjk = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
inline const std::string k_emoji = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf";

/// A fresh directory under $TMPDIR (or /tmp), in canonical form so it compares
/// equal to what realpath gives; removed with everything in it on destruction.
class ScratchDir {
public:
  ScratchDir() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/glyphmint-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp(" << pattern << ") failed: " << std::strerror(errno);
      return;
    }
    path_ = std::filesystem::canonical(buf.data()).string();
  }
  ~ScratchDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  [[nodiscard]] const std::string &path() const { return path_; }

private:
  std::string path_;
};

/// The whole file, or an empty string when it cannot be read (check existence
/// separately where the difference matters).
[[nodiscard]] inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

/// Empty when equal, else where and how two byte strings first differ.
[[nodiscard]] inline std::string first_difference(const std::string &got, const std::string &want) {
  if (got == want) return "";
  const std::size_t n = std::min(got.size(), want.size());
  std::size_t at = 0;
  while (at < n && got[at] == want[at]) ++at;
  std::ostringstream os;
  os << "sizes " << got.size() << " and " << want.size() << ", first difference at byte " << at;
  if (at < n)
    os << ": " << int(static_cast<u8>(got[at])) << " != " << int(static_cast<u8>(want[at]));
  return os.str();
}

/// True for any entry, dangling symbolic links included.
[[nodiscard]] inline bool entry_exists(const std::string &path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

/// Every entry below `dir`, as paths relative to it, sorted.
[[nodiscard]] inline std::set<std::string> tree(const std::string &dir) {
  std::set<std::string> out;
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
    out.insert(std::filesystem::relative(e.path(), dir).string());
  return out;
}

/// The directory's own entries in the order readdir yields them, which is
/// the order a walk over it meets them.
[[nodiscard]] inline std::vector<std::string> listing_order(const std::string &dir) {
  std::vector<std::string> names;
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent *e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  return names;
}

/// How a run of the binary ended and what it printed.
struct RunResult {
  bool exited = false; ///< ended through exit/return; then exit_code is valid
  int exit_code = -1;
  int signal = 0;            ///< the terminating signal when it did not exit
  bool timed_out = false;    ///< killed by the watchdog for running too long
  bool rss_exceeded = false; ///< killed by the watchdog for using too much memory
  /// The child's maximum resident set size. Linux carries the high-water mark
  /// across exec, so it includes the forked test process's own, which is small.
  long peak_rss_kib = 0;
  std::string out;
  std::string err;
};

inline std::ostream &operator<<(std::ostream &os, const RunResult &r) {
  os << "exited=" << r.exited << " exit_code=" << r.exit_code << " signal=" << r.signal
     << " timed_out=" << r.timed_out << " rss_exceeded=" << r.rss_exceeded
     << " peak_rss_kib=" << r.peak_rss_kib << "\n--- stdout ---\n"
     << r.out << "--- stderr ---\n"
     << r.err;
  return os;
}

/// The resident set of a running process in KiB, 0 when it cannot be read.
[[nodiscard]] inline long resident_kib(pid_t pid) {
  std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
  long size_pages = 0;
  long resident_pages = 0;
  if (!(statm >> size_pages >> resident_pages)) return 0;
  return resident_pages * (sysconf(_SC_PAGESIZE) / 1024);
}

/// Runs `exe` with `args` in `cwd`, its stdout and stderr captured to files in
/// `capture_dir`. The watchdog kills a run that outlives `watchdog_seconds` or
/// (when `rss_limit_kib` is not 0) grows past that resident size, so a
/// runaway cannot hang the suite or exhaust the machine; it is no timing
/// assertion. A `file_size_limit` other than 0 caps every file the run writes
/// at that many bytes (RLIMIT_FSIZE, with SIGXFSZ ignored so that the write
/// fails with EFBIG instead of killing the run): a disk that fills up part-way.
[[nodiscard]] inline RunResult run_program(const std::string &exe,
                                           const std::vector<std::string> &args,
                                           const std::string &cwd, const std::string &capture_dir,
                                           int watchdog_seconds = 300, long rss_limit_kib = 0,
                                           long file_size_limit = 0) {
  RunResult result;
  const std::string out_path = capture_dir + "/stdout.txt";
  const std::string err_path = capture_dir + "/stderr.txt";

  // Everything the child needs is prepared before fork: after it, the child
  // only makes async-signal-safe calls.
  std::vector<std::string> storage;
  storage.push_back(exe);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  const rlimit size_limit{static_cast<rlim_t>(file_size_limit),
                          static_cast<rlim_t>(file_size_limit)};

  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed: " << std::strerror(errno);
    return result;
  }
  if (pid == 0) {
    const int out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out_fd < 0 || err_fd < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    if (dup2(out_fd, STDOUT_FILENO) < 0 || dup2(err_fd, STDERR_FILENO) < 0) _exit(126);
    close(out_fd);
    close(err_fd);
    if (file_size_limit != 0 &&
        (sigaction(SIGXFSZ, &ignore, nullptr) != 0 || setrlimit(RLIMIT_FSIZE, &size_limit) != 0))
      _exit(126);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }

  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  int status = 0;
  rusage usage{};
  while (true) {
    const pid_t got = wait4(pid, &status, WNOHANG, &usage);
    if (got == pid) break;
    if (got < 0 && errno != EINTR) {
      ADD_FAILURE() << "wait4 failed: " << std::strerror(errno);
      return result;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const bool too_long = now.tv_sec - start.tv_sec > watchdog_seconds;
    const bool too_big = rss_limit_kib != 0 && resident_kib(pid) > rss_limit_kib;
    if (too_long || too_big) {
      kill(pid, SIGKILL);
      while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
      }
      result.timed_out = too_long;
      result.rss_exceeded = too_big;
      break;
    }
    const timespec pause{0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }

  result.exited = WIFEXITED(status);
  if (result.exited) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.peak_rss_kib = usage.ru_maxrss;
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

/// Whether `line` starts with a timestamp such as 2026-03-07T09:05:02.041.
[[nodiscard]] inline bool starts_with_timestamp(const std::string &line) {
  static const char shape[] = "dddd-dd-ddTdd:dd:dd.ddd";
  const std::size_t n = sizeof(shape) - 1;
  if (line.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
  }
  return true;
}

/// Each stdout line as "<tag> | <message>", the timestamp checked and dropped.
/// A line that is no log line comes back as "not a log line: <line>", so
/// comparing against the expected lines shows it.
[[nodiscard]] inline std::vector<std::string> log_lines(const std::string &out) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < out.size()) {
    const std::size_t nl = out.find('\n', at);
    if (nl == std::string::npos) {
      lines.push_back("unterminated line: " + out.substr(at));
      break;
    }
    const std::string line = out.substr(at, nl - at);
    at = nl + 1;
    // The timestamp, " | ", a four-letter tag, " | ", the message.
    const std::size_t stamp = 23;
    const std::string tag = line.size() >= stamp + 10 ? line.substr(stamp + 3, 4) : "";
    if (starts_with_timestamp(line) && line.compare(stamp, 3, " | ") == 0 &&
        (tag == "info" || tag == "debg" || tag == "CRIT") && line.compare(stamp + 7, 3, " | ") == 0)
      lines.push_back(line.substr(stamp + 3));
    else
      lines.push_back("not a log line: " + line);
  }
  return lines;
}

// ---------------------------------------------------------------------------
// The .fnt file, through the one definition of its layout (glyphmint/fnt.h).

struct FntFile {
  std::string image;
  i32 line_height = 0;
  i32 size = 0;
  i32 ascender = 0;
  i32 descender = 0;
  std::vector<gm_glyph> records;
};

[[nodiscard]] inline i32 le_i32(const std::string &b, std::size_t at) {
  u32 v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<u8>(b[at + static_cast<std::size_t>(i)]);
  return static_cast<i32>(v);
}

/// Parses `bytes` with the reader; false with the reason when it refuses them.
[[nodiscard]] inline bool parse_fnt(const std::string &bytes, FntFile &out, std::string &why) {
  gm_font font{};
  std::size_t at = 0;
  const gm_error e = gm_font_parse(&font, bytes.data(), bytes.size(), &at);
  if (e != GM_OK) {
    why = std::string(gm_error_text(e)) + " at byte " + std::to_string(at);
    return false;
  }
  FntFile f;
  f.image.assign(font.image_name, font.image_name_length);
  f.line_height = font.line_height;
  f.size = font.size;
  f.ascender = font.ascender;
  f.descender = font.descender;
  for (std::size_t i = 0; i < font.glyph_count; ++i) f.records.push_back(gm_font_glyph(&font, i));
  out = std::move(f);
  return true;
}

/// The bytes of a .fnt holding `fnt` as it stands: records in the order
/// given, so tests can also write files that a reader must refuse.
[[nodiscard]] inline std::string fnt_bytes(const FntFile &fnt) {
  gm_font header{};
  header.image_name = fnt.image.data();
  header.image_name_length = fnt.image.size();
  header.line_height = fnt.line_height;
  header.size = fnt.size;
  header.ascender = fnt.ascender;
  header.descender = fnt.descender;
  header.glyph_count = fnt.records.size();
  const std::size_t header_size = GM_FNT_HEADER_SIZE + fnt.image.size();
  std::string b(header_size + GM_FNT_RECORD_SIZE * fnt.records.size(), '\0');
  auto *out = reinterpret_cast<unsigned char *>(b.data());
  gm_font_encode_header(&header, out);
  for (std::size_t i = 0; i < fnt.records.size(); ++i)
    gm_glyph_encode(&fnt.records[i], out + header_size + i * GM_FNT_RECORD_SIZE);
  return b;
}

// ---------------------------------------------------------------------------
// FreeType called directly, with the tool's load flags and render mode.

/// One rendered glyph: the bitmap rows top first, `width` bytes each.
struct RefGlyph {
  u32 width = 0;
  u32 rows = 0;
  i32 left = 0;
  i32 top = 0;
  i32 advance = 0;       ///< whole pixels, rounded toward minus infinity
  long advance_26_6 = 0; ///< FreeType's, in 1/64 pixels
  std::vector<u8> bitmap;
};

/// Line metrics in whole pixels: 26.6 values as float times 1/64, truncated.
struct RefMetrics {
  i32 line_height = 0;
  i32 ascender = 0;
  i32 descender = 0;
};

/// A face on a FreeType library of its own, set to one pixel size.
class RefFace {
public:
  RefFace(const std::string &font, int pixel_size) {
    if (FT_Init_FreeType(&library_) != 0) {
      ADD_FAILURE() << "FT_Init_FreeType failed";
      return;
    }
    if (FT_New_Face(library_, font.c_str(), 0, &face_) != 0) {
      ADD_FAILURE() << "FT_New_Face failed for " << font;
      face_ = nullptr;
      return;
    }
    if (FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(pixel_size)) != 0)
      ADD_FAILURE() << "FT_Set_Pixel_Sizes failed for " << pixel_size;
  }
  ~RefFace() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  RefFace(const RefFace &) = delete;
  RefFace &operator=(const RefFace &) = delete;

  [[nodiscard]] bool ok() const { return face_ != nullptr; }

  [[nodiscard]] bool has(int code) const {
    return face_ != nullptr && FT_Get_Char_Index(face_, static_cast<FT_ULong>(code)) != 0;
  }

  /// The coverage glyph, or with `mono` FreeType's monochrome rendering of
  /// the outline hinted for it, its set bits as 255.
  [[nodiscard]] RefGlyph glyph(int code, bool mono = false) const {
    if (face_ == nullptr) return {};
    const FT_UInt index = FT_Get_Char_Index(face_, static_cast<FT_ULong>(code));
    EXPECT_NE(index, 0u) << "the font has no glyph for " << code;
    return glyph_at(index, mono);
  }

  /// The same for a glyph index, as a shaper gives it.
  [[nodiscard]] RefGlyph glyph_at(FT_UInt index, bool mono = false) const {
    RefGlyph g;
    if (face_ == nullptr) return g;
    EXPECT_EQ(FT_Load_Glyph(face_, index,
                            mono ? FT_LOAD_TARGET_MONO : FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME),
              0)
        << "glyph " << index;
    EXPECT_EQ(FT_Render_Glyph(face_->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL), 0)
        << "glyph " << index;
    const FT_Bitmap &b = face_->glyph->bitmap;
    EXPECT_EQ(b.pixel_mode, mono ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY) << "glyph " << index;
    g.width = b.width;
    g.rows = b.rows;
    g.left = face_->glyph->bitmap_left;
    g.top = face_->glyph->bitmap_top;
    g.advance = static_cast<i32>(std::floor(static_cast<double>(face_->glyph->advance.x) / 64.0));
    g.advance_26_6 = face_->glyph->advance.x;
    // A negative pitch means the rows lie bottom up; either way, adding the
    // pitch to a row pointer goes one row down.
    const long pitch = b.pitch;
    const u8 *top_row = pitch >= 0 ? b.buffer : b.buffer + (-pitch) * (long(b.rows) - 1);
    for (u32 r = 0; r < b.rows; ++r) {
      const u8 *row = top_row + pitch * long(r);
      for (u32 c = 0; c < b.width; ++c)
        g.bitmap.push_back(mono ? u8(row[c / 8] & (0x80 >> (c % 8)) ? 255 : 0) : row[c]);
    }
    return g;
  }

  [[nodiscard]] FT_Face face() const { return face_; }

  [[nodiscard]] RefMetrics metrics() const {
    RefMetrics m;
    if (face_ == nullptr) return m;
    const auto px = [](FT_Pos v) {
      return static_cast<i32>(std::trunc(static_cast<float>(v) / 64.0f));
    };
    m.line_height = px(face_->size->metrics.height);
    m.ascender = px(face_->size->metrics.ascender);
    m.descender = px(face_->size->metrics.descender);
    return m;
  }

private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

/// The code of FT_New_Face for `path`, as the tool would meet it.
[[nodiscard]] inline int ft_open_error(const std::string &path) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return -1;
  FT_Face face = nullptr;
  const FT_Error error = FT_New_Face(library, path.c_str(), 0, &face);
  if (error == 0) FT_Done_Face(face);
  FT_Done_FreeType(library);
  return error;
}

} // namespace support
