#include "shared/threads.h"

#include <cstddef>

ProcessorMove ProcessorMove::off_caller() {
  ProcessorMove move;
  const int cpu = sched_getcpu();
  if (cpu < 0 || cpu >= CPU_SETSIZE ||
      sched_getaffinity(0, sizeof(move.allowed_), &move.allowed_) != 0)
    return move;
  const auto index = static_cast<std::size_t>(cpu);
  move.others_ = move.allowed_;
  CPU_CLR(index, &move.others_);
  move.wanted_ = CPU_ISSET(index, &move.allowed_) && CPU_COUNT(&move.others_) > 0;
  return move;
}

void ProcessorMove::apply(pthread_t thread) const {
  if (wanted_ && pthread_setaffinity_np(thread, sizeof(others_), &others_) == 0)
    pthread_setaffinity_np(thread, sizeof(allowed_), &allowed_);
}
