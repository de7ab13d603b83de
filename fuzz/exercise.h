// What the fuzz targets do with one input, shared with the regression test
// that replays the inputs they once failed on. An export: read as --merge
// reads it, stored as --import stores it (in a history in memory) and its
// figures read back, then merged with a good export and the merge reported
// in text, JSON, CSV and Markdown. A history: below, exercise_history. Not
// the pages or charts: gnuplot is too slow to run once an input. A refusal is
// a fine outcome; a crash, a leak or undefined behaviour is what the
// sanitizers report.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "compare/export/trend.h"
#include "compare/history/export_reader.h"
#include "compare/history/merge.h"
#include "compare/history/merge_report.h"
#include "compare/history/store.h"
#include "compare/history/trend_changes.h"
#include "compare/history/trend_figures.h"
#include "compare/report/trend.h"

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

// One trend reported in every format but the page, and its JSON read back.
inline std::string trend_reports(const std::vector<compare::StoredFigure>& figures,
                                 const std::string& reference) {
  compare::Trend trend = compare::trend_of(figures, reference);
  compare::find_trend_changes(trend, 1);
  const nlohmann::json j = compare::trend_json(trend);
  compare::trend_from_json(j, "fuzz");
  return compare::trend_text(trend) + j.dump(2) + compare::trend_csv(trend) +
         compare::trend_markdown(trend);
}

// What the history fuzz target does with one database file: read as --trend
// reads it, its trend reported of the times and of the ratios to the first
// reference build it names, and then the partner stored in it as --history
// stores a comparison, and its figures read again. Returns how far it got:
// 0 refused on opening, 1 refused while reading or storing, 2 reported and
// stored.
inline int exercise_history(const std::string& path, const compare::ExportFile& partner) {
  if (!compare::history_unavailable().empty()) return 0;
  std::vector<compare::StoredFigure> figures;
  try {
    compare::Store history(path, compare::Store::Access::Read);
    try {
      figures = compare::read_figures(history, {});
    } catch (const compare::StoreError&) {
      return 1;
    }
  } catch (const compare::StoreError&) {
    return 0;
  }
  std::string all = trend_reports(figures, "");
  for (const compare::StoredFigure& f : figures) {
    if (f.reference.empty()) continue;
    all += trend_reports(figures, f.reference);
    break;
  }
  try {
    compare::Store history(path, compare::Store::Access::Append);
    compare::store_comparison(history, {partner}, {false});
    compare::read_figures(history, {});
  } catch (const compare::StoreError&) {
    return 1;
  }
  return all.empty() ? 1 : 2;
}

}  // namespace fuzz
