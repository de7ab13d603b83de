#include "compare/report.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "compare/counters_report.h"
#include "compare/files.h"
#include "compare/gnuplot.h"
#include "compare/usage.h"

extern char** environ;

namespace compare {

namespace {

constexpr const char* kMeaning =
    "± is the median absolute deviation of a program's times over the rounds; [low, high] is a "
    "95% confidence interval for the median of the per-round differences random - fixed, from "
    "the sign test, which assumes nothing about their distribution.";
constexpr const char* kNoInterval = "no interval (fewer than 6 rounds)";
constexpr const char* kOneSession =
    "That interval describes the seconds this comparison ran in: the machine's speed changes from "
    "minute to minute, and --sessions N measures how much.";
constexpr const char* kAcrossMeaning =
    "Each figure is the geometric mean of the sessions' medians; [low, high] is its 95% confidence "
    "interval from Student's t on the logarithms of the session medians, so it includes how the "
    "machine's speed varied from session to session.";

bool across(const Comparison& c) { return c.sessions.size() >= 2; }

std::string meaning(const Comparison& c) {
  return across(c) ? kAcrossMeaning : fmt::format("{}\n{}", kMeaning, kOneSession);
}

// Four significant digits keep differences of a few milliseconds readable
// next to times of a second.
std::string num(double x) { return std::isfinite(x) ? fmt::format("{:.4g}", x) : "n/a"; }

std::string ratio_text(double r) {
  if (!std::isfinite(r)) return "n/a";
  return r >= 100 ? fmt::format("{:.0f}x", r) : fmt::format("{:.3g}x", r);
}

nlohmann::json number(double x) {
  return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
}

std::string plural(size_t n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

const std::vector<std::string> kColumns = {"Test",
                                           "bench_random (s)",
                                           "bench_fixed (s)",
                                           "random - fixed (s) [95% interval]",
                                           "ns per execution",
                                           "ratio"};

std::string with_interval(double value, const std::optional<Interval>& interval, const char* none) {
  return num(value) + (interval ? fmt::format(" [{}, {}]", num(interval->low), num(interval->high))
                                : fmt::format(", {}", none));
}

std::vector<std::vector<std::string>> table_rows(const Comparison& c) {
  std::vector<std::vector<std::string>> rows;
  for (const TestResult& t : c.tests) {
    std::string random = fmt::format("{} ± {}", num(t.random.median), num(t.random.mad));
    std::string fixed = fmt::format("{} ± {}", num(t.fixed.median), num(t.fixed.mad));
    std::string difference = with_interval(t.difference, t.interval, kNoInterval);
    if (across(c)) {
      const char* none = "no interval";
      random = with_interval(t.random.median, t.random_interval, none);
      fixed = with_interval(t.fixed.median, t.fixed_interval, none);
      difference = with_interval(t.difference, t.interval, none);
    }
    rows.push_back(
        {t.name, random, fixed, difference, num(t.ns_per_execution), ratio_text(t.ratio)});
  }
  return rows;
}

// One line per session: when it started, its rounds, and per test its
// medians and the difference's sign-test interval.
std::vector<std::vector<std::string>> session_rows(const Comparison& c) {
  std::vector<std::vector<std::string>> rows = {{"  session", "started", "rounds"}};
  for (const char* test : kTestNames) {
    rows[0].push_back(fmt::format("{}: random, fixed, difference [95%]", test));
  }
  for (const SessionRecord& s : c.sessions) {
    std::vector<std::string> row = {fmt::format("  {}", s.index), s.started_at,
                                    std::to_string(s.rounds.size())};
    for (const TestResult& t : s.tests) {
      row.push_back(fmt::format("{}, {}, {}", num(t.random.median), num(t.fixed.median),
                                with_interval(t.difference, t.interval, "no interval")));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// Columns on a terminal are counted in characters, not UTF-8 bytes.
size_t display_width(const std::string& s) {
  size_t n = 0;
  for (char ch : s) n += (static_cast<unsigned char>(ch) & 0xC0U) != 0x80U ? 1 : 0;
  return n;
}

std::string pad(const std::string& s, size_t width) {
  size_t w = display_width(s);
  return w >= width ? s : s + std::string(width - w, ' ');
}

std::string aligned(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], display_width(row[i]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += i + 1 < row.size() ? pad(row[i], widths[i]) + "  " : row[i];
    }
    out += line + "\n";
  }
  return out;
}

std::string header(const Comparison& c) {
  if (across(c)) {
    return fmt::format(
        "bench_compare {}: {} sessions apart in time, {} in all; each session's run in blocks of "
        "two in random order (random-fixed then fixed-random, or the reverse{}).",
        c.version, c.sessions.size(), plural(c.rounds.size(), "counted round", "counted rounds"),
        c.seed ? fmt::format("; --seed {} repeats the orders", *c.seed) : "");
  }
  return fmt::format(
      "bench_compare {}: {}, run in blocks of two in random order (random-fixed then "
      "fixed-random, or the reverse{}).",
      c.version, plural(c.rounds.size(), "counted round", "counted rounds"),
      c.seed ? fmt::format("; --seed {} repeats the order", *c.seed) : "");
}

std::string stopped_line(const Comparison& c) {
  return fmt::format("The comparison stopped early ({}); the figures cover only the {} completed.",
                     c.stopped, plural(c.rounds.size(), "round", "rounds"));
}

std::string known(const std::string& s) { return s.empty() ? "unknown" : s; }

std::string p_text(double p) { return std::isfinite(p) ? fmt::format("{:.3g}", p) : "n/a"; }

std::string baseline_text(const BaselineComparison& b) {
  std::string out = fmt::format("\nCompared with the baseline {} ({} now, {} then):\n", b.path,
                                plural(b.sessions, "session", "sessions"),
                                plural(b.baseline_sessions, "session", "sessions"));
  for (const std::string& note : b.notes) out += fmt::format("  {}\n", note);
  std::vector<std::vector<std::string>> verdicts = {
      {"  test", "series", "ratio [95% interval]", "p", "p (Holm)", "verdict"}};
  for (const BaselineVerdict& v : b.verdicts) {
    std::string ratio = ratio_text(v.ratio);
    if (v.ratio_interval) {
      ratio += fmt::format(" [{}, {}]", ratio_text(v.ratio_interval->low),
                           ratio_text(v.ratio_interval->high));
    }
    verdicts.push_back(
        {"  " + v.test, v.series, ratio, p_text(v.p_value), p_text(v.p_adjusted), v.verdict});
  }
  out += aligned(verdicts);
  if (b.sessions < 2 || b.baseline_sessions < 2) {
    out += fmt::format(
        "  No verdict from one session: rounds run seconds apart share that moment's speed of the "
        "machine. Make both this comparison and the baseline with --sessions 5 (at least 2 "
        "each).\n");
  }
  return out;
}

}  // namespace

std::vector<std::vector<std::string>> summary_table(const Comparison& c) {
  std::vector<std::vector<std::string>> rows = {kColumns};
  for (auto& row : table_rows(c)) rows.push_back(std::move(row));
  return rows;
}

std::string summary_meaning(const Comparison& c) { return meaning(c); }

std::vector<std::vector<std::string>> record_table(const Comparison& c) {
  const MachineRecord& m = c.machine;
  return {
      {"processor", m.cpu_model},
      {"logical CPUs", m.logical_cpus},
      {"kernel", m.kernel},
      {"C library", m.libc},
      {"governor", fmt::format("{} at the start, {} at the end", m.governor, m.governor_after)},
      {"turbo", fmt::format("{} at the start, {} at the end", m.turbo, m.turbo_after)},
      {"ASLR", m.aslr},
      {"load averages", fmt::format("{} before, {} after", m.load_before, m.load_after)},
      {"clock tick", m.clock_tick > 0 && std::isfinite(m.clock_tick)
                         ? fmt::format("{:.3g} s", m.clock_tick)
                         : "unknown"},
      {"bench_random", fmt::format("{} ({})", known(c.random.path), c.random.compiler)},
      {"bench_fixed", fmt::format("{} ({})", known(c.fixed.path), c.fixed.compiler)},
  };
}

std::string text_report(const Comparison& c) {
  std::string out = header(c) + "\n\n";
  out += aligned(summary_table(c));
  out += fmt::format("{}\n", meaning(c));
  if (across(c)) out += "\nBy session:\n" + aligned(session_rows(c));
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += line + "\n";
  const auto counters = counter_table(c);
  if (!counters.empty()) out += "\n" + aligned(counters) + counter_meaning(c);
  if (c.baseline) out += baseline_text(*c.baseline);

  if (!c.warnings.empty()) out += "\n";
  for (const std::string& w : c.warnings) out += fmt::format("warning: {}\n", w);
  if (!c.stopped.empty()) out += fmt::format("\n{}\n", stopped_line(c));

  out += "\nRecord:\n";
  std::vector<std::vector<std::string>> record = record_table(c);
  for (auto& row : record) row.front().insert(0, "  ");
  out += aligned(record);
  return out;
}

using nlohmann::json;

namespace {

// With counts, each round carries its own (the top-level rounds do).
json rounds_json(const std::vector<Round>& all, const CountsByRound* counts = nullptr) {
  json rounds = json::array();
  for (const Round& r : all) {
    json random = json::array();
    json fixed = json::array();
    for (int t = 0; t < kTests; ++t) {
      random.push_back(number(r.random.at(t)));
      fixed.push_back(number(r.fixed.at(t)));
    }
    rounds.push_back(
        {{"index", r.index},
         {"session", r.session},
         {"first", side_name(r.first)},
         {"random", random},
         {"fixed", fixed},
         {"usage",
          {{"random", usage_json(r.random_usage)}, {"fixed", usage_json(r.fixed_usage)}}}});
    const auto counted = counts ? counts->find(key_of(r)) : CountsByRound::const_iterator{};
    if (counts && counted != counts->end())
      rounds.back()["counters"] = round_counters_json(counted->second);
  }
  return rounds;
}

json tests_json(const std::vector<TestResult>& results) {
  json tests = json::array();
  for (const TestResult& t : results) {
    // Across sessions the programs' figures have intervals too.
    const auto program = [](const Summary& summary, const std::optional<Interval>& interval) {
      json part = {{"median", number(summary.median)}, {"mad", number(summary.mad)}};
      if (interval) {
        part["low"] = number(interval->low);
        part["high"] = number(interval->high);
      }
      return part;
    };
    tests.push_back({
        {"name", t.name},
        {"random", program(t.random, t.random_interval)},
        {"fixed", program(t.fixed, t.fixed_interval)},
        {"difference",
         {{"median", number(t.difference)},
          {"low", t.interval ? number(t.interval->low) : json(nullptr)},
          {"high", t.interval ? number(t.interval->high) : json(nullptr)},
          {"confidence", kConfidence}}},
        {"ratio", number(t.ratio)},
        {"ns_per_execution", number(t.ns_per_execution)},
    });
  }
  return tests;
}

}  // namespace

nlohmann::json to_json(const Comparison& c) {
  json sessions = json::array();
  for (const SessionRecord& s : c.sessions) {
    sessions.push_back({{"index", s.index},
                        {"started_at", s.started_at},
                        {"rounds", rounds_json(s.rounds)},
                        {"tests", tests_json(s.tests)}});
  }

  const MachineRecord& m = c.machine;
  json baseline = nullptr;
  if (c.baseline) {
    json verdicts = json::array();
    for (const BaselineVerdict& v : c.baseline->verdicts) {
      verdicts.push_back(
          {{"test", v.test},
           {"series", v.series},
           {"ratio", number(v.ratio)},
           {"ratio_low", v.ratio_interval ? number(v.ratio_interval->low) : json()},
           {"ratio_high", v.ratio_interval ? number(v.ratio_interval->high) : json()},
           {"p_value", number(v.p_value)},
           {"p_adjusted", number(v.p_adjusted)},
           {"verdict", v.verdict}});
    }
    baseline = {{"path", c.baseline->path},
                {"notes", c.baseline->notes},
                {"verdicts", verdicts},
                {"sessions", c.baseline->sessions},
                {"baseline_sessions", c.baseline->baseline_sessions}};
  }

  return {
      {"tool", {{"name", "bench_compare"}, {"version", c.version}}},
      {"label", c.label},
      {"started_at", c.started_at.empty() ? json(nullptr) : json(c.started_at)},
      {"finished_at", c.finished_at.empty() ? json(nullptr) : json(c.finished_at)},
      {"method",
       {{"rounds",
         "counted rounds in blocks of two: random then fixed, then fixed then random, or the "
         "reverse, the order chosen at random for each block"},
        {"runs", "each program runs once in each round"},
        {"times", "each test's seconds as the programs write them in their results files"},
        {"dispersion", "median absolute deviation, unscaled"},
        {"difference", "median of the per-round differences random - fixed"},
        {"interval",
         "sign test: the order statistics d(k) and d(n+1-k) of the sorted per-round differences, "
         "at 95% confidence; none with fewer than 6 rounds"},
        {"sessions",
         "each session has its own warm-up and counted rounds; sessions are apart in time, and "
         "each round names its session"},
        {"across_sessions", across(c)},
        {"tests", across(c)
                      ? "across sessions: per series the geometric mean of the session medians "
                        "(under 'median'), low and high its 95% interval from Student's t on their "
                        "logarithms; mad is null"
                      : "one session: medians, MADs and the sign-test interval of its rounds"},
        {"baseline",
         "Welch's t-test on the logarithms of the session medians of each side, p-values "
         "adjusted over the series by Holm's method; no verdict with fewer than 2 sessions on "
         "either side"},
        {"usage",
         "each run's wall time, and its processor time, context switches, page faults and peak "
         "memory as the kernel reports them when it is reaped; runqueue_wait_s is the time it "
         "sat runnable waiting for a processor (null where the kernel does not tell)"},
        {"seed", c.seed ? json(*c.seed) : json(nullptr)},
        {"confidence", kConfidence},
        {"alpha", kAlpha},
        {"executions_per_test", kExecutions},
        {"units", "seconds"}}},
      {"rounds", rounds_json(c.rounds, &c.counters)},
      {"warmup", rounds_json(c.warmup)},
      {"sessions", sessions},
      {"tests", tests_json(c.tests)},
      {"machine",
       {{"cpu_model", m.cpu_model},
        {"logical_cpus", m.logical_cpus},
        {"kernel", m.kernel},
        {"libc", m.libc},
        {"governor", m.governor},
        {"governor_after", m.governor_after},
        {"turbo", m.turbo},
        {"turbo_after", m.turbo_after},
        {"aslr", m.aslr},
        {"load_before", m.load_before},
        {"load_after", m.load_after},
        {"clock_tick", m.clock_tick > 0 ? number(m.clock_tick) : json(nullptr)}}},
      {"programs",
       {{"random", {{"path", c.random.path}, {"compiler", c.random.compiler}}},
        {"fixed", {{"path", c.fixed.path}, {"compiler", c.fixed.compiler}}}}},
      {"warnings", c.warnings},
      {"complete", c.stopped.empty()},
      {"stopped", c.stopped.empty() ? json(nullptr) : json(c.stopped)},
      {"baseline", baseline},
      {"counters", counters_json(c)},
  };
}

std::string to_csv(const Comparison& c) {
  const bool counted = !c.counters.empty();
  std::string out = "round,block,first,program,position,test,seconds,session" + usage_csv_header();
  out += (counted ? counter_csv_header() : "") + "\n";
  for (const Round& r : c.rounds) {
    const Side second = r.first == Side::Random ? Side::Fixed : Side::Random;
    int position = 0;
    for (Side side : {r.first, second}) {
      ++position;
      const Times& times = side == Side::Random ? r.random : r.fixed;
      const std::string usage = usage_csv(side == Side::Random ? r.random_usage : r.fixed_usage);
      for (int t = 0; t < kTests; ++t) {
        const double s = times.at(t);
        out += fmt::format("{},{},{},{},{},{},{},{}{}", r.index, (r.index + 1) / 2,
                           side_name(r.first), side_name(side), position, kTestNames.at(t),
                           std::isfinite(s) ? fmt::format("{:.9g}", s) : "", r.session, usage);
        const auto counts = c.counters.find(key_of(r));
        if (counted && counts != c.counters.end()) {
          out += counter_csv_cells(
              (side == Side::Random ? counts->second.random : counts->second.fixed).at(t));
        }
        out += "\n";
      }
    }
  }
  return out;
}

std::string to_markdown(const Comparison& c) {
  std::string out = header(c) + "\n\n";
  auto row = [](const std::vector<std::string>& cells) {
    std::string line = "|";
    for (const std::string& cell : cells) line += " " + cell + " |";
    return line + "\n";
  };
  out += row(kColumns);
  out += "|---|---:|---:|---:|---:|---:|\n";
  for (const auto& cells : table_rows(c)) out += row(cells);
  out += fmt::format("\n{}\n", meaning(c));
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += fmt::format("- {}\n", line);
  const auto counters = counter_table(c);
  if (!counters.empty()) {
    std::string rule = "|---|---|";
    for (size_t i = 2; i < counters.front().size(); ++i) rule += "---:|";
    out += "\n" + row(counters.front()) + rule + "\n";
    for (size_t i = 1; i < counters.size(); ++i) out += row(counters.at(i));
    out += "\n" + counter_meaning(c);
  }
  if (!c.stopped.empty()) out += fmt::format("\n{}\n", stopped_line(c));
  if (!c.warnings.empty()) {
    out += "\nWarnings:\n\n";
    for (const std::string& w : c.warnings) out += fmt::format("- {}\n", w);
  }
  return out;
}

namespace {

[[noreturn]] void bad_baseline(const std::string& path, const std::string& what) {
  throw std::runtime_error(fmt::format("the baseline {} {}", path, what));
}

std::string text_field(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return "unknown";
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "unknown";
}

Round read_round(const nlohmann::json& j, size_t i, const std::string& path) {
  auto malformed = [&](const std::string& what) {
    bad_baseline(path,
                 fmt::format("has a malformed round (number {} in the file): {}", i + 1, what));
  };
  if (!j.is_object()) malformed("not an object");
  Round r;
  auto index = j.find("index");
  if (index == j.end() || !index->is_number_integer() || index->get<long long>() < 1 ||
      index->get<long long>() > 1000000000) {
    malformed("'index' must be a positive integer");
  }
  r.index = index->get<int>();
  auto first = j.find("first");
  if (first == j.end() || !first->is_string() || (*first != "random" && *first != "fixed")) {
    malformed("'first' must be \"random\" or \"fixed\"");
  }
  r.first = *first == "random" ? Side::Random : Side::Fixed;
  // Exports from before sessions existed hold one session.
  auto session = j.find("session");
  if (session != j.end()) {
    if (!session->is_number_integer() || session->get<long long>() < 1 ||
        session->get<long long>() > 1000000) {
      malformed("'session' must be a positive integer");
    }
    r.session = session->get<int>();
  }
  for (Side side : {Side::Random, Side::Fixed}) {
    auto times = j.find(side_name(side));
    if (times == j.end() || !times->is_array() || times->size() != kTests) {
      malformed(fmt::format("'{}' must be {} times in seconds", side_name(side), kTests));
    }
    for (int t = 0; t < kTests; ++t) {
      const nlohmann::json& value = times->at(t);
      double s = value.is_number() ? value.get<double>() : -1;
      if (!std::isfinite(s) || s < 0) {
        malformed(fmt::format("'{}' must be {} times in seconds", side_name(side), kTests));
      }
      (side == Side::Random ? r.random : r.fixed).at(t) = s;
    }
  }
  return r;
}

}  // namespace

MachineRecord machine_from_json(const nlohmann::json& m) {
  MachineRecord r;
  r.cpu_model = text_field(m, "cpu_model");
  r.logical_cpus = text_field(m, "logical_cpus");
  r.kernel = text_field(m, "kernel");
  r.libc = text_field(m, "libc");
  r.governor = text_field(m, "governor");
  r.governor_after = text_field(m, "governor_after");
  r.turbo = text_field(m, "turbo");
  r.turbo_after = text_field(m, "turbo_after");
  r.aslr = text_field(m, "aslr");
  r.load_before = text_field(m, "load_before");
  r.load_after = text_field(m, "load_after");
  auto tick = m.find("clock_tick");
  r.clock_tick = tick != m.end() && tick->is_number() ? tick->get<double>() : 0;
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
    std::string program_path = text_field(p, "path");
    record.path = program_path == "unknown" ? "" : program_path;
    record.compiler = text_field(p, "compiler");
  }
}

Baseline read_baseline(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    bad_baseline(path, "cannot be read: it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) bad_baseline(path, fmt::format("cannot be read: {}", std::strerror(errno)));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) bad_baseline(path, "cannot be read");

  nlohmann::json j;
  try {
    j = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    bad_baseline(path, fmt::format("is not JSON (error at byte {})", e.byte));
  }
  if (!j.is_object()) bad_baseline(path, "is not a bench_compare JSON export");
  auto rounds = j.find("rounds");
  if (rounds == j.end() || !rounds->is_array() || rounds->empty()) {
    bad_baseline(path, "has no rounds");
  }

  Baseline base;
  for (size_t i = 0; i < rounds->size(); ++i)
    base.rounds.push_back(read_round((*rounds)[i], i, path));

  // The record only adds notes; an export with parts of it missing still serves.
  const nlohmann::json empty = nlohmann::json::object();
  auto part = [&](const nlohmann::json& object, const char* key) -> const nlohmann::json& {
    auto it = object.find(key);
    return it != object.end() && it->is_object() ? *it : empty;
  };
  const nlohmann::json& m = part(j, "machine");
  base.machine = machine_from_json(m);

  const nlohmann::json& programs = part(j, "programs");
  programs_from_json(programs, base.random, base.fixed);
  return base;
}

std::vector<std::string> baseline_notes(const Comparison& now, const Baseline& base) {
  // An unread value says nothing about a difference, so it makes no note.
  auto differs = [](const std::string& a, const std::string& b) {
    return a != b && a != "unknown" && b != "unknown";
  };
  std::vector<std::string> notes;
  if (differs(now.machine.cpu_model, base.machine.cpu_model)) {
    notes.push_back(fmt::format("The baseline was made on another processor: {} (now {}).",
                                base.machine.cpu_model, now.machine.cpu_model));
  }
  if (differs(now.random.compiler, base.random.compiler)) {
    notes.push_back(
        fmt::format("The baseline's bench_random was built by another compiler: {} (now {}).",
                    base.random.compiler, now.random.compiler));
  }
  if (differs(now.fixed.compiler, base.fixed.compiler)) {
    notes.push_back(
        fmt::format("The baseline's bench_fixed was built by another compiler: {} (now {}).",
                    base.fixed.compiler, now.fixed.compiler));
  }
  if (differs(now.machine.kernel, base.machine.kernel)) {
    notes.push_back(fmt::format("The baseline ran under another kernel: {} (now {}).",
                                base.machine.kernel, now.machine.kernel));
  }
  return notes;
}

namespace {

std::string data_value(double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : "NaN"; }

}  // namespace

std::string plot_data(const Comparison& c) {
  std::string out = "# round";
  for (const char* series : {"random", "fixed", "difference"}) {
    for (const char* test : kTestNames) out += fmt::format(" {}_{}", series, test);
  }
  out += "\n";
  // Numbered in the order run, so that sessions follow each other.
  int position = 0;
  for (const Round& r : c.rounds) {
    out += std::to_string(++position);
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.random.at(t));
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.fixed.at(t));
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.random.at(t) - r.fixed.at(t));
    out += "\n";
  }
  return out;
}

