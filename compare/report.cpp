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

#include "compare/files.h"
#include "compare/usage.h"

extern char** environ;

namespace compare {

namespace {

constexpr const char* kMeaning =
    "± is the median absolute deviation of a program's times over the rounds; [low, high] is a "
    "95% confidence interval for the median of the per-round differences random - fixed, from "
    "the sign test, which assumes nothing about their distribution.";
constexpr const char* kNoInterval = "no interval (fewer than 6 rounds)";

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

std::vector<std::vector<std::string>> table_rows(const Comparison& c) {
  std::vector<std::vector<std::string>> rows;
  for (const TestResult& t : c.tests) {
    std::string difference = num(t.difference);
    difference += t.interval ? fmt::format(" [{}, {}]", num(t.interval->low), num(t.interval->high))
                             : fmt::format(", {}", kNoInterval);
    rows.push_back({t.name, fmt::format("{} ± {}", num(t.random.median), num(t.random.mad)),
                    fmt::format("{} ± {}", num(t.fixed.median), num(t.fixed.mad)), difference,
                    num(t.ns_per_execution), ratio_text(t.ratio)});
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

nlohmann::json rounds_json(const std::vector<Round>& rounds) {
  nlohmann::json out = nlohmann::json::array();
  for (const Round& r : rounds) {
    nlohmann::json random = nlohmann::json::array();
    nlohmann::json fixed = nlohmann::json::array();
    for (int t = 0; t < kTests; ++t) {
      random.push_back(number(r.random.at(t)));
      fixed.push_back(number(r.fixed.at(t)));
    }
    out.push_back(
        {{"index", r.index},
         {"first", side_name(r.first)},
         {"random", random},
         {"fixed", fixed},
         {"usage",
          {{"random", usage_json(r.random_usage)}, {"fixed", usage_json(r.fixed_usage)}}}});
  }
  return out;
}

}  // namespace

std::string text_report(const Comparison& c) {
  std::string out = header(c) + "\n\n";
  std::vector<std::vector<std::string>> rows = {kColumns};
  for (auto& row : table_rows(c)) rows.push_back(std::move(row));
  out += aligned(rows);
  out += fmt::format("{}\n", kMeaning);
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += line + "\n";

  if (c.baseline) {
    out += fmt::format("\nCompared with the baseline {}:\n", c.baseline->path);
    for (const std::string& note : c.baseline->notes) out += fmt::format("  {}\n", note);
    std::vector<std::vector<std::string>> verdicts = {
        {"  test", "series", "ratio", "p", "verdict"}};
    for (const BaselineVerdict& v : c.baseline->verdicts) {
      verdicts.push_back({"  " + v.test, v.series, ratio_text(v.ratio),
                          std::isfinite(v.p_value) ? fmt::format("{:.3g}", v.p_value) : "n/a",
                          v.verdict});
    }
    out += aligned(verdicts);
  }

  if (!c.warnings.empty()) out += "\n";
  for (const std::string& w : c.warnings) out += fmt::format("warning: {}\n", w);
  if (!c.stopped.empty()) out += fmt::format("\n{}\n", stopped_line(c));

  const MachineRecord& m = c.machine;
  out += "\nRecord:\n";
  out += aligned({
      {"  processor", m.cpu_model},
      {"  logical CPUs", m.logical_cpus},
      {"  kernel", m.kernel},
      {"  C library", m.libc},
      {"  governor", fmt::format("{} at the start, {} at the end", m.governor, m.governor_after)},
      {"  turbo", fmt::format("{} at the start, {} at the end", m.turbo, m.turbo_after)},
      {"  ASLR", m.aslr},
      {"  load averages", fmt::format("{} before, {} after", m.load_before, m.load_after)},
      {"  clock tick", m.clock_tick > 0 && std::isfinite(m.clock_tick)
                           ? fmt::format("{:.3g} s", m.clock_tick)
                           : "unknown"},
      {"  bench_random", fmt::format("{} ({})", known(c.random.path), c.random.compiler)},
      {"  bench_fixed", fmt::format("{} ({})", known(c.fixed.path), c.fixed.compiler)},
  });
  return out;
}

nlohmann::json to_json(const Comparison& c) {
  using nlohmann::json;

  json tests = json::array();
  for (const TestResult& t : c.tests) {
    tests.push_back({
        {"name", t.name},
        {"random", {{"median", number(t.random.median)}, {"mad", number(t.random.mad)}}},
        {"fixed", {{"median", number(t.fixed.median)}, {"mad", number(t.fixed.mad)}}},
        {"difference",
         {{"median", number(t.difference)},
          {"low", t.interval ? number(t.interval->low) : json(nullptr)},
          {"high", t.interval ? number(t.interval->high) : json(nullptr)},
          {"confidence", kConfidence}}},
        {"ratio", number(t.ratio)},
        {"ns_per_execution", number(t.ns_per_execution)},
    });
  }

  const MachineRecord& m = c.machine;
  json baseline = nullptr;
  if (c.baseline) {
    json verdicts = json::array();
    for (const BaselineVerdict& v : c.baseline->verdicts) {
      verdicts.push_back({{"test", v.test},
                          {"series", v.series},
                          {"ratio", number(v.ratio)},
                          {"p_value", number(v.p_value)},
                          {"verdict", v.verdict}});
    }
    baseline = {{"path", c.baseline->path}, {"notes", c.baseline->notes}, {"verdicts", verdicts}};
  }

  return {
      {"tool", {{"name", "bench_compare"}, {"version", c.version}}},
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
        {"baseline", "two-sided Mann-Whitney U test of each series against the baseline's rounds"},
        {"usage",
         "each run's wall time, and its processor time, context switches, page faults and peak "
         "memory as the kernel reports them when it is reaped; runqueue_wait_s is the time it "
         "sat runnable waiting for a processor (null where the kernel does not tell)"},
        {"seed", c.seed ? json(*c.seed) : json(nullptr)},
        {"confidence", kConfidence},
        {"alpha", kAlpha},
        {"executions_per_test", kExecutions},
        {"units", "seconds"}}},
      {"rounds", rounds_json(c.rounds)},
      {"warmup", rounds_json(c.warmup)},
      {"tests", tests},
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
  };
}

std::string to_csv(const Comparison& c) {
  std::string out = "round,block,first,program,position,test,seconds" + usage_csv_header() + "\n";
  for (const Round& r : c.rounds) {
    const Side second = r.first == Side::Random ? Side::Fixed : Side::Random;
    int position = 0;
    for (Side side : {r.first, second}) {
      ++position;
      const Times& times = side == Side::Random ? r.random : r.fixed;
      const std::string usage = usage_csv(side == Side::Random ? r.random_usage : r.fixed_usage);
      for (int t = 0; t < kTests; ++t) {
        const double s = times.at(t);
        out += fmt::format("{},{},{},{},{},{},{}{}\n", r.index, (r.index + 1) / 2,
                           side_name(r.first), side_name(side), position, kTestNames.at(t),
                           std::isfinite(s) ? fmt::format("{:.9g}", s) : "", usage);
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
  out += fmt::format("\n{}\n", kMeaning);
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += fmt::format("- {}\n", line);
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
  MachineRecord& r = base.machine;
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

  const nlohmann::json& programs = part(j, "programs");
  for (Side side : {Side::Random, Side::Fixed}) {
    const nlohmann::json& p = part(programs, side_name(side));
    ProgramRecord& record = side == Side::Random ? base.random : base.fixed;
    std::string program_path = text_field(p, "path");
    record.path = program_path == "unknown" ? "" : program_path;
    record.compiler = text_field(p, "compiler");
  }
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

// A gnuplot single-quoted string: nothing is special in it but the quote.
std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char ch : s) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
}

std::string data_value(double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : "NaN"; }

}  // namespace

std::string plot_data(const Comparison& c) {
  std::string out = "# round";
  for (const char* series : {"random", "fixed", "difference"}) {
    for (const char* test : kTestNames) out += fmt::format(" {}_{}", series, test);
  }
  out += "\n";
  for (const Round& r : c.rounds) {
    out += std::to_string(r.index);
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.random.at(t));
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.fixed.at(t));
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.random.at(t) - r.fixed.at(t));
    out += "\n";
  }
  return out;
}

