// A whole comparison summarised, of one build's pair or of several builds:
// each build's figures from its sessions, the warnings, and with several
// builds every other build against the reference.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Each build's figures (across sessions when there are two or more, else
// from its one session's rounds); the warnings: each session's and build's
// own named by it, a kind that repeats summarised in `warnings_shown`, the
// machine's, then `notes` (found while running); how far the sessions
// disagreed (`sessions_note`); and with several builds the verdicts.
void summarise_comparison(Comparison& c, const std::vector<std::string>& notes = {});

}  // namespace compare
