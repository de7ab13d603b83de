#include "compare/history/merge_report.h"

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "compare/export/program.h"
#include "compare/export/verdict.h"
#include "compare/render/format.h"
#include "compare/report/verdicts.h"
#include "compare/stats/reference.h"

namespace compare {

namespace {

using nlohmann::json;

std::string figure(double estimate, const std::optional<Interval>& interval) {
  return interval
             ? fmt::format("{} [{}, {}]", num(estimate), num(interval->low), num(interval->high))
             : num(estimate);
}

const Entry& reference_of(const Merge& m) {
  for (const Entry& e : m.entries) {
    if (e.label == m.reference) return e;
  }
  return m.entries.front();
}

// A program's cell: its architecture and compiler.
std::string built(const ProgramRecord& p) {
  return fmt::format("{}, {}", shown(p.architecture), shown(p.compiler));
}

// Each verdict by its entry, test and series, looked up once per row rather
// than searched for among every verdict of the merge.
using VerdictKey = std::tuple<std::string, std::string, Series>;
std::map<VerdictKey, const Verdict*> verdicts_by_key(const Merge& m) {
  std::map<VerdictKey, const Verdict*> index;
  for (const Verdict& v : m.comparisons) index.emplace(VerdictKey{v.entry, v.test, v.series}, &v);
  return index;
}

}  // namespace

const char* const kMergeMeaning =
    "Each figure is the geometric mean of the entry's session medians with its 95% interval "
    "(Student's t on their logarithms). Ratios are the entry's over the reference's (below 1 "
    "means less time); p is Welch's t-test on the logarithms of the session medians, adjusted "
    "over every comparison of the merge by Holm's method, with verdicts at adjusted alpha = 0.05.";

Table machines_table(const Merge& m) {
  const Entry& ref = reference_of(m);
  Table t;
  t.title = "Machines and builds (* differs from the reference)";
  t.header = {"Entry",     "Sessions",  "Dates",  "Architecture", "CPUs",
              "C library", "Processor", "Kernel", "bench_random", "bench_fixed"};
  for (const Entry& e : m.entries) {
    t.rows.push_back(
        {e.label + (e.label == m.reference ? " (reference)" : ""), std::to_string(e.sessions),
         fmt::format("{} to {}", short_time(e.first_started), short_time(e.last_finished)),
         marked(e.machine.architecture, ref.machine.architecture),
         marked(e.machine.logical_cpus, ref.machine.logical_cpus),
         marked(e.machine.libc, ref.machine.libc),
         marked(e.machine.cpu_model, ref.machine.cpu_model),
         marked(e.machine.kernel, ref.machine.kernel), marked(built(e.random), built(ref.random)),
         marked(built(e.fixed), built(ref.fixed))});
  }
  // Processors, kernels and compilers run long: in the terminal, a line each
  // under the entry's row.
  t.line_columns = 4;
  return t;
}

std::vector<Table> figures_tables(const Merge& m) {
  std::vector<Table> tables;
  for (int test = 0; test < kTests; ++test) {
    Table t;
    t.title = fmt::format("{}: seconds across sessions [95% interval]",
                          kTestNames.at(static_cast<size_t>(test)));
    t.header = {"Entry", "Sessions", "bench_random", "bench_fixed", "random - fixed"};
    for (const Entry& e : m.entries) {
      const EntryTest& et = e.tests.at(static_cast<size_t>(test));
      std::vector<std::string> row = {e.label, std::to_string(e.sessions)};
      for (const Estimate& s : et.across) row.push_back(figure(s.estimate, s.interval));
      t.rows.push_back(std::move(row));
    }
    tables.push_back(std::move(t));
  }
  return tables;
}

std::string merge_summary(const Merge& m) {
  int sessions = 0;
  size_t files = 0;
  for (const Entry& e : m.entries) {
    sessions += e.sessions;
    files += e.files.size();
  }
  return fmt::format(
      "bench_compare merge: {} entries, {} sessions from {} exports; each compared "
      "with the reference {}.",
      m.entries.size(), sessions, files, m.reference);
}

std::vector<std::string> merge_warnings(const Merge& m) {
  // The entries' own warnings first, then their sessions' by kind.
  std::vector<std::string> out;
  std::vector<PlacedWarning> found;
  int sessions = 0;
  for (const Entry& e : m.entries) {
    std::set<std::string> by_kind;
    for (const PlacedWarning& p : e.found) by_kind.insert(p.prefix + p.warning.text);
    for (const std::string& w : e.warnings)
      if (by_kind.count(w) == 0) out.push_back(w);
    found.insert(found.end(), e.found.begin(), e.found.end());
    sessions += e.sessions;
  }
  const std::vector<std::string> summary = summarise_warnings(found, sessions, "sessions");
  out.insert(out.end(), summary.begin(), summary.end());
  return out;
}

std::string merge_text(const Merge& m) {
  std::string out = wrapped(merge_summary(m)) + "\n" + text_table(machines_table(m), 2);
  for (const Table& t : figures_tables(m)) out += "\n" + text_table(t, 2);
  for (const Table& t : verdict_tables_by_test(m.comparisons, m.reference)) {
    out += "\n" + text_table(t, 2);
  }
  out += "\n" + wrapped(kMergeMeaning) + wrapped(kIntervalsNote);
  const auto warnings = merge_warnings(m);
  if (!warnings.empty()) out += "\n";
  for (const std::string& w : warnings) out += wrapped("warning: " + w);
  return printable_lines(out);
}

std::string merge_markdown(const Merge& m) {
  std::string out = markdown_cell(merge_summary(m)) + "\n\n" + markdown_table(machines_table(m));
  for (const Table& t : figures_tables(m)) out += "\n" + markdown_table(t);
  for (const Table& t : verdict_tables_by_test(m.comparisons, m.reference)) {
    out += "\n" + markdown_table(t);
  }
  out += fmt::format("\n{} {}\n", markdown_cell(kMergeMeaning), markdown_cell(kIntervalsNote));
  const auto warnings = merge_warnings(m);
  if (!warnings.empty()) out += "\nWarnings:\n\n";
  for (const std::string& w : warnings) out += fmt::format("- {}\n", markdown_cell(w));
  return out;
}

std::string merge_csv(const Merge& m) {
  Table t;
  t.header = {"entry",   "test",       "series",  "sessions",          "estimate",
              "low",     "high",       "ratio",   "ratio_low",         "ratio_high",
              "p_value", "p_adjusted", "verdict", "detectable_slower", "detectable_faster"};
  auto value = [](double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : std::string(); };
  const auto verdicts = verdicts_by_key(m);
  for (const Entry& e : m.entries) {
    for (const EntryTest& test : e.tests) {
      for (const Series which : kSeries) {
        const Estimate& s = test.across.at(index_of(which));
        std::vector<std::string> row = {e.label,
                                        test.name,
                                        series_name(which),
                                        std::to_string(e.sessions),
                                        value(s.estimate),
                                        s.interval ? value(s.interval->low) : "",
                                        s.interval ? value(s.interval->high) : ""};
        const auto found = verdicts.find(VerdictKey{e.label, test.name, which});
        const Verdict* v = found != verdicts.end() ? found->second : nullptr;
        const std::vector<std::string> cells =
            v != nullptr ? verdict_csv(*v) : std::vector<std::string>(5);
        row.insert(row.end(), cells.begin(), cells.end());
        row.push_back(v != nullptr ? verdict_text(v->verdict) : "reference");
        const std::vector<std::string> seen =
            v != nullptr ? detectable_csv(*v) : std::vector<std::string>(2);
        row.insert(row.end(), seen.begin(), seen.end());
        t.rows.push_back(std::move(row));
      }
    }
  }
  return csv_table(t);
}

namespace {

nlohmann::json entry_json(const Entry& e) {
  using nlohmann::json;
  json tests = json::array();
  for (const EntryTest& t : e.tests) {
    json test = {{"name", t.name}};
    for (const Series which : kSeries) {
      const Estimate& s = t.across.at(index_of(which));
      json sessions = json::array();
      for (double v : t.sessions.at(index_of(which))) sessions.push_back(number(v));
      test[series_name(which)] = {{"estimate", number(s.estimate)},
                                  {"low", s.interval ? number(s.interval->low) : json(nullptr)},
                                  {"high", s.interval ? number(s.interval->high) : json(nullptr)},
                                  {"session_medians", sessions}};
    }
    tests.push_back(std::move(test));
  }
  const MachineRecord& mr = e.machine;
  return {
      {"label", e.label},
      {"files", e.files},
      {"sessions", e.sessions},
      {"rounds", e.rounds},
      {"started_at", e.first_started.empty() ? json(nullptr) : json(e.first_started)},
      {"finished_at", e.last_finished.empty() ? json(nullptr) : json(e.last_finished)},
      {"version", e.version},
      {"machine",
       {{"cpu_model", shown(mr.cpu_model)},
        {"architecture", shown(mr.architecture)},
        {"logical_cpus", shown(mr.logical_cpus)},
        {"kernel", shown(mr.kernel)},
        {"libc", shown(mr.libc)}}},
      {"programs", programs_json(e.random, e.fixed)},
      {"tests", tests},
      {"warnings", e.warnings},
  };
}

}  // namespace

nlohmann::json merge_json(const Merge& m) {
  using nlohmann::json;
  json entries = json::array();
  for (const Entry& e : m.entries) entries.push_back(entry_json(e));
  json comparisons = json::array();
  for (const Verdict& v : m.comparisons) comparisons.push_back(verdict_json(v));
  return {{"tool", {{"name", "bench_compare"}, {"version", m.version}}},
          {"reference", m.reference},
          {"method", kMergeMeaning},
          {"entries", entries},
          {"comparisons", comparisons},
          {"warnings_summarised", merge_warnings(m)}};
}

}  // namespace compare
