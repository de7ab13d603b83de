#include "compare/report/tables.h"

#include <fmt/format.h>

#include <cmath>

#include "compare/render/format.h"

namespace compare {

namespace {

constexpr const char* kMeaning =
    "± is the median absolute deviation of a program's times over the rounds; [low, high] is a "
    "95% confidence interval for the median of the per-round differences random - fixed, from "
    "the sign test, which assumes nothing about their distribution.";
constexpr const char* kNoInterval = "no interval (fewer than 6 rounds)";
constexpr const char* kOneSession =
    "That interval describes the seconds this comparison ran in: the machine's speed changes from "
    "minute to minute, and --sessions N measures how much.";
constexpr const char* kAcrossMeaning =
    "Each figure is the geometric mean of the sessions' medians; [low, high] is its 95% confidence "
    "interval from Student's t on the logarithms of the session medians, so it includes how the "
    "machine's speed varied from session to session.";

}  // namespace

bool across(const Comparison& c) { return pair_of(c).sessions.size() >= 2; }

std::string meaning(const Comparison& c) {
  return across(c) ? kAcrossMeaning : fmt::format("{}\n{}", kMeaning, kOneSession);
}

std::string header(const Comparison& c) {
  if (across(c)) {
    return fmt::format(
        "bench_compare {}: {} sessions apart in time, {} in all; each session's run in blocks of "
        "two in random order (random-fixed then fixed-random, or the reverse{}).",
        c.version, pair_of(c).sessions.size(),
        plural(rounds_of(pair_of(c)).size(), "counted round", "counted rounds"),
        c.seed ? fmt::format("; --seed {} repeats the orders", *c.seed) : "");
  }
  return fmt::format(
      "bench_compare {}: {}, run in blocks of two in random order (random-fixed then "
      "fixed-random, or the reverse{}).",
      c.version, plural(rounds_of(pair_of(c)).size(), "counted round", "counted rounds"),
      c.seed ? fmt::format("; --seed {} repeats the order", *c.seed) : "");
}

std::string stopped_line(const Comparison& c) {
  return fmt::format("The comparison stopped early ({}); the figures cover only the {} completed.",
                     c.stopped, plural(rounds_of(pair_of(c)).size(), "round", "rounds"));
}

namespace {

std::string goal_text(const GoalOutcome& g) {
  return g.on_ratios ? fmt::format("every ratio's interval within ±{:g}%", g.target * 100)
                     : fmt::format(
                           "every interval's half-width at most {:g}% of its median "
                           "difference",
                           g.target);
}

std::string short_text(const GoalOutcome& g) {
  std::string text;
  for (const ShortOfGoal& s : g.short_of) {
    const std::string reached =
        !s.half_width ? "no interval"
                      : fmt::format("±{:.3g}%", g.on_ratios ? *s.half_width * 100 : *s.half_width);
    text += fmt::format("{}{} ({})", text.empty() ? "" : ", ", s.what, reached);
  }
  return text;
}

}  // namespace

std::string goal_line(const Comparison& c) {
  if (!c.goal) return {};
  const GoalOutcome& g = *c.goal;
  const std::string after =
      g.sessions > 1
          ? fmt::format("{} sessions and {:.0f} s", g.sessions, g.seconds)
          : fmt::format("{} and {:.0f} s", plural(g.rounds, "round", "rounds"), g.seconds);
  if (g.reason == StopReason::GoalMet) {
    return fmt::format("The precision goal ({}) was met after {}.", goal_text(g), after);
  }
  const std::string limit = g.reason == StopReason::TimeLimit
                                ? fmt::format("the time limit of {:g} s", g.time_limit)
                                : fmt::format("the limit of {} rounds", g.round_limit);
  return fmt::format(
      "The precision goal ({}) was not met: {} came first, after {}. Short of it: {}.",
      goal_text(g), limit, after, short_text(g));
}

Table summary_table(const Comparison& c) {
  Table t;
  t.header = {"Test",
              "bench_random (s)",
              "bench_fixed (s)",
              "random - fixed (s) [95% interval]",
              "ns per execution",
              "ratio"};
  for (const TestResult& r : pair_of(c).tests) {
    std::string random = fmt::format("{} ± {}", num(r.random.median), num(r.random.mad));
    std::string fixed = fmt::format("{} ± {}", num(r.fixed.median), num(r.fixed.mad));
    std::string difference = with_interval(r.difference, r.interval, kNoInterval);
    if (across(c)) {
      const char* none = "no interval";
      random = with_interval(r.random.median, r.random_interval, none);
      fixed = with_interval(r.fixed.median, r.fixed_interval, none);
      difference = with_interval(r.difference, r.interval, none);
    }
    t.rows.push_back(
        {r.name, random, fixed, difference, num(r.ns_per_execution), ratio_text(r.ratio)});
  }
  return t;
}

Table session_table(const Comparison& c) {
  Table t;
  t.title = "By session";
  t.header = {"session", "started", "rounds"};
  t.word_columns = 3;  // in the terminal, each test a block of its own
  for (const char* test : kTestNames) {
    t.header.push_back(fmt::format("{}: random, fixed, difference [95%]", test));
  }
  for (const SessionRecord& s : pair_of(c).sessions) {
    std::vector<std::string> row = {std::to_string(s.index), s.started_at,
                                    std::to_string(s.rounds.size())};
    for (const TestResult& r : s.tests) {
      row.push_back(fmt::format("{}, {}, {}", num(r.random.median), num(r.fixed.median),
                                with_interval(r.difference, r.interval, "no interval")));
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

Table machine_table(const Comparison& c) {
  const MachineRecord& m = c.machine;
  Table t;
  t.title = "Record";
  t.header = {"Item", "Value"};
  t.rows = {
      {"processor", shown(m.cpu_model)},
      {"architecture", shown(m.architecture)},
      {"logical CPUs", shown(m.logical_cpus)},
      {"kernel", shown(m.kernel)},
      {"C library", shown(m.libc)},
      {"governor",
       fmt::format("{} at the start, {} at the end", shown(m.governor), shown(m.governor_after))},
      {"turbo",
       fmt::format("{} at the start, {} at the end", shown(m.turbo), shown(m.turbo_after))},
      {"ASLR", shown(m.aslr)},
      {"load averages",
       fmt::format("{} before, {} after", shown(m.load_before), shown(m.load_after))},
      {"clock tick", m.clock_tick > 0 && std::isfinite(m.clock_tick)
                         ? fmt::format("{:.3g} s", m.clock_tick)
                         : "unknown"},
  };
  if (c.cpu) {
    t.rows.push_back(
        {"runs kept to",
         fmt::format("processor {}{}", *c.cpu, c.cpu_choice.empty() ? "" : ", " + c.cpu_choice)});
  }
  if (several_builds(c)) return t;  // each build's programs are in the builds' table
  const Build& pair = pair_of(c);
  t.rows.push_back(
      {"bench_random", fmt::format("{} ({}, {})", known(shown_path(pair.random.path)),
                                   shown(pair.random.architecture), shown(pair.random.compiler))});
  t.rows.push_back(
      {"bench_fixed", fmt::format("{} ({}, {})", known(shown_path(pair.fixed.path)),
                                  shown(pair.fixed.architecture), shown(pair.fixed.compiler))});
  return t;
}

}  // namespace compare
