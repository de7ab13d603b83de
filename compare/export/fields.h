// export/: bench_compare's JSON export, one file per type it stores (a
// round, a run's usage, a round's counts, the machine, a program, a session,
// a test's figures, a verdict, the head every export starts with). Each file
// holds the type's writer and, where exports are read back, its reader next
// to it, so that each key is spelled in one place. Uses model.h, render/
// (numbers and printable texts) and stats/ (the names of methods and
// verdicts); report/ writes through it and history/ reads through it.
//
// This header: what every reader shares. An export may come from another
// machine or person: a reader turns what is missing or malformed into the
// type's "unknown", or refuses the export with one line naming the file.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace compare {

// The export's format, apart from bench_compare's version: 2 stores each
// round once (at the top; a session lists only its start and figures) and
// writes every verdict alike (a baseline's as a merge's and the builds');
// 1 (no "format") repeated every session's rounds under it.
inline constexpr int kExportFormat = 2;

// The largest round or session number an export may hold.
inline constexpr long long kMaxExportIndex = 1000000000;

// Refuses an export: "<path> <what>" as a std::runtime_error.
[[noreturn]] void bad_export(const std::string& path, const std::string& what);

// The printable text under `key`; `otherwise` where it is missing or no text.
std::string text_of(const nlohmann::json& object, const char* key,
                    const std::string& otherwise = "unknown");

// The object under `key`; an empty object where there is none.
const nlohmann::json& part(const nlohmann::json& object, const char* key);

// The whole number a value holds when it lies in [low, high]; none when it
// is no whole number or out of range (read without overflow either way).
std::optional<long long> whole_in(const nlohmann::json& value, long long low, long long high);

// A JSON number, or null where there is none.
nlohmann::json number_or_null(const std::optional<double>& x);

}  // namespace compare
