// A verdict as the export stores it, alike for a baseline, a merge and the
// builds: the entry, test and series, the ratio with its interval, p before
// and after adjustment, the method, what was compared, the smallest change
// it could have seen and the verdict. Only that last figure is read back:
// the rest is made again from the rounds.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "compare/model.h"

namespace compare {

nlohmann::json verdict_json(const Verdict& v);

// A verdict's "detectable": {"slower": 1.0124, "faster": 0.9878}; both null
// where no change of any size could have been called. None where the key is
// missing (older exports), null, or malformed: a slower not above 1, a
// faster not in (0, 1).
std::optional<Detectable> detectable_of(const nlohmann::json& verdict);

// A verdict as the history keeps it: its texts printable, each figure a
// finite number or none.
struct StoredVerdict {
  std::string entry, test, series, method, verdict;
  std::optional<double> ratio, low, high, p, p_adjusted;
};
// None where the value is no object or names no verdict.
std::optional<StoredVerdict> stored_verdict(const nlohmann::json& verdict);

}  // namespace compare