std::string gnuplot_script(const Comparison& c, const std::string& data_path,
                           const std::string& svg_path) {
  int last = 1;
  for (const Round& r : c.rounds) last = std::max(last, r.index);
  std::string s;
  s += "set terminal svg size 1100,1200 dynamic noenhanced font 'sans,11' background '#ffffff'\n";
  s += fmt::format("set output {}\n", quoted(svg_path));
  s += "set datafile missing 'NaN'\n";
  s += fmt::format("set multiplot layout 3,2 title {}\n",
                   quoted(fmt::format("bench_compare {}: {}", c.version,
                                      plural(c.rounds.size(), "round", "rounds"))));
  s += fmt::format("set xrange [0.5:{}.5]\n", last);
  s += "set xlabel 'round'\nset ylabel 'seconds'\nset grid\nset key below horizontal\n";
  const std::string data = quoted(data_path);
  for (int t = 0; t < kTests; ++t) {
    const std::string name = kTestNames.at(t);
    s += fmt::format("set title {}\n", quoted(name + ": each round's time"));
    s += "set logscale y\n";
    s += fmt::format(
        "plot {} using 1:{} with points pt 7 ps 0.6 title 'bench_random', "
        "'' using 1:{} with points pt 5 ps 0.6 title 'bench_fixed'\n",
        data, 2 + t, 2 + kTests + t);
    s += "unset logscale y\n";
    s += fmt::format("set title {}\n", quoted(name + ": random - fixed per round"));
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

// The line of gnuplot's complaint that says what went wrong: the one naming
// the script's line, else the first that is not blank.
std::string complaint(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::string first;
  while (std::getline(in, line)) {
    if (line.find("\" line ") != std::string::npos) return line;
    if (first.empty() && line.find_first_not_of(" \t\r^") != std::string::npos) first = line;
  }
  return first.empty() ? "no message" : first;
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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string arg0 = gnuplot;
  std::string arg1 = script;
  std::vector<char*> argv = {arg0.data(), arg1.data(), nullptr};
  // bench_compare ignores SIGPIPE for itself; gnuplot gets the usual signals.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, gnuplot.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == ENOENT) {
    throw std::runtime_error(
        gnuplot == "gnuplot"
            ? std::string(
                  "cannot draw the chart: gnuplot is not installed (Debian package gnuplot-nox)")
            : fmt::format("cannot draw the chart: gnuplot is not installed (Debian package "
                          "gnuplot-nox): no command {}",
                          gnuplot));
  }
  if (spawned != 0) {
    throw std::runtime_error(
        fmt::format("cannot draw the chart: cannot run {}: {}", gnuplot, std::strerror(spawned)));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      throw std::runtime_error(
          fmt::format("cannot draw the chart: lost {}: {}", gnuplot, std::strerror(errno)));
    }
  }
  if (WIFSIGNALED(status)) {
    throw std::runtime_error(fmt::format("cannot draw the chart: {} was killed by signal {}",
                                         gnuplot, WTERMSIG(status)));
  }
  if (WEXITSTATUS(status) != 0) {
    throw std::runtime_error(
        fmt::format("cannot draw the chart: {} failed: {}", gnuplot, complaint(err)));
  }
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
