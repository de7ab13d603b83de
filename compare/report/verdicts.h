// The verdicts of series against a reference, built into one table and one
// JSON form for every comparison that has them: a baseline, a merge and
// builds side by side.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/render/table.h"

namespace compare {

// What names each row besides its series: the test (a baseline's one table)
// or the entry (a table per test, for a merge or builds).
// Under every table of verdicts: why an interval that excludes 1 may stand
// beside "no significant change", and what the detectable change is.
inline constexpr const char* kIntervalsNote =
    "Each interval is 95% for its own series, not adjusted for the others; the verdicts are "
    "decided by the Holm-adjusted p, so an interval that excludes 1 may stand beside \"no "
    "significant change\". Detectable: the smallest change, either way, the comparison would have "
    "called with 80% probability at its strictest Holm step.";

enum class VerdictRows { ByTest, ByEntry };

// The verdicts as a table: test or entry, series, ratio with its 95%
// interval, p, Holm's p, the smallest change either way it would have called
// with 80% probability, and the verdict ("no change larger than 0.8%" for a
// no significant change that could have seen 0.8%).
Table verdict_table(const std::vector<Verdict>& verdicts, VerdictRows rows,
                    const std::string& title = "", const std::string& entry_heading = "Entry");

// Per test, the table of that test's verdicts, one row per entry and series,
// titled "TEST: against REFERENCE"; the entries' column headed as given.
std::vector<Table> verdict_tables_by_test(const std::vector<Verdict>& verdicts,
                                          const std::string& reference,
                                          const std::string& entry_heading = "Entry");

// The verdict as the tables show it; "not comparable" says how many values
// were not positive, of how many; no significant change, how large a change
// it rules out.
std::string verdict_cell(const Verdict& v);

// The same as CSV cells, after the columns that name the row: ratio,
// ratio_low, ratio_high, p_value, p_adjusted.
std::vector<std::string> verdict_csv(const Verdict& v);

// The smallest change seen as CSV cells: detectable_slower and
// detectable_faster, empty where there is no figure.
std::vector<std::string> detectable_csv(const Verdict& v);

}  // namespace compare
