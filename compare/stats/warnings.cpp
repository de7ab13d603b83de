#include "compare/stats/warnings.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <set>
#include <sstream>

#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"
#include "compare/stats/usage.h"

namespace compare {

namespace {

constexpr int kMinRounds = 6;           // the fewest for a 95% sign-test interval
constexpr double kMaxSpread = 0.05;     // MAD as a share of the median
constexpr double kMaxLag1 = 0.2;        // serial correlation of the differences
constexpr double kMinTicks = 20;        // a time should span this many clock ticks
constexpr double kMaxLoadBefore = 1.0;  // 1-minute load average before the run
constexpr double kOwnLoad = 0.5;        // margin under the CPU count after the run

// Seconds in the unit that keeps the figure between 1 and 1000.
std::string format_time(double seconds) {
  const double size = std::fabs(seconds);
  if (size >= 1 || size == 0 || !std::isfinite(size)) return fmt::format("{:.4g} s", seconds);
  if (size >= 1e-3) return fmt::format("{:.4g} ms", seconds * 1e3);
  if (size >= 1e-6) return fmt::format("{:.4g} us", seconds * 1e6);
  return fmt::format("{:.4g} ns", seconds * 1e9);
}

// The first number of a text such as "0.52 0.40 0.31 1/123 456", or none.
std::optional<double> first_number(const Known& text) {
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  std::string word;
  if (!(in >> word)) return std::nullopt;
  const char* begin = word.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

void spread(std::vector<Warning>& out, const std::vector<TestResult>& tests) {
  for (const Side side : {Side::Random, Side::Fixed}) {
    for (const TestResult& test : tests) {
      const Summary& s = side == Side::Random ? test.random : test.fixed;
      if (!(s.median > 0) || !(s.mad > kMaxSpread * s.median)) continue;
      const std::string subject = fmt::format("{}'s {}", program_name(side), test.name);
      out.push_back({WarningKind::Spread, subject, 100 * s.mad / s.median,
                     fmt::format("{} times vary: their median absolute deviation is {:.1f}% of the "
                                 "median (above {:.0f}%).",
                                 subject, 100 * s.mad / s.median, 100 * kMaxSpread)});
    }
  }
}

void drift(std::vector<Warning>& out, const std::vector<Round>& rounds) {
  for (int test = 0; test < kTests; ++test) {
    const std::vector<double> d = differences(rounds, test);
    const double p = trend_p_value(d);
    const double r = lag1_autocorrelation(d);
    std::vector<std::string> signs;
    if (p < kAlpha)
      signs.push_back(fmt::format("a trend test over the rounds gives p = {:.3g}", p));
    if (r > kMaxLag1) {
      signs.push_back(
          fmt::format("their lag-1 autocorrelation is {:.2f} (above {:.1f})", r, kMaxLag1));
    }
    if (signs.empty()) continue;
    const std::string name = kTestNames.at(static_cast<std::size_t>(test));
    out.push_back({WarningKind::Drift, name, r,
                   fmt::format("The {} differences drift during the run: {}.", name,
                               fmt::join(signs, " and "))});
  }
}

void position(std::vector<Warning>& out, const std::vector<Round>& rounds) {
  for (int test = 0; test < kTests; ++test) {
    const std::vector<double> d = differences(rounds, test);
    std::vector<double> random_first;
    std::vector<double> fixed_first;
    for (std::size_t i = 0; i < rounds.size(); ++i) {
      (rounds[i].first == Side::Random ? random_first : fixed_first).push_back(d[i]);
    }
    if (random_first.size() < 2 || fixed_first.size() < 2) continue;
    const double p = mann_whitney(random_first, fixed_first).p;
    if (!(p < kAlpha)) continue;
    out.push_back(
        {WarningKind::Position, kTestNames.at(static_cast<std::size_t>(test)), p,
         fmt::format(
             "The {} difference depends on which program ran first: its median is {} when "
             "bench_random ran first and {} when bench_fixed did (Mann-Whitney p = {:.3g}).",
             kTestNames.at(static_cast<std::size_t>(test)), format_time(median(random_first)),
             format_time(median(fixed_first)), p)});
  }
}

void resolution(std::vector<Warning>& out, const std::vector<Round>& rounds, double tick) {
  if (!(tick > 0) || rounds.empty()) return;
  for (const Side side : {Side::Random, Side::Fixed}) {
    for (int test = 0; test < kTests; ++test) {
      const std::vector<double> times = series(rounds, side, test);
      const double shortest = *std::min_element(times.begin(), times.end());
      if (!(shortest < kMinTicks * tick)) continue;
      const std::string subject =
          fmt::format("{}'s {}", program_name(side), kTestNames.at(static_cast<std::size_t>(test)));
      out.push_back({WarningKind::Resolution, subject, shortest,
                     fmt::format("{} time was as short as {}, under {:.0f} ticks of the clock (one "
                                 "tick is {}): the clock's resolution limits how precise it is.",
                                 subject, format_time(shortest), kMinTicks, format_time(tick))});
    }
  }
}

// The load averages' warnings carry the load, so that repeats across merge
// entries can name the highest.
void machine_state(std::vector<Warning>& out, const MachineRecord& m) {
  const std::optional<double> before = first_number(m.load_before);
  if (before && *before > kMaxLoadBefore) {
    out.push_back({WarningKind::Load, "before the run", *before,
                   fmt::format("The 1-minute load average was {:.2f} before the run (above "
                               "{:.1f}): other work was running.",
                               *before, kMaxLoadBefore)});
  }
  const std::optional<double> after = first_number(m.load_after);
  const std::optional<double> cpus = first_number(m.logical_cpus);
  if (after && cpus && *after > *cpus - kOwnLoad) {
    out.push_back({WarningKind::Load, "after the run", *after,
                   fmt::format("The 1-minute load average was {:.2f} after the run, above {:.1f} "
                               "for {:g} logical CPUs (the comparison itself adds about one): "
                               "other work competed for the processors.",
                               *after, *cpus - kOwnLoad, *cpus)});
  }
  if (m.governor && m.governor != "performance") {
    out.push_back({WarningKind::Governor, "", 0,
                   fmt::format("The CPU frequency governor is \"{}\", not \"performance\": the "
                               "processor's clock speed may change during the run.",
                               *m.governor)});
  }
  if (m.turbo == "on") {
    out.push_back({WarningKind::Turbo, "", 0,
                   "Turbo boost is on: the processor's frequency depends on its temperature and "
                   "load."});
  }
  if (m.governor && m.governor_after && m.governor != m.governor_after) {
    out.push_back({WarningKind::Machine, "", 0,
                   fmt::format("The CPU frequency governor changed during the run, from \"{}\" "
                               "to \"{}\".",
                               *m.governor, *m.governor_after)});
  }
  if (m.turbo && m.turbo_after && m.turbo != m.turbo_after) {
    out.push_back({WarningKind::Machine, "", 0,
                   fmt::format("Turbo boost changed during the run, from \"{}\" to \"{}\".",
                               *m.turbo, *m.turbo_after)});
  }
}

}  // namespace

std::vector<Warning> warning_list(const std::vector<Round>& rounds,
                                  const std::vector<TestResult>& tests,
                                  const MachineRecord& machine) {
  std::vector<Warning> out;
  const double n = static_cast<double>(rounds.size());
  if (rounds.empty()) {
    out.push_back({WarningKind::Rounds, "", n,
                   fmt::format("No counted rounds: at least {} are needed for a 95% interval of "
                               "each difference.",
                               kMinRounds)});
  } else if (rounds.size() < static_cast<std::size_t>(kMinRounds)) {
    out.push_back({WarningKind::Rounds, "", n,
                   fmt::format("Only {} counted round{}: at least {} are needed for a 95% "
                               "interval of each difference.",
                               rounds.size(), rounds.size() == 1 ? "" : "s", kMinRounds)});
  }
  spread(out, tests);
  drift(out, rounds);
  position(out, rounds);
  resolution(out, rounds, machine.clock_tick);
  if (auto taken = contention_warning(rounds))
    out.push_back({WarningKind::Contention, "", 0, *taken});
  machine_state(out, machine);
  return out;
}

std::vector<std::string> warnings_for(const std::vector<Round>& rounds,
                                      const std::vector<TestResult>& tests,
                                      const MachineRecord& machine) {
  std::vector<std::string> out;
  for (Warning& w : warning_list(rounds, tests, machine)) out.push_back(std::move(w.text));
  return out;
}

std::vector<Warning> machine_warning_list(const MachineRecord& machine) {
  std::vector<Warning> out;
  machine_state(out, machine);
  return out;
}

std::vector<std::string> machine_warnings(const MachineRecord& machine) {
  std::vector<std::string> out;
  for (Warning& w : machine_warning_list(machine)) out.push_back(std::move(w.text));
  return out;
}

namespace {

// How a kind of warning reads when it repeats: what was found, in how many
// series each place has, and its worst case.
struct Kind {
  WarningKind kind;
  const char* found;
  int per_place;      // series each session has; 0: once per merge entry (the machine's state)
  const char* worst;  // the figure's name; empty when the kind has none
  bool larger_worse;
};

constexpr std::array<Kind, 9> kKinds = {{
    {WarningKind::Rounds, "Too few counted rounds", 1, "fewest", false},
    {WarningKind::Spread, "Times vary", 6, "largest median absolute deviation", true},
    {WarningKind::Drift, "Drift during the run", 3, "largest lag-1 autocorrelation", true},
    {WarningKind::Position, "The difference depends on which program ran first", 3,
     "smallest Mann-Whitney p", false},
    {WarningKind::Resolution, "Times within 20 ticks of the clock", 6, "shortest", false},
    {WarningKind::Contention, "Other work took the processor", 1, "", false},
    {WarningKind::Load, "A load average showed other work", 0, "highest", true},
    {WarningKind::Governor, "The CPU frequency governor was not \"performance\"", 0, "", false},
    {WarningKind::Turbo, "Turbo boost was on", 0, "", false},
}};

std::string figure(WarningKind kind, double size) {
  switch (kind) {
    case WarningKind::Rounds:
      return fmt::format("{:.0f}", size);
    case WarningKind::Spread:
      return fmt::format("{:.1f}% of the median", size);
    case WarningKind::Drift:
    case WarningKind::Load:
      return fmt::format("{:.2f}", size);
    case WarningKind::Resolution:
      return format_time(size);
    default:
      return fmt::format("{:.3g}", size);
  }
}

std::string summary_line(const Kind& kind, const std::vector<const PlacedWarning*>& found,
                         int places, const std::string& place_word) {
  const PlacedWarning* worst = found.front();
  for (const PlacedWarning* p : found) {
    const bool worse = kind.larger_worse ? p->warning.size > worst->warning.size
                                         : p->warning.size < worst->warning.size;
    if (worse) worst = p;
  }
  const bool series = kind.per_place > 1;
  // A place may have more than one of a kind (the load before and after).
  std::set<std::string> where;
  for (const PlacedWarning* p : found) where.insert(p->where);
  std::string line =
      kind.per_place == 0
          ? fmt::format("{} in {} entries", kind.found, where.size())
          : fmt::format("{} in {} of {} {}", kind.found, series ? found.size() : where.size(),
                        kind.per_place * places, series ? "series" : place_word);
  if (*kind.worst != '\0') {
    std::string where = worst->where;
    if (!worst->warning.subject.empty()) where += ", " + worst->warning.subject;
    line += fmt::format(" ({} {}: {})", kind.worst, figure(kind.kind, worst->warning.size), where);
  }
  return line + ".";
}

}  // namespace

std::vector<std::string> summarise_warnings(const std::vector<PlacedWarning>& found, int places,
                                            const std::string& place_word) {
  std::vector<std::string> out;
  std::vector<bool> told(found.size(), false);
  for (const Kind& kind : kKinds) {
    std::vector<const PlacedWarning*> of_kind;
    for (const PlacedWarning& p : found)
      if (p.warning.kind == kind.kind) of_kind.push_back(&p);
    if (of_kind.size() < 2) continue;
    out.push_back(summary_line(kind, of_kind, places, place_word));
    for (const PlacedWarning* p : of_kind) told[static_cast<std::size_t>(p - found.data())] = true;
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (!told[i]) out.push_back(found[i].prefix + found[i].warning.text);
  }
  return out;
}

}  // namespace compare
