// The numbers' formats every report shares.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "compare/model.h"

namespace compare {

// Four significant digits, or "n/a"; a ratio as "1.23x"; a p-value; a count
// with its noun; a value with its interval or the words for none.
std::string num(double x);
std::string ratio_text(double r);
std::string p_text(double p);
std::string plural(std::size_t n, const char* one, const char* many);
std::string with_interval(double value, const std::optional<Interval>& interval, const char* none);
std::string known(const std::string& s);  // "unknown" for an empty text
// A value marked " *" where it differs from the reference's.
std::string marked(const std::string& value, const std::string& reference);
// The same for texts that may not have been read: shown as "unknown", and
// never marked, since an unread value is no evidence of a difference.
std::string marked(const Known& value, const Known& reference);
// A path as the text and the page show it: relative to the working directory
// where that is shorter; the exports keep it whole.
std::string shown_path(const std::string& path);
// A JSON number, or null where it is not finite.
nlohmann::json number(double x);
// An export's text: indented JSON ending in a line break, each byte that is
// not UTF-8 (a file name, a program's output) replaced by U+FFFD rather than
// losing the whole export.
std::string export_text(const nlohmann::json& value);
// Whether gnuplot can draw the value: finite and, unless zero, of a magnitude
// from 1e-300 to 1e300, so that no axis range gnuplot or a script derives from
// it (a margin of a few percent, the next tic) overflows or reaches zero.
bool drawable(double x);
// Full precision for a chart's data; "NaN" (missing) where not drawable.
std::string data_value(double x);
// "2026-12-08T10:00:00Z" as "2026-12-08 10:00", short enough for a table.
std::string short_time(const std::string& iso);

}  // namespace compare
