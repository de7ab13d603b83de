#include "compare/export/counts.h"

#include <cmath>

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

namespace {

WindowCounts window_from_json(const json& window) {
  WindowCounts counts{};
  for (int e = 0; e < kEvents; ++e) {
    const auto found = window.is_object() ? window.find(kEventNames.at(e)) : window.end();
    if (window.is_object() && found != window.end() && found->is_number()) {
      const double x = found->get<double>();
      if (std::isfinite(x)) counts.at(e) = x;
    }
  }
  return counts;
}

}  // namespace

std::optional<RoundCounts> round_counts_from_json(const json& counts) {
  if (!counts.is_object()) return std::nullopt;
  RoundCounts round{};
  for (Side side : {Side::Random, Side::Fixed}) {
    const auto found = counts.find(side_name(side));
    if (found == counts.end() || !found->is_array()) continue;
    RunCounts& run = side == Side::Random ? round.random : round.fixed;
    for (std::size_t t = 0; t < kTests && t < found->size(); ++t) {
      run.at(t) = window_from_json((*found)[t]);
    }
  }
  return round;
}

}  // namespace compare
