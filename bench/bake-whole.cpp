// The whole-bake benchmark: the release glyphmint binary against the floor
// program (bake-floor.cpp), each timed as a whole process on the standard
// workload (workload.h). Before any timing it checks that both wrote the
// same bytes, so the comparison is between two programs doing the same job.
//
// Runs are paired and the order inside a pair alternates, so slow drifts of
// the machine's load hit both sides alike; the ratio reported is the median
// of the per-pair ratios. With --instructions it also counts what each
// executes under valgrind's callgrind, a figure the machine's load barely
// moves. The last line is for scripts:
//   RESULT glyphmint_ms=... floor_ms=... ratio=... cpu_ratio=... instr_ratio=...
#include "bench/bench-support.h"
#include "bench/workload.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
using bench::median;

using bench::die;
using bench::read_file;
using bench::run_timed;
using bench::Timing;
using bench::write_file;

// Instructions the command executes, as callgrind counts them: unlike time,
// the count hardly moves with the machine's load.
double instructions(const std::vector<std::string> &cmd, const std::string &log) {
  std::vector<std::string> args = {"valgrind", "--tool=callgrind",
                                   "--callgrind-out-file=/dev/null"};
  args.insert(args.end(), cmd.begin(), cmd.end());
  run_timed(args, log);
  const std::string text = read_file(log);
  const auto at = text.find("Collected : ");
  if (at == std::string::npos) die("no instruction count in " + log);
  return std::strtod(text.c_str() + at + 12, nullptr);
}

double minimum(const std::vector<double> &v) {
  return *std::min_element(v.begin(), v.end());
}

void usage() {
  std::printf("usage: bake_whole [--glyphmint EXE] [--floor EXE] [--runs N] [--work DIR]\n"
              "                  [--instructions]\n"
              "  Times the release glyphmint against the floor program on DejaVu Sans\n"
              "  (sizes 12-48, Latin, Greek, Cyrillic), N paired runs (default 15).\n"
              "  DIR (default: a new directory under /tmp, removed afterwards) is kept.\n"
              "  --instructions also counts both programs' instructions with valgrind.\n");
}

} // namespace

