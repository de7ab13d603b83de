#include "compare/commands/merge.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "compare/commands/outputs.h"
#include "compare/history/merge.h"
#include "compare/history/merge_report.h"
#include "compare/render/format.h"
#include "compare/render/table.h"
#include "compare/running/files.h"

namespace compare {

namespace {

// The merge of the exports named, or the exit status that says why there is
// none.
int merge_of(const MergeOptions& options, Merge& merge, std::ostream& err) {
  try {
    std::vector<std::string> notes;
    const std::vector<ExportFile> files = read_merge_inputs(options.inputs, notes);
    for (const std::string& note : notes) err << "bench_compare: " << printable(note) << "\n";
    // An export of several builds counts as one comparison per build.
    if (files.size() < 2) {
      return usage_error(err,
                         fmt::format("--merge needs exports of at least two comparisons; {} found",
                                     files.empty() ? "none" : "one"));
    }
    if (entry_count(files) < 2) {
      return usage_error(
          err,
          fmt::format(
              "--merge needs at least two entries (distinct labels); every export is labelled {}",
              files.front().label));
    }
    merge = merge_exports(files, options.reference);
  } catch (const std::exception& error) {
    return fail(err, error.what());
  }
  merge.version = options.version;
  return 0;
}

// A merge's own export, written by an earlier --merge into a directory it
// reads: no input, so a new merge may replace it. Only the top of the file
// is kept while it is read.
bool is_merge_export(const std::string& path) {
  constexpr std::uintmax_t kLargest = 256U << 20U;
  std::error_code error;
  const auto file = std::filesystem::u8path(path);
  if (!std::filesystem::is_regular_file(file, error) ||
      std::filesystem::file_size(file, error) > kLargest || error) {
    return false;
  }
  const auto top = [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
    return depth <= 2;
  };
  const nlohmann::json j = nlohmann::json::parse(read_text(path), top, false);
  if (!j.is_object() || !j.contains("entries") || !j.contains("comparisons")) return false;
  const auto tool = j.find("tool");
  return tool != j.end() && tool->is_object() &&
         tool->value("name", nlohmann::json()) == "bench_compare";
}

// The inputs an export of the merge could overwrite: every file named, and
// each file of a directory named that an export names, unless it is a
// merge's own export.
std::vector<NamedFile> inputs_at_risk(const MergeOptions& options,
                                      const std::vector<NamedFile>& exports) {
  std::vector<NamedFile> inputs;
  for (const std::string& path : options.inputs) {
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::u8path(path), error)) {
      inputs.push_back({"--merge", path});
      continue;
    }
    std::vector<std::string> found;
    try {
      found = merge_inputs({path});
    } catch (const std::exception&) {
      continue;  // reported when the merge reads it
    }
    for (const std::string& file : found) {
      const bool named = std::any_of(exports.begin(), exports.end(),
                                     [&](const NamedFile& e) { return same_file(e.path, file); });
      if (named && !is_merge_export(file)) inputs.push_back({"--merge", file});
    }
  }
  return inputs;
}

}  // namespace

int run_merge(const MergeOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<NamedFile> exports =
      named_exports({options.json, options.csv, options.markdown, /*plot=*/"", options.html});
  if (const int status = refuse_overwriting(exports, inputs_at_risk(options, exports), err);
      status != 0) {
    return status;
  }
  const std::string unwritable = unwritable_export(
      {options.json, options.csv, options.markdown, /*plot=*/"", options.html, options.gnuplot});
  if (!unwritable.empty()) return fail(err, unwritable);
  Merge merge;
  if (const int status = merge_of(options, merge, err); status != 0) return status;

  return write_report(merge_text(merge),
                      {{options.json, [&] { return export_text(merge_json(merge)); }},
                       {options.csv, [&] { return merge_csv(merge); }},
                       {options.markdown, [&] { return merge_markdown(merge); }},
                       {options.html, [&] { return merge_html(merge, options.gnuplot); }}},
                      out, err);
}

}  // namespace compare
