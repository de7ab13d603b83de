// A round as the export stores it: its number, session, which program ran
// first, each program's times and usage, and with --counters its counts. An
// export of several builds stores each round once with every build's part.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// A time longer than the longest --timeout cannot come from a run.
inline constexpr double kMaxSeconds = 1e6;

// One round; with `counts` holding the round's, its counts too.
nlohmann::json round_json(const Round& r, const CountsByRound* counts = nullptr);
nlohmann::json rounds_json(const std::vector<Round>& rounds, const CountsByRound* counts = nullptr);

// The round as round_json wrote it, with the session it belongs to (1 when
// the export has none). A round without its number, its first program or a
// time of each test in [0, kMaxSeconds] refuses the export, naming the round
// by its place `i` in the file.
Round round_from_json(const nlohmann::json& j, std::size_t i, const std::string& path);

// Every round of the builds (or of their warm-ups), each once, keyed by
// session and number, with each build's part under its label and the
// round's order of builds.
nlohmann::json builds_rounds_json(const Comparison& c, bool warmup);

// One build's part of such a round, read as round_from_json reads a round;
// an empty object where the round has none, null where it is no object.
nlohmann::json build_round(const nlohmann::json& round, const std::string& label);

}  // namespace compare
