#include "compare/commands/outputs.h"

#include <fmt/format.h>

#include <filesystem>
#include <stdexcept>

#include "compare/render/table.h"
#include "compare/running/files.h"
#include "compare/running/gnuplot.h"
#include "compare/running/process.h"

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

std::vector<NamedFile> named_exports(const ExportPaths& paths) {
  std::vector<NamedFile> named;
  for (const NamedFile& e : {NamedFile{"--json", paths.json}, NamedFile{"--csv", paths.csv},
                             NamedFile{"--markdown", paths.markdown},
                             NamedFile{"--plot", paths.plot}, NamedFile{"--html", paths.html}}) {
    if (!e.path.empty()) named.push_back(e);
  }
  return named;
}

namespace {

std::string overwritten_file(const std::vector<NamedFile>& exports,
                             const std::vector<NamedFile>& inputs) {
  for (auto e = exports.begin(); e != exports.end(); ++e) {
    for (auto other = exports.begin(); other != e; ++other) {
      if (same_file(other->path, e->path)) {
        return fmt::format("{} {} and {} {} name the same file", other->option, other->path,
                           e->option, e->path);
      }
    }
    for (const NamedFile& input : inputs) {
      if (!input.path.empty() && same_file(e->path, input.path)) {
        return fmt::format("{} {} would overwrite {} {}", e->option, e->path, input.option,
                           input.path);
      }
    }
  }
  return {};
}

}  // namespace

int refuse_overwriting(const std::vector<NamedFile>& exports, const std::vector<NamedFile>& inputs,
                       std::ostream& err) {
  const std::string why = overwritten_file(exports, inputs);
  if (why.empty()) return 0;
  fail(err, why);
  return kUsage;
}

bool write_each(const std::vector<Export>& exports, std::ostream& err) {
  bool ok = true;
  for (const Export& e : exports) {
    if (e.path.empty()) continue;
    std::error_code ignored;
    const bool earlier = std::filesystem::is_regular_file(std::filesystem::u8path(e.path), ignored);
    std::string why;
    try {
      why = write_text(e.path, e.make());
    } catch (const std::exception& error) {
      why = error.what();
    }
    if (why.empty()) continue;
    ok = false;
    const std::string kept = earlier ? fmt::format("; {} is left as it was", e.path) : "";
    fail(err, fmt::format("cannot write {}: {}{}", e.path, why, kept));
  }
  return ok;
}

int write_report(const std::string& text, const std::vector<Export>& exports, std::ostream& out,
                 std::ostream& err) {
  out << text << std::flush;
  const bool ok = out.good();
  const bool written = write_each(exports, err);
  if (interrupted()) return kInterrupted;  // Ctrl-C while gnuplot drew
  return written && ok ? 0 : kFailed;
}

}  // namespace compare
