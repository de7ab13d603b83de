// Each session's figures: made once as a comparison is stored, so that a
// trend over thousands of sessions reads them rather than every round.
#include <optional>

#include "compare/history/store.h"
#include "compare/stats/builds.h"
#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

namespace {

// A session's rounds as a build of that one session, for paired_values.
Build one_session(const std::vector<Round>& rounds) {
  Build b;
  b.sessions.push_back(SessionRecord{rounds.front().session, "", rounds, {}});
  return b;
}

}  // namespace

std::vector<SessionFigure> session_figures(const std::vector<Round>& rounds,
                                           const std::vector<Round>* reference) {
  std::vector<SessionFigure> figures;
  if (rounds.empty()) return figures;
  // Paired with the reference's rounds of the same numbers, as --build pairs them.
  const Build mine = one_session(rounds);
  const std::optional<Build> theirs = reference != nullptr && !reference->empty()
                                          ? std::optional<Build>(one_session(*reference))
                                          : std::nullopt;
  for (int test = 0; test < kTests; ++test) {
    for (const Series which : kSeries) {
      SessionFigure f;
      f.test = test;
      f.series = which;
      const std::vector<double> values = series_values(rounds, which, test);
      f.value = median(values);
      f.interval = sign_interval(values);
      if (theirs) {
        const ReferenceTest r = paired_ratio(paired_values(mine, *theirs, which, test));
        f.ratio = r.ratio;
        f.ratio_interval = r.interval;
      }
      figures.push_back(f);
    }
  }
  return figures;
}

}  // namespace compare
