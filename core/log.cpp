#include "core/log.h"

#include "core/fs.h"
#include "core/list.h"

#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace {

// All three are constant-initialised (constinit checks it): they hold their
// initial values before any dynamic initialiser of any unit runs, so a unit
// initialised earlier (the FreeType holder) can log a critical line safely.
// Their destructors leave them closed and empty, so a line logged by a later
// exit-time destructor still reaches standard output.
constinit LogLevel g_log_level = LogLevel::Info;
constinit File g_log_file;
constinit List<LogHandler> g_handlers;
// The lines of the innermost LogCapture of this thread; null: write them.
constinit thread_local LogLines *t_capture = nullptr;

} // namespace

void log_set_level(LogLevel level) {
  g_log_level = level;
}

bool log_is_enabled(LogLevel level) {
  return static_cast<i32>(level) >= static_cast<i32>(g_log_level);
}

void log_write(LogLevel level, StrBuilder &line) {
  const StrView text = line.view();
  std::fwrite(text.data, 1, text.len, stdout);
  if (g_log_file.stream != nullptr) {
    const ArrView<const u8> bytes(reinterpret_cast<const u8 *>(text.data), text.len);
    if (!g_log_file.try_write_bytes(bytes)) {
      std::fputs("Error: cannot write log file\n", stdout);
    }
  }
  std::fflush(stdout);
  for (LogHandler fn : g_handlers) fn(level, text);
}

void log_open_file() {
  const Path exe = Path::to_exe().absolute();
  const Path path = exe.parent() / (exe.name_without_ext() + ".log");
  log_info("log path: ", path);
  log_open_file(path);
}

void log_open_file(const Path &path) {
  // Opened aside and swapped in, so a failed reopen keeps the file in use.
  File file;
  if (!file.try_open(path, "wb")) {
    std::fputs("Error: cannot open log file!\n", stderr);
    return;
  }
  g_log_file = static_cast<File &&>(file);
}

void log_add_handler(LogHandler fn) {
  g_handlers.append(fn);
}

void fmt_timestamp(StrBuilder &b) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  const time_t secs = tv.tv_sec;
  localtime_r(&secs, &tm);
  const auto two = [](int v) { return ZeroPrefixU16{2, static_cast<u16>(v)}; };
  fmt(b, static_cast<u16>(tm.tm_year + 1900), '-', two(tm.tm_mon + 1), '-', two(tm.tm_mday), 'T',
      two(tm.tm_hour), ':', two(tm.tm_min), ':', two(tm.tm_sec), '.',
      ZeroPrefixU16{3, static_cast<u16>(tv.tv_usec / 1000)});
}

void LogLines::replay() {
  for (Line &line : lines_) {
    StrBuilder b;
    fmt_timestamp(b);
    b.append(line.text.view());
    log_write(line.level, b);
  }
  lines_.clear();
}

LogCapture::LogCapture(LogLines &lines) : previous_(t_capture) {
  t_capture = &lines;
}

LogCapture::~LogCapture() {
  t_capture = previous_;
}

namespace details {

bool log_capturing() {
  return t_capture != nullptr;
}

void keep_line(LogLevel level, StrBuilder &line) {
  t_capture->lines_.push_back({level, Str(line.view())});
}

StrView log_tag(LogLevel level) {
  switch (level) {
  case LogLevel::Debug:
    return {"debg", 4};
  case LogLevel::Info:
    return {"info", 4};
  case LogLevel::Critical:
    return {"CRIT", 4};
  }
  return {"????", 4};
}

} // namespace details
