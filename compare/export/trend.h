// A trend as its JSON export stores it: the tool, what the figures are, the
// filters, how changes are found, and per series every session's figure and
// every change found; and read back, refusing what is malformed.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "compare/history/trend.h"

namespace compare {

nlohmann::json trend_json(const Trend& t);

// The trend trend_json wrote. Texts are made printable; a figure that is
// null is not a number. Refuses (naming `path`, as a std::runtime_error)
// what is not such an export: another tool's or kind's, a series of an
// unknown test or series, a change whose first session is not among the
// series' sessions or whose verdict is unknown.
Trend trend_from_json(const nlohmann::json& j, const std::string& path);

}  // namespace compare
