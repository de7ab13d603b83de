// What every export of a comparison holds at its top: the tool and its
// version, the format, the label, the dates, the machine, the warnings and
// whether it ran to its end; and the names of the other parts at the top,
// which the writers in report/ fill and the reader in history/ takes.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

inline constexpr const char* kMethodKey = "method";
inline constexpr const char* kRoundsKey = "rounds";
inline constexpr const char* kWarmupKey = "warmup";
inline constexpr const char* kSessionsKey = "sessions";
inline constexpr const char* kProgramsKey = "programs";  // a pair's
inline constexpr const char* kBuildsKey = "builds";      // of several builds
inline constexpr const char* kReferenceKey = "reference";

// The head: `summarised` is the warnings as the reports show them, beside
// every one.
nlohmann::json head_json(const Comparison& c, const std::vector<std::string>& summarised);

// The head as head_json wrote it. Texts are printable; a date, label or
// stop that is missing or no text is empty.
struct ExportHead {
  std::string version;
  std::string label;
  std::string started_at;
  std::string finished_at;
  MachineRecord machine;
  std::vector<std::string> warnings;
  std::string stopped;  // empty when the comparison ran to its end
};

// Refuses (naming `path`) what is not bench_compare's export, or is one of a
// version or format this one cannot read.
ExportHead head_from_json(const nlohmann::json& j, const std::string& path);

}  // namespace compare
