// The merge's inputs: the exports named, each directory's .json files in
// name order, read within the merge's limits.
#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "compare/history/merge.h"

namespace compare {

namespace {

// A file to read, and whether it was found in a directory rather than named.
struct MergeInput {
  std::string path;
  bool listed = false;
};

[[noreturn]] void too_many(const std::string& path) {
  throw std::runtime_error(
      fmt::format("{}: the merge would hold more than {} comparisons, the most it reads", path,
                  kMaxMergeComparisons));
}

std::vector<MergeInput> listed_inputs(const std::vector<std::string>& paths) {
  namespace fs = std::filesystem;
  std::vector<MergeInput> files;
  for (const std::string& path : paths) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::is_directory(status)) {
      files.push_back({path, false});  // a missing file is reported when it is read
      if (files.size() > kMaxMergeComparisons) too_many(path);
      continue;
    }
    std::vector<std::string> found;
    fs::directory_iterator entry(path, ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
      if (entry->path().extension() != ".json") continue;
      found.push_back(entry->path().string());
      if (files.size() + found.size() > kMaxMergeComparisons) too_many(path);
    }
    if (ec) throw std::runtime_error(fmt::format("{} cannot be read: {}", path, ec.message()));
    std::sort(found.begin(), found.end());
    for (std::string& file : found) files.push_back({std::move(file), true});
  }
  return files;
}

}  // namespace

std::vector<std::string> merge_inputs(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (MergeInput& input : listed_inputs(paths)) files.push_back(std::move(input.path));
  return files;
}

std::vector<ExportFile> read_merge_inputs(const std::vector<std::string>& paths,
                                          std::vector<std::string>& notes) {
  std::vector<ExportFile> files;
  std::set<std::string> labels;
  for (const MergeInput& input : listed_inputs(paths)) {
    try {
      for (ExportFile& entry : read_exports(input.path)) {
        labels.insert(entry.label);
        files.push_back(std::move(entry));
      }
    } catch (const MergeExportFound&) {
      // A merge's export beside the exports it merged is no comparison.
      if (!input.listed) throw;
      notes.push_back(
          fmt::format("{} is a merge's export, not a comparison's: skipped", input.path));
    }
    if (files.size() > kMaxMergeComparisons) too_many(input.path);
    if (labels.size() > kMaxMergeEntries) {
      throw std::runtime_error(
          fmt::format("{}: the merge would hold more than {} entries, the most it compares",
                      input.path, kMaxMergeEntries));
    }
  }
  return files;
}

}  // namespace compare
