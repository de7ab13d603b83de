// What every format of a comparison shares: the words of its summary, its
// numbers as text, and its tables. For the report's own files only.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Whether the figures are across sessions (two or more).
bool across(const Comparison& c);
// What the summary's figures mean, for one session or across several.
std::string meaning(const Comparison& c);

// Four significant digits, or "n/a"; a ratio as "1.23x"; a p-value; a count
// with its noun; a value with its interval or the words for none.
std::string num(double x);
std::string ratio_text(double r);
std::string p_text(double p);
std::string plural(size_t n, const char* one, const char* many);
std::string with_interval(double value, const std::optional<Interval>& interval, const char* none);
std::string known(const std::string& s);  // "unknown" for an empty text
// A JSON number, or null where it is not finite.
nlohmann::json number(double x);
// Full precision for a chart's data; "NaN" where not finite.
std::string data_value(double x);

// The summary table's heading row, and one row per test.
inline const std::vector<std::string> kSummaryColumns = {"Test",
                                                         "bench_random (s)",
                                                         "bench_fixed (s)",
                                                         "random - fixed (s) [95% interval]",
                                                         "ns per execution",
                                                         "ratio"};
std::vector<std::vector<std::string>> table_rows(const Comparison& c);
// One row per session, heading row first.
std::vector<std::vector<std::string>> session_rows(const Comparison& c);

// Columns on a terminal are counted in characters, not UTF-8 bytes.
size_t display_width(const std::string& s);
// Rows as columns padded to their widest cell.
std::string aligned(const std::vector<std::vector<std::string>>& rows);

// The report's first line, and the line of an early stop.
std::string header(const Comparison& c);
std::string stopped_line(const Comparison& c);

}  // namespace compare
