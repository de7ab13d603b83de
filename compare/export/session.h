// A session as the export stores it: its number and start, and for a pair
// its test figures. Its rounds are stored once, at the top, each naming its
// session; an export of format 1 repeated them under each session, and a
// reader takes them from the top alone.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "compare/model.h"

namespace compare {

// The session; with `figures`, its tests' figures too.
nlohmann::json session_json(const SessionRecord& s, bool figures);

// Each listed session's start by its number ("" where it has none). An entry
// without a whole number is passed over; one whose number is out of range
// refuses the export, naming the session by its place in the file.
std::map<int, std::string> session_starts(const nlohmann::json& sessions, const std::string& path);

}  // namespace compare
