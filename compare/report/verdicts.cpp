#include "compare/report/verdicts.h"

#include <fmt/format.h>

#include <cmath>

#include "compare/render/format.h"
#include "compare/stats/detectable.h"
#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"

namespace compare {

namespace {

// Four significant digits: ratios near 1 differ in the third.
std::string ratio(std::optional<double> r) {
  return r && std::isfinite(*r) ? fmt::format("{:.4g}x", *r) : "n/a";
}

std::string ratio_cell(const Verdict& v) {
  const std::optional<Interval>& in = v.result.interval;
  if (!in) return ratio(v.result.ratio);
  return fmt::format("{} [{}, {}]", ratio(v.result.ratio), ratio(in->low), ratio(in->high));
}

std::string csv_value(std::optional<double> x) {
  return x && std::isfinite(*x) ? fmt::format("{:.9g}", *x) : "";
}

// The smallest change seen, either way, as one percentage; "none" where no
// change of any size could have been called; empty for an untested series.
std::string detectable_cell(const Verdict& v) {
  if (!v.detectable) return "";
  if (!could_see_any(*v.detectable)) return "none";
  return fmt::format("±{:.1f}%", detectable_percent(*v.detectable));
}

}  // namespace

Table verdict_table(const std::vector<Verdict>& verdicts, VerdictRows rows,
                    const std::string& title, const std::string& entry_heading) {
  Table t;
  t.title = title;
  t.header = {rows == VerdictRows::ByTest ? "Test" : entry_heading,
              "Series",
              "Ratio [95% interval]",
              "p",
              "p (Holm)",
              "Detectable",
              "Verdict"};
  t.word_columns = 2;
  for (const Verdict& v : verdicts) {
    t.rows.push_back({rows == VerdictRows::ByTest ? v.test : v.entry, series_name(v.series),
                      ratio_cell(v), p_text(v.result.p.value_or(kNaN)),
                      p_text(v.p_adjusted.value_or(kNaN)), detectable_cell(v), verdict_cell(v)});
  }
  return t;
}

std::vector<Table> verdict_tables_by_test(const std::vector<Verdict>& verdicts,
                                          const std::string& reference,
                                          const std::string& entry_heading) {
  std::vector<Table> tables;
  for (const char* test : kTestNames) {
    std::vector<Verdict> of_test;
    for (const Verdict& v : verdicts) {
      if (v.test == test) of_test.push_back(v);
    }
    tables.push_back(verdict_table(of_test, VerdictRows::ByEntry,
                                   fmt::format("{}: against {}", test, reference), entry_heading));
  }
  return tables;
}

std::string verdict_cell(const Verdict& v) {
  if (v.verdict == VerdictKind::NoSignificantChange && v.detectable) {
    if (!could_see_any(*v.detectable)) return "could not see any change";
    return fmt::format("no change beyond ±{:.1f}%", detectable_percent(*v.detectable));
  }
  if (v.verdict != VerdictKind::NotComparable || v.result.not_positive == 0) {
    return verdict_text(v.verdict);
  }
  return fmt::format("{}: {} of {} {} not positive", verdict_text(v.verdict), v.result.not_positive,
                     v.result.rounds, v.result.paired ? "rounds" : "session medians");
}

std::vector<std::string> verdict_csv(const Verdict& v) {
  const ReferenceTest& r = v.result;
  return {csv_value(r.ratio), r.interval ? csv_value(r.interval->low) : "",
          r.interval ? csv_value(r.interval->high) : "", csv_value(r.p), csv_value(v.p_adjusted)};
}

std::vector<std::string> detectable_csv(const Verdict& v) {
  if (!v.detectable) return {"", ""};
  // "inf" and "0": no change of any size could have been called.
  if (!could_see_any(*v.detectable)) return {"inf", "0"};
  return {csv_value(v.detectable->slower), csv_value(v.detectable->faster)};
}

}  // namespace compare
