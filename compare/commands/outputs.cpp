#include "compare/commands/outputs.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/render/table.h"
#include "compare/running/files.h"
#include "compare/running/gnuplot.h"

namespace compare {

int fail(std::ostream& err, const std::string& message) {
  err << "bench_compare: " << printable(message) << "\n";
  return kFailed;
}

int usage_error(std::ostream& err, const std::string& message) {
  fail(err, message);
  err << "Run 'bench_compare --help' for the options.\n";
  return kUsage;
}

std::string unwritable_export(const ExportPaths& paths) {
  for (const std::string* path :
       {&paths.json, &paths.csv, &paths.markdown, &paths.plot, &paths.html}) {
    const std::string why = path->empty() ? "" : unwritable(*path);
    if (!why.empty()) return fmt::format("cannot write {}: {}", *path, why);
  }
  if (!paths.plot.empty() || !paths.html.empty()) {
    const std::string why = gnuplot_unusable(paths.gnuplot);
    if (!why.empty()) return "cannot draw the chart: " + why;
  }
  return {};
}

bool make_exports(const std::vector<Export>& exports, Made& made, std::ostream& err) {
  made.clear();
  try {
    for (const Export& e : exports) {
      if (!e.path.empty()) made.emplace_back(e.path, e.make());
    }
  } catch (const std::exception& error) {
    fail(err, error.what());
    return false;
  }
  return true;
}

bool write_made(const Made& made, std::ostream& err) {
  bool ok = true;
  for (const auto& [path, text] : made) {
    const std::string why = write_text(path, text);
    if (!why.empty()) ok = fail(err, fmt::format("cannot write {}: {}", path, why)) == 0;
  }
  return ok;
}

bool write_each(const std::vector<Export>& exports, std::ostream& err) {
  bool ok = true;
  for (const Export& e : exports) {
    Made made;
    ok &= make_exports({e}, made, err) && write_made(made, err);
  }
  return ok;
}

}  // namespace compare
