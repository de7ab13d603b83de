#include "compare/report/counts.h"

#include <fmt/format.h>

#include <cmath>
#include <map>

#include "compare/export/counts.h"
#include "compare/stats/counts.h"

namespace compare {
namespace {

using Count = std::optional<double>;

std::string count_text(const Count& v) {
  return v && std::isfinite(*v) ? fmt::format("{:.0f}", *v) : "n/a";
}
std::string figure_text(const Count& v) {
  return v && std::isfinite(*v) ? fmt::format("{:.3g}", *v) : "n/a";
}
const Count& event(const WindowCounts& counts, const char* name) {
  return counts.at(static_cast<std::size_t>(event_index(name)));
}

std::vector<std::string> row(const std::string& test, const std::string& program,
                             const WindowCounts& counts, int t, const Count& per_fault,
                             bool difference) {
  const auto seconds = event(counts, "task_clock_s");
  // Ratios of medians say nothing as differences: the contrast row leaves them out.
  return {test,
          program,
          seconds ? fmt::format("{:.4g}", *seconds) : "n/a",
          count_text(event(counts, "page_faults")),
          figure_text(faults_per_page(counts, t)),
          difference ? "" : figure_text(per_fault ? Count(*per_fault * 1e6) : std::nullopt),
          count_text(event(counts, "context_switches")),
          count_text(event(counts, "cpu_migrations")),
          figure_text(per_execution(counts, "cycles")),
          figure_text(per_execution(counts, "instructions")),
          difference ? "" : figure_text(instructions_per_cycle(counts)),
          count_text(event(counts, "branch_misses")),
          count_text(event(counts, "cache_misses"))};
}

std::size_t counted_rounds(const std::vector<Round>& rounds, const CountsByRound& counts) {
  std::size_t n = 0;
  for (const Round& r : rounds) n += counts.count(key_of(r));
  return n;
}

}  // namespace

Table counts_table(const Comparison& c) {
  return counts_table(rounds_of(pair_of(c)), pair_of(c).counters);
}

Table counts_table(const std::vector<Round>& rounds, const CountsByRound& counts) {
  Table table;
  table.word_columns = 2;
  const std::vector<CounterTest> tests = summarise_counters(rounds, counts);
  if (tests.empty()) return table;
  table.header = {
      "Test",         "program",          "task clock (s)", "page faults", "per 4 KiB page",
      "µs per fault", "context switches", "migrations",     "cycles/exec", "instructions/exec",
      "IPC",          "branch misses",    "cache misses"};
  for (int t = 0; t < kTests; ++t) {
    const CounterTest& test = tests.at(t);
    table.rows.push_back(row(test.name, "bench_random", test.random.median, t,
                             test.random.seconds_per_fault, false));
    table.rows.push_back(
        row("", "bench_fixed", test.fixed.median, t, test.fixed.seconds_per_fault, false));
    table.rows.push_back(row("", "random - fixed", test.difference, t, std::nullopt, true));
  }
  return table;
}

std::string counter_meaning(const Comparison& c) {
  return counter_meaning(rounds_of(pair_of(c)), pair_of(c).counters, c.counters_unavailable);
}

std::string counter_meaning(const std::vector<Round>& rounds, const CountsByRound& counts,
                            const std::map<std::string, std::string>& unavailable) {
  std::string out = fmt::format(
      "Counts are medians over {} rounds of each test's timing window, read by the counting "
      "probe just outside the clock readings that open and close it; per 4 KiB page is of the "
      "test's array, µs per fault the window's time over its page faults, per exec over {:.0f} "
      "executions; random - fixed is the difference of the medians.\n",
      counted_rounds(rounds, counts), kExecutions);
  // One line per reason: on most machines every hardware event fails alike.
  std::map<std::string, std::string> by_reason;
  for (const auto& [name, why] : unavailable) {
    std::string& names = by_reason[why];
    names += (names.empty() ? "" : ", ") + name;
  }
  for (const auto& [why, names] : by_reason) {
    out += fmt::format("n/a: not available: {}: {}\n", names, why);
  }
  return out;
}

nlohmann::json counters_json(const Comparison& c) {
  return counters_json(rounds_of(pair_of(c)), pair_of(c).counters, c.counters_unavailable);
}

nlohmann::json counters_json(const std::vector<Round>& rounds, const CountsByRound& counts,
                             const std::map<std::string, std::string>& unavailable) {
  const std::vector<CounterTest> tests = summarise_counters(rounds, counts);
  if (tests.empty()) return nullptr;
  nlohmann::json out = {{"method",
                         "per test and program the median over the rounds of each window's "
                         "count; difference: of the medians, random - fixed"},
                        {"unavailable", unavailable},
                        {"tests", nlohmann::json::array()}};
  for (const CounterTest& test : tests) {
    auto per_fault = [](const Count& s) {
      return s ? nlohmann::json(*s) : nlohmann::json(nullptr);
    };
    out["tests"].push_back({{"name", test.name},
                            {"random", window_json(test.random.median)},
                            {"fixed", window_json(test.fixed.median)},
                            {"difference", window_json(test.difference)},
                            {"seconds_per_fault",
                             {{"random", per_fault(test.random.seconds_per_fault)},
                              {"fixed", per_fault(test.fixed.seconds_per_fault)}}}});
  }
  return out;
}

std::vector<std::string> counts_csv_header() { return {kEventNames.begin(), kEventNames.end()}; }

std::vector<std::string> counts_csv(const WindowCounts& counts) {
  std::vector<std::string> cells;
  for (const Count& v : counts)
    cells.push_back(v && std::isfinite(*v) ? fmt::format("{:.9g}", *v) : "");
  return cells;
}

}  // namespace compare
