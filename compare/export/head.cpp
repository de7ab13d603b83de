#include "compare/export/head.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>

#include "compare/export/fields.h"
#include "compare/export/machine.h"
#include "compare/render/table.h"

namespace compare {

using nlohmann::json;

namespace {

constexpr const char* kHeadTool = "tool";
constexpr const char* kHeadName = "name";
constexpr const char* kHeadVersion = "version";
constexpr const char* kHeadFormat = "format";
constexpr const char* kHeadLabel = "label";
constexpr const char* kHeadStartedAt = "started_at";
constexpr const char* kHeadFinishedAt = "finished_at";
constexpr const char* kHeadMachine = "machine";
constexpr const char* kHeadWarnings = "warnings";
constexpr const char* kHeadStopped = "stopped";
constexpr const char* kToolName = "bench_compare";

// The newest export layout this version reads: exports of a later major
// version may have changed what their keys mean.
constexpr long kReadableMajor = 1;

json text_or_null(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

long major_of(const std::string& version) {
  errno = 0;
  char* end = nullptr;
  const long major = std::strtol(version.c_str(), &end, 10);
  return end == version.c_str() || errno != 0 ? -1 : major;
}

// A later format may store what this version would misread.
void check_format(const json& j, const std::string& path) {
  auto format = j.find(kHeadFormat);
  if (format == j.end() ||
      (format->is_number_integer() && *format >= 1 && *format <= kExportFormat)) {
    return;
  }
  const std::string which = format->is_number_integer() ? " " + format->dump() : "";
  bad_export(path, fmt::format("is an export of format{}, which this version cannot read (it "
                               "reads formats 1 to {})",
                               which, kExportFormat));
}

}  // namespace

json head_json(const Comparison& c, const std::vector<std::string>& summarised) {
  return {{kHeadTool, {{kHeadName, kToolName}, {kHeadVersion, c.version}}},
          {kHeadFormat, kExportFormat},
          {kHeadLabel, c.label},
          {kHeadStartedAt, text_or_null(c.started_at)},
          {kHeadFinishedAt, text_or_null(c.finished_at)},
          {kHeadMachine, machine_json(c.machine)},
          {kHeadWarnings, c.warnings},
          {"warnings_summarised", summarised},
          {"sessions_note", text_or_null(c.sessions_note)},
          {"complete", c.stopped.empty()},
          {kHeadStopped, text_or_null(c.stopped)}};
}

ExportHead head_from_json(const json& j, const std::string& path) {
  if (!j.is_object() || text_of(part(j, kHeadTool), kHeadName, "") != kToolName) {
    bad_export(path, "is not a bench_compare export");
  }
  ExportHead head;
  head.version = text_of(part(j, kHeadTool), kHeadVersion);
  const long major = major_of(head.version);
  if (major < 0 || major > kReadableMajor) {
    bad_export(path, fmt::format("is an export of bench_compare {}, which this version cannot "
                                 "read",
                                 head.version));
  }
  check_format(j, path);
  head.label = text_of(j, kHeadLabel, "");
  head.started_at = text_of(j, kHeadStartedAt, "");
  head.finished_at = text_of(j, kHeadFinishedAt, "");
  head.machine = machine_from_json(part(j, kHeadMachine));
  auto warnings = j.find(kHeadWarnings);
  if (warnings != j.end() && warnings->is_array()) {
    for (const json& w : *warnings) {
      if (w.is_string()) head.warnings.push_back(printable(w.get<std::string>()));
    }
  }
  head.stopped = text_of(j, kHeadStopped, "");
  return head;
}

}  // namespace compare
