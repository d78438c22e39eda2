// What the benchmark programs share: stopping with a message that names the
// program, whole files read and written, processor time and medians, and
// other programs run and timed whole.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace bench {

[[noreturn]] inline void die(const std::string &message) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
  std::exit(1);
}

/// The repetitions of a benchmark whose only option is --reps N: the default
/// without it; usage on --help (exit 0) or anything else (exit 2).
inline int reps_option(int argc, char **argv, const char *program, int reps) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reps" && i + 1 < argc) {
      reps = std::atoi(argv[++i]);
      continue;
    }
    std::printf("usage: %s [--reps N]\n", program);
    std::exit(arg == "--help" ? 0 : 2);
  }
  if (reps < 1) die("--reps needs a positive number");
  return reps;
}

inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) die("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) die("cannot write " + path);
}

/// Processor time of this (single-threaded) process in milliseconds: on a
/// machine shared with other work, wall time would mostly measure the waits
/// for a core.
inline double cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/// How long a program ran: wall time, and the processor time it used.
struct Timing {
  double wall_ms = 0;
  double cpu_ms = 0; ///< user + system of the child
  long peak_rss_kib = 0; ///< the child's peak resident set
};

/// Runs args (the program, looked up in PATH, then its arguments) to its end
/// with standard output discarded and standard error in `err_file` if given;
/// a failed run ends the benchmark, since its timing would mean nothing.
inline Timing run_timed(const std::vector<std::string> &args, const std::string &err_file = "") {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (!err_file.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) die("cannot start " + args[0] + ": " + std::strerror(spawned));
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) die("wait4 failed");
  clock_gettime(CLOCK_MONOTONIC, &end);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) die(args[0] + " failed");
  const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return {double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6,
          ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss};
}

} // namespace bench
