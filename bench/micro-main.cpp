// The micro-benchmark driver: Google Benchmark's own console output while the
// benchmarks run, then a summary of every comparison (ours against the
// alternatives, and whether a target is met). With repetitions, the median of
// the repetitions is what the summary uses.
//
//   micro_bench [--summary=FILE] [Google Benchmark flags]
//
// --summary also writes the summary to FILE, for scripts/bench.
#include "bench/micro.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace micro {

std::vector<Comparison> &comparisons() {
  static std::vector<Comparison> rows;
  return rows;
}

} // namespace micro

namespace {

struct Figures {
  double items_per_second = 0;
  double bytes_per_second = 0;
  bool from_median = false;
};

class Collector : public benchmark::ConsoleReporter {
public:
  std::map<std::string, Figures> figures;

  // Colours only for a terminal: scripts/bench keeps the output in a file.
  Collector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      Figures &f = figures[run.run_name.function_name];
      // A median, once there, outranks the single repetitions it came from.
      if (f.from_median && !median) continue;
      f.from_median = median;
      f.items_per_second = counter(run, "items_per_second");
      f.bytes_per_second = counter(run, "bytes_per_second");
    }
  }

private:
  static double counter(const Run &run, const char *name) {
    const auto it = run.counters.find(name);
    return it == run.counters.end() ? 0 : it->second.value;
  }
};

std::string rate_text(const Figures &f) {
  char text[32];
  if (f.bytes_per_second > 0) {
    const double gb = f.bytes_per_second / 1e9;
    if (gb >= 1)
      std::snprintf(text, sizeof text, "%.2f GB/s", gb);
    else
      std::snprintf(text, sizeof text, "%.0f MB/s", f.bytes_per_second / 1e6);
  } else {
    const double ns = 1e9 / f.items_per_second;
    if (ns >= 1e5)
      std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
    else
      std::snprintf(text, sizeof text, "%.1f ns", ns);
  }
  return text;
}

// "group/impl/arg" split at its slashes; the group and the arg show once.
struct Name {
  std::string group, impl, arg;
};

Name split(const std::string &name) {
  Name n;
  const auto first = name.find('/');
  const auto last = name.rfind('/');
  n.group = name.substr(0, first);
  if (last == first) {
    n.impl = name.substr(first + 1);
  } else {
    n.impl = name.substr(first + 1, last - first - 1);
    n.arg = name.substr(last + 1);
  }
  return n;
}

// One line per benchmark of ours: its figure, then each alternative it is
// compared with (consecutive comparisons of the same benchmark share a line).
std::string summary(const std::map<std::string, Figures> &figures) {
  std::string out;
  char cell[160];
  std::snprintf(cell, sizeof cell, "%-27s %-20s %11s | %-24s %11s %6s | ...\n", "benchmark", "ours",
                "per op", "alternative", "per op", "ratio");
  out += cell;
  const auto &rows = micro::comparisons();
  for (size_t i = 0; i < rows.size();) {
    const std::string &ours_name = rows[i].ours;
    const auto a = figures.find(ours_name);
    const Name ours = split(ours_name);
    std::string what = ours.group;
    if (!ours.arg.empty()) what += ' ' + ours.arg;
    std::string line, verdicts;
    std::snprintf(cell, sizeof cell, "%-27s %-20s %11s", what.c_str(), ours.impl.c_str(),
                  a == figures.end() ? "missing" : rate_text(a->second).c_str());
    line += cell;
    for (; i < rows.size() && rows[i].ours == ours_name; ++i) {
      const micro::Comparison &c = rows[i];
      const auto b = figures.find(c.alternative);
      const Name alt = split(c.alternative);
      if (a == figures.end() || b == figures.end()) {
        std::snprintf(cell, sizeof cell, " | %-24s %11s %6s", alt.impl.c_str(),
                      b == figures.end() ? "missing" : rate_text(b->second).c_str(), "");
        line += cell;
        continue;
      }
      // Time of ours over time of the alternative: below 1, ours is faster.
      const bool bytes = a->second.bytes_per_second > 0 && b->second.bytes_per_second > 0;
      const double ratio = bytes ? b->second.bytes_per_second / a->second.bytes_per_second
                                 : b->second.items_per_second / a->second.items_per_second;
      std::snprintf(cell, sizeof cell, " | %-24s %11s %6.2f", alt.impl.c_str(),
                    rate_text(b->second).c_str(), ratio);
      line += cell;
      if (c.target == micro::Target::NotSlower)
        verdicts += ratio <= 1.0 ? "  target met" : "  TARGET MISSED (slower)";
      if (c.target == micro::Target::Within10Pct)
        verdicts += ratio <= 1.0 / 0.9 ? "  target met" : "  TARGET MISSED (>10% below)";
    }
    // Left out by a filter: nothing to say.
    if (a != figures.end()) out += line + verdicts + "\n";
  }
  out += "ratio: time of ours / time of the alternative (below 1: ours is faster)\n";
  return out;
}

} // namespace

int main(int argc, char **argv) {
  std::string summary_path;
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--summary=", 10) == 0)
      summary_path = argv[i] + 10;
    else
      args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();

  const std::string text = summary(collector.figures);
  std::printf("\n%s", text.c_str());
  if (!summary_path.empty()) {
    FILE *f = std::fopen(summary_path.c_str(), "w");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
        std::fclose(f) != 0) {
      std::fprintf(stderr, "micro_bench: cannot write %s\n", summary_path.c_str());
      return 1;
    }
  }
  return 0;
}
