#include "core/log.h"

#include "core/fs.h"

#include "capture-stdout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// POSIX extended regex, as the death tests use.
bool matches(const std::string &text, const char *ere) {
  regex_t re;
  if (regcomp(&re, ere, REG_EXTENDED | REG_NOSUB) != 0) return false;
  const bool ok = regexec(&re, text.c_str(), 0, nullptr, 0) == 0;
  regfree(&re);
  return ok;
}

struct Probe {
  static inline int formats = 0;
};

bool g_recording = false;
std::vector<std::string> g_calls;

// Records the handler, level, bytes already on stdout, and the text.
template <char Name> void recorder(LogLevel level, StrView text) {
  struct stat st {};
  if (g_recording && fstat(1, &st) == 0) {
    g_calls.push_back(std::string(1, Name) + std::to_string(int(level)) + " " +
                      std::to_string(st.st_size) + " " + std::string(text.data, text.len));
  }
}

} // namespace

template <> struct Fmt<Probe> {
  static void format(const Probe &, StrBuilder &b) { ++Probe::formats, b.append('P'); }
};

#define TS "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[.][0-9]{3}"

TEST(Log, LinesHaveTimestampTagAndMessageAndDisabledOnesFormatNothing) {
  EXPECT_TRUE(!log_is_enabled(LogLevel::Debug) && log_is_enabled(LogLevel::Info));
  CaptureStdout cap;
  log_debug(Probe{});
  log_info("Fonts dir: ", Path("/x"));
  log_set_level(LogLevel::Critical);
  EXPECT_TRUE(log_is_enabled(LogLevel::Critical) && !log_is_enabled(LogLevel::Info));
  log_info(Probe{});
  log_set_level(LogLevel::Debug);
  log_debug("n=", 7, ' ', 1.5);
  log_set_level(LogLevel::Info);
  const std::string out = cap.finish();
  EXPECT_TRUE(
      matches(out, "^" TS " [|] info [|] Fonts dir: /x\n" TS " [|] debg [|] n=7 1[.]50000\n$"))
      << out;
  EXPECT_EQ(Probe::formats, 0);
}

TEST(Log, HandlersRunInOrderAfterStdoutWithTheSameText) {
  log_add_handler(recorder<'A'>);
  log_add_handler(recorder<'B'>);
  g_recording = true;
  CaptureStdout cap;
  log_info("one");
  log_info("two");
  const std::string out = cap.finish();
  g_recording = false;
  const u64 cut = out.find('\n') + 1;
  const std::string one = std::to_string(cut) + " " + out.substr(0, cut);
  const std::string two = std::to_string(out.size()) + " " + out.substr(cut);
  EXPECT_EQ(g_calls,
            (std::vector<std::string>{"A1 " + one, "B1 " + one, "A1 " + two, "B1 " + two}));
}

// A log file stays open for the rest of the process, so these run in child
// processes whose stdout goes to stderr, where the death test matches it.

std::string g_log_path;

TEST(LogDeathTest, DefaultFileBesideTheExecutableGetsLinesBeforeHandlers) {
  const Path exe = Path::to_exe().absolute();
  g_log_path = std::string(exe.view().data, exe.view().len) + ".log";
  EXPECT_EXIT(
      {
        dup2(2, 1);
        log_open_file();
        log_add_handler([](LogLevel, StrView) {
          std::string text(4096, '\0');
          FILE *f = std::fopen(g_log_path.c_str(), "rb");
          text.resize(f ? std::fread(text.data(), 1, text.size(), f) : 0);
          if (f) std::fclose(f);
          std::fprintf(stderr, "file <%s>\n", text.c_str());
        });
        log_info("kept");
        log_open_file(Path("/nonexistent-dir/x.log")); // keeps the open file
        log_info("more");
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "^" TS " [|] info [|] log path: /[^\n]*/log_test[.]log\n" TS " [|] info [|] kept\n"
      "file <" TS " [|] info [|] kept\n>\nError: cannot open log file!\n" TS " [|] info [|] more\n"
      "file <" TS " [|] info [|] kept\n" TS " [|] info [|] more\n>\n$");
  std::remove(g_log_path.c_str());
}

TEST(LogDeathTest, UnwritableFileIsReportedOnStdoutAfterEachLine) {
  EXPECT_EXIT(
      {
        dup2(2, 1);
        log_open_file(Path("/dev/full"));
        log_info("one");
        log_info("two");
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "^" TS " [|] info [|] one\nError: cannot write log file\n"
      "" TS " [|] info [|] two\nError: cannot write log file\n$");
}

TEST(LogDeathTest, CriticalLineIsWrittenThenAborts) {
  log_set_level(LogLevel::Critical);
  EXPECT_DEATH((dup2(2, 1), log_critical("Cannot figure out size for atlas ", 4096)),
               "^" TS " [|] CRIT [|] Cannot figure out size for atlas 4096\n$");
  log_set_level(LogLevel::Info);
}
