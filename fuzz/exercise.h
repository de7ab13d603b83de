// What the fuzz target does with one input, shared with the regression test
// that replays the inputs it once failed on: the file read as --merge reads
// an export, stored as --import stores it (in a history in memory) and its
// figures read back, then merged with a good export and the merge reported
// in text, JSON, CSV and Markdown (not the page or charts: gnuplot is too
// slow to run once an input). A refusal is a fine outcome; a crash, a leak or undefined
// behaviour is what the sanitizers report.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "compare/history/export_reader.h"
#include "compare/history/merge.h"
#include "compare/history/merge_report.h"
#include "compare/history/store.h"

namespace fuzz {

// The good export every input is merged with, labelled apart from it.
inline compare::ExportFile partner(const std::string& path) {
  compare::ExportFile file = compare::read_export(path);
  file.label = "fuzz-partner";
  return file;
}

// The export stored and read back; a refusal in one line is a fine outcome.
inline void store(const std::vector<compare::ExportFile>& files) {
  if (!compare::history_unavailable().empty()) return;
  try {
    compare::Store history(":memory:", compare::Store::Access::Append);
    compare::store_comparison(history, files, {false});
    compare::read_figures(history, {});
  } catch (const compare::StoreError&) {
  }
}

// Returns how far the input got: 0 refused by the reader, 1 refused by the
// merge, 2 reported in every format.
inline int exercise(const std::string& input, const compare::ExportFile& partner) {
  std::vector<compare::ExportFile> files;
  try {
    files = compare::read_exports(input);
  } catch (const std::exception&) {
    return 0;
  }
  store(files);
  files.push_back(partner);
  try {
    const compare::Merge merge = compare::merge_exports(files, "");
    std::string all = compare::merge_text(merge);
    all += compare::merge_json(merge).dump(2);
    all += compare::merge_csv(merge);
    all += compare::merge_markdown(merge);
    return all.empty() ? 1 : 2;
  } catch (const std::exception&) {
    return 1;
  }
}

}  // namespace fuzz
