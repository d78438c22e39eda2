#include "core/time.h"

#include "core/log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

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
  static void frames(FrameProfilerStaticInfo &info, int n, u64 each_ns) {
    for (int i = 0; i < n; ++i) {
      FrameProfiler frame(info);
      g_fake_now += each_ns;
    }
  }
};

u64 lines(const std::string &s) {
  u64 n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

} // namespace

TEST(Time, FmtPicksTheUnitByMagnitude) {
  const struct {
    u64 ticks;
    const char *text;
  } rows[] = {
      {0, "0"},
      {1, "1ns"},
      {999, "999ns"},
      {1000, "1.00000us"},
      {1500, "1.50000us"},
      {999000, "999.00000us"},
      {1000000, "1.00000ms"},
      {1000000000, "1.00000s"},
      {90000000000, "90.00000s"},
  };
  for (const auto &row : rows) {
    EXPECT_EQ(fmt(Time(row.ticks)), StrView(row.text)) << "ticks " << row.ticks;
  }
}

TEST(Time, DifferenceIsAbsoluteInEitherOrder) {
  const Time a(5ul), b(8ul);
  EXPECT_EQ((a - b).ticks(), 3u);
  EXPECT_EQ((b - a).ticks(), 3u);
  EXPECT_EQ(a.abs_diff(b), b.abs_diff(a));
  Time c = a;
  c -= b;
  EXPECT_EQ(c.ticks(), 3u);
  EXPECT_EQ((a + b).ticks(), 13u);
  EXPECT_TRUE(a < b && b > a && a != b);
}

// Unguarded conversions of NaN or huge products to u64 are undefined behaviour.
TEST(Time, MakeClampsNonPositiveNanAndOverflow) {
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
  EXPECT_EQ(td.delta.ticks(), 16666666u);
  EXPECT_EQ(td.whole_ms, 16);
  EXPECT_FLOAT_EQ(td.secs, 1.0f / 60);
  g_fake_now += 2500000;
  td.on_loop_end();
  EXPECT_EQ(td.delta.ticks(), 2500000u);
  EXPECT_EQ(td.whole_ms, 2);
  EXPECT_FLOAT_EQ(td.ms, 2.5f);
  EXPECT_FLOAT_EQ(td.us, 2500.0f);
  EXPECT_FLOAT_EQ(td.secs, 0.0025f);
  EXPECT_EQ(td.last.ticks(), g_fake_now);
}

TEST_F(FakeClock, ScopedProfilerLogsElapsedTime) {
  CaptureStdout cap;
  {
    ScopedProfiler p("bake");
    g_fake_now += 1500;
  }
  EXPECT_TRUE(cap.finish().ends_with(" | info | scope[bake]: 1.50000us\n"));
}

TEST_F(FakeClock, FrameProfilerReportsOncePerSecondWindow) {
  static FrameProfilerStaticInfo info{"loop"};
  CaptureStdout cap;
  frames(info, 10, 10000000); // 0.1 s in all: still accumulating
  frames(info, 9, 100000000); // 0.1 + 0.9 = 1.0 s: reported at the 19th frame
  std::string first = cap.finish();
  EXPECT_EQ(lines(first), 1u) << first;
  EXPECT_TRUE(first.ends_with(" | info | frame[loop] 52.63157ms (19fps)\n")) << first;

  CaptureStdout cap2;
  frames(info, 9, 105000000); // the window restarted empty
  EXPECT_EQ(cap2.finish(), "");
  CaptureStdout cap3;
  frames(info, 1, 105000000); // 10 frames in 1.05 s: 9.5 fps, truncated
  std::string second = cap3.finish();
  EXPECT_TRUE(second.ends_with(" | info | frame[loop] 105.00000ms (9fps)\n")) << second;
}

TEST_F(FakeClock, FrameProfilerReportsAfter1001ShortFrames) {
  static FrameProfilerStaticInfo info{"tight"};
  CaptureStdout cap;
  frames(info, 1000, 1000);
  EXPECT_EQ(cap.finish(), "");
  CaptureStdout cap2;
  frames(info, 1, 1000);
  frames(info, 1000, 0); // a window without measurable time must not overflow
  frames(info, 1, 0);
  std::string out = cap2.finish();
  EXPECT_EQ(lines(out), 2u) << out;
  EXPECT_NE(out.find("ms (1000000fps)\n"), std::string::npos) << out;
  EXPECT_TRUE(out.ends_with("frame[tight] 0.00000ms (18446744073709551615fps)\n")) << out;
}

TEST_F(FakeClock, FrameProfilerEmptiesItsWindowEvenWhenNotLogging) {
  static FrameProfilerStaticInfo info{"quiet"};
  CaptureStdout cap;
  log_set_level(LogLevel::Critical);
  frames(info, 10, 105000000);
  log_set_level(LogLevel::Info);
  frames(info, 9, 105000000);
  EXPECT_EQ(cap.finish(), "");
  EXPECT_EQ(info.frames, 9u);
}
