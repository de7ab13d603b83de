#include "compare/history/export_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>

#include "compare/history/export_file.h"
#include "compare/render/table.h"
#include "compare/report/report.h"

namespace compare {

namespace {

using nlohmann::json;

// The newest export layout this merge reads: exports of a later major
// version may have changed what their keys mean.
constexpr long kReadableMajor = 1;
// The largest round or session number an export may hold.
constexpr long long kMaxIndex = 1000000000;
// The largest count of a run's usage: beyond it a double no longer holds
// every whole number.
constexpr double kMaxCount = 9007199254740992.0;  // 2^53

[[noreturn]] void bad_file(const std::string& path, const std::string& what) {
  throw std::runtime_error(fmt::format("{} {}", path, what));
}

// Every text read from an export goes through here.
std::string text_of(const json& object, const char* key, const std::string& otherwise = "unknown") {
  if (!object.is_object()) return otherwise;
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? printable(it->get<std::string>()) : otherwise;
}

// The whole number a value holds when it lies in [low, high]; none when it
// is no whole number or out of range (read without overflow either way).
std::optional<long long> whole_in(const json& value, long long low, long long high) {
  if (value.is_number_unsigned()) {
    const auto v = value.get<unsigned long long>();
    if (v > static_cast<unsigned long long>(high)) return std::nullopt;
    const auto whole = static_cast<long long>(v);
    return whole >= low ? std::optional<long long>(whole) : std::nullopt;
  }
  if (!value.is_number_integer()) return std::nullopt;
  const auto v = value.get<long long>();
  return v >= low && v <= high ? std::optional<long long>(v) : std::nullopt;
}

const json& part(const json& object, const char* key) {
  static const json empty = json::object();
  auto it = object.find(key);
  return it != object.end() && it->is_object() ? *it : empty;
}

// A program's usage in a round as the export has it, so that a merge can make
// the warnings about other work again; none where the export has no wall time.
// A figure that is absent or not a finite count or time is one the system did
// not give.
std::optional<Usage> usage_of(const json& round, const char* side) {
  const json& u = part(part(round, "usage"), side);
  auto figure = [&](const char* key) -> std::optional<double> {
    auto it = u.find(key);
    if (it == u.end() || !it->is_number()) return std::nullopt;
    const double v = it->get<double>();
    return std::isfinite(v) && v >= 0 ? std::optional<double>(v) : std::nullopt;
  };
  // A count becomes a whole number only when one can hold it.
  auto count = [&](const char* key) {
    const std::optional<double> v = figure(key);
    return v && *v <= kMaxCount ? v : std::nullopt;
  };
  const std::optional<double> wall = figure("wall_s");
  if (!wall) return std::nullopt;
  Usage usage;
  usage.wall_s = *wall;
  const auto user = figure("user_s");
  const auto system = figure("system_s");
  usage.has_processor = user && system;
  usage.user_s = user.value_or(0);
  usage.system_s = system.value_or(0);
  const auto involuntary = count("involuntary_switches");
  const auto voluntary = count("voluntary_switches");
  usage.has_switches = involuntary && voluntary;
  usage.involuntary_switches = static_cast<long long>(involuntary.value_or(0));
  usage.voluntary_switches = static_cast<long long>(voluntary.value_or(0));
  const auto minor = count("minor_faults");
  const auto major = count("major_faults");
  usage.has_faults = usage.has_fault_split = minor && major;
  usage.minor_faults = static_cast<long long>(minor.value_or(0));
  usage.major_faults = static_cast<long long>(major.value_or(0));
  const auto rss = count("max_rss_kib");
  usage.has_memory = rss.has_value();
  usage.max_rss_kib = static_cast<long long>(rss.value_or(0));
  usage.runqueue_wait_s = figure("runqueue_wait_s");
  return usage;
}

// The round, with the session it belongs to (1 when the export has none).
Round read_round(const json& j, size_t i, const std::string& path) {
  auto malformed = [&](const std::string& what) {
    bad_file(path, fmt::format("has a malformed round (number {} in the file): {}", i + 1, what));
  };
  if (!j.is_object()) malformed("not an object");
  auto positive = [&](const char* key, bool required) -> int {
    auto it = j.find(key);
    if (it == j.end() && !required) return 1;  // exports from before sessions hold one
    const std::optional<long long> n = it == j.end() ? std::nullopt : whole_in(*it, 1, kMaxIndex);
    if (!n) malformed(fmt::format("'{}' must be a positive integer", key));
    return static_cast<int>(*n);
  };
  Round r;
  r.index = positive("index", true);
  r.session = positive("session", false);
  const std::string first = text_of(j, "first", "");
  if (first != "random" && first != "fixed") malformed("'first' must be \"random\" or \"fixed\"");
  r.first = first == "random" ? Side::Random : Side::Fixed;
  for (Side side : {Side::Random, Side::Fixed}) {
    auto bad_times = [&] {
      malformed(fmt::format("'{}' must be {} times in seconds, none above {:g}", side_name(side),
                            kTests, kMaxSeconds));
    };
    auto times = j.find(side_name(side));
    if (times == j.end() || !times->is_array() || times->size() != kTests) bad_times();
    for (size_t t = 0; t < kTests; ++t) {
      const json& value = times->at(t);
      const double s = value.is_number() ? value.get<double>() : -1;
      if (!std::isfinite(s) || s < 0 || s > kMaxSeconds) bad_times();
      (side == Side::Random ? r.random : r.fixed).at(t) = s;
    }
  }
  r.random_usage = usage_of(j, "random");
  r.fixed_usage = usage_of(j, "fixed");
  return r;
}

long major_of(const std::string& version) {
  errno = 0;
  char* end = nullptr;
  const long major = std::strtol(version.c_str(), &end, 10);
  return end == version.c_str() || errno != 0 ? -1 : major;
}

// How many rounds, builds and sessions an export holds, against the limits.
void check_sizes(const json& j, const std::string& path) {
  const std::size_t rounds = j["rounds"].size();
  auto builds = j.find("builds");
  const std::size_t build_count =
      builds != j.end() && builds->is_array() ? std::max<std::size_t>(builds->size(), 1) : 1;
  if (build_count > kMaxExportBuilds) {
    bad_file(path, fmt::format("holds {} builds, more than the {} an export may", build_count,
                               kMaxExportBuilds));
  }
  if (rounds > kMaxExportRounds / build_count) {
    bad_file(path, fmt::format("holds {} rounds{}, more than the {} an export may", rounds,
                               build_count > 1 ? fmt::format(" of {} builds", build_count) : "",
                               kMaxExportRounds));
  }
  auto sessions = j.find("sessions");
  if (sessions != j.end() && sessions->is_array() && sessions->size() > kMaxExportSessions) {
    bad_file(path, fmt::format("lists {} sessions, more than the {} an export may",
                               sessions->size(), kMaxExportSessions));
  }
}

// The export's JSON, once it is known to be one this version reads.
json checked_export(const std::string& text, const std::string& path, std::string& version) {
  json j = parse_export(text, path);
  if (!j.is_object() || text_of(part(j, "tool"), "name", "") != "bench_compare") {
    bad_file(path, "is not a bench_compare export");
  }
  version = text_of(part(j, "tool"), "version");
  const long major = major_of(version);
  if (major < 0 || major > kReadableMajor) {
    bad_file(path, fmt::format("is an export of bench_compare {}, which this version cannot read",
                               version));
  }
  // A later format may store what this version would misread.
  auto format = j.find("format");
  if (format != j.end() &&
      !(format->is_number_integer() && *format >= 1 && *format <= kExportFormat)) {
    const std::string which = format->is_number_integer() ? " " + format->dump() : "";
    bad_file(path, fmt::format("is an export of format{}, which this version cannot read (it reads "
                               "formats 1 to {})",
                               which, kExportFormat));
  }
  auto rounds = j.find("rounds");
  // --verify's findings and a merge's export are bench_compare's too, but
  // hold no rounds by design.
  const char* const kNoRounds = "is not a bench_compare comparison's export (it has no rounds)";
  if (j.contains("entries")) throw MergeExportFound(fmt::format("{} {}", path, kNoRounds));
  if ((rounds == j.end() && j.contains("programs") && j["programs"].is_array()) ||
      (rounds != j.end() && !rounds->is_array())) {
    bad_file(path, kNoRounds);
  }
  if (rounds == j.end() || rounds->empty()) bad_file(path, "has no rounds");
  check_sizes(j, path);
  return j;
}

// What every entry of an export shares: its dates, method, machine, warnings.
ExportFile common_part(const json& j, const std::string& path, const std::string& version) {
  ExportFile file;
  file.path = path;
  file.version = version;
  file.started_at = text_of(j, "started_at", "");
  file.finished_at = text_of(j, "finished_at", "");
  file.label = text_of(j, "label", "");
  if (file.label.empty()) file.label = printable(std::filesystem::path(path).stem().string());
  json without_seed = part(j, "method");
  without_seed.erase("seed");  // each comparison draws its own
  file.method = std::move(without_seed);
  file.machine = machine_from_json(part(j, "machine"));
  auto warnings = j.find("warnings");
  if (warnings != j.end() && warnings->is_array()) {
    for (const json& w : *warnings) {
      if (w.is_string()) file.warnings.push_back(printable(w.get<std::string>()));
    }
  }
  auto stopped = j.find("stopped");
  if (stopped != j.end() && stopped->is_string()) {
    file.stopped = printable(stopped->get<std::string>());
  }
  return file;
}

// The rounds, read by `round_at`, split into sessions with their starts.
template <class RoundAt>
void read_sessions(const json& j, const std::string& path, ExportFile& file, RoundAt round_at) {
  const json& rounds = j["rounds"];
  std::map<int, std::vector<Round>> by_session;
  for (size_t i = 0; i < rounds.size(); ++i) {
    Round round = read_round(round_at(rounds[i]), i, path);
    by_session[round.session].push_back(round);
  }
  if (by_session.size() > kMaxExportSessions) {
    bad_file(path, fmt::format("holds rounds of {} sessions, more than the {} an export may",
                               by_session.size(), kMaxExportSessions));
  }
  std::map<int, std::string> starts;
  auto sessions = j.find("sessions");
  if (sessions != j.end() && sessions->is_array()) {
    for (size_t i = 0; i < sessions->size(); ++i) {
      const json& s = (*sessions)[i];
      auto index = s.is_object() ? s.find("index") : s.end();
      if (index == s.end() || !index->is_number_integer()) continue;  // no session to place
      const std::optional<long long> n = whole_in(*index, 1, kMaxIndex);
      if (!n) {
        bad_file(path, fmt::format("has a malformed session (number {} in the file): 'index' "
                                   "must be a positive integer",
                                   i + 1));
      }
      starts[static_cast<int>(*n)] = text_of(s, "started_at", "");
    }
  }
  for (auto& [index, session_rounds] : by_session) {
    file.sessions.push_back(std::move(session_rounds));
    std::string start = starts.count(index) != 0 ? starts[index] : "";
    // Without a start of its own, the first session began with the export.
    if (start.empty() && index == by_session.begin()->first) start = file.started_at;
    file.session_started.push_back(start);
  }
}

// One entry per build of an export of several builds.
std::vector<ExportFile> builds_of(const json& j, const std::string& path,
                                  const std::string& version) {
  std::vector<ExportFile> entries;
  for (const json& build : j["builds"]) {
    const std::string label = text_of(build, "label", "");
    if (label.empty()) bad_file(path, "has a build without a label");
    ExportFile file = common_part(j, path, version);
    file.label = label;
    file.reference = text_of(j, "reference", "");
    // An export made before architectures were recorded reads as "unknown".
    file.random = {text_of(build, "random", ""), text_of(part(build, "compiler"), "random"),
                   text_of(part(build, "architecture"), "random")};
    file.fixed = {text_of(build, "fixed", ""), text_of(part(build, "compiler"), "fixed"),
                  text_of(part(build, "architecture"), "fixed")};
    const std::string key = build["label"].get<std::string>();
    read_sessions(j, path, file, [&](const json& round) {
      json own = round.is_object() ? part(part(round, "builds"), key.c_str()) : json();
      if (own.is_object() && round.contains("index")) own["index"] = round["index"];
      if (own.is_object() && round.contains("session")) own["session"] = round["session"];
      return own;
    });
    entries.push_back(std::move(file));
  }
  return entries;
}

}  // namespace

ExportFile read_export(const std::string& path) {
  std::string version;
  const json j = checked_export(read_export_file(path, kMaxExportBytes), path, version);
  if (j.contains("builds")) {
    bad_file(path, "is an export of several builds; name one comparison of one build");
  }
  ExportFile file = common_part(j, path, version);
  read_sessions(j, path, file, [](const json& round) { return round; });
  programs_from_json(part(j, "programs"), file.random, file.fixed);
  return file;
}

std::vector<ExportFile> read_exports(const std::string& path) {
  return exports_from_text(read_export_file(path, kMaxExportBytes), path);
}

std::vector<ExportFile> exports_from_text(const std::string& text, const std::string& path) {
  std::string version;
  const json j = checked_export(text, path, version);
  if (j.contains("builds") && j["builds"].is_array()) return builds_of(j, path, version);
  ExportFile file = common_part(j, path, version);
  read_sessions(j, path, file, [](const json& round) { return round; });
  programs_from_json(part(j, "programs"), file.random, file.fixed);
  return {file};
}

MachineRecord machine_from_json(const nlohmann::json& m) {
  MachineRecord r;
  r.cpu_model = text_of(m, "cpu_model");
  r.architecture = text_of(m, "architecture");
  r.logical_cpus = text_of(m, "logical_cpus");
  r.kernel = text_of(m, "kernel");
  r.libc = text_of(m, "libc");
  r.governor = text_of(m, "governor");
  r.governor_after = text_of(m, "governor_after");
  r.turbo = text_of(m, "turbo");
  r.turbo_after = text_of(m, "turbo_after");
  r.aslr = text_of(m, "aslr");
  r.load_before = text_of(m, "load_before");
  r.load_after = text_of(m, "load_after");
  // A tick that is no length of time the clocks have is unknown (0).
  auto tick = m.find("clock_tick");
  const double seconds = tick != m.end() && tick->is_number() ? tick->get<double>() : 0;
  r.clock_tick = std::isfinite(seconds) && seconds > 0 && seconds <= 1 ? seconds : 0;
  return r;
}

void programs_from_json(const nlohmann::json& programs, ProgramRecord& random,
                        ProgramRecord& fixed) {
  const nlohmann::json empty = nlohmann::json::object();
  for (Side side : {Side::Random, Side::Fixed}) {
    const nlohmann::json& p =
        programs.contains(side_name(side)) && programs[side_name(side)].is_object()
            ? programs[side_name(side)]
            : empty;
    ProgramRecord& record = side == Side::Random ? random : fixed;
    std::string program_path = text_of(p, "path");
    record.path = program_path == "unknown" ? "" : program_path;
    record.compiler = text_of(p, "compiler");
    record.architecture = text_of(p, "architecture");
  }
}

}  // namespace compare
