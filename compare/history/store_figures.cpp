// Each session's figures: made once as a comparison is stored, so that a
// trend over thousands of sessions reads them rather than every round.
#include <map>

#include "compare/history/store.h"
#include "compare/stats/builds.h"
#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

namespace {

// The session's ratio to the reference's rounds of the same numbers.
ReferenceTest ratio_to(const std::vector<Round>& rounds, const std::vector<Round>& reference,
                       Series which, int test) {
  std::map<int, const Round*> by_index;
  for (const Round& r : reference) by_index[r.index] = &r;
  std::vector<std::pair<double, double>> pairs;
  for (const Round& r : rounds) {
    const auto found = by_index.find(r.index);
    if (found != by_index.end()) {
      pairs.emplace_back(value_of(r, which, test), value_of(*found->second, which, test));
    }
  }
  return paired_ratio({pairs});
}

}  // namespace

std::vector<SessionFigure> session_figures(const std::vector<Round>& rounds,
                                           const std::vector<Round>* reference) {
  std::vector<SessionFigure> figures;
  if (rounds.empty()) return figures;
  for (int test = 0; test < kTests; ++test) {
    for (const Series which : kSeries) {
      SessionFigure f;
      f.test = test;
      f.series = which;
      const std::vector<double> values = series_values(rounds, which, test);
      f.value = median(values);
      f.interval = sign_interval(values);
      if (reference != nullptr) {
        const ReferenceTest r = ratio_to(rounds, *reference, which, test);
        f.ratio = r.ratio;
        f.ratio_interval = r.interval;
      }
      figures.push_back(f);
    }
  }
  return figures;
}

}  // namespace compare
