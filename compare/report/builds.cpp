#include "compare/report/builds.h"

#include <fmt/format.h>

#include <cmath>

#include "compare/render/format.h"
#include "compare/report/counts.h"
#include "compare/report/json_parts.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"
#include "compare/report/usage.h"
#include "compare/report/verdicts.h"
#include "compare/stats/builds.h"
#include "compare/stats/differences.h"

namespace compare {

namespace {

using nlohmann::json;

bool across_builds(const Build& b) { return b.sessions.size() >= 2; }

std::size_t counted(const Comparison& c) {
  return c.builds.empty() ? 0 : rounds_of(c.builds.front()).size();
}

}  // namespace

std::string builds_header(const Comparison& c) {
  const Comparison& b = c;
  const std::size_t sessions = b.builds.empty() ? 0 : b.builds.front().sessions.size();
  return fmt::format(
      "bench_compare {}: {} builds in {}{}, every build's pair once in every round, in an order "
      "drawn at random for the first round of each block of two and reversed in the second{}.",
      c.version, b.builds.size(), plural(counted(c), "counted round", "counted rounds"),
      sessions >= 2 ? fmt::format(" over {} sessions apart in time", sessions) : "",
      c.seed ? fmt::format(" (--seed {} repeats the orders)", *c.seed) : "");
}

std::string builds_meaning(const Comparison& c) {
  const bool several = !c.builds.empty() && across_builds(c.builds.front());
  return fmt::format(
      "Ratios are each build's time over the reference's ({}) in the same round, where the "
      "machine's drift touches both alike (below 1 means less time). A round and its mirror (the "
      "same order reversed) make one block, and the mean of their log ratios is what is tested. "
      "{} A series with any value that is not positive has no ratio: not comparable. p is "
      "adjusted over every series of every build by Holm's method; verdicts at adjusted alpha = "
      "0.05. {}",
      c.reference,
      several ? "Each session counts once through its median block log ratio: the ratio is their "
                "geometric mean, with Student's t interval and one-sample t test."
              : "The ratio is exp(median of the block log ratios), with the sign test's 95% "
                "interval and p (tied blocks count against a change; no test below 6 blocks).",
      kIntervalsNote);
}

Table builds_table(const Comparison& c) {
  const Build& ref = reference_of(c);
  // One value when the pair agrees, else random's and fixed's.
  const auto both = [](const std::string& random, const std::string& fixed) {
    return random == fixed ? random : random + "; " + fixed;
  };
  const Record reference{c.machine, ref.random, ref.fixed, "", nullptr};
  Table t;
  t.title = "Builds (* differs from the reference)";
  t.header = {"Build", "architecture", "bench_random", "bench_fixed", "compiler"};
  for (const Build& b : c.builds) {
    // Marked as the differences say: an unread value differs from none.
    bool architecture = false;
    bool compiler = false;
    for (const Difference& d :
         differences({c.machine, b.random, b.fixed, "", nullptr}, reference)) {
      architecture = architecture || d.aspect == Aspect::ProgramArchitecture;
      compiler =
          compiler || d.aspect == Aspect::RandomCompiler || d.aspect == Aspect::FixedCompiler;
    }
    const auto mark = [](std::string shown, bool differs) {
      return differs ? shown + " *" : shown;
    };
    t.rows.push_back({b.label + (&b == &ref ? " (reference)" : ""),
                      mark(both(b.random.architecture, b.fixed.architecture), architecture),
                      shown_path(b.random.path), shown_path(b.fixed.path),
                      mark(both(b.random.compiler, b.fixed.compiler), compiler)});
  }
  t.line_columns = 3;  // paths and compilers: long, and many builds to list
  return t;
}

std::vector<Table> build_figures_tables(const Comparison& c) {
  std::vector<Table> tables;
  for (int test = 0; test < kTests; ++test) {
    Table t;
    t.title = fmt::format("{}: seconds", kTestNames.at(static_cast<std::size_t>(test)));
    t.header = {"Build", "bench_random", "bench_fixed", "random - fixed [95% interval]"};
    for (const Build& b : c.builds) {
      if (b.tests.size() != kTests) continue;
      const TestResult& r = b.tests.at(static_cast<std::size_t>(test));
      const bool across = across_builds(b);
      t.rows.push_back({b.label,
                        across ? with_interval(r.random.median, r.random_interval, "no interval")
                               : fmt::format("{} ± {}", num(r.random.median), num(r.random.mad)),
                        across ? with_interval(r.fixed.median, r.fixed_interval, "no interval")
                               : fmt::format("{} ± {}", num(r.fixed.median), num(r.fixed.mad)),
                        with_interval(r.difference, r.interval, "no interval")});
    }
    tables.push_back(std::move(t));
  }
  return tables;
}

std::string builds_text(const Comparison& c) {
  std::string out = text_table(builds_table(c), 2);
  for (const Table& t : build_figures_tables(c)) out += "\n" + text_table(t, 2);
  for (const Table& t : verdict_tables_by_test(c.verdicts, c.reference, "Build")) {
    out += "\n" + text_table(t, 2);
  }
  out += "\n" + wrapped(builds_meaning(c));
  for (const Build& b : c.builds) {
    const Table counts = counts_table(rounds_of(b), b.counters);
    if (counts.rows.empty()) continue;
    out += "\n" + wrapped(fmt::format("Counts of {}:", b.label)) + text_table(counts) +
           wrapped(counter_meaning(rounds_of(b), b.counters, c.counters_unavailable));
  }
  return out;
}

std::string builds_markdown(const Comparison& c) {
  std::string out = markdown_table(builds_table(c));
  for (const Table& t : build_figures_tables(c)) out += "\n" + markdown_table(t);
  for (const Table& t : verdict_tables_by_test(c.verdicts, c.reference, "Build")) {
    out += "\n" + markdown_table(t);
  }
  return out + "\n" + markdown_cell(builds_meaning(c)) + "\n";
}

namespace {

// Every round of the builds, keyed by session and index, each build's own.
json rounds_of_builds(const Comparison& b, bool warmup) {
  std::map<RoundKey, json> rounds;
  for (const Build& build : b.builds) {
    for (const Round& r : warmup ? build.warmup : rounds_of(build)) {
      json& round = rounds[key_of(r)];
      round["index"] = r.index;
      round["session"] = r.session;
      json own = round_json(r, warmup ? nullptr : &build.counters);
      own.erase("index");
      own.erase("session");
      own["random_position"] = r.random_position;
      own["fixed_position"] = r.fixed_position;
      round["builds"][build.label] = own;
      const auto order = b.orders.find(key_of(r));
      if (!warmup && order != b.orders.end()) round["order"] = order->second;
    }
  }
  json all = json::array();
  for (auto& [key, round] : rounds) all.push_back(std::move(round));
  return all;
}

}  // namespace

json builds_json(const Comparison& c) {
  const Comparison& b = c;
  json builds = json::array();
  json sessions = json::array();
  for (const Build& build : b.builds) {
    builds.push_back(
        {{"label", build.label},
         {"random", build.random.path},
         {"fixed", build.fixed.path},
         {"compiler", {{"random", build.random.compiler}, {"fixed", build.fixed.compiler}}},
         {"architecture",
          {{"random", build.random.architecture}, {"fixed", build.fixed.architecture}}},
         {"tests", tests_json(build.tests)}});
  }
  if (!b.builds.empty()) {
    for (const SessionRecord& s : b.builds.front().sessions) {
      sessions.push_back({{"index", s.index}, {"started_at", s.started_at}});
    }
  }
  json comparisons = json::array();
  for (const Verdict& v : b.verdicts) comparisons.push_back(verdict_json(v));
  return {{"tool", {{"name", "bench_compare"}, {"version", c.version}}},
          {"format", kExportFormat},
          {"label", c.label},
          {"started_at", c.started_at.empty() ? json(nullptr) : json(c.started_at)},
          {"finished_at", c.finished_at.empty() ? json(nullptr) : json(c.finished_at)},
          {"method",
           {{"builds", builds_meaning(c)},
            {"seed", c.seed ? json(*c.seed) : json(nullptr)},
            {"confidence", kConfidence},
            {"alpha", kAlpha},
            {"units", "seconds"}}},
          {"reference", b.reference},
          {"builds", builds},
          {"rounds", rounds_of_builds(b, false)},
          {"warmup", rounds_of_builds(b, true)},
          {"sessions", sessions},
          {"comparisons", comparisons},
          {"machine", machine_json(c.machine)},
          {"warnings", c.warnings},
          {"warnings_summarised", shown_warnings(c)},
          {"sessions_note", c.sessions_note.empty() ? json(nullptr) : json(c.sessions_note)},
          {"complete", c.stopped.empty()},
          {"stopped", c.stopped.empty() ? json(nullptr) : json(c.stopped)}};
}

}  // namespace compare
