#include "core/log.h"

#include "core/fs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Redirects fd 1 into a temporary file until finish().
struct CaptureStdout {
  int saved = -1;
  FILE *file = nullptr;

  CaptureStdout() {
    std::fflush(stdout);
    saved = dup(1);
    file = std::tmpfile();
    dup2(fileno(file), 1);
  }
  std::string finish() {
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) out += char(c);
    std::fclose(file);
    return out;
  }
};

std::string slurp(const std::string &path) {
  std::string out;
  if (FILE *f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) out += char(c);
    std::fclose(f);
  }
  return out;
}

// POSIX extended regex; std::regex trips GCC's uninitialised-use warning.
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

std::string g_file_path;
std::vector<std::string> g_calls;
bool g_recording = false;

// Records which handler saw what, and how much of the line stdout already had.
template <char Name> void recorder(LogLevel level, StrView text) {
  if (!g_recording) return;
  struct stat st {};
  fstat(1, &st);
  g_calls.push_back(std::string(1, Name) + std::to_string(int(level)) + " " +
                    std::to_string(st.st_size) + " " + std::string(text.data, text.len));
}

} // namespace

template <> struct Fmt<Probe> {
  static void format(const Probe &, StrBuilder &b) {
    ++Probe::formats;
    b.append('P');
  }
};

TEST(Log, LineIsTimestampTagAndMessage) {
  CaptureStdout cap;
  log_info("Fonts dir: ", Path("/x"));
  log_set_level(LogLevel::Debug);
  log_debug("n=", 7, ' ', 1.5);
  log_set_level(LogLevel::Info);
  const std::string out = cap.finish();
  EXPECT_TRUE(matches(out, "^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[.][0-9]{3} "
                           "[|] info [|] Fonts dir: /x\n"
                           "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[.][0-9]{3} "
                           "[|] debg [|] n=7 1[.]50000\n$"))
      << out;
}

TEST(Log, DisabledStatementFormatsNothing) {
  EXPECT_FALSE(log_is_enabled(LogLevel::Debug));
  EXPECT_TRUE(log_is_enabled(LogLevel::Info));
  EXPECT_TRUE(log_is_enabled(LogLevel::Critical));
  Probe::formats = 0;
  CaptureStdout cap;
  log_debug(Probe{});
  log_set_level(LogLevel::Critical);
  EXPECT_FALSE(log_is_enabled(LogLevel::Info));
  log_info(Probe{});
  log_set_level(LogLevel::Info);
  EXPECT_EQ(cap.finish(), "");
  EXPECT_EQ(Probe::formats, 0);
  log_info(Probe{});
  EXPECT_EQ(Probe::formats, 1);
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
  ASSERT_EQ(g_calls.size(), 4u) << out;
  const u64 first_len = out.find('\n') + 1;
  const std::string line1 = out.substr(0, first_len), line2 = out.substr(first_len);
  const std::string len1 = std::to_string(first_len), len2 = std::to_string(out.size());
  EXPECT_EQ(g_calls[0], "A1 " + len1 + " " + line1);
  EXPECT_EQ(g_calls[1], "B1 " + len1 + " " + line1);
  EXPECT_EQ(g_calls[2], "A1 " + len2 + " " + line2);
  EXPECT_EQ(g_calls[3], "B1 " + len2 + " " + line2);
}

// The tests below open log files, which stay open for the process, so each
// runs in a child process; the child reports on stderr for the parent to match.

TEST(LogDeathTest, FileGetsEveryLineBeforeTheHandlers) {
  g_file_path = testing::TempDir() + "log_test_" + std::to_string(getpid()) + ".log";
  EXPECT_EXIT(
      {
        log_open_file(Path(g_file_path.c_str()));
        log_add_handler([](LogLevel, StrView) {
          std::fprintf(stderr, "handler saw file <%s>\n", slurp(g_file_path).c_str());
        });
        log_info("kept");
        // A reopen that fails keeps the file in use.
        log_open_file(Path("/nonexistent-dir/x.log"));
        log_info("still here");
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "handler saw file <[^>]* [|] info [|] kept\n>\n"
      "Error: cannot open log file!\n"
      "handler saw file <[^>]*kept\n[^>]* [|] info [|] still here\n>\n");
  std::remove(g_file_path.c_str());
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
      "^[^\n]* [|] info [|] one\nError: cannot write log file\n"
      "[^\n]* [|] info [|] two\nError: cannot write log file\n$");
}

TEST(LogDeathTest, DefaultFileSitsBesideTheExecutable) {
  const Path exe = Path::to_exe().absolute();
  g_file_path = std::string(exe.view().data, exe.view().len) + ".log";
  EXPECT_EXIT(
      {
        dup2(2, 1);
        log_open_file();
        log_info("in file");
        std::fprintf(stderr, "file <%s>\n", slurp(g_file_path).c_str());
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "[|] info [|] log path: /[^\n]*/log_test[.]log\n"
      "[^\n]* [|] info [|] in file\nfile <[^|<]* [|] info [|] in file\n>");
  std::remove(g_file_path.c_str());
}

TEST(LogDeathTest, CriticalLineIsWrittenThenAborts) {
  log_set_level(LogLevel::Critical);
  EXPECT_DEATH(
      {
        dup2(2, 1);
        log_critical("Cannot figure out size for atlas ", 4096);
      },
      "[0-9]{3} [|] CRIT [|] Cannot figure out size for atlas 4096\n");
  log_set_level(LogLevel::Info);
}
