// Helper threads that start running beside the thread that needs them.
#pragma once

#include <pthread.h>
#include <sched.h>

#include <utility>

/// A move of a thread off one processor onto the others it may run on.
class ProcessorMove {
public:
  /// Off the calling thread's processor, within its affinity; nothing when
  /// that leaves no processor.
  [[nodiscard]] static ProcessorMove off_caller();

  /// Narrows `thread`'s processors to the others, which moves it at once,
  /// then allows every processor the caller was allowed again, which moves
  /// nothing. Only advice: nothing changes when the system says no.
  void apply(pthread_t thread) const;

private:
  bool wanted_ = false;
  cpu_set_t allowed_{};
  cpu_set_t others_{};
};

/// A `Thread` (std::thread, std::jthread) running `work`, started off the
/// caller's processor. On the virtual machines the bakes were measured on,
/// whose kernel packs threads onto few processors, a new thread started on
/// its creator's processor and the two shared it until a later balancing
/// tick, the other processor idle: an all-cores bake took up to a quarter
/// longer. The creator moves the thread when it is still waiting to run;
/// the thread moves itself when it ran first. Both end with the same
/// processors allowed, in either order.
template <class Thread, class Work> [[nodiscard]] Thread start_beside(Work work) {
  const ProcessorMove move = ProcessorMove::off_caller();
  Thread thread([move, work = std::move(work)]() mutable {
    move.apply(pthread_self());
    work();
  });
  move.apply(thread.native_handle());
  return thread;
}
