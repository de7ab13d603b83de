#include "compare/history/merge.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

#include "compare/render/table.h"
#include "compare/stats/builds.h"
#include "compare/stats/differences.h"
#include "compare/stats/reference.h"
#include "compare/stats/summary.h"

namespace compare {

int entry_count(const std::vector<ExportFile>& exports) {
  std::set<std::string> labels;
  for (const ExportFile& e : exports) labels.insert(e.label);
  return static_cast<int>(labels.size());
}

namespace {

constexpr int kFewestRounds = 6;  // below this a session's own interval is missing

// What an export is compared by.
Record record_of(const ExportFile& f) {
  return {f.machine, f.random, f.fixed, f.version, &f.method};
}

// The warnings of each session as the export has them, with their kinds, so
// that a kind repeating across entries can be one line. They are made again
// from the rounds; one is taken only when the export holds the same sentence,
// so an export made by another version keeps its own sentences.
std::vector<PlacedWarning> found_warnings(const std::string& label, const ExportFile& f) {
  std::vector<PlacedWarning> found;
  const std::set<std::string> held(f.warnings.begin(), f.warnings.end());
  MachineRecord clock_only;
  clock_only.clock_tick = f.machine.clock_tick;
  const bool several = f.sessions.size() > 1;
  for (const std::vector<Round>& rounds : f.sessions) {
    if (rounds.empty()) continue;
    const int session = rounds.front().session;
    const std::string own = several ? fmt::format("Session {}: ", session) : "";
    for (Warning& w : warning_list(rounds, summarise(rounds), clock_only)) {
      if (w.kind == WarningKind::Rounds) continue;
      if (held.count(own + w.text) == 0) continue;
      const std::string where = several ? fmt::format("{}, session {}", label, session) : label;
      found.push_back({fmt::format("{}: {}", label, own), where, std::move(w)});
    }
  }
  // The machine's state is recorded once per export, unprefixed.
  for (Warning& w : machine_warning_list(f.machine)) {
    if (held.count(w.text) == 0) continue;
    found.push_back({fmt::format("{}: ", label), label, std::move(w)});
  }
  return found;
}

// What an entry's sessions do not share: the processor, a program's
// compiler, the programs' or the machine's architecture.
void warn_of_mixed_sessions(Entry& e, const std::vector<const ExportFile*>& files) {
  for (const Aspect aspect : {Aspect::Processor, Aspect::RandomCompiler, Aspect::FixedCompiler,
                              Aspect::ProgramArchitecture, Aspect::MachineArchitecture}) {
    std::vector<std::string> values;
    std::set<std::string> seen;
    for (const ExportFile* f : files) {
      std::string value = value_of(record_of(*f), aspect);
      if (!value.empty() && seen.insert(value).second) values.push_back(std::move(value));
    }
    if (values.size() > 1) {
      e.warnings.push_back(sentence_among(aspect, values, e.label + ": its sessions'") + ".");
    }
  }
}

Entry build_entry(const std::string& label, const std::vector<const ExportFile*>& files) {
  Entry e;
  e.label = label;
  e.machine = files.front()->machine;
  e.random = files.front()->random;
  e.fixed = files.front()->fixed;
  e.version = files.front()->version;
  std::vector<const std::vector<Round>*> sessions;
  for (const ExportFile* f : files) {
    e.files.push_back(f->path);
    for (size_t s = 0; s < f->sessions.size(); ++s) {
      sessions.push_back(&f->sessions[s]);
      e.rounds.push_back(static_cast<int>(f->sessions[s].size()));
      if (static_cast<int>(f->sessions[s].size()) < kFewestRounds) {
        e.warnings.push_back(
            fmt::format("{}: session {} of {} has only {} counted rounds (fewer "
                        "than {}).",
                        label, s + 1, f->path, f->sessions[s].size(), kFewestRounds));
      }
      const std::string& start = f->session_started[s];
      if (!start.empty() && (e.first_started.empty() || start < e.first_started)) {
        e.first_started = start;
      }
    }
    if (f->finished_at > e.last_finished) e.last_finished = f->finished_at;
    if (!f->stopped.empty()) {
      e.warnings.push_back(fmt::format("{}: {} stopped early ({}).", label, f->path, f->stopped));
    }
  }
  e.sessions = static_cast<int>(sessions.size());
  if (e.sessions == 1) {
    e.warnings.push_back(
        fmt::format("{}: a single session, so it has no interval across sessions.", label));
  }
  warn_of_mixed_sessions(e, files);
  std::set<std::string> given(e.warnings.begin(), e.warnings.end());
  for (const ExportFile* f : files) {
    for (const std::string& w : f->warnings) {
      std::string placed = fmt::format("{}: {}", label, w);
      if (given.insert(placed).second) e.warnings.push_back(std::move(placed));
    }
    for (PlacedWarning& p : found_warnings(label, *f)) e.found.push_back(std::move(p));
  }

  for (int t = 0; t < kTests; ++t) {
    EntryTest test;
    test.name = kTestNames.at(static_cast<size_t>(t));
    for (const std::vector<Round>* rounds : sessions) {
      for (const Series which : kSeries)
        test.sessions.at(index_of(which)).push_back(session_median(*rounds, which, t));
    }
    for (const Series which : kSeries) {
      test.across.at(index_of(which)) = geometric_mean_interval(test.sessions.at(index_of(which)));
    }
    e.tests.push_back(std::move(test));
  }
  return e;
}

}  // namespace

namespace {

// A session given twice would count twice and narrow every interval.
void refuse_repeats(const std::vector<ExportFile>& exports) {
  std::set<std::pair<std::string, std::string>> seen;
  std::set<std::pair<std::string, std::string>> seen_files;  // an export of builds has several
  for (const ExportFile& f : exports) {
    std::error_code ec;
    const std::string canonical = std::filesystem::weakly_canonical(f.path, ec).string();
    if (!seen_files.insert({ec ? f.path : canonical, f.label}).second) {
      throw std::runtime_error(fmt::format("{} is given twice", f.path));
    }
    // Sessions of one export are distinct even when they started within the
    // same second (--pause 0): only another file can repeat one.
    const std::set<std::string> own(f.session_started.begin(), f.session_started.end());
    for (const std::string& start : own) {
      if (!start.empty() && !seen.insert({f.label, start}).second) {
        throw std::runtime_error(
            fmt::format("{} repeats a session of {} that started at {}", f.path, f.label, start));
      }
    }
  }
}

// How each entry differs from the reference in what makes its times not
// comparable or its figures made otherwise: the version, the method, the
// system and the architectures. The rest shows in the machines table.
void warn_of_other_methods(Merge& merge, const Entry& ref,
                           const std::map<std::string, std::vector<const ExportFile*>>& by_label) {
  const Record reference = record_of(*by_label.at(ref.label).front());
  for (Entry& e : merge.entries) {
    if (&e == &ref) continue;
    for (const Difference& d : differences(record_of(*by_label.at(e.label).front()), reference)) {
      if (d.aspect == Aspect::Method) {
        e.warnings.push_back(
            fmt::format("{}: made by another method than the reference (see the exports' "
                        "\"method\").",
                        e.label));
      } else if (d.aspect == Aspect::Version || d.not_comparable) {
        e.warnings.push_back(sentence(d, {e.label + ": its", "is", "the reference's "}) + ".");
      }
    }
  }
}

// An entry's rounds as a build's, when they all come from one export of
// several builds: such builds ran in the same rounds, so they are compared
// round by round, as --build compared them.
struct SharedRounds {
  std::string path;  // the export they came from: two entries share rounds only within one
  Build rounds;
};
using SharedByLabel = std::map<std::string, SharedRounds>;
SharedByLabel shared_rounds(const std::map<std::string, std::vector<const ExportFile*>>& by_label) {
  SharedByLabel shared;
  for (const auto& [label, files] : by_label) {
    if (files.size() != 1 || files.front()->reference.empty()) continue;
    SharedRounds& entry = shared[label];
    entry.path = files.front()->path;
    for (const std::vector<Round>& rounds : files.front()->sessions) {
      entry.rounds.sessions.push_back(SessionRecord{rounds.front().session, "", rounds, {}});
    }
  }
  return shared;
}

// One series of an entry against the reference's: paired where their rounds
// are shared, else by their session medians.
ReferenceTest compared(const Entry& e, const Entry& ref, std::size_t t, Series which,
                       const SharedByLabel& shared) {
  const auto mine = shared.find(e.label);
  const auto theirs = shared.find(ref.label);
  if (mine != shared.end() && theirs != shared.end() && mine->second.path == theirs->second.path) {
    return paired_ratio(
        paired_values(mine->second.rounds, theirs->second.rounds, which, static_cast<int>(t)));
  }
  return unpaired_ratio(e.tests[t].sessions.at(index_of(which)),
                        ref.tests[t].sessions.at(index_of(which)));
}

// Every entry's series against the reference's, judged together: Holm's
// adjustment covers every comparison the merge makes a verdict on.
std::vector<Verdict> against_reference(const std::vector<Entry>& entries, const Entry& ref,
                                       const SharedByLabel& shared) {
  std::vector<Verdict> verdicts;
  std::vector<ReferenceTest> tests;
  for (const Entry& e : entries) {
    if (&e == &ref) continue;
    for (size_t t = 0; t < e.tests.size(); ++t) {
      for (const Series which : kSeries) {
        Verdict v;
        v.entry = e.label;
        v.test = e.tests[t].name;
        v.series = which;
        v.result = compared(e, ref, t, which, shared);
        tests.push_back(v.result);
        verdicts.push_back(std::move(v));
      }
    }
  }
  const std::vector<Decided> decided = decide(tests);
  for (size_t i = 0; i < decided.size(); ++i) {
    verdicts[i].p_adjusted = decided[i].p_adjusted;
    verdicts[i].verdict = decided[i].verdict;
    verdicts[i].detectable = decided[i].detectable;
  }
  return verdicts;
}

}  // namespace

Merge merge_exports(const std::vector<ExportFile>& exports, const std::string& reference) {
  refuse_repeats(exports);
  std::vector<std::string> labels;
  std::map<std::string, std::vector<const ExportFile*>> by_label;
  for (const ExportFile& f : exports) {
    if (by_label[f.label].empty()) labels.push_back(f.label);
    by_label[f.label].push_back(&f);
  }
  Merge merge;
  // By default the first export's own reference build, if it has one, else its first entry.
  const std::string own = exports.empty() ? "" : exports.front().reference;
  merge.reference = !reference.empty()                         ? reference
                    : !own.empty() && by_label.count(own) != 0 ? own
                    : labels.empty()                           ? ""
                                                               : labels.front();
  if (by_label.count(merge.reference) == 0) {
    throw std::runtime_error(
        fmt::format("--reference {}: no entry has that label", printable(merge.reference)));
  }
  for (const std::string& label : labels)
    merge.entries.push_back(build_entry(label, by_label[label]));
  const auto ref_at = std::find(labels.begin(), labels.end(), merge.reference) - labels.begin();
  const Entry& ref = merge.entries.at(static_cast<size_t>(ref_at));
  warn_of_other_methods(merge, ref, by_label);
  merge.comparisons = against_reference(merge.entries, ref, shared_rounds(by_label));
  return merge;
}

}  // namespace compare
