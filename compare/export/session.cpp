#include "compare/export/session.h"

#include <fmt/format.h>

#include "compare/export/fields.h"
#include "compare/export/tests.h"

namespace compare {

using nlohmann::json;

namespace {

constexpr const char* kSessionIndex = "index";
constexpr const char* kSessionStart = "started_at";

}  // namespace

json session_json(const SessionRecord& s, bool figures) {
  json session = {{kSessionIndex, s.index}, {kSessionStart, s.started_at}};
  if (figures) session["tests"] = tests_json(s.tests);
  return session;
}

std::map<int, std::string> session_starts(const json& sessions, const std::string& path) {
  std::map<int, std::string> starts;
  if (!sessions.is_array()) return starts;
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    const json& s = sessions[i];
    auto index = s.is_object() ? s.find(kSessionIndex) : s.end();
    if (index == s.end() || !index->is_number_integer()) continue;  // no session to place
    const std::optional<long long> n = whole_in(*index, 1, kMaxExportIndex);
    if (!n) {
      bad_export(path, fmt::format("has a malformed session (number {} in the file): '{}' must be "
                                   "a positive integer",
                                   i + 1, kSessionIndex));
    }
    starts[static_cast<int>(*n)] = text_of(s, kSessionStart, "");
  }
  return starts;
}

}  // namespace compare
