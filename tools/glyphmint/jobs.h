// How many threads a bake runs on: GLYPHMINT_JOBS when it is set, else every
// CPU the process may run on (its affinity mask), no more than a cgroup CPU
// quota allows.
#pragma once

#include "core/str-view.h"
#include "core/types.h"

inline constexpr int k_max_jobs = 256;

/// The thread count. Throws Err "Cannot parse string: <value> (GLYPHMINT_JOBS
/// is an integer from 1 to 256)" for any other value of the variable.
[[nodiscard]] int bake_jobs();

/// The variable's value as a count, as bake_jobs checks it.
[[nodiscard]] int parse_jobs(StrView value);

/// The CPUs a cgroup v2 cpu.max text ("<quota> <period>" or "max <period>")
/// allows, rounded up; 0 when it sets no limit or cannot be read.
[[nodiscard]] int cpu_quota_limit(StrView cpu_max);
