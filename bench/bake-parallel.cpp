// The bake on every core against the sequential one and the floor program:
// the release glyphmint timed as a whole process with GLYPHMINT_JOBS=1 and
// with the variable unset (every CPU it may use), in pairs whose order
// alternates, on four bakes:
//   medium  the standard workload (workload.h), also against bake_floor;
//   sdf     the example's distance field (examples/fonts/DejaVuSans-SDF,
//           its ranges and chars) at 48 px with spread 8;
//   cjk     every code point of Noto Sans CJK (face 0 of fonts-noto-cjk's
//           NotoSansCJK-Regular.ttc) at 10 px, as ranges;
//   cjk ch  the same font at 10 px from glyphmint-font charset's lines, as a
//           user makes them (its ranges, then lone code points), also
//           against bake_floor given the same lists (outputs checked equal).
// Ratios are per pair: all/1, 1/floor, all/floor, their medians and least;
// and 1/floor in processor time, which a loaded machine hardly moves.
// Wall time is what threads shorten, so it is the figure here; on a loaded
// machine it mostly measures waiting for a core (the load is printed). Peak
// resident memory is the largest over the runs. Every bake's outputs are
// checked byte-identical between the two before any timing.
//
//   bake_parallel [--runs N] [--glyphmint EXE] [--floor EXE]
//
// The last line is for scripts:
//   RESULT medium_floor_ratio=... medium_ratio=... sdf_ratio=... cjk_ratio=...
//          cjk_chars_ratio=... cjk_chars_one_floor=... cjk_chars_all_floor=... ...
#include "bench/bench-support.h"
#include "bench/font-ranges.h"
#include "bench/workload.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using bench::die;
using bench::median;
using bench::read_file;
using bench::run_timed;
using bench::Timing;
using bench::write_file;

const char k_cjk[] = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";

struct Bake {
  const char *name;
  std::string font; // copied into the work directory as Font.<ext>
  std::string settings;
  std::vector<int> sizes;
  bool floor_checked = false; // the floor program writes the same files
};

// Runs glyphmint with GLYPHMINT_JOBS set to `jobs`, or unset for "".
Timing run_with_jobs(const std::vector<std::string> &cmd, const char *jobs) {
  if (*jobs != '\0')
    setenv("GLYPHMINT_JOBS", jobs, 1);
  else
    unsetenv("GLYPHMINT_JOBS");
  const Timing t = run_timed(cmd);
  unsetenv("GLYPHMINT_JOBS");
  return t;
}

std::string settings_for(const std::string &font_name, int size, const std::string &ranges,
                         const char *extra) {
  return "path = " + font_name + "\nsizes = [" + std::to_string(size) + "]\nranges = [" + ranges +
         "]\nchars = []\n" + extra;
}

// The settings' `ranges` and `chars` lines.
std::string lists_of(const std::string &settings) {
  std::string lines;
  for (size_t at = 0; at < settings.size();) {
    const size_t end = std::min(settings.find('\n', at), settings.size());
    const std::string line = settings.substr(at, end - at);
    if (line.rfind("ranges", 0) == 0 || line.rfind("chars", 0) == 0) lines += line + "\n";
    at = end + 1;
  }
  return lines;
}

// The two sides' outputs, size by size, must be the same bytes.
void check_same(const std::string &a, const std::string &b, const std::vector<int> &sizes,
                const char *sides = "one thread and all") {
  for (int size : sizes)
    for (const char *ext : {".png", ".fnt"}) {
      const std::string name = "/Font-" + std::to_string(size) + ext;
      if (read_file(a + name) != read_file(b + name))
        die(name.substr(1) + " differs between " + sides + ": no fair comparison");
    }
}

/// A ratio's median and least over the pairs.
struct Spread {
  double median = 0, min = 0;
};

Spread spread(const std::vector<double> &v) {
  if (v.empty()) return {};
  return {median(v), *std::min_element(v.begin(), v.end())};
}

