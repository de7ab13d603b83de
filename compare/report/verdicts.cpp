#include "compare/report/verdicts.h"

#include <fmt/format.h>

#include <cmath>

#include "compare/render/format.h"

namespace compare {

namespace {

// Four significant digits: ratios near 1 differ in the third.
std::string ratio(double r) { return std::isfinite(r) ? fmt::format("{:.4g}x", r) : "n/a"; }

std::string ratio_cell(const Verdict& v) {
  if (!v.ratio_interval) return ratio(v.ratio);
  return fmt::format("{} [{}, {}]", ratio(v.ratio), ratio(v.ratio_interval->low),
                     ratio(v.ratio_interval->high));
}

std::string csv_value(double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : ""; }

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
              "Verdict"};
  t.word_columns = 2;
  for (const Verdict& v : verdicts) {
    t.rows.push_back({rows == VerdictRows::ByTest ? v.test : v.entry, series_name(v.series),
                      ratio_cell(v), p_text(v.p_value), p_text(v.p_adjusted), v.verdict});
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

nlohmann::json verdict_json(const Verdict& v) {
  using nlohmann::json;
  return {{"entry", v.entry},
          {"test", v.test},
          {"series", series_name(v.series)},
          {"ratio",
           {{"estimate", number(v.ratio)},
            {"low", v.ratio_interval ? number(v.ratio_interval->low) : json(nullptr)},
            {"high", v.ratio_interval ? number(v.ratio_interval->high) : json(nullptr)}}},
          {"p_value", number(v.p_value)},
          {"p_adjusted", number(v.p_adjusted)},
          {"verdict", v.verdict}};
}

std::vector<std::string> verdict_csv(const Verdict& v) {
  return {csv_value(v.ratio), v.ratio_interval ? csv_value(v.ratio_interval->low) : "",
          v.ratio_interval ? csv_value(v.ratio_interval->high) : "", csv_value(v.p_value),
          csv_value(v.p_adjusted)};
}

}  // namespace compare
