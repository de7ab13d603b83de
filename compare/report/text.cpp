// The console report: the summary, what it means, sessions, usage, counts,
// baseline, warnings and the record of machine and programs.
#include <fmt/format.h>

#include <cmath>

#include "compare/report/counts.h"
#include "compare/report/parts.h"
#include "compare/report/report.h"
#include "compare/stats/usage.h"

namespace compare {

namespace {

std::string baseline_text(const BaselineComparison& b) {
  std::string out = fmt::format("\nCompared with the baseline {} ({} now, {} then):\n", b.path,
                                plural(b.sessions, "session", "sessions"),
                                plural(b.baseline_sessions, "session", "sessions"));
  for (const std::string& note : b.notes) out += fmt::format("  {}\n", note);
  std::vector<std::vector<std::string>> verdicts = {
      {"  test", "series", "ratio [95% interval]", "p", "p (Holm)", "verdict"}};
  for (const BaselineVerdict& v : b.verdicts) {
    std::string ratio = ratio_text(v.ratio);
    if (v.ratio_interval) {
      ratio += fmt::format(" [{}, {}]", ratio_text(v.ratio_interval->low),
                           ratio_text(v.ratio_interval->high));
    }
    verdicts.push_back(
        {"  " + v.test, v.series, ratio, p_text(v.p_value), p_text(v.p_adjusted), v.verdict});
  }
  out += aligned(verdicts);
  if (b.sessions < 2 || b.baseline_sessions < 2) {
    out += fmt::format(
        "  No verdict from one session: rounds run seconds apart share that moment's speed of the "
        "machine. Make both this comparison and the baseline with --sessions 5 (at least 2 "
        "each).\n");
  }
  return out;
}

}  // namespace

std::vector<std::vector<std::string>> summary_table(const Comparison& c) {
  std::vector<std::vector<std::string>> rows = {kSummaryColumns};
  for (auto& row : table_rows(c)) rows.push_back(std::move(row));
  return rows;
}

std::string summary_meaning(const Comparison& c) { return meaning(c); }

std::vector<std::vector<std::string>> record_table(const Comparison& c) {
  const MachineRecord& m = c.machine;
  return {
      {"processor", m.cpu_model},
      {"logical CPUs", m.logical_cpus},
      {"kernel", m.kernel},
      {"C library", m.libc},
      {"governor", fmt::format("{} at the start, {} at the end", m.governor, m.governor_after)},
      {"turbo", fmt::format("{} at the start, {} at the end", m.turbo, m.turbo_after)},
      {"ASLR", m.aslr},
      {"load averages", fmt::format("{} before, {} after", m.load_before, m.load_after)},
      {"clock tick", m.clock_tick > 0 && std::isfinite(m.clock_tick)
                         ? fmt::format("{:.3g} s", m.clock_tick)
                         : "unknown"},
      {"bench_random", fmt::format("{} ({})", known(c.random.path), c.random.compiler)},
      {"bench_fixed", fmt::format("{} ({})", known(c.fixed.path), c.fixed.compiler)},
  };
}

std::string text_report(const Comparison& c) {
  std::string out = header(c) + "\n\n";
  out += aligned(summary_table(c));
  out += fmt::format("{}\n", meaning(c));
  if (across(c)) out += "\nBy session:\n" + aligned(session_rows(c));
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += line + "\n";
  const auto counters = counter_table(c);
  if (!counters.empty()) out += "\n" + aligned(counters) + counter_meaning(c);
  if (c.baseline) out += baseline_text(*c.baseline);

  if (!c.warnings.empty()) out += "\n";
  for (const std::string& w : c.warnings) out += fmt::format("warning: {}\n", w);
  if (!c.stopped.empty()) out += fmt::format("\n{}\n", stopped_line(c));

  out += "\nRecord:\n";
  std::vector<std::vector<std::string>> record = record_table(c);
  for (auto& row : record) row.front().insert(0, "  ");
  out += aligned(record);
  return out;
}

}  // namespace compare
