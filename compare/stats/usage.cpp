#include "compare/stats/usage.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

namespace {

// A run lost to other work when this share of its wall time went to waiting
// for a processor; a comparison suffered when at least this share of its runs
// did. Measured on the 2-core development machine (docs/method.md): alone on
// a CPU, a run typically waits 1-2% of its time (for bench_compare itself),
// and a short run now and then over 10% for a moment's other work; beside a
// busy loop on the same CPU, every run waits about half of it.
constexpr double kTakenShare = 0.10;
constexpr double kTakenRuns = 0.25;

struct Run {
  int round = 0;
  Side side = Side::Random;
  Usage usage;
};

std::vector<Run> runs_of(const std::vector<Round>& rounds) {
  std::vector<Run> runs;
  for (const Round& r : rounds) {
    for (const Side side : {Side::Random, Side::Fixed}) {
      const std::optional<Usage>& usage = side == Side::Random ? r.random_usage : r.fixed_usage;
      if (usage) runs.push_back({r.index, side, *usage});
    }
  }
  return runs;
}

long long median_count(std::vector<double> values) {
  return std::llround(median(std::move(values)));
}

}  // namespace

std::string seconds_text(double s) { return fmt::format("{:.4g} s", s); }

UsageSummary summarise_usage(const std::vector<Round>& rounds, Side side) {
  std::vector<double> wall, user, system, processor, involuntary, voluntary, minor, major, rss,
      waited;
  for (const Run& run : runs_of(rounds)) {
    if (run.side != side) continue;
    const Usage& u = run.usage;
    wall.push_back(u.wall_s);
    if (u.has_processor) {
      user.push_back(u.user_s);
      system.push_back(u.system_s);
      processor.push_back(u.user_s + u.system_s);
    }
    if (u.has_switches) {
      involuntary.push_back(static_cast<double>(u.involuntary_switches));
      voluntary.push_back(static_cast<double>(u.voluntary_switches));
    }
    if (u.has_faults) minor.push_back(static_cast<double>(u.minor_faults));
    if (u.has_faults && u.has_fault_split) major.push_back(static_cast<double>(u.major_faults));
    if (u.has_memory) rss.push_back(static_cast<double>(u.max_rss_kib));
    if (u.runqueue_wait_s) waited.push_back(*u.runqueue_wait_s);
  }
  UsageSummary summary;
  summary.runs = static_cast<int>(wall.size());
  if (wall.empty()) return summary;
  // A figure is summed up only when every run has it.
  Usage& m = summary.median;
  m.wall_s = median(wall);
  m.has_processor = processor.size() == wall.size();
  if (m.has_processor) {
    m.user_s = median(user);
    m.system_s = median(system);
    summary.processor_s = median(processor);
  }
  m.has_switches = involuntary.size() == wall.size();
  if (m.has_switches) {
    m.involuntary_switches = median_count(involuntary);
    m.voluntary_switches = median_count(voluntary);
  }
  m.has_faults = minor.size() == wall.size();
  m.has_fault_split = major.size() == wall.size();
  if (m.has_faults) m.minor_faults = median_count(minor);
  if (m.has_fault_split) m.major_faults = median_count(major);
  m.has_memory = rss.size() == wall.size();
  if (m.has_memory) m.max_rss_kib = median_count(rss);
  if (!waited.empty()) m.runqueue_wait_s = median(waited);
  return summary;
}

double taken_share(const Usage& usage) {
  if (!(usage.wall_s > 0) || !tells_taken(usage)) return 0;
  const double taken = usage.runqueue_wait_s
                           ? *usage.runqueue_wait_s
                           : std::max(usage.wall_s - usage.user_s - usage.system_s, 0.0);
  return std::clamp(taken / usage.wall_s, 0.0, 1.0);
}

bool tells_taken(const Usage& usage) { return usage.runqueue_wait_s || usage.has_processor; }

std::optional<std::string> contention_warning(const std::vector<Round>& rounds) {
  std::vector<Run> runs = runs_of(rounds);
  // Runs whose system told neither their wait nor their processor time say nothing.
  runs.erase(std::remove_if(runs.begin(), runs.end(),
                            [](const Run& run) { return !tells_taken(run.usage); }),
             runs.end());
  std::vector<const Run*> lost;
  for (const Run& run : runs) {
    if (taken_share(run.usage) >= kTakenShare) lost.push_back(&run);
  }
  const double needed = std::max(1.0, std::ceil(kTakenRuns * static_cast<double>(runs.size())));
  if (lost.empty() || static_cast<double>(lost.size()) < needed) return std::nullopt;

  double taken = 0;
  double wall = 0;
  for (const Run* run : lost) {
    taken += taken_share(run->usage) * run->usage.wall_s;
    wall += run->usage.wall_s;
  }
  const Run* worst = *std::max_element(lost.begin(), lost.end(), [](const Run* a, const Run* b) {
    return taken_share(a->usage) < taken_share(b->usage);
  });
  return fmt::format(
      "Other work took the processor from {} of the {} counted runs: they spent {:.0f}% of their "
      "wall time waiting for a CPU (each at least {:.0f}%), most in round {}, where {} waited "
      "{:.0f}% of its {}; their times are longer and more scattered than the programs make them.",
      lost.size(), runs.size(), 100 * taken / wall, 100 * kTakenShare, worst->round,
      program_name(worst->side), 100 * taken_share(worst->usage),
      seconds_text(worst->usage.wall_s));
}

}  // namespace compare
