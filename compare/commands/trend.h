// bench_compare --history FILE --trend: each series' sessions over time from
// the history, with the changes found in them, running nothing.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "compare/commands/outputs.h"
#include "compare/history/store.h"

namespace compare {

struct TrendOptions {
  std::string history;
  HistoryFilter filter;
  std::string reference;  // ratios to this build, where it ran in the same rounds
  // Fail (status 1) when a "slower" change begins among the latest N sessions.
  std::optional<std::size_t> fail_on_slower;
  std::uint64_t seed = 20261210;  // of the permutation tests: the same report again
  ExportPaths exports;
  std::string version;
};

// 0; 1 when the history cannot be read, an export cannot be written, or
// --fail-on-slower finds a slower change among the latest sessions; 2 when
// an export would overwrite the history or another export. One line on
// `err` for each.
int run_trend(const TrendOptions& options, std::ostream& out, std::ostream& err);

}  // namespace compare
