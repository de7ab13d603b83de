#include "compare/report/builds.h"

#include <fmt/format.h>

#include <cmath>

#include "compare/export/head.h"
#include "compare/export/program.h"
#include "compare/export/round.h"
#include "compare/export/session.h"
#include "compare/export/verdict.h"
#include "compare/render/format.h"
#include "compare/report/counts.h"
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
      "same order reversed) make one block, and a block counts only when both its log ratios lie "
      "on the same side. {} A series with any value that is not positive has no ratio: not "
      "comparable. p is adjusted over every series of every build by Holm's method; verdicts at "
      "adjusted alpha = 0.05. {}",
      c.reference,
      several ? "Each session counts once through the log ratio its blocks balance at: the ratio "
                "is their geometric mean, with Student's t interval and one-sample t test."
              : "The ratio is where as many blocks lie above as below, with the sign test's 95% "
                "interval and p over the blocks that agree (a round tied with it counts against a "
                "change; no test below 6 blocks).",
      kIntervalsNote);
}

Table builds_table(const Comparison& c) {
  const Build& ref = reference_of(c);
  // One value when the pair agrees, else random's and fixed's.
  const auto both = [](const Known& random, const Known& fixed) {
    return random == fixed ? shown(random) : shown(random) + "; " + shown(fixed);
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
    const auto mark = [](const std::string& text, bool differs) {
      return differs ? text + " *" : text;
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

}  // namespace compare
