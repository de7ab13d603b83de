// The CSV export: one row per run and test.
#include <fmt/format.h>

#include <cmath>

#include "compare/render/table.h"
#include "compare/report/builds.h"
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
  if (several_builds(c)) return builds_csv(c);
  const bool counted = !pair_of(c).counters.empty();
  Table t;
  t.header = {"round", "block", "first", "program", "position", "test", "seconds", "session"};
  append(t.header, usage_csv_header());
  if (counted) append(t.header, counts_csv_header());
  for (const Round& r : rounds_of(pair_of(c))) {
    const Side second = r.first == Side::Random ? Side::Fixed : Side::Random;
    const auto counts = pair_of(c).counters.find(key_of(r));
    int position = 0;
    for (Side side : {r.first, second}) {
      ++position;
      const Times& times = side == Side::Random ? r.random : r.fixed;
      for (int t_index = 0; t_index < kTests; ++t_index) {
        const double s = times.at(t_index);
        std::vector<std::string> row = {std::to_string(r.index),
                                        std::to_string((r.index + 1) / 2),
                                        side_name(r.first),
                                        side_name(side),
                                        std::to_string(position),
                                        kTestNames.at(t_index),
                                        std::isfinite(s) ? fmt::format("{:.9g}", s) : "",
                                        std::to_string(r.session)};
        append(row, usage_csv(side == Side::Random ? r.random_usage : r.fixed_usage));
        if (counted && counts != pair_of(c).counters.end()) {
          append(row,
                 counts_csv((side == Side::Random ? counts->second.random : counts->second.fixed)
                                .at(t_index)));
        }
        t.rows.push_back(std::move(row));
      }
    }
  }
  return csv_table(t);
}

}  // namespace compare
