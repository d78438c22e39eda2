// Logging: one line per event, "<timestamp> | <tag> | <message>\n", written to
// standard output, then the log file if one is open, then the handlers.
//
// Log through log_debug / log_info / log_critical only: they test the level
// before formatting anything, so a disabled statement formats and allocates nothing.
// The trap: log_critical never returns; it aborts once the line is written.
//
// The state behind these functions is constant-initialised, so logging works
// from the static initialisers of other units, before main.
//
// A thread may keep its lines instead (LogCapture), to have them written later
// in an order of the program's choosing; log_critical then throws
// CriticalStop rather than aborting.
#pragma once

#include "core/fmt.h"

#include <cstdlib>
#include <vector>

struct Path;

/// Ordered by severity; 2 is left free between Info and Critical.
enum class LogLevel : i32 { Debug = 0, Info = 1, Critical = 3 };

/// Receives every written line; the text is valid only during the call.
using LogHandler = void (*)(LogLevel, StrView);

/// Takes effect from the next statement on; Critical lines are never filtered.
void log_set_level(LogLevel level);
/// Whether a line at `level` would be written now (Info is the initial threshold).
[[nodiscard]] bool log_is_enabled(LogLevel level);

/// Writes a finished line as it is: no filtering, nothing added. A log file
/// that fails to take it is reported on standard output, and logging goes on.
void log_write(LogLevel level, StrBuilder &line);

/// Opens <exe dir>/<exe name up to its first dot>.log, truncating it, after
/// logging its path at Info (that line reaches stdout and handlers only).
/// Throws Err when the executable's path cannot be read or resolved.
void log_open_file();
/// Opens `path` for writing, truncating it. On failure prints "Error: cannot
/// open log file!" to stderr and keeps whatever log file was open before.
/// Throws Err for an empty or over-long path.
void log_open_file(const Path &path);

/// Handlers run in the order they were added and cannot be removed.
void log_add_handler(LogHandler fn);

/// Appends the local wall-clock time with milliseconds, no time zone:
/// 2026-03-07T09:05:02.041.
void fmt_timestamp(StrBuilder &b);

namespace details {
/// Adds a line built without its timestamp to the capturing thread's lines.
void keep_line(LogLevel level, StrBuilder &line);
} // namespace details

/// Lines kept to be written later, in the order they were logged.
class LogLines {
public:
  /// Writes every line as log_write does, each with the time it is written
  /// at, and forgets them.
  void replay();
  [[nodiscard]] bool empty() const { return lines_.empty(); }

private:
  friend void details::keep_line(LogLevel, StrBuilder &);
  struct Line {
    LogLevel level;
    Str text; ///< " | <tag> | <message>\n", the timestamp still to come
  };
  std::vector<Line> lines_;
};

/// While one lives, the lines its thread logs go to `lines` instead of being
/// written, and log_critical throws CriticalStop once its line is kept there.
/// They nest: the innermost one takes the lines.
class LogCapture {
public:
  explicit LogCapture(LogLines &lines);
  ~LogCapture();
  LogCapture(const LogCapture &) = delete;
  LogCapture &operator=(const LogCapture &) = delete;

private:
  LogLines *previous_;
};

/// What log_critical throws on a capturing thread: the run's fatal stop,
/// whose line is the last one kept.
struct CriticalStop {};

// ---------------------------------------------------------------------------
// End of the functions; the logging statements and their shared core follow.

namespace details {
/// The four-letter tag of the line: "debg", "info", "CRIT"; "????" otherwise.
[[nodiscard]] StrView log_tag(LogLevel level);

/// Whether this thread's lines are being kept (a LogCapture lives).
[[nodiscard]] bool log_capturing();

/// Builds the whole line in a local builder and writes or keeps it; no level test.
template <typename... Args> void log_line(LogLevel level, const Args &...args) {
  StrBuilder b;
  if (log_capturing()) {
    fmt(b, " | ", log_tag(level), " | ", args..., '\n');
    keep_line(level, b);
    return;
  }
  fmt_timestamp(b);
  fmt(b, " | ", log_tag(level), " | ", args..., '\n');
  log_write(level, b);
}
} // namespace details

/// Formats nothing unless Debug is enabled (it is not by default).
template <typename... Args> void log_debug(const Args &...args) {
  if (log_is_enabled(LogLevel::Debug)) details::log_line(LogLevel::Debug, args...);
}

/// Formats nothing unless Info is enabled.
template <typename... Args> void log_info(const Args &...args) {
  if (log_is_enabled(LogLevel::Info)) details::log_line(LogLevel::Info, args...);
}

/// Always written, whatever the level; then the process aborts (or, on a
/// capturing thread, CriticalStop is thrown).
template <typename... Args> [[noreturn]] void log_critical(const Args &...args) {
  details::log_line(LogLevel::Critical, args...);
  if (details::log_capturing()) throw CriticalStop{};
  std::abort();
}
