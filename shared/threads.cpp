#include "shared/threads.h"

#include <cstddef>

void leave_processor(int cpu) {
  cpu_set_t allowed;
  if (cpu < 0 || cpu >= CPU_SETSIZE || sched_getaffinity(0, sizeof(allowed), &allowed) != 0) return;
  const auto index = static_cast<std::size_t>(cpu);
  if (!CPU_ISSET(index, &allowed) || CPU_COUNT(&allowed) < 2) return;
  cpu_set_t others = allowed;
  CPU_CLR(index, &others);
  // Narrowing the mask moves the thread at once; widening it again moves
  // nothing, so the thread keeps the processor it was moved to.
  if (sched_setaffinity(0, sizeof(others), &others) == 0)
    sched_setaffinity(0, sizeof(allowed), &allowed);
}
