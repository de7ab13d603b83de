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

template <typename Field>
std::vector<std::string> distinct(const std::vector<const ExportFile*>& files, Field field) {
  std::vector<std::string> values;
  std::set<std::string> seen;
  for (const ExportFile* f : files) {
    if (field(*f) != "unknown" && seen.insert(field(*f)).second) values.push_back(field(*f));
  }
  return values;
}

const std::string& cpu_of(const ExportFile& f) { return f.machine.cpu_model; }
const std::string& random_compiler_of(const ExportFile& f) { return f.random.compiler; }
const std::string& fixed_compiler_of(const ExportFile& f) { return f.fixed.compiler; }
const std::string& machine_architecture_of(const ExportFile& f) { return f.machine.architecture; }
std::string programs_architecture_of(const ExportFile& f) {
  return pair_architecture(f.random, f.fixed);
}

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
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
      if (w.kind == "rounds") continue;
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
// compiler, the machine's or the programs' architecture.
void warn_of_mixed_sessions(Entry& e, const std::vector<const ExportFile*>& files) {
  const std::string& label = e.label;
  const auto processors = distinct(files, cpu_of);
  if (processors.size() > 1) {
    e.warnings.push_back(fmt::format("{}: its sessions ran on different processors: {}.", label,
                                     joined(processors)));
  }
  for (const auto& [name, field] : {std::pair{"bench_random", &random_compiler_of},
                                    std::pair{"bench_fixed", &fixed_compiler_of}}) {
    const auto compilers = distinct(files, field);
    if (compilers.size() > 1) {
      e.warnings.push_back(
          fmt::format("{}: its sessions' {} were built by different compilers: {}.", label, name,
                      joined(compilers)));
    }
  }
  const char* const kNotComparable = "times from different architectures are not comparable";
  const auto machines = distinct(files, machine_architecture_of);
  if (machines.size() > 1) {
    e.warnings.push_back(
        fmt::format("{}: its sessions ran on machines of different architectures ({}): {}.", label,
                    joined(machines), kNotComparable));
  }
  const auto programs = distinct(files, programs_architecture_of);
  if (programs.size() > 1) {
    e.warnings.push_back(
        fmt::format("{}: its sessions' programs were built for different architectures ({}): {}.",
                    label, joined(programs), kNotComparable));
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

// "Linux" or "Windows" from a machine's record; empty when unknown.
std::string system_of(const ExportFile& f) {
  const std::string& kernel = f.machine.kernel;
  const std::string first = kernel.substr(0, kernel.find(' '));
  return first == "Linux" || first == "Windows" ? first : "";
}

// How an entry's architectures differ from the reference's; empty when they
// do not (or either is unknown).
std::string architectures_apart(const Entry& e, const Entry& ref) {
  const auto known_apart = [](const std::string& a, const std::string& b) {
    return a != b && a != "unknown" && b != "unknown";
  };
  std::string apart;
  const std::string programs = pair_architecture(e.random, e.fixed);
  const std::string ref_programs = pair_architecture(ref.random, ref.fixed);
  if (known_apart(programs, ref_programs)) {
    apart = fmt::format("its programs are built for {}, the reference's for {}", programs,
                        ref_programs);
  }
  if (known_apart(e.machine.architecture, ref.machine.architecture)) {
    apart += fmt::format("{}its machine is {}, the reference's {}", apart.empty() ? "" : "; ",
                         e.machine.architecture, ref.machine.architecture);
  }
  return apart;
}

void warn_of_other_methods(Merge& merge, const Entry& ref,
                           const std::map<std::string, std::vector<const ExportFile*>>& by_label) {
  for (Entry& e : merge.entries) {
    if (&e == &ref) continue;
    if (e.version != ref.version) {
      e.warnings.push_back(fmt::format("{}: made by bench_compare {}, the reference by {}.",
                                       e.label, e.version, ref.version));
    }
    if (by_label.at(e.label).front()->method != by_label.at(ref.label).front()->method) {
      e.warnings.push_back(
          fmt::format("{}: made by another method than the reference (see the exports' "
                      "\"method\").",
                      e.label));
    }
    // The pair's draws and remainders are another C library's code there.
    const std::string system = system_of(*by_label.at(e.label).front());
    const std::string ref_system = system_of(*by_label.at(ref.label).front());
    if (!system.empty() && !ref_system.empty() && system != ref_system) {
      e.warnings.push_back(fmt::format(
          "{}: measured on {}, the reference on {}: times from different systems are not "
          "comparable (each has its own C library's rand, fmod and fmodl).",
          e.label, system, ref_system));
    }
    const std::string apart = architectures_apart(e, ref);
    if (!apart.empty()) {
      e.warnings.push_back(fmt::format(
          "{}: {}: times from different architectures are not comparable.", e.label, apart));
    }
  }
}

// An entry's rounds as a build's, when they all come from one export of
// several builds: such builds ran in the same rounds, so they are compared
// round by round, as --build compared them.
using SharedRounds = std::map<std::string, Build>;
SharedRounds shared_rounds(const std::map<std::string, std::vector<const ExportFile*>>& by_label) {
  SharedRounds shared;
  for (const auto& [label, files] : by_label) {
    if (files.size() != 1 || files.front()->reference.empty()) continue;
    Build& b = shared[label];
    b.label = files.front()->path;  // which export, to tell whether two share rounds
    for (const std::vector<Round>& rounds : files.front()->sessions) {
      b.sessions.push_back(SessionRecord{rounds.front().session, "", rounds, {}});
    }
  }
  return shared;
}

// One series of an entry against the reference's: paired where their rounds
// are shared, else by their session medians.
ReferenceTest compared(const Entry& e, const Entry& ref, std::size_t t, Series which,
                       const SharedRounds& shared) {
  const auto mine = shared.find(e.label);
  const auto theirs = shared.find(ref.label);
  if (mine != shared.end() && theirs != shared.end() &&
      mine->second.label == theirs->second.label) {
    return paired_ratio(paired_values(mine->second, theirs->second, which, static_cast<int>(t)));
  }
  return unpaired_ratio(e.tests[t].sessions.at(index_of(which)),
                        ref.tests[t].sessions.at(index_of(which)));
}

// Every entry's series against the reference's, judged together: Holm's
// adjustment covers every comparison the merge makes a verdict on.
std::vector<Verdict> against_reference(const std::vector<Entry>& entries, const Entry& ref,
                                       const SharedRounds& shared) {
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
