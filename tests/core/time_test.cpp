#include "core/time.h"

#include "core/log.h"

#include "capture-stdout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

u64 g_fake_now = 0;
u64 fake_clock() {
  return g_fake_now;
}

// Drives the profilers from a clock the test moves by hand.
struct FakeClock : testing::Test {
  void SetUp() override {
    g_fake_now = 1000;
    details::g_time_source = fake_clock;
  }
  void TearDown() override {
    details::g_time_source = details::default_time_source;
    log_set_level(LogLevel::Info);
  }
  // Runs n frames of each_ns and returns what they logged.
  static std::string frames(FrameProfilerStaticInfo &info, int n, u64 each_ns) {
    CaptureStdout cap;
    for (int i = 0; i < n; ++i) {
      FrameProfiler frame(info);
      g_fake_now += each_ns;
    }
    return cap.finish();
  }
};

u64 lines(const std::string &s) {
  return static_cast<u64>(std::count(s.begin(), s.end(), '\n'));
}

} // namespace

TEST(Time, FmtPicksTheUnitByMagnitude) {
  const std::pair<u64, const char *> rows[] = {
      {0, "0"},
      {1, "1ns"},
      {999, "999ns"},
      {1000, "1.00000us"},
      {1500, "1.50000us"},
      {999000, "999.00000us"},
      {1000000, "1.00000ms"},
      {1000000000, "1.00000s"},
  };
  for (auto [ticks, text] : rows) EXPECT_EQ(fmt(Time(ticks)), StrView(text)) << ticks;
}

// Unguarded conversions of NaN or huge products to u64 are undefined behaviour.
TEST(Time, DifferenceIsAbsoluteAndMakeClampsNonPositiveNanAndOverflow) {
  const Time a(5ul), b(8ul);
  Time c = a;
  c -= b;
  EXPECT_TRUE((a - b).ticks() == 3 && (b - a).ticks() == 3 && c.ticks() == 3);
  EXPECT_TRUE(a.abs_diff(b) == b.abs_diff(a) && (a + b).ticks() == 13 && a < b && b > a);
  const Time earlier = Time::now();
  EXPECT_TRUE(earlier.has_value() && earlier <= Time::now());

  const struct {
    Time got;
    u64 ticks;
    const char *what;
  } rows[] = {
      {Time::make_ms(-1), 0, "make_ms(-1)"},
      {Time::make_secs(0), 0, "make_secs(0)"},
      {Time::make_us(1.5), 1500, "make_us(1.5)"},
      {Time::make_ms(2.5), 2500000, "make_ms(2.5)"},
      {Time::make_secs(NAN), 0, "make_secs(NaN)"},
      {Time::make_secs(1e30), ~0ull, "make_secs(1e30)"},
      {Time::make_us(-INFINITY), 0, "make_us(-inf)"},
  };
  for (const auto &row : rows) EXPECT_EQ(row.got.ticks(), row.ticks) << row.what;
  EXPECT_FALSE(Time::make_ms(-1).has_value());
}

TEST_F(FakeClock, TimeDeltaStartsAtOneSixtiethThenMeasuresTheLoop) {
  TimeDelta td;
  EXPECT_TRUE(td.delta.ticks() == 16666666 && td.whole_ms == 16);
  EXPECT_FLOAT_EQ(td.secs, 1.0f / 60);
  g_fake_now += 2500000;
  td.on_loop_end();
  EXPECT_TRUE(td.delta.ticks() == 2500000 && td.whole_ms == 2 && td.last.ticks() == g_fake_now);
  EXPECT_TRUE(td.ms == 2.5f && td.us == 2500.0f) << td.ms << " " << td.us;
  EXPECT_FLOAT_EQ(td.secs, 0.0025f);
}

TEST_F(FakeClock, ScopedProfilerLogsElapsedTime) {
  CaptureStdout cap;
  {
    ScopedProfiler p("bake");
    g_fake_now += 1500;
  }
  EXPECT_TRUE(cap.finish().ends_with(" | info | scope[bake]: 1.50000us\n"));
}

TEST_F(FakeClock, FrameProfilerReportsPerSecondWindow) {
  static FrameProfilerStaticInfo info{"loop"};
  EXPECT_EQ(frames(info, 10, 10000000), "");            // 0.1 s in all: still accumulating
  const std::string first = frames(info, 9, 100000000); // 1.0 s at the 19th frame
  EXPECT_EQ(lines(first), 1u) << first;
  EXPECT_TRUE(first.ends_with(" | info | frame[loop] 52.63157ms (19fps)\n")) << first;
  EXPECT_EQ(frames(info, 9, 105000000), ""); // the window restarted empty
  // 10 frames in 1.05 s are 9.5 fps, truncated.
  EXPECT_TRUE(frames(info, 1, 105000000).ends_with(" | info | frame[loop] 105.00000ms (9fps)\n"));

  log_set_level(LogLevel::Critical); // not logged, but the window still empties
  EXPECT_EQ(frames(info, 10, 105000000), "");
  log_set_level(LogLevel::Info);
  EXPECT_EQ(frames(info, 9, 105000000), "");
}

TEST_F(FakeClock, FrameProfilerReportsAfter1001ShortFrames) {
  static FrameProfilerStaticInfo info{"tight"};
  EXPECT_EQ(frames(info, 1000, 1000), "");
  EXPECT_TRUE(frames(info, 1, 1000).ends_with("ms (1000000fps)\n"));
  // A window that measured no time at all must not convert infinity.
  const std::string out = frames(info, 1001, 0);
  EXPECT_TRUE(out.ends_with("frame[tight] 0.00000ms (18446744073709551615fps)\n")) << out;
}
