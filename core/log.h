// Logging: one line per event, "<timestamp> | <tag> | <message>\n", written to
// standard output, then the log file if one is open, then the handlers.
//
// Log through log_debug / log_info / log_critical only: they test the level
// before formatting anything, so a disabled statement formats and allocates nothing.
// The trap: log_critical never returns; it aborts once the line is written.
//
// The state behind these functions is constant-initialised, so logging works
// from the static initialisers of other units, before main.
#pragma once

#include "core/fmt.h"

#include <cstdlib>

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

// ---------------------------------------------------------------------------
// End of the functions; the logging statements and their shared core follow.

namespace details {
/// The four-letter tag of the line: "debg", "info", "CRIT"; "????" otherwise.
[[nodiscard]] StrView log_tag(LogLevel level);

/// Builds the whole line in a local builder and writes it; no level test.
template <typename... Args> void log_line(LogLevel level, const Args &...args) {
  StrBuilder b;
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

/// Always written, whatever the level; then the process aborts.
template <typename... Args> [[noreturn]] void log_critical(const Args &...args) {
  details::log_line(LogLevel::Critical, args...);
  std::abort();
}
