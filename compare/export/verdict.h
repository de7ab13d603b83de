// A verdict as the export stores it, alike for a baseline, a merge and the
// builds: the entry, test and series, the ratio with its interval, p before
// and after adjustment, the method, what was compared and the verdict.
// Written only: no reader takes verdicts back.
#pragma once

#include <nlohmann/json.hpp>

#include "compare/model.h"

namespace compare {

nlohmann::json verdict_json(const Verdict& v);

}  // namespace compare
