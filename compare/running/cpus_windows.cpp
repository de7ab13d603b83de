#include <windows.h>

#include "compare/running/cpus.h"

namespace compare {

std::vector<int> usable_cpus() {
  DWORD_PTR mine = 0;
  DWORD_PTR system = 0;
  std::vector<int> cpus;
  if (GetProcessAffinityMask(GetCurrentProcess(), &mine, &system) == 0) return cpus;
  for (int cpu = 0; cpu < static_cast<int>(8 * sizeof mine); ++cpu) {
    if ((mine >> cpu) & 1U) cpus.push_back(cpu);
  }
  return cpus;
}

// Windows tells the load of the whole machine only: --cpu quiet says so.
CpuTimes read_cpu_times() { return {}; }

}  // namespace compare
