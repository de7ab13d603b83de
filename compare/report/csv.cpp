// The CSV export: one row per run and test.
#include <fmt/format.h>

#include <cmath>

#include "compare/render/table.h"
#include "compare/report/counts.h"
#include "compare/report/report.h"
#include "compare/report/usage.h"

namespace compare {

namespace {

void append(std::vector<std::string>& to, const std::vector<std::string>& cells) {
  to.insert(to.end(), cells.begin(), cells.end());
}

}  // namespace

std::string to_csv(const Comparison& c) {
  const bool several = several_builds(c);
  bool counted = false;
  for (const Build& b : c.builds) counted = counted || !b.counters.empty();
  Table t;
  t.header = {"round", "block", "first", "program", "position", "test", "seconds", "session"};
  if (several) t.header.push_back("build");
  append(t.header, usage_csv_header());
  if (counted) append(t.header, counts_csv_header());
  for (const Build& b : c.builds) {
    for (const Round& r : rounds_of(b)) {
      const auto counts = b.counters.find(key_of(r));
      const Side second = r.first == Side::Random ? Side::Fixed : Side::Random;
      for (Side side : {r.first, second}) {
        const bool random = side == Side::Random;
        // A build's place among every build's runs in the round; a pair's in its two.
        const int position =
            several ? (random ? r.random_position : r.fixed_position) : (side == r.first ? 1 : 2);
        for (int t_index = 0; t_index < kTests; ++t_index) {
          const double s = (random ? r.random : r.fixed).at(t_index);
          std::vector<std::string> row = {std::to_string(r.index),
                                          std::to_string((r.index + 1) / 2),
                                          side_name(r.first),
                                          side_name(side),
                                          std::to_string(position),
                                          kTestNames.at(t_index),
                                          std::isfinite(s) ? fmt::format("{:.9g}", s) : "",
                                          std::to_string(r.session)};
          if (several) row.push_back(b.label);
          append(row, usage_csv(random ? r.random_usage : r.fixed_usage));
          if (counted && counts != b.counters.end()) {
            append(row,
                   counts_csv((random ? counts->second.random : counts->second.fixed).at(t_index)));
          }
          t.rows.push_back(std::move(row));
        }
      }
    }
  }
  return csv_table(t);
}

}  // namespace compare
