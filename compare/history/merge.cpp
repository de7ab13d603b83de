#include "compare/history/merge.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "compare/report/report.h"

namespace compare {

namespace {

using nlohmann::json;

// The newest export layout this merge reads: exports of a later major
// version may have changed what their keys mean.
constexpr long kReadableMajor = 1;

[[noreturn]] void bad_file(const std::string& path, const std::string& what) {
  throw std::runtime_error(fmt::format("{} {}", path, what));
}

std::string text_of(const json& object, const char* key, const std::string& otherwise = "unknown") {
  if (!object.is_object()) return otherwise;
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : otherwise;
}

const json& part(const json& object, const char* key) {
  static const json empty = json::object();
  auto it = object.find(key);
  return it != object.end() && it->is_object() ? *it : empty;
}

// The round, and the session it belongs to (1 when the export has none).
std::pair<Round, int> read_round(const json& j, size_t i, const std::string& path) {
  auto malformed = [&](const std::string& what) {
    bad_file(path, fmt::format("has a malformed round (number {} in the file): {}", i + 1, what));
  };
  if (!j.is_object()) malformed("not an object");
  auto positive = [&](const char* key, bool required) -> int {
    auto it = j.find(key);
    if (it == j.end() && !required) return 1;
    if (it == j.end() || !it->is_number_integer() || it->get<long long>() < 1 ||
        it->get<long long>() > 1000000000) {
      malformed(fmt::format("'{}' must be a positive integer", key));
    }
    return it->get<int>();
  };
  Round r;
  r.index = positive("index", true);
  const int session = positive("session", false);
  const std::string first = text_of(j, "first", "");
  if (first != "random" && first != "fixed") malformed("'first' must be \"random\" or \"fixed\"");
  r.first = first == "random" ? Side::Random : Side::Fixed;
  for (Side side : {Side::Random, Side::Fixed}) {
    const std::string what =
        fmt::format("'{}' must be {} times in seconds", side_name(side), kTests);
    auto times = j.find(side_name(side));
    if (times == j.end() || !times->is_array() || times->size() != kTests) malformed(what);
    for (size_t t = 0; t < kTests; ++t) {
      const json& value = times->at(t);
      const double s = value.is_number() ? value.get<double>() : -1;
      if (!std::isfinite(s) || s < 0) malformed(what);
      (side == Side::Random ? r.random : r.fixed).at(t) = s;
    }
  }
  return {r, session};
}

long major_of(const std::string& version) {
  errno = 0;
  char* end = nullptr;
  const long major = std::strtol(version.c_str(), &end, 10);
  return end == version.c_str() || errno != 0 ? -1 : major;
}

std::string read_whole(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) bad_file(path, "cannot be read: it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) bad_file(path, fmt::format("cannot be read: {}", std::strerror(errno)));
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) bad_file(path, "cannot be read");
  return text;
}

}  // namespace

ExportFile read_export(const std::string& path) {
  json j;
  try {
    j = json::parse(read_whole(path));
  } catch (const json::parse_error& e) {
    bad_file(path, fmt::format("is not JSON (error at byte {})", e.byte));
  }
  if (!j.is_object() || text_of(part(j, "tool"), "name", "") != "bench_compare") {
    bad_file(path, "is not a bench_compare export");
  }
  ExportFile file;
  file.path = path;
  file.version = text_of(part(j, "tool"), "version");
  const long major = major_of(file.version);
  if (major < 0 || major > kReadableMajor) {
    bad_file(path, fmt::format("is an export of bench_compare {}, which this version cannot read",
                               file.version));
  }
  auto rounds = j.find("rounds");
  if (rounds == j.end() || !rounds->is_array()) {
    bad_file(path, "is not a bench_compare comparison's export (it has no rounds)");
  }
  if (rounds->empty()) bad_file(path, "has no rounds");

  std::map<int, std::vector<Round>> by_session;
  for (size_t i = 0; i < rounds->size(); ++i) {
    auto [round, session] = read_round((*rounds)[i], i, path);
    by_session[session].push_back(round);
  }
  std::map<int, std::string> starts;
  auto sessions = j.find("sessions");
  if (sessions != j.end() && sessions->is_array()) {
    for (const json& s : *sessions) {
      auto index = s.is_object() ? s.find("index") : s.end();
      if (index != s.end() && index->is_number_integer()) {
        starts[index->get<int>()] = text_of(s, "started_at", "");
      }
    }
  }
  file.started_at = text_of(j, "started_at", "");
  file.finished_at = text_of(j, "finished_at", "");
  for (auto& [index, session_rounds] : by_session) {
    file.sessions.push_back(std::move(session_rounds));
    std::string start = starts.count(index) != 0 ? starts[index] : "";
    // Without a start of its own, the first session began with the export.
    if (start.empty() && index == by_session.begin()->first) start = file.started_at;
    file.session_started.push_back(start);
  }

  file.label = text_of(j, "label", "");
  if (file.label.empty()) file.label = std::filesystem::path(path).stem().string();
  const json& method = part(j, "method");
  json without_seed = method;
  without_seed.erase("seed");  // each comparison draws its own
  file.method = without_seed.dump();
  file.machine = machine_from_json(part(j, "machine"));
  programs_from_json(part(j, "programs"), file.random, file.fixed);
  auto warnings = j.find("warnings");
  if (warnings != j.end() && warnings->is_array()) {
    for (const json& w : *warnings) {
      if (w.is_string()) file.warnings.push_back(w.get<std::string>());
    }
  }
  auto stopped = j.find("stopped");
  if (stopped != j.end() && stopped->is_string()) file.stopped = stopped->get<std::string>();
  return file;
}

