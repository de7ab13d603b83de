// Merging the JSON exports of many comparisons (machines, builds, days) into
// one side-by-side comparison: the pure statistics of the merge, apart from
// reading (export_reader.h) and output (merge_report.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "compare/history/export_reader.h"
#include "compare/model.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/warnings.h"

namespace compare {

// What a merge reads at most: comparisons (an export of builds gives one
// per build) and entries (distinct labels) among them.
inline constexpr std::size_t kMaxMergeComparisons = 10000;
inline constexpr std::size_t kMaxMergeEntries = 1000;

// The export files named: files as given, directories as their *.json files in
// name order. Throws std::runtime_error naming a path that is neither, or a
// directory holding more files than a merge reads.
std::vector<std::string> merge_inputs(const std::vector<std::string>& paths);

// Every comparison of the exports named, read as merge_inputs lists them. A
// merge's own export found in a directory is skipped with a line in `notes`
// (one named as a file is refused). Throws std::runtime_error with one line
// for an export that cannot be read or a merge beyond the limits above.
std::vector<ExportFile> read_merge_inputs(const std::vector<std::string>& paths,
                                          std::vector<std::string>& notes);

// One test of one entry: each session's median per series, and their
// geometric mean across sessions with its 95% interval.
struct EntryTest {
  std::string name;
  std::array<std::vector<double>, 3> sessions;  // per series (index_of), in session order
  std::array<Estimate, 3> across;
};

// Everything merged under one label.
struct Entry {
  std::string label;
  std::vector<std::string> files;
  int sessions = 0;
  std::vector<int> rounds;  // counted rounds of each session
  std::string first_started;
  std::string last_finished;
  MachineRecord machine;  // of its first export
  ProgramRecord random, fixed;
  std::string version;
  std::vector<EntryTest> tests;
  std::vector<std::string> warnings;  // every one, each named by the entry's label
  // Those of its sessions' warnings the merge summarises by kind, each also in `warnings`.
  std::vector<PlacedWarning> found;
};

struct Merge {
  std::string version;  // of the bench_compare that merged
  std::string reference;
  std::vector<Entry> entries;        // in the order first named
  std::vector<Verdict> comparisons;  // each entry's series against the reference's
};

// Groups the exports by label and compares every entry with the reference
// (the first entry when empty). Throws std::runtime_error when a session is
// given twice or the reference names no entry; the exports must hold at least
// two entries for the comparison to mean anything, which the caller checks.
Merge merge_exports(const std::vector<ExportFile>& exports, const std::string& reference);

// The number of distinct labels among the exports.
int entry_count(const std::vector<ExportFile>& exports);

}  // namespace compare
