#include "compare/export/tests.h"

#include "compare/render/format.h"

namespace compare {

using nlohmann::json;

namespace {

// Across sessions the programs' figures have intervals too.
json program_figures(const Summary& summary, const std::optional<Interval>& interval) {
  json part = {{"median", number(summary.median)}, {"mad", number(summary.mad)}};
  if (interval) {
    part["low"] = number(interval->low);
    part["high"] = number(interval->high);
  }
  return part;
}

}  // namespace

json tests_json(const std::vector<TestResult>& results) {
  json tests = json::array();
  for (const TestResult& t : results) {
    tests.push_back({
        {"name", t.name},
        {side_name(Side::Random), program_figures(t.random, t.random_interval)},
        {side_name(Side::Fixed), program_figures(t.fixed, t.fixed_interval)},
        {"difference",
         {{"median", number(t.difference)},
          {"low", t.interval ? number(t.interval->low) : json(nullptr)},
          {"high", t.interval ? number(t.interval->high) : json(nullptr)},
          {"confidence", kConfidence}}},
        {"ratio", number(t.ratio)},
        {"ns_per_execution", number(t.ns_per_execution)},
    });
  }
  return tests;
}

}  // namespace compare
