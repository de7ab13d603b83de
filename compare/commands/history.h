// bench_compare --history: every comparison kept in a SQLite database. A
// measuring run appends its own; --import appends earlier exports.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <ostream>
#include <string>
#include <vector>

namespace compare {

// Why the history cannot be appended to (missing tools, a damaged, foreign
// or later file), in one line; empty when it can. Checked before any run.
std::string history_unusable(const std::string& history);

// Appends a measuring run's comparison, given as its JSON export's text, and
// says on `out` how many sessions were stored. False, with one line on
// `err`, when it could not be stored (nothing of it is then stored).
bool append_history(const std::string& history, const std::string& export_text, std::ostream& out,
                    std::ostream& err);

// --import: each export (a file, or a directory's *.json files in name
// order), each comparison in one transaction, then "stored N sessions, M
// already held". An export that cannot be read or stored is one line on
// `err`, and the others are still stored. Returns 0, or 1 when any failed.
int import_exports(const std::string& history, const std::vector<std::string>& inputs,
                   std::ostream& out, std::ostream& err);

}  // namespace compare
