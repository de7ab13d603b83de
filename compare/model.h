// What bench_compare measures and reports: plain value types shared by every
// folder (running, stats, report, history, proof, commands). Times are seconds
// throughout.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Included before namespace compare is declared: fmt 9's own headers call an
// unqualified compare(), which that namespace would otherwise hide.
#include <fmt/format.h>

#include "probe/protocol.h"

namespace compare {

constexpr int kTests = protocol::kWindows;
constexpr std::array<const char*, kTests> kTestNames = {"Integer", "Float", "DNA"};
constexpr double kExecutions = protocol::kExecutions;  // executions per test
constexpr double kConfidence = 0.95;
constexpr double kAlpha = 0.05;  // significance of every test the comparison makes

enum class Side { Random, Fixed };
inline const char* side_name(Side side) { return side == Side::Random ? "random" : "fixed"; }
inline const char* program_name(Side side) {
  return side == Side::Random ? "bench_random" : "bench_fixed";
}

// The three series every test has: each program's times, and their per-round
// difference random - fixed.
enum class Series { Random, Fixed, Difference };
constexpr std::array<Series, 3> kSeries = {Series::Random, Series::Fixed, Series::Difference};
inline const char* series_name(Series series) {
  switch (series) {
    case Series::Random:
      return "random";
    case Series::Fixed:
      return "fixed";
    default:
      return "difference";
  }
}
inline std::size_t index_of(Series series) { return static_cast<std::size_t>(series); }

// One program's three test times from one run, in test order.
using Times = std::array<double, kTests>;

// With --counters: each performance event's count in one test's window, in
// kEventNames' order (task_clock_s in seconds); none where not available.
constexpr int kEvents = protocol::kEvents;
inline constexpr const auto& kEventNames = protocol::kEventNames;
using WindowCounts = std::array<std::optional<double>, kEvents>;
using RunCounts = std::array<WindowCounts, kTests>;
struct RoundCounts {
  RunCounts random{};
  RunCounts fixed{};
};

// What the kernel says one run took: its wall time, processor time, context
// switches, page faults and peak memory, and how long it sat runnable waiting
// for a processor (none where the kernel does not tell).
struct Usage {
  double wall_s = 0;
  double user_s = 0;
  double system_s = 0;
  long long involuntary_switches = 0;
  long long voluntary_switches = 0;
  long long minor_faults = 0;
  long long major_faults = 0;
  long long max_rss_kib = 0;
  std::optional<double> runqueue_wait_s;
  // Which of the figures above the system gave (Linux: all). Those it did not
  // are null in the exports and absent from the text. Without the split,
  // minor_faults holds every page fault.
  bool has_processor = true;  // user_s, system_s
  bool has_switches = true;
  bool has_faults = true;
  bool has_fault_split = true;
  bool has_memory = true;  // max_rss_kib
};

// One counted round: each program ran once, `first` of them first.
struct Round {
  int index = 0;  // from 1, within its session
  Side first = Side::Random;
  Times random{};
  Times fixed{};
  int session = 1;                      // from 1
  std::optional<Usage> random_usage{};  // none where the runs were not watched (e.g. a baseline)
  std::optional<Usage> fixed_usage{};
  // With several builds: each program's place in the round's order, from 1.
  int random_position = 0;
  int fixed_position = 0;
};

// A counted round's place in the comparison: its session, then its index.
using RoundKey = std::pair<int, int>;
inline RoundKey key_of(const Round& r) { return {r.session, r.index}; }
using CountsByRound = std::map<RoundKey, RoundCounts>;

struct Summary {
  double median = 0;
  double mad = 0;  // median absolute deviation, unscaled
};

struct Interval {
  double low = 0;
  double high = 0;
};

// The per-test summary of the rounds.
struct TestResult {
  std::string name;
  Summary random;
  Summary fixed;
  double difference = 0;             // median of the paired differences random - fixed
  std::optional<Interval> interval;  // sign-test interval; none with too few rounds
  double ratio = 0;                  // median random / median fixed
  double ns_per_execution = 0;       // difference per execution, in nanoseconds
  // Across sessions only: the intervals of the programs' own figures.
  std::optional<Interval> random_interval{};
  std::optional<Interval> fixed_interval{};
};

// One session: its own warm-up and counted rounds, apart in time from the others.
struct SessionRecord {
  int index = 1;           // from 1
  std::string started_at;  // ISO 8601 UTC
  std::vector<Round> rounds;
  std::vector<TestResult> tests;
};

// A text read from the machine, a program or an export: empty where it could
// not be read, which is no evidence of anything (two unknowns never differ).
using Known = std::optional<std::string>;

// How the reports and exports show a text that could not be read.
inline std::string shown(const Known& text) { return text.value_or("unknown"); }

// Reads a text as shown: "unknown" (or nothing) is none.
inline Known known_from(const std::string& text) {
  return text.empty() || text == "unknown" ? Known{} : Known{text};
}

// The machine, read where it can be read.
struct MachineRecord {
  Known cpu_model;
  Known architecture;  // x86_64, aarch64, i386, arm, riscv64, ...
  Known logical_cpus;
  Known kernel;
  Known libc;
  Known governor;  // as at the start
  Known governor_after;
  Known turbo;  // "on" or "off"
  Known turbo_after;
  Known aslr;         // e.g. "2 (full)"
  Known load_before;  // the three load averages as /proc shows them
  Known load_after;
  double clock_tick = 0;  // seconds between distinct readings of the wall clock; 0 unknown
};

struct ProgramRecord {
  std::string path;
  Known compiler;      // from the ELF .comment section
  Known architecture;  // the executable header's, named as the machine's
};

// The architecture a pair is built for: one name when its programs agree or
// one is unknown, else both; none when neither is known.
inline Known pair_architecture(const ProgramRecord& random, const ProgramRecord& fixed) {
  if (!random.architecture || random.architecture == fixed.architecture) return fixed.architecture;
  if (!fixed.architecture) return random.architecture;
  return *random.architecture + " and " + *fixed.architecture;
}

// How a ratio to a reference was tested, and what was found.
enum class RatioMethod { None, SignTest, AgreeingBlocks, StudentT, Welch };

enum class VerdictKind {
  Faster,
  Slower,
  NoSignificantChange,
  TooFewSessions,  // unpaired: fewer than 2 sessions on a side
  TooFewRounds,    // paired: too few units in the one session for a sign test's interval
  NotComparable,   // a value that is not positive or not finite: no ratio at all
  NotTestable,     // no spread at all across sessions: a ratio but nothing to test it by
};

struct ReferenceTest {
  std::optional<double> ratio;       // now / reference
  std::optional<Interval> interval;  // 95%, not adjusted for the other series
  std::optional<double> p;
  std::optional<double> df;  // of a t test
  RatioMethod method = RatioMethod::None;
  bool paired = false;           // rounds shared with the reference (else session medians)
  std::size_t rounds = 0;        // paired rounds (unpaired: session medians, both sides)
  std::size_t not_positive = 0;  // of those, where either value was not positive or not finite
  std::optional<VerdictKind> untested;  // why there is no test, when there is none
  // What the smallest detectable change is computed from (log scale): the
  // sign test's units, counted, and their robust spread (1.4826 MAD; of the
  // agreeing-blocks test, its blocks and its rounds' spread); a t test's
  // standard error of the mean log ratio.
  std::size_t units = 0;
  std::optional<double> spread;
  std::optional<double> se;
};

// The smallest ratios a comparison would have called "slower" and "faster"
// with 80% probability, at the strictest step of its Holm correction;
// infinite and 0 where no change of any size could have been called.
struct Detectable {
  double slower = 1;  // above 1
  double faster = 1;  // below 1
};

// With a precision goal: what ended the rounds (or the sessions), and which
// tests (one pair) or series (several builds) had not reached it.
enum class StopReason { GoalMet, TimeLimit, RoundLimit };
struct ShortOfGoal {
  std::string what;                  // "Integer", or "B Integer fixed"
  std::optional<double> half_width;  // reached: percent of the median difference, or
                                     // fraction of the ratio; none without an interval
};
struct GoalOutcome {
  double target = 0;       // as given with --precision
  bool on_ratios = false;  // target is a fraction of each ratio (several builds)
  StopReason reason = StopReason::GoalMet;
  double time_limit = 0;  // seconds
  int round_limit = 0;    // counted rounds in a session
  int rounds = 0;         // counted rounds in the last session
  int sessions = 1;       // sessions run
  double seconds = 0;
  std::vector<ShortOfGoal> short_of;
};

// One series of one test against a reference (a baseline, a merge's reference
// entry, or the reference build): what every verdict table shows.
struct Verdict {
  std::string entry;  // what is compared: a merge entry or build; empty for a baseline
  std::string test;   // "Integer", "Float", "DNA"
  Series series = Series::Random;
  ReferenceTest result;              // ratio now / reference (below 1: less time), interval, p
  std::optional<double> p_adjusted;  // by Holm's method over every series tested
  VerdictKind verdict = VerdictKind::NoSignificantChange;
  // Only for a tested series whose test could have called a change at all.
  std::optional<Detectable> detectable;
};

struct BaselineComparison {
  std::string path;
  std::vector<std::string> notes;  // how the baseline's machine or build differs
  std::vector<Verdict> verdicts;
  std::size_t sessions = 0;  // compared on each side: now and in the baseline
  std::size_t baseline_sessions = 0;
};

// One build's pair: its programs, its rounds by session (the only copy of
// them), its warm-up and its own figures. A comparison of one pair is a
// comparison of one build; with several, every build ran in every round and
// their rounds share their sessions and indices.
struct Build {
  std::string label;  // empty for a single pair
  ProgramRecord random;
  ProgramRecord fixed;
  std::vector<SessionRecord> sessions;
  std::vector<Round> warmup;
  std::vector<TestResult> tests;  // across sessions when there are two or more
  CountsByRound counters;         // with --counters: each round's counts
};

// A build's counted rounds in the order run, every session's.
inline std::vector<Round> rounds_of(const Build& b) {
  std::vector<Round> rounds;
  for (const SessionRecord& s : b.sessions)
    rounds.insert(rounds.end(), s.rounds.begin(), s.rounds.end());
  return rounds;
}

// Everything one comparison found; what the report and every export show.
struct Comparison {
  std::string version;
  std::string label;       // names the comparison among others; the host name by default
  std::string started_at;  // ISO 8601, UTC
  std::string finished_at;
  std::optional<unsigned long long> seed;  // of the block orders, to repeat them
  std::vector<Build> builds;               // 1 to 16; one for a single pair
  // With several builds: the label the others are compared with, each
  // round's order of runs (as "LABEL random" or "LABEL fixed"), and every
  // other build's series against the reference's.
  std::string reference;
  std::map<RoundKey, std::vector<std::string>> orders;
  std::vector<Verdict> verdicts;
  MachineRecord machine;
  std::vector<std::string> warnings;  // every one, each session's named by it
  // With several sessions: the warnings as the report shows them, a kind that
  // repeats across sessions in one line; and how far the sessions disagreed,
  // a note under their table rather than a warning (the interval includes it).
  std::vector<std::string> warnings_shown;
  std::string sessions_note;
  std::optional<BaselineComparison> baseline;
  std::string stopped;              // empty when every round ran; else why the comparison stopped
  std::optional<GoalOutcome> goal;  // with a precision goal: how it ended
  std::optional<int> cpu;           // the processor every run was kept to
  std::string cpu_choice;           // how it was chosen, when bench_compare chose it
  // With --counters: the events not available (name: why).
  std::map<std::string, std::string> counters_unavailable;
};

// Whether several builds are compared, rather than one pair reported.
inline bool several_builds(const Comparison& c) { return c.builds.size() > 1; }

// The one pair of a comparison of one build (the first build otherwise).
inline const Build& pair_of(const Comparison& c) { return c.builds.front(); }

// The reference build: the one labelled c.reference, else the first.
inline const Build& reference_of(const Comparison& c) {
  for (const Build& b : c.builds) {
    if (b.label == c.reference) return b;
  }
  return c.builds.front();
}

}  // namespace compare
