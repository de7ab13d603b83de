// Keeping every run to one processor (--cpu): which processors bench_compare
// may use, and, for --cpu quiet, which of them other work uses least.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

// Each processor's time since boot, as /proc/stat counts it: busy, and in all.
struct CpuTime {
  unsigned long long busy = 0;
  unsigned long long total = 0;
};
using CpuTimes = std::map<int, CpuTime>;  // by processor number

// The "cpuN ..." lines of a /proc/stat text; lines it cannot read are left out.
CpuTimes parse_cpu_times(const std::string& proc_stat);

// Of `usable`, the processor busy the smallest share of the time between two
// readings; the higher number on a tie (the first processor takes most
// interrupts). None when no usable processor was read twice with time between.
std::optional<int> quietest(const CpuTimes& before, const CpuTimes& after,
                            const std::vector<int>& usable);

// The processors this process may run on, by number; empty where unknown.
std::vector<int> usable_cpus();

// The processor every run is kept to: `given` is a number or "quiet" (the
// usable processor other work used least over a second's watch). Why not, in
// one line, in `why`; `how` says how it was chosen.
std::optional<int> chosen_cpu(const std::string& given, std::string& why, std::string& how);

// What each processor has done since boot, where the system tells (Linux).
CpuTimes read_cpu_times();

}  // namespace compare
