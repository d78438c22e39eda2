// Monotonic time in nanoseconds since program start, frame timing, and two
// profilers that report through the log at the Info level.
//
// The trap: a Time of 0 ticks means "no value", and subtraction is the
// absolute difference, so a - b never wraps around but also never says which
// of the two came first.
#pragma once

#include "core/fmt.h"

#include <compare>

/// Never negative: durations and instants alike are unsigned tick counts.
struct Time {
  constexpr Time() = default;
  /// One tick is one nanosecond.
  constexpr explicit Time(unsigned long ticks) : nanos(ticks) {}

  /// Counts from the start instant taken before main; never decreases.
  [[nodiscard]] static Time now();
  /// Zero, negative and NaN give no value; out-of-range values saturate.
  [[nodiscard]] static Time make_secs(double secs);
  [[nodiscard]] static Time make_ms(double ms);
  [[nodiscard]] static Time make_us(double us);

  /// Fractions are kept: 1500 ticks => 1.5 us.
  [[nodiscard]] double secs() const { return static_cast<double>(nanos) / 1e9; }
  [[nodiscard]] double ms() const { return static_cast<double>(nanos) / 1e6; }
  [[nodiscard]] double us() const { return static_cast<double>(nanos) / 1e3; }
  [[nodiscard]] double ns() const { return static_cast<double>(nanos); }
  [[nodiscard]] constexpr u64 ticks() const { return nanos; }
  [[nodiscard]] constexpr bool has_value() const { return nanos != 0; }

  [[nodiscard]] constexpr auto operator<=>(const Time &) const = default;

  /// The larger minus the smaller, in either order.
  [[nodiscard]] constexpr Time abs_diff(Time o) const {
    return Time(nanos > o.nanos ? nanos - o.nanos : o.nanos - nanos);
  }
  /// Same as abs_diff: never negative, never wraps.
  [[nodiscard]] constexpr Time operator-(Time o) const { return abs_diff(o); }
  constexpr Time &operator-=(Time o) { return *this = abs_diff(o); }
  [[nodiscard]] constexpr Time operator+(Time o) const { return Time(nanos + o.nanos); }
  constexpr Time &operator+=(Time o) { return *this = *this + o; }

private:
  u64 nanos = 0;
};

/// "0"; below 1000 ticks whole nanoseconds ("999ns"); then us, ms or s with
/// five truncated decimals ("1.00000us").
template <> struct Fmt<Time> { static void format(const Time &v, StrBuilder &b); };

/// Time between successive loop iterations; reads one sixtieth of a second
/// until the first on_loop_end.
struct TimeDelta {
  Time last;
  Time delta{16666666ul};
  i32 whole_ms = 16; ///< truncated toward zero, saturating
  f32 ms = 16.666666f;
  f32 us = 16666.666f;
  f32 secs = 0.016666666f;

  TimeDelta() : last(Time::now()) {}
  /// Call once at the end of every iteration.
  void on_loop_end();
};

/// Logs "scope[<name>]: <elapsed>" when it goes out of scope; `name` is not
/// copied and must outlive the profiler.
struct ScopedProfiler {
  StrView name;
  Time start;

  explicit ScopedProfiler(StrView profiled) : name(profiled), start(Time::now()) {}
  ~ScopedProfiler();
  ScopedProfiler(const ScopedProfiler &) = delete;
  ScopedProfiler &operator=(const ScopedProfiler &) = delete;
};

/// The window of one profiled loop; keep it static so it outlives the frames.
struct FrameProfilerStaticInfo {
  StrView name;
  u64 accumulated = 0; ///< nanoseconds in the current window
  u64 start = 0;       ///< ticks at the start of the current frame
  u64 frames = 0;      ///< frames in the current window
};

/// Lives for one frame. About once a second, or every 1001 frames when
/// frames are short, logs "frame[<name>] <ms per frame>ms (<fps>fps)" and
/// starts a new window, whether or not Info is enabled.
struct FrameProfiler {
  FrameProfilerStaticInfo &info;

  explicit FrameProfiler(FrameProfilerStaticInfo &window) : info(window) {
    info.start = Time::now().ticks();
  }
  ~FrameProfiler();
  FrameProfiler(const FrameProfiler &) = delete;
  FrameProfiler &operator=(const FrameProfiler &) = delete;
};

// ---------------------------------------------------------------------------
// End of public API.

namespace details {
/// Where Time::now reads the ticks since the start instant; tests swap in a
/// fake clock and must put back default_time_source afterwards.
using TimeSource = u64 (*)();
[[nodiscard]] u64 default_time_source();
extern TimeSource g_time_source;
} // namespace details
