#include "shared/threads.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

// The move off the caller's processor is advice; the thread must end up free
// to run wherever the caller may, or the bake's threads would crowd onto
// fewer processors than they were given. The thread looks once both the
// creator and the thread itself have moved it.
TEST(StartBeside, RunsTheWorkAllowedEveryProcessorTheCallerIs) {
  cpu_set_t caller;
  ASSERT_EQ(sched_getaffinity(0, sizeof(caller), &caller), 0);
  std::promise<void> started;
  cpu_set_t seen;
  CPU_ZERO(&seen);
  bool read = false;
  std::thread thread = start_beside<std::thread>([&, moved = started.get_future()] {
    moved.wait();
    read = sched_getaffinity(0, sizeof(seen), &seen) == 0;
  });
  started.set_value();
  thread.join();
  EXPECT_TRUE(read);
  EXPECT_TRUE(CPU_EQUAL(&seen, &caller));
}

} // namespace
