// The JSON export: the whole comparison, self-describing.
#include <fmt/format.h>

#include <cmath>

#include "compare/export/goal.h"
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

json builds_method_json(const Comparison& c) {
  return {{"builds", builds_meaning(c)},
          {"seed", c.seed ? json(*c.seed) : json(nullptr)},
          {"confidence", kConfidence},
          {"alpha", kAlpha},
          {"units", "seconds"}};
}

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

// One writer for one pair and for several builds: what they share is
// written once; a pair adds its figures, programs and baseline, builds add
// theirs, the reference and the comparisons.
nlohmann::json to_json(const Comparison& c) {
  const bool several = several_builds(c);
  const Build& first = pair_of(c);
  json sessions = json::array();
  // The rounds are at the top, once, each naming its session.
  for (const SessionRecord& s : first.sessions) sessions.push_back(session_json(s, !several));
  json out = head_json(c, shown_warnings(c));
  out[kSessionsKey] = sessions;
  out[kMethodKey] = several ? builds_method_json(c) : method_json(c);
  out[kRoundsKey] =
      several ? builds_rounds_json(c, false) : rounds_json(rounds_of(first), &first.counters);
  out[kWarmupKey] = several ? builds_rounds_json(c, true) : rounds_json(first.warmup);
  out["goal"] = goal_json(c.goal);
  out["cpu"] = cpu_json(c);
  if (several) {
    json builds = json::array();
    for (const Build& build : c.builds) builds.push_back(build_json(build));
    json comparisons = json::array();
    for (const Verdict& v : c.verdicts) comparisons.push_back(verdict_json(v));
    out[kReferenceKey] = c.reference;
    out[kBuildsKey] = builds;
    out["comparisons"] = comparisons;
    return out;
  }
  out["tests"] = tests_json(first.tests);
  out[kProgramsKey] = programs_json(first.random, first.fixed);
  out["baseline"] = c.baseline ? baseline_json(*c.baseline) : json(nullptr);
  out["counters"] = counters_json(c);
  return out;
}

}  // namespace compare
