#include <sched.h>

#include "compare/running/cpus.h"
#include "compare/running/process.h"

namespace compare {

std::vector<int> usable_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cpus;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

CpuTimes read_cpu_times() {
  bool found = false;
  const std::string text = read_whole("/proc/stat", found);
  return found ? parse_cpu_times(text) : CpuTimes{};
}

}  // namespace compare