struct Figures {
  double one_ms, all_ms, floor_ms;
  Spread ratio, one_floor, floor_ratio; // all/1, 1/floor, all/floor
  Spread one_floor_cpu;                 // 1/floor in processor time
  long one_rss, all_rss;
};

// Paired runs of one bake: the sequential run, all cores, and (given a floor
// command) the floor program.
Figures time_bake(const Bake &bake, const std::string &work, const std::string &glyphmint,
                  const std::vector<std::string> &floor_cmd, int runs) {
  const std::string one_dir = work + "/" + bake.name + "-1", all_dir = work + "/" + bake.name;
  const std::string font_name = "Font" + bake.font.substr(bake.font.rfind('.'));
  const std::string font = read_file(bake.font);
  for (const std::string &d : {one_dir, all_dir}) {
    mkdir(d.c_str(), 0755);
    write_file(d + "/" + font_name, font);
    write_file(d + "/Font.glyphmint.ini", bake.settings);
  }
  const std::vector<std::string> one = {glyphmint, "--dir", one_dir};
  const std::vector<std::string> all = {glyphmint, "--dir", all_dir};
  run_with_jobs(one, "1");
  run_with_jobs(all, "");
  check_same(one_dir, all_dir, bake.sizes);
  if (!floor_cmd.empty()) {
    run_timed(floor_cmd);
    if (bake.floor_checked)
      check_same(one_dir, floor_cmd[2], bake.sizes, "glyphmint and the floor");
  }

  std::vector<double> one_ms, all_ms, floor_ms, ratio, one_floor, floor_ratio, one_floor_cpu;
  long one_rss = 0, all_rss = 0;
  for (int i = 0; i < runs; ++i) {
    Timing t1, ta, tf;
    if (i % 2 == 0) t1 = run_with_jobs(one, "1");
    ta = run_with_jobs(all, "");
    if (i % 2 != 0) t1 = run_with_jobs(one, "1");
    if (!floor_cmd.empty()) tf = run_timed(floor_cmd);
    one_ms.push_back(t1.wall_ms);
    all_ms.push_back(ta.wall_ms);
    ratio.push_back(ta.wall_ms / t1.wall_ms);
    one_rss = std::max(one_rss, t1.peak_rss_kib);
    all_rss = std::max(all_rss, ta.peak_rss_kib);
    if (!floor_cmd.empty()) {
      floor_ms.push_back(tf.wall_ms);
      floor_ratio.push_back(ta.wall_ms / tf.wall_ms);
      one_floor.push_back(t1.wall_ms / tf.wall_ms);
      one_floor_cpu.push_back(t1.cpu_ms / tf.cpu_ms);
    }
  }
  return {median(one_ms),        median(all_ms),    floor_ms.empty() ? 0 : median(floor_ms),
          spread(ratio),         spread(one_floor), spread(floor_ratio),
          spread(one_floor_cpu), one_rss,           all_rss};
}

void print_row(const char *what, const Figures &f) {
  std::printf(
      "  %-8s %9.0f %9.0f %5.3f/%5.3f %9.0f %5.3f/%5.3f %5.3f/%5.3f %5.3f/%5.3f %9ld %9ld %6.2f\n",
      what, f.one_ms, f.all_ms, f.ratio.median, f.ratio.min, f.floor_ms, f.one_floor.median,
      f.one_floor.min, f.floor_ratio.median, f.floor_ratio.min, f.one_floor_cpu.median,
      f.one_floor_cpu.min, f.one_rss, f.all_rss, double(f.all_rss) / double(f.one_rss));
}

} // namespace