int main(int argc, char **argv) {
  std::string glyphmint = GLYPHMINT_EXE;
  std::string floor_exe = BAKE_FLOOR_EXE;
  std::string work;
  int runs = 15;
  bool count_instructions = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--glyphmint" && has_value)
      glyphmint = argv[++i];
    else if (arg == "--floor" && has_value)
      floor_exe = argv[++i];
    else if (arg == "--work" && has_value)
      work = argv[++i];
    else if (arg == "--runs" && has_value)
      runs = std::atoi(argv[++i]);
    else if (arg == "--instructions")
      count_instructions = true;
    else {
      usage();
      return arg == "--help" ? 0 : 2;
    }
  }
  if (runs < 1) die("--runs needs a positive number");

  const bool own_work = work.empty();
  if (own_work) {
    char tmpl[] = "/tmp/glyphmint-bench-XXXXXX";
    if (!mkdtemp(tmpl)) die("cannot make a work directory under /tmp");
    work = tmpl;
  } else if (mkdir(work.c_str(), 0755) != 0 && errno != EEXIST) {
    die("cannot make " + work);
  }
  const std::string tool_dir = work + "/tool", floor_dir = work + "/floor";
  for (const std::string &d : {tool_dir, floor_dir})
    if (mkdir(d.c_str(), 0755) != 0 && errno != EEXIST) die("cannot make " + d);

  // Each side bakes its own copy of the font, since outputs go beside it.
  const std::string font = read_file(workload::k_font);
  write_file(tool_dir + "/" + workload::k_font_name, font);
  write_file(floor_dir + "/" + workload::k_font_name, font);
  write_file(tool_dir + "/" + workload::k_settings_name, workload::settings_text());

  const std::vector<std::string> tool_cmd = {glyphmint, "--dir", tool_dir};
  const std::vector<std::string> floor_cmd = {floor_exe, floor_dir + "/" + workload::k_font_name,
                                              floor_dir, workload::sizes_arg(),
                                              workload::ranges_arg()};

  // A first run of each warms the page cache and makes the files to compare.
  run_timed(tool_cmd);
  run_timed(floor_cmd);
  uint64_t compared = 0;
  for (int size : workload::k_sizes) {
    for (const char *ext : {".png", ".fnt"}) {
      const std::string name =
          std::string(workload::k_base_name) + "-" + std::to_string(size) + ext;
      const std::string a = read_file(tool_dir + "/" + name);
      const std::string b = read_file(floor_dir + "/" + name);
      if (a != b) die(name + " differs between glyphmint and the floor: no fair comparison");
      compared += a.size();
    }
  }
  std::printf("outputs identical: %zu files, %llu bytes\n", std::size(workload::k_sizes) * 2,
              static_cast<unsigned long long>(compared));

  std::vector<double> tool_wall, floor_wall, tool_cpu, floor_cpu, ratio_wall, ratio_cpu;
  for (int i = 0; i < runs; ++i) {
    Timing t, f;
    if (i % 2 == 0) {
      t = run_timed(tool_cmd);
      f = run_timed(floor_cmd);
    } else {
      f = run_timed(floor_cmd);
      t = run_timed(tool_cmd);
    }
    tool_wall.push_back(t.wall_ms);
    floor_wall.push_back(f.wall_ms);
    tool_cpu.push_back(t.cpu_ms);
    floor_cpu.push_back(f.cpu_ms);
    ratio_wall.push_back(t.wall_ms / f.wall_ms);
    ratio_cpu.push_back(t.cpu_ms / f.cpu_ms);
  }

  std::printf("%d paired runs (order alternating)   median      min\n", runs);
  std::printf("  glyphmint   wall ms              %8.1f %8.1f\n", median(tool_wall),
              minimum(tool_wall));
  std::printf("  floor       wall ms              %8.1f %8.1f\n", median(floor_wall),
              minimum(floor_wall));
  std::printf("  glyphmint   cpu ms (user+sys)    %8.1f %8.1f\n", median(tool_cpu),
              minimum(tool_cpu));
  std::printf("  floor       cpu ms (user+sys)    %8.1f %8.1f\n", median(floor_cpu),
              minimum(floor_cpu));
  std::printf("  ratio glyphmint/floor, wall      %8.3f\n", median(ratio_wall));
  std::printf("  ratio glyphmint/floor, cpu       %8.3f\n", median(ratio_cpu));
  double instr_ratio = 0;
  if (count_instructions) {
    const double t = instructions(tool_cmd, work + "/callgrind-glyphmint.txt");
    const double f = instructions(floor_cmd, work + "/callgrind-floor.txt");
    instr_ratio = t / f;
    std::printf("instructions (callgrind)   glyphmint %.0f, floor %.0f, ratio %.4f\n", t, f,
                instr_ratio);
  }
  std::printf("RESULT glyphmint_ms=%.1f floor_ms=%.1f ratio=%.3f cpu_ratio=%.3f instr_ratio=%.4f\n",
              median(tool_wall), median(floor_wall), median(ratio_wall), median(ratio_cpu),
              instr_ratio);

  if (own_work) {
    for (const std::string &d : {tool_dir, floor_dir}) {
      for (int size : workload::k_sizes)
        for (const char *ext : {".png", ".fnt"})
          std::remove((d + "/" + workload::k_base_name + "-" + std::to_string(size) + ext).c_str());
      std::remove((d + "/" + workload::k_font_name).c_str());
    }
    std::remove((tool_dir + "/" + workload::k_settings_name).c_str());
    std::remove((work + "/callgrind-glyphmint.txt").c_str());
    std::remove((work + "/callgrind-floor.txt").c_str());
    rmdir(tool_dir.c_str());
    rmdir(floor_dir.c_str());
    rmdir(work.c_str());
  }
  return 0;
}
