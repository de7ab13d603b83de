#include "compare/commands/merge.h"

#include <stdexcept>

#include "compare/history/merge.h"
#include "compare/history/merge_report.h"
#include "compare/render/html.h"
#include "compare/running/files.h"

namespace compare {

namespace {

constexpr int kUsage = 2;
constexpr const char* kHelpHint = "Run 'bench_compare --help' for the options.";

}  // namespace

int run_merge(const MergeOptions& options, std::ostream& out, std::ostream& err) {
  auto fail = [&](const std::string& message) {
    err << "bench_compare: " << message << "\n";
    return 1;
  };
  auto usage = [&](const std::string& message) {
    err << "bench_compare: " << message << "\n" << kHelpHint << "\n";
    return kUsage;
  };
  const std::vector<std::pair<const std::string*, std::string>> exports = {
      {&options.json, "json"},
      {&options.csv, "csv"},
      {&options.markdown, "markdown"},
      {&options.html, "html"}};
  for (const auto& entry : exports) {
    const std::string& path = *entry.first;
    const std::string why = path.empty() ? "" : unwritable(path);
    if (!why.empty()) return fail(fmt::format("cannot write {}: {}", path, why));
  }

  std::vector<ExportFile> files;
  Merge merge;
  try {
    const std::vector<std::string> paths = merge_inputs(options.inputs);
    if (paths.size() < 2) {
      return usage(fmt::format("--merge needs exports of at least two comparisons; {} found",
                               paths.empty() ? "none" : "one"));
    }
    files.reserve(paths.size());
    for (const std::string& path : paths) files.push_back(read_export(path));
    const int entries = entry_count(files);
    if (entries < 2) {
      return usage(fmt::format(
          "--merge needs at least two entries (distinct labels); every export is labelled {}",
          files.front().label));
    }
    merge = merge_exports(files, options.reference);
  } catch (const std::exception& error) {
    return fail(error.what());
  }
  merge.version = options.version;
  files.clear();

  // Everything is made before anything is written, so that a failed chart
  // leaves no half of the exports behind.
  std::vector<std::pair<std::string, std::string>> texts;
  try {
    if (!options.json.empty()) texts.emplace_back(options.json, merge_json(merge).dump(2) + "\n");
    if (!options.csv.empty()) texts.emplace_back(options.csv, merge_csv(merge));
    if (!options.markdown.empty()) texts.emplace_back(options.markdown, merge_markdown(merge));
    if (!options.html.empty()) texts.emplace_back(options.html, merge_html(merge, options.gnuplot));
  } catch (const std::exception& error) {
    return fail(error.what());
  }
  out << merge_text(merge) << std::flush;
  bool ok = out.good();
  for (const auto& [path, text] : texts) {
    const std::string why = write_text(path, text);
    if (!why.empty()) ok = fail(fmt::format("cannot write {}: {}", path, why)) == 0;
  }
  return ok ? 0 : 1;
}

}  // namespace compare