std::string gnuplot_script(const Comparison& c, const std::string& data_path,
                           const std::string& svg_path) {
  const int last = std::max(1, static_cast<int>(c.rounds.size()));
  std::string s;
  s += "set terminal svg size 1100,1200 dynamic noenhanced font 'sans,11' background '#ffffff'\n";
  s += fmt::format("set output {}\n", gnuplot_quoted(svg_path));
  s += "set datafile missing 'NaN'\n";
  s += fmt::format("set multiplot layout 3,2 title {}\n",
                   gnuplot_quoted(fmt::format("bench_compare {}: {}", c.version,
                                              plural(c.rounds.size(), "round", "rounds"))));
  s += fmt::format("set xrange [0.5:{}.5]\n", last);
  s += "set xlabel 'round'\nset ylabel 'seconds'\nset grid\n"
       "set key outside top center horizontal\n";
  const std::string data = gnuplot_quoted(data_path);
  for (int t = 0; t < kTests; ++t) {
    const std::string name = kTestNames.at(t);
    s += fmt::format("set title {}\n", gnuplot_quoted(name + ": each round's time"));
    s += "set logscale y\n";
    s += fmt::format(
        "plot {} using 1:{} with points pt 7 ps 0.6 title 'bench_random', "
        "'' using 1:{} with points pt 5 ps 0.6 title 'bench_fixed'\n",
        data, 2 + t, 2 + kTests + t);
    s += "unset logscale y\n";
    s += fmt::format("set title {}\n", gnuplot_quoted(name + ": random - fixed per round"));
    // The band goes first so that the points stay visible over it; the
    // summary comes from the same test's result, when it has one.
    std::string band;
    std::string median;
    for (const TestResult& result : c.tests) {
      if (result.name != name) continue;
      if (result.interval && std::isfinite(result.interval->low) &&
          std::isfinite(result.interval->high)) {
        band = fmt::format(
            "'+' using 1:({:.17g}):({:.17g}) with filledcurves fs transparent solid 0.25 noborder "
            "lc 'gray' title '95% interval', ",
            result.interval->low, result.interval->high);
      }
      if (std::isfinite(result.difference)) {
        median =
            fmt::format(", {:.17g} with lines lw 2 lc 'black' title 'median'", result.difference);
      }
    }
    const std::string plot = fmt::format(
        "plot {}{} using 1:{} with points pt 7 ps 0.6 lc 'dark-violet' title 'difference'{}", band,
        data, 2 + 2 * kTests + t, median);
    s += plot + "\n";
  }
  s += "unset multiplot\nset output\n";
  return s;
}

