#include "compare/export/counts.h"

#include "compare/export/fields.h"

namespace compare {

using nlohmann::json;

json window_json(const WindowCounts& counts) {
  json w = json::object();
  for (int e = 0; e < kEvents; ++e) w[kEventNames.at(e)] = number_or_null(counts.at(e));
  return w;
}

json round_counts_json(const RoundCounts& counts) {
  json random = json::array();
  json fixed = json::array();
  for (int t = 0; t < kTests; ++t) {
    random.push_back(window_json(counts.random.at(t)));
    fixed.push_back(window_json(counts.fixed.at(t)));
  }
  return {{side_name(Side::Random), random}, {side_name(Side::Fixed), fixed}};
}

}  // namespace compare
