#include "compare/stats/across_sessions.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <map>
#include <optional>

#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/warnings.h"

namespace compare {
double session_median(const std::vector<Round>& rounds, Series which, int test) {
  return median(series_values(rounds, which, test));
}

std::vector<double> session_medians(const std::vector<std::vector<Round>>& sessions, Series which,
                                    int test) {
  std::vector<double> medians;
  medians.reserve(sessions.size());
  for (const std::vector<Round>& rounds : sessions)
    medians.push_back(session_median(rounds, which, test));
  return medians;
}

std::vector<std::vector<Round>> by_session(const std::vector<Round>& rounds) {
  std::map<int, std::vector<Round>> split;
  for (const Round& round : rounds) split[round.session].push_back(round);
  std::vector<std::vector<Round>> sessions;
  sessions.reserve(split.size());
  for (auto& entry : split) sessions.push_back(std::move(entry.second));
  return sessions;
}

std::vector<TestResult> summarise_sessions(const std::vector<std::vector<Round>>& sessions) {
  std::vector<TestResult> results;
  for (int test = 0; test < kTests; ++test) {
    TestResult result;
    result.name = kTestNames.at(static_cast<std::size_t>(test));
    const Estimate random =
        geometric_mean_interval(session_medians(sessions, Series::Random, test));
    const Estimate fixed = geometric_mean_interval(session_medians(sessions, Series::Fixed, test));
    const Estimate difference =
        geometric_mean_interval(session_medians(sessions, Series::Difference, test));
    result.random = Summary{random.estimate, kNaN};
    result.fixed = Summary{fixed.estimate, kNaN};
    result.random_interval = random.interval;
    result.fixed_interval = fixed.interval;
    result.difference = difference.estimate;
    result.interval = difference.interval;
    result.ratio = random.estimate / fixed.estimate;
    result.ns_per_execution = result.difference / kExecutions * 1e9;
    results.push_back(std::move(result));
  }
  return results;
}

std::vector<Verdict> compare_sessions(const std::vector<std::vector<Round>>& now_sessions,
                                      const std::vector<std::vector<Round>>& ref_sessions) {
  std::vector<Verdict> verdicts;
  std::vector<ReferenceTest> tests;
  for (int test = 0; test < kTests; ++test) {
    for (const Series which : kSeries) {
      Verdict v;
      v.test = kTestNames.at(static_cast<std::size_t>(test));
      v.series = which;
      v.result = unpaired_ratio(session_medians(now_sessions, which, test),
                                session_medians(ref_sessions, which, test));
      tests.push_back(v.result);
      verdicts.push_back(std::move(v));
    }
  }
  const std::vector<Decided> decided = decide(tests);
  for (std::size_t i = 0; i < verdicts.size(); ++i) {
    verdicts[i].p_adjusted = decided[i].p_adjusted;
    verdicts[i].verdict = decided[i].verdict;
    verdicts[i].detectable = decided[i].detectable;
  }
  return verdicts;
}

std::string sessions_note(const std::vector<std::vector<Round>>& sessions) {
  if (sessions.size() < 2) return "";
  constexpr std::array<const char*, 3> kWhose = {"bench_random's times", "bench_fixed's times",
                                                 "the differences"};
  int apart = 0;
  double widest = -1;
  std::string where;
  for (int test = 0; test < kTests; ++test) {
    for (const Series which : kSeries) {
      std::vector<std::vector<double>> groups;
      groups.reserve(sessions.size());
      for (const std::vector<Round>& rounds : sessions)
        groups.push_back(series_values(rounds, which, test));
      if (!(kruskal_wallis(groups).p < kAlpha)) continue;
      ++apart;
      const std::vector<double> medians = session_medians(sessions, which, test);
      const auto [low, high] = std::minmax_element(medians.begin(), medians.end());
      const double spread = (*high - *low) / std::fabs(median(medians));
      if (!(spread > widest)) continue;
      widest = spread;
      where = fmt::format("{}, {}", kWhose.at(index_of(which)),
                          kTestNames.at(static_cast<std::size_t>(test)));
    }
  }
  if (apart == 0) return "";
  return fmt::format(
      "The sessions differ beyond their own rounds in {} of {} series (Kruskal-Wallis at {:g}); "
      "their medians spread over up to {:.1f}% of their median ({}). The machine's speed "
      "varied between sessions; the interval across sessions includes that.",
      apart, kTests * static_cast<int>(kSeries.size()), kAlpha, 100 * widest, where);
}

}  // namespace compare