namespace {

void write_file(const std::string& path, const std::string& text) {
  const std::string why = write_text(path, text);
  if (!why.empty()) {
    throw std::runtime_error(fmt::format("cannot draw the chart: cannot write {}: {}", path, why));
  }
}

}  // namespace

void draw_plot(const Comparison& c, const std::string& svg_path, const std::string& gnuplot) {
  if (c.rounds.empty()) throw std::runtime_error("cannot draw the chart: no round was completed");
  const ScratchDir dir("bench_compare-chart");
  if (dir.path().empty()) {
    throw std::runtime_error("cannot draw the chart: cannot make a temporary directory: " +
                             dir.error());
  }
  const std::string data = dir.file("rounds.dat");
  const std::string script = dir.file("chart.gp");
  const std::string svg = dir.file("chart.svg");
  const std::string err = dir.file("gnuplot.err");
  write_file(data, plot_data(c));
  write_file(script, gnuplot_script(c, data, svg));

  run_gnuplot(script, err, gnuplot);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(svg, ec) || std::filesystem::file_size(svg, ec) == 0) {
    throw std::runtime_error(fmt::format("cannot draw the chart: {} wrote no chart", gnuplot));
  }
  // Copied only once whole, so a failed drawing leaves nothing at svg_path.
  std::filesystem::copy_file(svg, svg_path, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) {
    throw std::runtime_error(fmt::format("cannot write the chart {}: {}", svg_path, ec.message()));
  }
}

}  // namespace compare
