// The tracing probe's record of one run: key=value lines, read as they are.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <map>
#include <string>

namespace compare {

using ProbeRecord = std::map<std::string, std::string>;

// The record's key=value lines; a line without "=" is passed over.
ProbeRecord parse_record(const std::string& text);

// A number under the key, or `fallback` where it is missing or empty.
long record_number(const ProbeRecord& record, const std::string& key, long fallback = 0);

// The text under the key, empty where it is missing.
std::string record_text(const ProbeRecord& record, const std::string& key);

// Counts of event kinds from a line such as "M8 N1 O161".
std::map<char, long> record_kinds(const std::string& line);

}  // namespace compare
