#include "compare/stats/builds.h"

#include <map>

#include "compare/stats/reference.h"

namespace compare {

double value_of(const Round& r, Series which, int test) {
  const auto t = static_cast<std::size_t>(test);
  switch (which) {
    case Series::Random:
      return r.random.at(t);
    case Series::Fixed:
      return r.fixed.at(t);
    default:
      return r.random.at(t) - r.fixed.at(t);
  }
}

std::vector<std::vector<std::pair<double, double>>> paired_values(const Build& build,
                                                                  const Build& reference,
                                                                  Series which, int test) {
  std::map<RoundKey, const Round*> by_key;
  for (const SessionRecord& s : reference.sessions) {
    for (const Round& r : s.rounds) by_key[key_of(r)] = &r;
  }
  std::vector<std::vector<std::pair<double, double>>> sessions;
  for (const SessionRecord& s : build.sessions) {
    std::vector<std::pair<double, double>> pairs;
    for (const Round& r : s.rounds) {
      const auto found = by_key.find(key_of(r));
      if (found != by_key.end()) {
        pairs.emplace_back(value_of(r, which, test), value_of(*found->second, which, test));
      }
    }
    sessions.push_back(std::move(pairs));
  }
  return sessions;
}

std::vector<Verdict> compare_builds(const Comparison& c) {
  const Build& ref = reference_of(c);
  std::vector<Verdict> verdicts;
  std::vector<ReferenceTest> tests;
  for (const Build& build : c.builds) {
    if (&build == &ref) continue;
    for (int test = 0; test < kTests; ++test) {
      for (const Series which : kSeries) {
        Verdict v;
        v.entry = build.label;
        v.test = kTestNames.at(static_cast<std::size_t>(test));
        v.series = which;
        v.result = paired_ratio(paired_values(build, ref, which, test));
        tests.push_back(v.result);
        verdicts.push_back(std::move(v));
      }
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

}  // namespace compare
