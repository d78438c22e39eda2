#include "tools/glyphmint/jobs.h"

#include "core/fmt.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sched.h>

namespace {

// The CPUs of the affinity mask (what taskset sets); 1 when it cannot be read.
int affinity_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

// The cgroup's cpu.max, as the process sees its own cgroup mounted.
int cgroup_cpus() {
  char text[128];
  std::FILE *file = std::fopen("/sys/fs/cgroup/cpu.max", "r");
  if (file == nullptr) return 0;
  const u64 n = std::fread(text, 1, sizeof(text), file);
  std::fclose(file);
  return cpu_quota_limit(StrView(text, n));
}

} // namespace

int parse_jobs(StrView value) {
  int jobs = 0;
  if (!StrParser<int>::try_parse(value, jobs) || jobs < 1 || jobs > k_max_jobs)
    throw Err(fmt("Cannot parse string: ", value, " (GLYPHMINT_JOBS is an integer from 1 to ",
                  k_max_jobs, ")"));
  return jobs;
}

int cpu_quota_limit(StrView cpu_max) {
  StrView parts[3];
  const ArrView<StrView> words = cpu_max.trim().split_se(' ', ArrView<StrView>(parts, 3));
  i64 quota = 0;
  i64 period = 0;
  if (words.count != 2 || !StrParser<long>::try_parse(words.data[0], quota) ||
      !StrParser<long>::try_parse(words.data[1], period) || quota <= 0 || period <= 0)
    return 0;
  return static_cast<int>(std::min<i64>((quota + period - 1) / period, k_max_jobs));
}

int bake_jobs() {
  if (const char *value = std::getenv("GLYPHMINT_JOBS")) return parse_jobs(StrView(value));
  const int quota = cgroup_cpus();
  const int cpus = std::min(affinity_cpus(), k_max_jobs);
  return quota > 0 ? std::min(cpus, quota) : cpus;
}
