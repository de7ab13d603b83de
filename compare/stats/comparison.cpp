#include "compare/stats/comparison.h"

#include <fmt/format.h>

#include <algorithm>

#include "compare/stats/across_sessions.h"
#include "compare/stats/builds.h"
#include "compare/stats/summary.h"
#include "compare/stats/warnings.h"

namespace compare {
namespace {

std::vector<std::vector<Round>> session_rounds(const Build& b) {
  std::vector<std::vector<Round>> rounds;
  for (const SessionRecord& s : b.sessions) rounds.push_back(s.rounds);
  return rounds;
}

void figures(Build& b) {
  const std::vector<Round> rounds = rounds_of(b);
  b.tests = b.sessions.size() >= 2 ? summarise_sessions(session_rounds(b))
            : rounds.empty()       ? std::vector<TestResult>{}
                                   : summarise(rounds);
}

// Where a warning of one build's session was: "Session 2: ", "b: " or
// "b: Session 2: " as its sentence's prefix, and "session 2", "b" or
// "b, session 2" in a summary.
PlacedWarning placed(const Build& b, const SessionRecord* s, Warning w) {
  const std::string session = s ? fmt::format("Session {}: ", s->index) : "";
  const std::string build = b.label.empty() ? "" : b.label + ": ";
  std::string where = b.label;
  if (s) where += fmt::format("{}session {}", where.empty() ? "" : ", ", s->index);
  return {build + session, where, std::move(w)};
}

// The warnings of every build's sessions (or every build, in one session).
std::vector<PlacedWarning> placed_warnings(const Comparison& c, int& places) {
  MachineRecord clock_only;  // the machine's own warnings hold for them all
  clock_only.clock_tick = c.machine.clock_tick;
  std::vector<PlacedWarning> found;
  places = 0;
  for (const Build& b : c.builds) {
    if (b.sessions.size() < 2) {
      ++places;
      for (Warning& w : warning_list(rounds_of(b), b.tests, clock_only))
        found.push_back(placed(b, nullptr, std::move(w)));
      continue;
    }
    for (const SessionRecord& s : b.sessions) {
      ++places;
      for (Warning& w : warning_list(s.rounds, s.tests, clock_only))
        found.push_back(placed(b, &s, std::move(w)));
    }
  }
  return found;
}

// With several sessions: how far they disagreed, for each build.
std::string sessions_notes(const Comparison& c) {
  std::string notes;
  for (const Build& b : c.builds) {
    if (b.sessions.size() < 2) continue;
    const std::string note = sessions_note(session_rounds(b));
    if (note.empty()) continue;
    notes += (notes.empty() ? "" : "\n") + (b.label.empty() ? "" : b.label + ": ") + note;
  }
  return notes;
}

// With several sessions, one that a failure cut short still counts once, as
// a whole one does: said, so that its weight is not a surprise.
std::vector<std::string> short_sessions(const Build& b) {
  std::size_t most = 0;
  for (const SessionRecord& s : b.sessions) most = std::max(most, s.rounds.size());
  std::vector<std::string> notes;
  if (b.sessions.size() < 2) return notes;
  for (const SessionRecord& s : b.sessions) {
    if (s.rounds.size() == most) continue;
    notes.push_back(fmt::format(
        "Session {} was cut short after {} of the {} rounds the others ran; across sessions it "
        "counts once, as each whole session does.",
        s.index, s.rounds.size(), most));
  }
  return notes;
}

}  // namespace

void summarise_comparison(Comparison& c, const std::vector<std::string>& notes) {
  for (Build& b : c.builds) figures(b);
  c.sessions_note = sessions_notes(c);
  c.warnings_shown.clear();
  c.warnings.clear();
  if (c.builds.size() == 1 && c.builds.front().sessions.size() < 2) {
    // One pair in one session: its warnings as they are, nothing to summarise.
    const Build& b = c.builds.front();
    c.warnings = warnings_for(rounds_of(b), b.tests, c.machine);
    c.warnings.insert(c.warnings.end(), notes.begin(), notes.end());
    return;
  }
  int places = 0;
  const std::vector<PlacedWarning> found = placed_warnings(c, places);
  for (const PlacedWarning& w : found) c.warnings.push_back(w.prefix + w.warning.text);
  c.warnings_shown = summarise_warnings(
      found, places, c.builds.front().sessions.size() >= 2 ? "sessions" : "builds");
  const std::vector<std::string> cut = short_sessions(c.builds.front());
  for (std::vector<std::string>* list : {&c.warnings, &c.warnings_shown}) {
    const std::vector<std::string> machine = machine_warnings(c.machine);
    list->insert(list->end(), cut.begin(), cut.end());
    list->insert(list->end(), machine.begin(), machine.end());
    list->insert(list->end(), notes.begin(), notes.end());
  }
  if (several_builds(c)) c.verdicts = compare_builds(c);
}

}  // namespace compare
