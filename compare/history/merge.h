// Merging the JSON exports of many comparisons (machines, builds, days) into
// one side-by-side comparison: reading the exports, and the pure statistics
// of the merge, apart from any output.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/statistical_tests.h"

namespace compare {

// One comparison as read back from its JSON export.
struct ExportFile {
  std::string path;
  std::string label;  // the export's own, else the file name without ".json"
  std::string version;
  std::string method;  // the method object as compact JSON, to tell other methods apart
  std::string started_at;
  std::string finished_at;
  MachineRecord machine;
  ProgramRecord random, fixed;
  std::vector<std::string> warnings;
  std::string stopped;  // empty when the comparison ran to its end
  // The counted rounds of each session, in session order (an export without
  // sessions is one session).
  std::vector<std::vector<Round>> sessions;
  std::vector<std::string> session_started;  // each session's start, where known
};

// Reads an export; throws std::runtime_error with one line naming the file
// and what is wrong with it.
ExportFile read_export(const std::string& path);

// The export files named: files as given, directories as their *.json files in
// name order. Throws std::runtime_error naming a path that is neither.
std::vector<std::string> merge_inputs(const std::vector<std::string>& paths);

// One test of one entry: each session's median per series, and their
// geometric mean across sessions with its 95% interval.
struct EntryTest {
  std::string name;
  std::array<std::vector<double>, 3> sessions;  // per series, in session order
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
  std::vector<std::string> warnings;
};

// One entry's series against the reference's.
struct MergeComparison {
  std::string entry;
  std::string test;
  std::string series;
  std::optional<Welch> welch;  // none with too few sessions or a median that is not positive
  double p_adjusted = std::numeric_limits<double>::quiet_NaN();
  std::string verdict;
};

struct Merge {
  std::string version;  // of the bench_compare that merged
  std::string reference;
  std::vector<Entry> entries;  // in the order first named
  std::vector<MergeComparison> comparisons;
};

// Groups the exports by label and compares every entry with the reference
// (the first entry when empty). Throws std::runtime_error when a session is
// given twice or the reference names no entry; the exports must hold at least
// two entries for the comparison to mean anything, which the caller checks.
Merge merge_exports(const std::vector<ExportFile>& exports, const std::string& reference);

// The number of distinct labels among the exports.
int entry_count(const std::vector<ExportFile>& exports);

}  // namespace compare
