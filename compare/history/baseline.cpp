#include "compare/history/baseline.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/history/export_reader.h"
#include "compare/stats/across_sessions.h"

namespace compare {

Baseline read_baseline(const std::string& path) {
  ExportFile file;
  try {
    file = read_export(path);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(std::string("the baseline ") + error.what());
  }
  Baseline base;
  for (const std::vector<Round>& session : file.sessions) {
    base.rounds.insert(base.rounds.end(), session.begin(), session.end());
  }
  base.machine = file.machine;
  base.random = file.random;
  base.fixed = file.fixed;
  return base;
}

std::vector<std::string> baseline_notes(const Comparison& now, const Baseline& base) {
  // An unread value says nothing about a difference, so it makes no note.
  auto differs = [](const std::string& a, const std::string& b) {
    return a != b && a != "unknown" && b != "unknown";
  };
  std::vector<std::string> notes;
  if (differs(now.machine.cpu_model, base.machine.cpu_model)) {
    notes.push_back(fmt::format("The baseline was made on another processor: {} (now {}).",
                                base.machine.cpu_model, now.machine.cpu_model));
  }
  if (differs(pair_of(now).random.compiler, base.random.compiler)) {
    notes.push_back(
        fmt::format("The baseline's bench_random was built by another compiler: {} (now {}).",
                    base.random.compiler, pair_of(now).random.compiler));
  }
  if (differs(pair_of(now).fixed.compiler, base.fixed.compiler)) {
    notes.push_back(
        fmt::format("The baseline's bench_fixed was built by another compiler: {} (now {}).",
                    base.fixed.compiler, pair_of(now).fixed.compiler));
  }
  const std::string programs = pair_architecture(pair_of(now).random, pair_of(now).fixed);
  const std::string base_programs = pair_architecture(base.random, base.fixed);
  if (differs(programs, base_programs)) {
    notes.push_back(fmt::format(
        "The baseline's programs were built for another architecture: {} (now {}); times from "
        "different architectures are not comparable.",
        base_programs, programs));
  }
  if (differs(now.machine.architecture, base.machine.architecture)) {
    notes.push_back(fmt::format(
        "The baseline was made on a machine of another architecture: {} (now {}); times from "
        "different architectures are not comparable.",
        base.machine.architecture, now.machine.architecture));
  }
  if (differs(now.machine.kernel, base.machine.kernel)) {
    notes.push_back(fmt::format("The baseline ran under another kernel: {} (now {}).",
                                base.machine.kernel, now.machine.kernel));
  }
  return notes;
}

BaselineComparison compare_with_baseline(const Comparison& now, const Baseline& base,
                                         const std::string& path) {
  BaselineComparison against;
  against.path = path;
  against.notes = baseline_notes(now, base);
  const auto now_sessions = by_session(rounds_of(pair_of(now)));
  const auto then_sessions = by_session(base.rounds);
  against.verdicts = compare_sessions(now_sessions, then_sessions);
  against.sessions = now_sessions.size();
  against.baseline_sessions = then_sessions.size();
  return against;
}

}  // namespace compare
