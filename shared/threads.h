// Helper threads that start running beside the thread that needs them.
#pragma once

#include <sched.h>

#include <utility>

/// Moves the calling thread off processor `cpu` when it is allowed another,
/// then allows it every processor it was allowed before, so it stays where
/// the move put it until the scheduler has a reason to move it. Only
/// advice: nothing changes when the system says no.
void leave_processor(int cpu);

/// A `Thread` (std::thread, std::jthread) running `work`, which first leaves
/// the caller's processor. Linux starts a thread on its creator's processor;
/// where the processors share no cache the system knows of (as on the
/// virtual machines the bakes were measured on), the two stayed on one
/// processor until the next balancing tick, and an all-cores bake took up
/// to a quarter longer.
template <class Thread, class Work> [[nodiscard]] Thread start_beside(Work work) {
  const int caller = sched_getcpu();
  return Thread([caller, work = std::move(work)]() mutable {
    leave_processor(caller);
    work();
  });
}
