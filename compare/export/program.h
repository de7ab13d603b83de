// The programs as the export stores them: a pair's under "programs", each
// with its path, compiler and architecture; an export of several builds
// lists each build with its label, its programs' paths, compilers and
// architectures, and its figures.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "compare/model.h"

namespace compare {

// One program's record: path, compiler and architecture.
nlohmann::json program_json(const ProgramRecord& p);
// The pair's: {"random": ..., "fixed": ...}.
nlohmann::json programs_json(const ProgramRecord& random, const ProgramRecord& fixed);

// The pair's as programs_json wrote them; what is missing or not text is
// "unknown" (an empty path). Texts are printable.
void programs_from_json(const nlohmann::json& programs, ProgramRecord& random,
                        ProgramRecord& fixed);

// One build: its label, programs and test figures.
nlohmann::json build_json(const Build& b);

// A build's programs as build_json wrote them, read as programs_from_json
// reads a pair's; returns its printable label, empty where it has none.
std::string build_from_json(const nlohmann::json& build, ProgramRecord& random,
                            ProgramRecord& fixed);

// The build's label as written, not made printable: what its part of each
// round is found by (export/round.h); empty where it has none.
std::string build_key(const nlohmann::json& build);

}  // namespace compare
