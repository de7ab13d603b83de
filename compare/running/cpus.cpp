#include "compare/running/cpus.h"

#include <fmt/format.h>

#include <algorithm>
#include <sstream>

#include "compare/running/process.h"

namespace compare {

CpuTimes parse_cpu_times(const std::string& proc_stat) {
  CpuTimes times;
  std::istringstream lines(proc_stat);
  std::string line;
  while (std::getline(lines, line)) {
    // "cpu" alone is every processor's sum; "cpuN" is processor N.
    if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 || line[3] < '0' || line[3] > '9') {
      continue;
    }
    std::istringstream fields(line.substr(3));
    int number = -1;
    fields >> number;
    // user nice system idle iowait irq softirq steal: idle and iowait are not busy.
    unsigned long long value[8] = {};
    int read = 0;
    while (read < 8 && fields >> value[read]) ++read;
    if (number < 0 || read < 4) continue;
    CpuTime t;
    for (int i = 0; i < read; ++i) t.total += value[i];
    t.busy = t.total - value[3] - (read > 4 ? value[4] : 0);
    times[number] = t;
  }
  return times;
}

std::optional<int> quietest(const CpuTimes& before, const CpuTimes& after,
                            const std::vector<int>& usable) {
  std::optional<int> best;
  double best_share = 2;
  for (const int cpu : usable) {
    const auto b = before.find(cpu);
    const auto a = after.find(cpu);
    if (b == before.end() || a == after.end() || a->second.total <= b->second.total ||
        a->second.busy < b->second.busy) {
      continue;
    }
    const double share = static_cast<double>(a->second.busy - b->second.busy) /
                         static_cast<double>(a->second.total - b->second.total);
    if (share < best_share || (share == best_share && cpu > *best)) {
      best = cpu;
      best_share = share;
    }
  }
  return best;
}

namespace {

std::string numbers(const std::vector<int>& cpus) {
  std::string text;
  for (std::size_t i = 0; i < cpus.size(); ++i)
    text += (i == 0 ? "" : ", ") + std::to_string(cpus[i]);
  return text;
}

std::optional<int> quiet_cpu(const std::vector<int>& usable, std::string& why, std::string& how) {
  const CpuTimes before = read_cpu_times();
  if (!idle_unless_interrupted(1)) {
    why = "interrupted while watching the processors' load";
    return std::nullopt;
  }
  const std::optional<int> cpu = quietest(before, read_cpu_times(), usable);
  if (!cpu) {
    why = "--cpu quiet: this system does not tell each processor's load; give a number";
    return std::nullopt;
  }
  how = "the quietest of " + numbers(usable) + " over a second before the first run";
  return cpu;
}

}  // namespace

std::optional<int> chosen_cpu(const std::string& given, std::string& why, std::string& how) {
  std::vector<int> usable = usable_cpus();
  std::sort(usable.begin(), usable.end());
  if (given == "quiet") return quiet_cpu(usable, why, how);
  int cpu = -1;
  std::size_t used = 0;
  try {
    cpu = std::stoi(given, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != given.size() || cpu < 0) {
    why = "--cpu takes a processor's number or \"quiet\", not " + given;
  } else if (!usable.empty() && std::find(usable.begin(), usable.end(), cpu) == usable.end()) {
    why = fmt::format("--cpu {}: bench_compare may use only processors {}", cpu, numbers(usable));
  } else if (usable.empty()) {
    why = "--cpu: this system does not say which processors bench_compare may use";
  } else {
    return cpu;
  }
  return std::nullopt;
}

}  // namespace compare
