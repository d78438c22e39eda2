#include "shared/threads.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

bool same_processors(const cpu_set_t &a, const cpu_set_t &b) {
  return CPU_EQUAL(&a, &b) != 0;
}

// The move off the caller's processor is advice; the thread must end up free
// to run wherever the caller may, or the bake's threads would crowd onto
// fewer processors than they were given.
TEST(StartBeside, RunsTheWorkAllowedEveryProcessorTheCallerIs) {
  cpu_set_t caller;
  ASSERT_EQ(sched_getaffinity(0, sizeof(caller), &caller), 0);
  cpu_set_t seen;
  std::memset(&seen, 0, sizeof(seen));
  bool ran = false;
  start_beside<std::thread>([&] { ran = sched_getaffinity(0, sizeof(seen), &seen) == 0; }).join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(same_processors(seen, caller));
}

} // namespace
