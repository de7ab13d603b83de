#include "compare/commands/merge.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/commands/outputs.h"
#include "compare/history/merge.h"
#include "compare/history/merge_report.h"
#include "compare/render/table.h"

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

}  // namespace

int run_merge(const MergeOptions& options, std::ostream& out, std::ostream& err) {
  const std::string unwritable = unwritable_export(
      {options.json, options.csv, options.markdown, /*plot=*/"", options.html, options.gnuplot});
  if (!unwritable.empty()) return fail(err, unwritable);
  Merge merge;
  if (const int status = merge_of(options, merge, err); status != 0) return status;

  // Everything is made before anything is written or shown, so that a failed
  // chart leaves no half of the exports behind.
  Made made;
  const bool made_all =
      make_exports({{options.json, [&] { return merge_json(merge).dump(2) + "\n"; }},
                    {options.csv, [&] { return merge_csv(merge); }},
                    {options.markdown, [&] { return merge_markdown(merge); }},
                    {options.html, [&] { return merge_html(merge, options.gnuplot); }}},
                   made, err);
  if (!made_all) return kFailed;
  out << merge_text(merge) << std::flush;
  const bool ok = out.good();
  return write_made(made, err) && ok ? 0 : kFailed;
}

}  // namespace compare
