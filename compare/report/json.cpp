// The JSON export: the whole comparison, self-describing.
#include <fmt/format.h>

#include <cmath>

#include "compare/render/format.h"
#include "compare/report/builds.h"
#include "compare/report/counts.h"
#include "compare/report/json_parts.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"
#include "compare/report/usage.h"
#include "compare/report/verdicts.h"

namespace compare {

using nlohmann::json;

json round_json(const Round& r, const CountsByRound* counts) {
  json random = json::array();
  json fixed = json::array();
  for (int t = 0; t < kTests; ++t) {
    random.push_back(number(r.random.at(t)));
    fixed.push_back(number(r.fixed.at(t)));
  }
  json round = {
      {"index", r.index},
      {"session", r.session},
      {"first", side_name(r.first)},
      {"random", random},
      {"fixed", fixed},
      {"usage", {{"random", usage_json(r.random_usage)}, {"fixed", usage_json(r.fixed_usage)}}}};
  const auto counted = counts ? counts->find(key_of(r)) : CountsByRound::const_iterator{};
  if (counts && counted != counts->end()) round["counters"] = round_counters_json(counted->second);
  return round;
}

namespace {

// With counts, each round carries its own (the top-level rounds do).
json rounds_json(const std::vector<Round>& all, const CountsByRound* counts = nullptr) {
  json rounds = json::array();
  for (const Round& r : all) rounds.push_back(round_json(r, counts));
  return rounds;
}

}  // namespace

json tests_json(const std::vector<TestResult>& results) {
  json tests = json::array();
  for (const TestResult& t : results) {
    // Across sessions the programs' figures have intervals too.
    const auto program = [](const Summary& summary, const std::optional<Interval>& interval) {
      json part = {{"median", number(summary.median)}, {"mad", number(summary.mad)}};
      if (interval) {
        part["low"] = number(interval->low);
        part["high"] = number(interval->high);
      }
      return part;
    };
    tests.push_back({
        {"name", t.name},
        {"random", program(t.random, t.random_interval)},
        {"fixed", program(t.fixed, t.fixed_interval)},
        {"difference",
         {{"median", number(t.difference)},
          {"low", t.interval ? number(t.interval->low) : json(nullptr)},
          {"high", t.interval ? number(t.interval->high) : json(nullptr)},
          {"confidence", kConfidence}}},
        {"ratio", number(t.ratio)},
        {"ns_per_execution", number(t.ns_per_execution)},
    });
  }
  return tests;
}

namespace {

json method_json(const Comparison& c) {
  return {{"rounds",
           "counted rounds in blocks of two: random then fixed, then fixed then random, or the "
           "reverse, the order chosen at random for each block"},
          {"runs", "each program runs once in each round"},
          {"times", "each test's seconds as the programs write them in their results files"},
          {"dispersion", "median absolute deviation, unscaled"},
          {"difference", "median of the per-round differences random - fixed"},
          {"interval",
           "sign test: the order statistics d(k) and d(n+1-k) of the sorted per-round differences, "
           "at 95% confidence; none with fewer than 6 rounds"},
          {"sessions",
           "each session has its own warm-up and counted rounds; sessions are apart in time, and "
           "each round names its session"},
          {"across_sessions", across(c)},
          {"tests",
           across(c) ? "across sessions: per series the geometric mean of the session medians "
                       "(under 'median'), low and high its 95% interval from Student's t on their "
                       "logarithms; mad is null"
                     : "one session: medians, MADs and the sign-test interval of its rounds"},
          {"baseline",
           "Welch's t-test on the logarithms of the session medians of each side, p-values "
           "adjusted over the series by Holm's method; no verdict with fewer than 2 sessions on "
           "either side"},
          {"usage",
           "each run's wall time, and its processor time, context switches, page faults and peak "
           "memory as the kernel reports them when it is reaped; runqueue_wait_s is the time it "
           "sat runnable waiting for a processor (null where the kernel does not tell)"},
          {"seed", c.seed ? json(*c.seed) : json(nullptr)},
          {"confidence", kConfidence},
          {"alpha", kAlpha},
          {"executions_per_test", kExecutions},
          {"units", "seconds"}};
}

}  // namespace

json machine_json(const MachineRecord& m) {
  return {{"cpu_model", m.cpu_model},
          {"architecture", m.architecture},
          {"logical_cpus", m.logical_cpus},
          {"kernel", m.kernel},
          {"libc", m.libc},
          {"governor", m.governor},
          {"governor_after", m.governor_after},
          {"turbo", m.turbo},
          {"turbo_after", m.turbo_after},
          {"aslr", m.aslr},
          {"load_before", m.load_before},
          {"load_after", m.load_after},
          {"clock_tick", m.clock_tick > 0 ? number(m.clock_tick) : json(nullptr)}};
}

json program_json(const ProgramRecord& p) {
  return {{"path", p.path}, {"compiler", p.compiler}, {"architecture", p.architecture}};
}

namespace {

json baseline_json(const BaselineComparison& b) {
  json verdicts = json::array();
  for (const Verdict& v : b.verdicts) verdicts.push_back(verdict_json(v));
  return {{"path", b.path},
          {"notes", b.notes},
          {"verdicts", verdicts},
          {"sessions", b.sessions},
          {"baseline_sessions", b.baseline_sessions}};
}

}  // namespace

nlohmann::json to_json(const Comparison& c) {
  if (several_builds(c)) return builds_json(c);
  json sessions = json::array();
  for (const SessionRecord& s : pair_of(c).sessions) {
    // The rounds are at the top, once, each naming its session.
    sessions.push_back(
        {{"index", s.index}, {"started_at", s.started_at}, {"tests", tests_json(s.tests)}});
  }

  return {
      {"tool", {{"name", "bench_compare"}, {"version", c.version}}},
      {"format", kExportFormat},
      {"label", c.label},
      {"started_at", c.started_at.empty() ? json(nullptr) : json(c.started_at)},
      {"finished_at", c.finished_at.empty() ? json(nullptr) : json(c.finished_at)},
      {"method", method_json(c)},
      {"rounds", rounds_json(rounds_of(pair_of(c)), &pair_of(c).counters)},
      {"warmup", rounds_json(pair_of(c).warmup)},
      {"sessions", sessions},
      {"tests", tests_json(pair_of(c).tests)},
      {"machine", machine_json(c.machine)},
      {"programs",
       {{"random", program_json(pair_of(c).random)}, {"fixed", program_json(pair_of(c).fixed)}}},
      {"warnings", c.warnings},
      {"warnings_summarised", shown_warnings(c)},
      {"sessions_note", c.sessions_note.empty() ? json(nullptr) : json(c.sessions_note)},
      {"complete", c.stopped.empty()},
      {"stopped", c.stopped.empty() ? json(nullptr) : json(c.stopped)},
      {"baseline", c.baseline ? baseline_json(*c.baseline) : json(nullptr)},
      {"counters", counters_json(c)},
  };
}

}  // namespace compare