std::vector<std::string> merge_inputs(const std::vector<std::string>& paths) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::is_directory(status)) {
      files.push_back(path);  // a missing file is reported when it is read
      continue;
    }
    std::vector<std::string> found;
    fs::directory_iterator entry(path, ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
      if (entry->path().extension() == ".json") found.push_back(entry->path().string());
    }
    if (ec) throw std::runtime_error(fmt::format("{} cannot be read: {}", path, ec.message()));
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

int entry_count(const std::vector<ExportFile>& exports) {
  std::set<std::string> labels;
  for (const ExportFile& e : exports) labels.insert(e.label);
  return static_cast<int>(labels.size());
}

namespace {

constexpr int kFewestRounds = 6;  // below this a session's own interval is missing

void add_once(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

std::vector<std::string> distinct(const std::vector<const ExportFile*>& files,
                                  const std::string& (*field)(const ExportFile&)) {
  std::vector<std::string> values;
  for (const ExportFile* f : files) {
    if (field(*f) != "unknown") add_once(values, field(*f));
  }
  return values;
}

const std::string& cpu_of(const ExportFile& f) { return f.machine.cpu_model; }
const std::string& random_compiler_of(const ExportFile& f) { return f.random.compiler; }
const std::string& fixed_compiler_of(const ExportFile& f) { return f.fixed.compiler; }

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

Entry build_entry(const std::string& label, const std::vector<const ExportFile*>& files) {
  Entry e;
  e.label = label;
  e.machine = files.front()->machine;
  e.random = files.front()->random;
  e.fixed = files.front()->fixed;
  e.version = files.front()->version;
  std::vector<const std::vector<Round>*> sessions;
  for (const ExportFile* f : files) {
    e.files.push_back(f->path);
    for (size_t s = 0; s < f->sessions.size(); ++s) {
      sessions.push_back(&f->sessions[s]);
      e.rounds.push_back(static_cast<int>(f->sessions[s].size()));
      if (static_cast<int>(f->sessions[s].size()) < kFewestRounds) {
        e.warnings.push_back(
            fmt::format("{}: session {} of {} has only {} counted rounds (fewer "
                        "than {}).",
                        label, s + 1, f->path, f->sessions[s].size(), kFewestRounds));
      }
      const std::string& start = f->session_started[s];
      if (!start.empty() && (e.first_started.empty() || start < e.first_started)) {
        e.first_started = start;
      }
    }
    if (f->finished_at > e.last_finished) e.last_finished = f->finished_at;
    if (!f->stopped.empty()) {
      e.warnings.push_back(fmt::format("{}: {} stopped early ({}).", label, f->path, f->stopped));
    }
  }
  e.sessions = static_cast<int>(sessions.size());
  if (e.sessions == 1) {
    e.warnings.push_back(fmt::format(
        "{}: a single session, so it has no interval across sessions and no verdict.", label));
  }
  const auto processors = distinct(files, cpu_of);
  if (processors.size() > 1) {
    e.warnings.push_back(fmt::format("{}: its sessions ran on different processors: {}.", label,
                                     joined(processors)));
  }
  for (const auto& [name, field] : {std::pair{"bench_random", &random_compiler_of},
                                    std::pair{"bench_fixed", &fixed_compiler_of}}) {
    const auto compilers = distinct(files, field);
    if (compilers.size() > 1) {
      e.warnings.push_back(
          fmt::format("{}: its sessions' {} were built by different compilers: {}.", label, name,
                      joined(compilers)));
    }
  }
  for (const ExportFile* f : files) {
    for (const std::string& w : f->warnings) add_once(e.warnings, fmt::format("{}: {}", label, w));
  }

  for (int t = 0; t < kTests; ++t) {
    EntryTest test;
    test.name = kTestNames.at(static_cast<size_t>(t));
    for (const std::vector<Round>* rounds : sessions) {
      for (size_t k = 0; k < kSeriesNames.size(); ++k)
        test.sessions.at(k).push_back(session_median(*rounds, k, t));
    }
    for (size_t k = 0; k < kSeriesNames.size(); ++k) {
      test.across.at(k) = geometric_mean_interval(test.sessions.at(k));
    }
    e.tests.push_back(std::move(test));
  }
  return e;
}

}  // namespace

Merge merge_exports(const std::vector<ExportFile>& exports, const std::string& reference) {
  // A session given twice would count twice and narrow every interval.
  std::set<std::pair<std::string, std::string>> seen;
  std::set<std::string> seen_files;
  for (const ExportFile& f : exports) {
    std::error_code ec;
    const std::string canonical = std::filesystem::weakly_canonical(f.path, ec).string();
    if (!seen_files.insert(ec ? f.path : canonical).second) {
      throw std::runtime_error(fmt::format("{} is given twice", f.path));
    }
    // Sessions of one export are distinct even when they started within the
    // same second (--pause 0): only another file can repeat one.
    const std::set<std::string> own(f.session_started.begin(), f.session_started.end());
    for (const std::string& start : own) {
      if (!start.empty() && !seen.insert({f.label, start}).second) {
        throw std::runtime_error(
            fmt::format("{} repeats a session of {} that started at {}", f.path, f.label, start));
      }
    }
  }

  std::vector<std::string> labels;
  std::map<std::string, std::vector<const ExportFile*>> by_label;
  for (const ExportFile& f : exports) {
    if (by_label[f.label].empty()) labels.push_back(f.label);
    by_label[f.label].push_back(&f);
  }
  Merge merge;
  merge.reference = reference.empty() && !labels.empty() ? labels.front() : reference;
  if (by_label.count(merge.reference) == 0) {
    throw std::runtime_error(
        fmt::format("--reference {}: no entry has that label", merge.reference));
  }
  for (const std::string& label : labels)
    merge.entries.push_back(build_entry(label, by_label[label]));

  const auto ref_at = std::find(labels.begin(), labels.end(), merge.reference) - labels.begin();
  const Entry* ref = &merge.entries.at(static_cast<size_t>(ref_at));
  for (Entry& e : merge.entries) {
    if (&e == ref) continue;
    if (e.version != ref->version) {
      e.warnings.push_back(fmt::format("{}: made by bench_compare {}, the reference by {}.",
                                       e.label, e.version, ref->version));
    }
    const std::string& method = by_label[e.label].front()->method;
    if (method != by_label[ref->label].front()->method) {
      e.warnings.push_back(
          fmt::format("{}: made by another method than the reference (see the exports' "
                      "\"method\").",
                      e.label));
    }
  }

  std::vector<SeriesTest> tests;  // one per comparison, judged together
  for (const Entry& e : merge.entries) {
    if (&e == ref) continue;
    for (size_t t = 0; t < e.tests.size(); ++t) {
      for (size_t k = 0; k < kSeriesNames.size(); ++k) {
        MergeComparison c;
        c.entry = e.label;
        c.test = e.tests[t].name;
        c.series = kSeriesNames.at(k);
        tests.push_back(test_series(e.tests[t].sessions.at(k), ref->tests[t].sessions.at(k)));
        c.welch = tests.back().welch;
        merge.comparisons.push_back(std::move(c));
      }
    }
  }
  // Holm's adjustment covers every comparison the merge makes a verdict on.
  const std::vector<Judgement> judged = judge(tests);
  for (size_t i = 0; i < judged.size(); ++i) {
    merge.comparisons[i].p_adjusted = judged[i].p_adjusted;
    merge.comparisons[i].verdict = judged[i].verdict;
  }
  return merge;
}

}  // namespace compare
