#include "compare/history/export_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "compare/export/counts.h"
#include "compare/export/fields.h"
#include "compare/export/head.h"
#include "compare/export/program.h"
#include "compare/export/round.h"
#include "compare/export/session.h"
#include "compare/history/export_file.h"
#include "compare/render/table.h"

namespace compare {

namespace {

using nlohmann::json;

// How many rounds, builds and sessions an export holds, against the limits.
void check_sizes(const json& j, const std::string& path) {
  const std::size_t rounds = j[kRoundsKey].size();
  auto builds = j.find(kBuildsKey);
  const std::size_t build_count =
      builds != j.end() && builds->is_array() ? std::max<std::size_t>(builds->size(), 1) : 1;
  if (build_count > kMaxExportBuilds) {
    bad_export(path, fmt::format("holds {} builds, more than the {} an export may", build_count,
                                 kMaxExportBuilds));
  }
  if (rounds > kMaxExportRounds / build_count) {
    bad_export(path, fmt::format("holds {} rounds{}, more than the {} an export may", rounds,
                                 build_count > 1 ? fmt::format(" of {} builds", build_count) : "",
                                 kMaxExportRounds));
  }
  auto sessions = j.find(kSessionsKey);
  if (sessions != j.end() && sessions->is_array() && sessions->size() > kMaxExportSessions) {
    bad_export(path, fmt::format("lists {} sessions, more than the {} an export may",
                                 sessions->size(), kMaxExportSessions));
  }
}

// The export's JSON, once it is known to be one this version reads, and
// its head.
json checked_export(const std::string& text, const std::string& path, ExportHead& head) {
  json j = parse_export(text, path);
  head = head_from_json(j, path);
  auto rounds = j.find(kRoundsKey);
  // --verify's findings and a merge's export are bench_compare's too, but
  // hold no rounds by design.
  const char* const kNoRounds = "is not a bench_compare comparison's export (it has no rounds)";
  if (j.contains("entries")) throw MergeExportFound(fmt::format("{} {}", path, kNoRounds));
  if ((rounds == j.end() && j.contains(kProgramsKey) && j[kProgramsKey].is_array()) ||
      (rounds != j.end() && !rounds->is_array())) {
    bad_export(path, kNoRounds);
  }
  if (rounds == j.end() || rounds->empty()) bad_export(path, "has no rounds");
  check_sizes(j, path);
  return j;
}

// What every entry of an export shares: its head and method.
ExportFile common_part(const json& j, const std::string& path, const ExportHead& head) {
  ExportFile file;
  file.path = path;
  file.version = head.version;
  file.started_at = head.started_at;
  file.finished_at = head.finished_at;
  file.label = head.label;
  file.comparison_label = head.label;
  if (file.label.empty()) file.label = printable(std::filesystem::path(path).stem().string());
  json without_seed = part(j, kMethodKey);
  without_seed.erase("seed");  // each comparison draws its own
  file.method = std::move(without_seed);
  file.machine = head.machine;
  file.warnings = head.warnings;
  file.stopped = head.stopped;
  return file;
}

// The rounds, read by `round_at`, split into sessions with their starts.
template <class RoundAt>
void read_sessions(const json& j, const std::string& path, ExportFile& file, RoundAt round_at) {
  const json& rounds = j[kRoundsKey];
  std::map<int, std::vector<Round>> by_session;
  for (size_t i = 0; i < rounds.size(); ++i) {
    const json own = round_at(rounds[i]);
    Round round = round_from_json(own, i, path);
    const auto counted = own.is_object() ? own.find("counters") : own.end();
    const std::optional<RoundCounts> counts =
        counted != own.end() ? round_counts_from_json(*counted) : std::nullopt;
    if (counts) file.counts[key_of(round)] = *counts;
    by_session[round.session].push_back(round);
  }
  if (by_session.size() > kMaxExportSessions) {
    bad_export(path, fmt::format("holds rounds of {} sessions, more than the {} an export may",
                                 by_session.size(), kMaxExportSessions));
  }
  auto listed = j.find(kSessionsKey);
  std::map<int, std::string> starts =
      listed != j.end() ? session_starts(*listed, path) : std::map<int, std::string>{};
  for (auto& [index, session_rounds] : by_session) {
    file.sessions.push_back(std::move(session_rounds));
    std::string start = starts.count(index) != 0 ? starts[index] : "";
    // Without a start of its own, the first session began with the export.
    if (start.empty() && index == by_session.begin()->first) start = file.started_at;
    file.session_started.push_back(start);
  }
}

// The verdicts under `key` on the entry: a pair's all (its baseline's), a
// build's those naming it.
void add_verdicts(const json& object, const char* key, bool named, ExportFile& file) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_array()) return;
  for (const json& v : *found) {
    std::optional<StoredVerdict> verdict = stored_verdict(v);
    if (verdict && (!named || verdict->entry == file.label)) {
      file.verdicts.push_back(std::move(*verdict));
    }
  }
}

// One entry per build of an export of several builds.
std::vector<ExportFile> builds_of(const json& j, const std::string& path, const ExportHead& head) {
  std::vector<ExportFile> entries;
  for (const json& build : j[kBuildsKey]) {
    ExportFile file = common_part(j, path, head);
    file.label = build_from_json(build, file.random, file.fixed);
    if (file.label.empty()) bad_export(path, "has a build without a label");
    file.reference = text_of(j, kReferenceKey, "");
    const std::string key = build_key(build);
    read_sessions(j, path, file, [&](const json& round) { return build_round(round, key); });
    add_verdicts(j, "comparisons", true, file);
    entries.push_back(std::move(file));
  }
  return entries;
}

// The one comparison of an export of a pair.
ExportFile pair_of_export(const json& j, const std::string& path, const ExportHead& head) {
  ExportFile file = common_part(j, path, head);
  read_sessions(j, path, file, [](const json& round) { return round; });
  programs_from_json(part(j, kProgramsKey), file.random, file.fixed);
  add_verdicts(part(j, "baseline"), "verdicts", false, file);
  return file;
}

}  // namespace

ExportFile read_export(const std::string& path) {
  ExportHead head;
  const json j = checked_export(read_export_file(path, kMaxExportBytes), path, head);
  if (j.contains(kBuildsKey)) {
    bad_export(path, "is an export of several builds; name one comparison of one build");
  }
  return pair_of_export(j, path, head);
}

std::vector<ExportFile> read_exports(const std::string& path) {
  return exports_from_text(read_export_file(path, kMaxExportBytes), path);
}

std::vector<ExportFile> exports_from_text(const std::string& text, const std::string& path) {
  ExportHead head;
  const json j = checked_export(text, path, head);
  if (j.contains(kBuildsKey) && j[kBuildsKey].is_array()) return builds_of(j, path, head);
  return {pair_of_export(j, path, head)};
}

}  // namespace compare