int main(int argc, char **argv) {
  std::string glyphmint = GLYPHMINT_EXE, floor_exe = BAKE_FLOOR_EXE;
  int runs = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else if (arg == "--glyphmint" && i + 1 < argc)
      glyphmint = argv[++i];
    else if (arg == "--floor" && i + 1 < argc)
      floor_exe = argv[++i];
    else {
      std::printf("usage: bake_parallel [--runs N] [--glyphmint EXE] [--floor EXE]\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  if (runs < 1) die("--runs needs a positive number");
  char tmpl[] = "/tmp/glyphmint-parallel-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) die("cannot make a work directory under /tmp");
  const std::string work = tmpl;

  std::vector<int> sizes(std::begin(workload::k_sizes), std::end(workload::k_sizes));
  std::string medium_settings = workload::settings_text();
  medium_settings.replace(medium_settings.find(workload::k_font_name),
                          std::string(workload::k_font_name).size(), "Font.ttf");
  const Bake medium{"medium", workload::k_font, medium_settings, sizes};
  const std::string floor_dir = work + "/floor";
  mkdir(floor_dir.c_str(), 0755);
  write_file(floor_dir + "/Font.ttf", read_file(workload::k_font));
  const std::vector<std::string> floor_cmd = {floor_exe, floor_dir + "/Font.ttf", floor_dir,
                                              workload::sizes_arg(), workload::ranges_arg()};
  const Bake sdf{"sdf",
                 workload::k_font,
                 "path = Font.ttf\nsizes = [48]\n" + lists_of(read_file(EXAMPLE_SDF_SETTINGS)) +
                     "render = sdf\nspread = 8\n",
                 {48}};
  const Bake cjk{
      "cjk", k_cjk, settings_for("Font.ttc", 10, workload::mapped_ranges(k_cjk), ""), {10}};

  std::printf("%d paired runs, wall ms medians, ratios median/min; %ld CPUs online, load average "
              "before: %s",
              runs, sysconf(_SC_NPROCESSORS_ONLN), read_file("/proc/loadavg").c_str());
  std::printf("  %-8s %9s %9s %11s %9s %11s %11s %11s %9s %9s %6s\n", "bake", "1 thread", "all",
              "all/1", "floor", "1/floor", "all/floor", "1/floor cpu", "rss1 KiB", "rssall",
              "rss×");
  const Figures m = time_bake(medium, work, glyphmint, floor_cmd, runs);
  print_row("medium", m);
  const Figures s = time_bake(sdf, work, glyphmint, {}, runs);
  print_row("sdf 48", s);
  Figures c{}, ch{};
  if (access(k_cjk, R_OK) == 0) {
    c = time_bake(cjk, work, glyphmint, {}, std::max(1, runs / 2));
    print_row("cjk 10", c);
    const std::string lines = workload::charset_lines(GLYPHMINT_FONT_EXE, k_cjk);
    if (lines.empty()) die("glyphmint-font charset failed on " + std::string(k_cjk));
    const Bake charset{"cjkchars", k_cjk, "path = Font.ttc\nsizes = [10]\n" + lines, {10}, true};
    const std::string cjk_floor_dir = work + "/cjk-floor";
    mkdir(cjk_floor_dir.c_str(), 0755);
    write_file(cjk_floor_dir + "/Font.ttc", read_file(k_cjk));
    ch = time_bake(
        charset, work, glyphmint,
        {floor_exe, cjk_floor_dir + "/Font.ttc", cjk_floor_dir, "10", workload::floor_list(lines)},
        std::max(1, runs / 2));
    print_row("cjk ch", ch);
  } else {
    std::printf("  (no %s: install fonts-noto-cjk)\n", k_cjk);
  }
  std::printf("RESULT medium_floor_ratio=%.3f medium_ratio=%.3f sdf_ratio=%.3f cjk_ratio=%.3f "
              "cjk_chars_ratio=%.3f cjk_chars_one_floor=%.3f cjk_chars_all_floor=%.3f "
              "medium_rss_ratio=%.2f cjk_rss_ratio=%.2f\n",
              m.floor_ratio.median, m.ratio.median, s.ratio.median, c.ratio.median, ch.ratio.median,
              ch.one_floor.median, ch.floor_ratio.median, double(m.all_rss) / double(m.one_rss),
              c.one_rss != 0 ? double(c.all_rss) / double(c.one_rss) : 0.0);
  std::string rm = "rm -rf '" + work + "'";
  if (std::system(rm.c_str()) != 0) die("cannot remove " + work);
  return 0;
}
