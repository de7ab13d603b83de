// The CSV export: one row per run and test.
#include <fmt/format.h>

#include <cmath>

#include "compare/report/counts.h"
#include "compare/report/parts.h"
#include "compare/report/report.h"
#include "compare/stats/usage.h"

namespace compare {

std::string to_csv(const Comparison& c) {
  const bool counted = !c.counters.empty();
  std::string out = "round,block,first,program,position,test,seconds,session" + usage_csv_header();
  out += (counted ? counter_csv_header() : "") + "\n";
  for (const Round& r : c.rounds) {
    const Side second = r.first == Side::Random ? Side::Fixed : Side::Random;
    int position = 0;
    for (Side side : {r.first, second}) {
      ++position;
      const Times& times = side == Side::Random ? r.random : r.fixed;
      const std::string usage = usage_csv(side == Side::Random ? r.random_usage : r.fixed_usage);
      for (int t = 0; t < kTests; ++t) {
        const double s = times.at(t);
        out += fmt::format("{},{},{},{},{},{},{},{}{}", r.index, (r.index + 1) / 2,
                           side_name(r.first), side_name(side), position, kTestNames.at(t),
                           std::isfinite(s) ? fmt::format("{:.9g}", s) : "", r.session, usage);
        const auto counts = c.counters.find(key_of(r));
        if (counted && counts != c.counters.end()) {
          out += counter_csv_cells(
              (side == Side::Random ? counts->second.random : counts->second.fixed).at(t));
        }
        out += "\n";
      }
    }
  }
  return out;
}

}  // namespace compare
