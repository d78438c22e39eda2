// The PNG encoder against stb_image_write, the encoder it replaced and whose
// bytes it must write, on the pages of the biggest bake a user makes: the
// whole of Noto Sans CJK at 10 px from glyphmint-font charset's lines (its
// 2048x4096 grey atlas), and that atlas exported as an RGBA BMFont page.
// Both pages are the programs' own outputs, read back with stb_image.
//
// The two encoders run in alternating order, pinned to one core (ours on
// one thread, as a bake on one job runs it), then with every core the
// process may use; wall time and processor time (every thread's: steadier
// on a loaded machine), ratios ours/stb per pair, median and least.
// The bytes are checked equal before any timing.
//
//   png_encode [--reps N]
//
// The last line is for scripts:
//   RESULT grey_one_core=... rgba_one_core=... grey_all=... rgba_all=...
#include "bench/bench-support.h"
#include "bench/font-ranges.h"
#include "shared/png.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <sched.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::die;
using bench::median;
using bench::read_file;
using bench::run_timed;
using bench::write_file;

const char k_cjk[] = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";

struct Page {
  const char *name;
  std::vector<u8> pixels;
  int width = 0, height = 0, channels = 0;
};

Page decode(const char *name, const std::string &path, int channels) {
  const std::string png = read_file(path);
  Page page{name, {}, 0, 0, channels};
  int in_file = 0;
  u8 *pixels = stbi_load_from_memory(reinterpret_cast<const u8 *>(png.data()), int(png.size()),
                                     &page.width, &page.height, &in_file, channels);
  if (pixels == nullptr) die("cannot decode " + path);
  page.pixels.assign(pixels, pixels + u64(page.width) * u64(page.height) * u64(channels));
  stbi_image_free(pixels);
  return page;
}

std::vector<u8> stb_png(const Page &page) {
  std::vector<u8> bytes;
  auto append = [](void *to, void *data, int len) {
    auto *out = static_cast<std::vector<u8> *>(to);
    out->insert(out->end(), static_cast<u8 *>(data), static_cast<u8 *>(data) + len);
  };
  if (!stbi_write_png_to_func(append, &bytes, page.width, page.height, page.channels,
                              page.pixels.data(), 0))
    die("stb cannot encode the page");
  return bytes;
}

struct Times {
  double wall_ms, cpu_ms;
};

Times timed(const std::function<void()> &work) {
  const double cpu_start = bench::cpu_ms(); // every thread of the process
  const auto start = std::chrono::steady_clock::now();
  work();
  return {
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
      bench::cpu_ms() - cpu_start};
}

/// Medians of both sides' wall time; median and least of the ratios ours/stb.
struct Ratios {
  double ours_ms, stb_ms, wall, wall_min, cpu, cpu_min;
};

double least(const std::vector<double> &v) {
  return *std::min_element(v.begin(), v.end());
}

Ratios time_pairs(const Page &page, int reps, int threads) {
  std::vector<double> ours_ms, stb_ms, wall, cpu;
  for (int i = 0; i < reps; ++i) {
    Times ours{}, stb{};
    const auto time_ours = [&] {
      ours = timed([&] {
        (void)encode_png(page.pixels.data(), page.width, page.height, page.channels,
                         {threads, {}, {}});
      });
    };
    const auto time_stb = [&] { stb = timed([&] { (void)stb_png(page); }); };
    if (i % 2 == 0) time_ours();
    time_stb();
    if (i % 2 != 0) time_ours();
    ours_ms.push_back(ours.wall_ms);
    stb_ms.push_back(stb.wall_ms);
    wall.push_back(ours.wall_ms / stb.wall_ms);
    cpu.push_back(ours.cpu_ms / stb.cpu_ms);
  }
  return {median(ours_ms), median(stb_ms), median(wall), least(wall), median(cpu), least(cpu)};
}

// The CJK bake from charset's lines, and its RGBA export; returns both pages.
std::vector<Page> make_pages(const std::string &work) {
  const std::string lines = workload::charset_lines(GLYPHMINT_FONT_EXE, k_cjk);
  if (lines.empty()) die("glyphmint-font charset failed on " + std::string(k_cjk));
  write_file(work + "/Font.ttc", read_file(k_cjk));
  write_file(work + "/Font.glyphmint.ini", "path = Font.ttc\nsizes = [10]\n" + lines);
  run_timed({GLYPHMINT_EXE, "--dir", work});
  run_timed({GLYPHMINT_FONT_EXE, "export", work + "/Font-10.fnt", "text", work + "/page.fnt"});
  return {decode("cjk grey", work + "/Font-10.png", 1),
          decode("cjk rgba", work + "/page_0.png", 4)};
}

} // namespace

int main(int argc, char **argv) {
  const int reps = bench::reps_option(argc, argv, "png_encode", 5);
  if (access(k_cjk, R_OK) != 0) die(std::string("no ") + k_cjk + ": install fonts-noto-cjk");
  char tmpl[] = "/tmp/glyphmint-png-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) die("cannot make a work directory under /tmp");
  const std::vector<Page> pages = make_pages(tmpl);
  for (const Page &page : pages) {
    const Bytes ours = encode_png(page.pixels.data(), page.width, page.height, page.channels);
    if (std::vector<u8>(ours.data, ours.data + ours.len) != stb_png(page))
      die(std::string(page.name) + ": the encoder's bytes differ from stb's");
  }

  cpu_set_t every_cpu, one_cpu;
  if (sched_getaffinity(0, sizeof every_cpu, &every_cpu) != 0) die("sched_getaffinity failed");
  CPU_ZERO(&one_cpu);
  for (size_t cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &every_cpu)) {
      CPU_SET(cpu, &one_cpu);
      break;
    }
  std::printf("%d paired runs, wall ms medians, ratios ours/stb median/least; %d CPUs for the "
              "process, load average before: %s",
              reps, CPU_COUNT(&every_cpu), read_file("/proc/loadavg").c_str());
  std::printf("  %-9s %-6s %9s %9s %13s %13s\n", "page", "cores", "ours", "stb", "wall",
              "processor");
  std::vector<double> results;
  for (const bool pinned : {true, false}) {
    if (sched_setaffinity(0, sizeof(cpu_set_t), pinned ? &one_cpu : &every_cpu) != 0)
      die("sched_setaffinity failed");
    for (const Page &page : pages) {
      // On one core, one thread: as a bake told to use one encodes.
      const Ratios r = time_pairs(page, reps, pinned ? 1 : 2);
      std::printf("  %-9s %-6s %9.1f %9.1f   %5.3f/%5.3f   %5.3f/%5.3f   (%dx%dx%d)\n", page.name,
                  pinned ? "one" : "all", r.ours_ms, r.stb_ms, r.wall, r.wall_min, r.cpu, r.cpu_min,
                  page.width, page.height, page.channels);
      results.push_back(r.wall);
    }
  }
  std::printf("RESULT grey_one_core=%.3f rgba_one_core=%.3f grey_all=%.3f rgba_all=%.3f\n",
              results[0], results[1], results[2], results[3]);
  const std::string rm = "rm -rf '" + std::string(tmpl) + "'";
  if (std::system(rm.c_str()) != 0) die("cannot remove " + std::string(tmpl));
  return 0;
}
