#include "compare/history/baseline.h"

#include <stdexcept>

#include "compare/history/export_reader.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/differences.h"

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
  const Record then{base.machine, base.random, base.fixed, "", nullptr};
  const Record here{now.machine, pair_of(now).random, pair_of(now).fixed, "", nullptr};
  std::vector<std::string> notes;
  for (const Difference& d : differences(then, here)) {
    notes.push_back(sentence(d, {"The baseline's", "was", "now "}) + ".");
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
