// Shared by the micro-benchmark files: registration under readable names and
// the comparisons the closing summary prints. Every benchmark reports its
// work as items (or bytes) processed, so figures are per operation and do
// not depend on how many operations one iteration does. The trap: a name
// passed to compare() must be a registered benchmark name exactly, or the
// summary shows that row as missing.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace micro {

/// What a comparison row checks, beyond printing the two figures.
enum class Target {
  None,        ///< printed for information only
  NotSlower,   ///< ours must take at most the alternative's time
  Within10Pct, ///< ours must reach 90% of the alternative's throughput
};

struct Comparison {
  std::string ours;
  std::string alternative;
  Target target;
};

/// The rows of the closing summary, in registration order.
std::vector<Comparison> &comparisons();

/// Adds a row "ours against alternative" to the closing summary.
inline void compare(std::string ours, std::string alternative, Target target = Target::None) {
  comparisons().push_back({std::move(ours), std::move(alternative), target});
}

/// Registers a benchmark under exactly `name`.
template <typename Fn> benchmark::internal::Benchmark *add(const std::string &name, Fn &&fn) {
  return benchmark::RegisterBenchmark(name.c_str(), std::forward<Fn>(fn));
}

} // namespace micro
