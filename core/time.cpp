#include "core/time.h"

#include "core/log.h"

#include <climits>
#include <ctime>

namespace {

// The monotonic reading at the start instant. Constant-initialised to 0 and
// taken by the first reading at the latest, so a Time::now() from another
// unit's static initialiser already counts from the same start as main does.
constinit u64 g_state = 0;

u64 monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<u64>(ts.tv_sec) * 1000000000ull + static_cast<u64>(ts.tv_nsec);
}

u64 start_instant() {
  if (g_state == 0) g_state = monotonic_ns();
  return g_state;
}

// Takes the start instant before main even when nothing reads the time then.
[[maybe_unused]] const u64 g_start_taken = start_instant();

// Double to u64 without undefined conversions: NaN and anything not above
// zero give 0, values past the u64 range give its maximum.
u64 to_u64_saturated(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 18446744073709551616.0) return ~0ull;
  return static_cast<u64>(v);
}

} // namespace

namespace details {

u64 default_time_source() {
  const u64 start = start_instant();
  return monotonic_ns() - start;
}

constinit TimeSource g_time_source = default_time_source;

} // namespace details

Time Time::now() {
  return Time(details::g_time_source());
}

Time Time::make_secs(double secs) {
  return Time(to_u64_saturated(secs * 1e9));
}

Time Time::make_ms(double ms) {
  return Time(to_u64_saturated(ms * 1e6));
}

Time Time::make_us(double us) {
  return Time(to_u64_saturated(us * 1e3));
}

void Fmt<Time>::format(const Time &v, StrBuilder &b) {
  const u64 t = v.ticks();
  if (t == 0) {
    b.append('0');
  } else if (t < 1000) {
    fmt(b, t, "ns");
  } else if (t < 1000000) {
    fmt(b, static_cast<double>(t) / 1e3, "us");
  } else if (t < 1000000000) {
    fmt(b, static_cast<double>(t) / 1e6, "ms");
  } else {
    fmt(b, static_cast<double>(t) / 1e9, "s");
  }
}

void TimeDelta::on_loop_end() {
  const Time now = Time::now();
  delta = now - last;
  const double d = static_cast<double>(delta.ticks());
  ms = static_cast<f32>(d / 1e6);
  us = static_cast<f32>(d / 1e3);
  secs = static_cast<f32>(d / 1e9);
  // A float at or past 2^31 does not convert to i32 (24 days in one frame).
  whole_ms = ms >= 2147483648.0f ? INT_MAX : static_cast<i32>(ms);
  last = now;
}

ScopedProfiler::~ScopedProfiler() {
  const Time elapsed = Time::now() - start;
  log_info("scope[", name, "]: ", elapsed);
}

FrameProfiler::~FrameProfiler() {
  info.frames += 1;
  info.accumulated += (Time::now() - Time(info.start)).ticks();
  const double secs = static_cast<double>(info.accumulated) / 1e9;
  if (info.frames < 1001 && secs < 1.0) return;

  const double ms_per_frame =
      (static_cast<double>(info.accumulated) / 1e6) / static_cast<double>(info.frames);
  // A window that measured no time at all reads as the largest count rather
  // than converting infinity.
  const u64 fps = to_u64_saturated(static_cast<double>(info.frames) / secs);
  log_info("frame[", info.name, "] ", ms_per_frame, "ms (", fps, "fps)");
  info.frames = 0;
  info.accumulated = 0;
}
