// A run's usage as the export stores it: its wall time and what the kernel
// told of its processor time, switches, faults and memory.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <optional>

#include "compare/model.h"

namespace compare {

// The usage's keys, in the order the CSV's columns take them too.
inline constexpr std::array<const char*, 9> kUsageKeys = {
    "wall_s",       "user_s",       "system_s",    "involuntary_switches", "voluntary_switches",
    "minor_faults", "major_faults", "max_rss_kib", "runqueue_wait_s"};

// Null without usage; a figure the system did not give is null.
nlohmann::json usage_json(const std::optional<Usage>& usage);

// The usage as usage_json wrote it; none without a wall time. A figure that
// is absent or not a finite count or time is one the system did not give.
std::optional<Usage> usage_from_json(const nlohmann::json& usage);

}  // namespace compare
