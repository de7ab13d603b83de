// The JSON export: the whole comparison, self-describing.
#include <fmt/format.h>

#include <cmath>

#include "compare/export/head.h"
#include "compare/export/program.h"
#include "compare/export/round.h"
#include "compare/export/session.h"
#include "compare/export/tests.h"
#include "compare/export/verdict.h"
#include "compare/report/builds.h"
#include "compare/report/counts.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"

namespace compare {

using nlohmann::json;

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
  const Build& pair = pair_of(c);
  json sessions = json::array();
  // The rounds are at the top, once, each naming its session.
  for (const SessionRecord& s : pair.sessions) sessions.push_back(session_json(s, true));
  json out = head_json(c, shown_warnings(c));
  out[kMethodKey] = method_json(c);
  out[kRoundsKey] = rounds_json(rounds_of(pair), &pair.counters);
  out[kWarmupKey] = rounds_json(pair.warmup);
  out[kSessionsKey] = sessions;
  out["tests"] = tests_json(pair.tests);
  out[kProgramsKey] = programs_json(pair.random, pair.fixed);
  out["baseline"] = c.baseline ? baseline_json(*c.baseline) : json(nullptr);
  out["counters"] = counters_json(c);
  return out;
}

}  // namespace compare
