// What the machine's record does the same way on every system; the reading
// of the machine itself is in machine_posix.cpp and machine_windows.cpp.
#include "compare/running/machine.h"

#include <fmt/format.h>

#include "compare/stats/differences.h"

namespace compare {

double clock_tick(double (*read)()) {
  // The smallest of about twenty steps between distinct readings. A coarse
  // clock stops the sample after a few steps and a clock that never steps
  // after a bounded number of readings, so this stays within milliseconds.
  // A few steps are always taken: a thread descheduled during the first
  // would otherwise report that gap as the clock's tick.
  constexpr int kSteps = 20;
  constexpr int kFewestSteps = 3;
  constexpr double kLongest = 0.002;
  constexpr long kMaxReadings = 100000;
  const double start = read();
  double last = start;
  double smallest = 0;
  int steps = 0;
  for (long reading = 0; reading < kMaxReadings && steps < kSteps; ++reading) {
    const double now = read();
    if (now == last) continue;
    if (now > last && (smallest == 0 || now - last < smallest)) smallest = now - last;
    ++steps;
    last = now;
    if (steps >= kFewestSteps && now - start > kLongest) break;
  }
  return smallest;
}

std::string architecture_name(const std::string& machine) {
  if (machine.empty()) return "unknown";
  if (machine == "x86_64" || machine == "amd64") return "x86_64";
  if (machine == "aarch64" || machine == "arm64") return "aarch64";
  if (machine.size() == 4 && machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' &&
      machine.compare(2, 2, "86") == 0) {
    return "i386";
  }
  if (machine.compare(0, 3, "arm") == 0) return "arm";  // armv7l, armv6l, ...
  return machine;
}

std::string architectures_differ(
    const std::vector<std::pair<std::string, ProgramRecord>>& named_programs) {
  // Each program alone is a pair of itself, compared with the first known.
  const auto record = [](const ProgramRecord& p) { return Record{{}, p, p, "", nullptr}; };
  const std::pair<std::string, ProgramRecord>* first = nullptr;
  for (const auto& program : named_programs) {
    if (value_of(record(program.second), Aspect::ProgramArchitecture).empty()) continue;
    if (first == nullptr) {
      first = &program;
      continue;
    }
    for (const Difference& d : differences(record(program.second), record(first->second))) {
      if (d.aspect != Aspect::ProgramArchitecture) continue;
      return sentence(d, {fmt::format("{} ({}): its", program.first, program.second.path), "is",
                          fmt::format("{} ({}): ", first->first, first->second.path)});
    }
  }
  return {};
}

std::string compiler_of(const std::string& path) { return shown(program_record(path).compiler); }

}  // namespace compare
