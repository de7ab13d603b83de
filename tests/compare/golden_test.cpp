// Golden files: the whole output of fixed comparisons of stand-ins, in every
// format, kept under tests/compare/golden and compared byte for byte, so that
// a change to any report shows every line it changes. What differs from run
// to run (the scratch path, dates, the machine, each run's usage and the
// warnings drawn from those) is normalised first. Run with
// BENCH_GOLDEN_UPDATE=1 to write the files anew, then read their diff.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "standins.h"

namespace {

using namespace standins;

// Warnings about the machine's state or about other work on it: they follow
// the machine's load, not the stand-ins.
const std::regex kMachineWarning(
    "Other work took the processor|load average|frequency governor|Turbo boost");

std::string replaced(const std::string& text, const char* pattern, const char* with) {
  return std::regex_replace(text, std::regex(pattern), with);
}

// A warning dropped goes with the lines it wraps onto in the text report.
std::string without_machine_warning_lines(const std::string& text) {
  std::string out;
  bool dropped = false;
  for (const std::string& line : support::lines_of(text)) {
    const bool warning =
        line.rfind("warning: ", 0) == 0 || line.rfind("- ", 0) == 0 || line.rfind("<li>", 0) == 0;
    if (warning) dropped = std::regex_search(line, kMachineWarning);
    if (!warning && line.rfind("  ", 0) != 0) dropped = false;
    if (!dropped) out += line + "\n";
  }
  return out;
}

// What every format shares: the scratch directory, dates, the per-run usage.
std::string normalised(std::string text, const std::string& dir) {
  for (std::size_t at = text.find(dir); at != std::string::npos; at = text.find(dir, at)) {
    text.replace(at, dir.size(), "<DIR>");
  }
  text = replaced(text, R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)", "<DATE>");
  // A compiled stand-in names the compilers that built it: GCC's, and Clang's too in a Clang
  // build, which the text report may wrap onto a line of its own.
  const char* const compiler =
      R"((GCC:\s+\([^)]*\)\s+[0-9.]+|(Debian\s+)?clang\s+version\s+[0-9.]+))";
  text = replaced(text, fmt::format("{}(;\\s+{})*", compiler, compiler).c_str(), "<compiler>");
  text = replaced(text, R"(\d{4}-\d\d-\d\d \d\d:\d\d)", "<DATE>");
  text = replaced(
      text, R"((bench_random|bench_fixed), (medians|figures) of \d+ runs?: [^<\n]*(\n  [^<\n]*)*)",
      "$1: <usage>");
  // The record's rows of the machine, in the text report and on the page.
  text = replaced(
      text,
      R"((\n  (processor|architecture|logical CPUs|kernel|C library|governor|turbo|ASLR|load averages|clock tick) +)[^\n]*)",
      "$1<machine>");
  text = replaced(
      text,
      R"((<td>(processor|architecture|logical CPUs|kernel|C library|governor|turbo|ASLR|load averages|clock tick)</td><td>)[^<]*)",
      "$1<machine>");
  text = without_machine_warning_lines(text);
  // A list left empty by those warnings' going is no list at all.
  text = replaced(text, R"(<h2>Warnings</h2>\n<ul class="warnings">\n</ul>\n)", "");
  text = replaced(text, R"(\n\n\nRecord:)", "\n\nRecord:");
  return replaced(text, R"(\n\nWarnings:\n\n$)", "\n");
}

json normalised_json(json j) {
  for (auto& [key, value] : j["machine"].items()) value = "<machine>";
  auto no_usage = [](json& rounds) {
    for (json& round : rounds) {
      if (!round.contains("builds")) {
        round["usage"] = nullptr;
        continue;
      }
      for (auto& [label, build] : round["builds"].items()) build["usage"] = nullptr;
    }
  };
  no_usage(j["rounds"]);
  no_usage(j["warmup"]);
  for (json& session : j["sessions"]) {
    if (session.contains("rounds")) no_usage(session["rounds"]);  // an export of format 1
  }
  for (const char* key : {"warnings", "warnings_summarised"}) {
    if (!j.contains(key)) continue;
    json kept = json::array();
    for (const json& w : j[key]) {
      if (!std::regex_search(w.get<std::string>(), kMachineWarning)) kept.push_back(w);
    }
    j[key] = kept;
  }
  return j;
}

// The run's own columns; the usage columns after them follow the machine.
std::string csv_without_usage(const std::string& csv, int columns) {
  std::string out;
  for (const std::string& line : support::lines_of(csv)) {
    std::size_t at = 0;
    for (int column = 0; column < columns && at != std::string::npos; ++column) {
      at = line.find(',', at + (column == 0 ? 0 : 1));
    }
    out += line.substr(0, at) + "\n";
  }
  return out;
}

// What is run: the stand-in pair, a pair or builds named in the arguments, or
// a merge.
enum class Kind { Pair, Programs, Builds, Merge };

class Golden {
 public:
  explicit Golden(const StandIns& s) : s_(s) {}

  // Runs bench_compare with every export into NAME.*, and normalises each.
  void run(const std::string& name, std::vector<std::string> args, Kind kind = Kind::Pair) {
    const bool merge = kind == Kind::Merge;
    for (const char* ext : {"json", "csv", "md", "html"}) {
      const std::string option = std::string(ext) == "md" ? "markdown" : ext;
      if (merge && option == "csv") continue;
      args.insert(args.end(), {"--" + option, s_.file(name + "." + ext)});
    }
    if (merge) args.emplace_back("--csv"), args.push_back(s_.file(name + ".csv"));
    const support::RunResult result = kind == Kind::Pair ? s_.compare(args) : run_alone(args);
    ASSERT_EQ(result.status, 0) << result.err;
    std::string dir = s_.file("");
    dir.pop_back();  // the trailing slash
    check(name + ".txt", normalised(result.out, dir));
    const json j = json::parse(support::read_file(s_.file(name + ".json")));
    const std::string exported = merge ? j.dump(2) : normalised_json(j).dump(2);
    if (!merge) support::write_file(s_.file(name + ".normal.json"), exported);
    check(name + ".json", normalised(exported + "\n", dir));
    const std::string csv = support::read_file(s_.file(name + ".csv"));
    const int columns = kind == Kind::Builds ? 9 : 8;  // the run's own, before its usage
    check(name + ".csv", normalised(merge ? csv : csv_without_usage(csv, columns), dir));
    check(name + ".md", normalised(support::read_file(s_.file(name + ".md")), dir));
    check(name + ".html", normalised(support::read_file(s_.file(name + ".html")), dir));
  }

 private:
  support::RunResult run_alone(const std::vector<std::string>& args) const {
    support::RunOptions options{s_.file("")};
    options.args = args;
    options.env = {"TMPDIR=" + s_.tmp(), "STANDIN_STATE=" + s_.file("")};
    return support::run(BENCH_COMPARE, options);
  }

  static void check(const std::string& name, const std::string& actual) {
    const std::string path = std::string(GOLDEN_DIR) + "/" + name;
    if (std::getenv("BENCH_GOLDEN_UPDATE") != nullptr) {
      support::write_file(path, actual);
      return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is missing";
    const std::vector<std::string> want = support::lines_of(support::read_file(path));
    const std::vector<std::string> got = support::lines_of(actual);
    for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
      const std::string w = i < want.size() ? want[i] : "<end>";
      const std::string g = i < got.size() ? got[i] : "<end>";
      ASSERT_EQ(g, w) << name << " line " << i + 1 << " differs";
    }
    EXPECT_EQ(actual, support::read_file(path)) << name;
  }

  const StandIns& s_;
};

TEST(Golden, ComparisonsBaselineAndMergeInEveryFormat) {
  StandIns s;
  s.plan(20);
  Golden golden(s);
  golden.run("one-session", {"--seed", "7", "--label", "one"});
  golden.run("three-sessions", {"--seed", "7", "--rounds", "8", "--sessions", "3", "--pause", "0",
                                "--label", "three"});
  golden.run("baseline", {"--seed", "9", "--rounds", "8", "--sessions", "3", "--pause", "0",
                          "--label", "again", "--baseline", s.file("three-sessions.json")});
  golden.run("merge",
             {"--merge", s.file("one-session.normal.json"), s.file("three-sessions.normal.json"),
              s.file("baseline.normal.json"), "--reference", "three"},
             Kind::Merge);
}

// LABEL=RANDOM,FIXED of stand-ins with the plan's times, bench_random's
// times `by` times as long.
std::string planned_build(const StandIns& s, const std::string& label, double by) {
  std::string paths;
  for (const bool random : {true, false}) {
    const std::string role = label + (random ? "_random" : "_fixed");
    const std::string script = replace_all(kScript, "ROLE", role);
    support::write_file(s.file(role), replace_all(script, "FILE",
                                                  random ? "results_complex_32.txt"
                                                         : "results_complex_contrast_32.txt"));
    chmod(s.file(role).c_str(), 0755);
    std::string lines;
    for (int r = 1; r <= 20; ++r) {
      for (int t = 0; t < 3; ++t) {
        const double a = position(r);
        const double time =
            random ? (kRandomBase[t] + 2 * kUnit * a) * by : kFixedBase[t] + kUnit * a;
        lines += fmt::format("{}{:.9g}", t ? " " : "", time);
      }
      lines += "\n";
    }
    support::write_file(s.file(role + ".times"), lines);
    paths += (random ? "" : ",") + s.file(role);
  }
  return label + "=" + paths;
}

TEST(Golden, TwoBuildsInEveryFormat) {
  StandIns s;
  Golden golden(s);
  golden.run("builds",
             {"--build", planned_build(s, "ref", 1), "--build", planned_build(s, "slow", 1.02),
              "--seed", "7", "--rounds", "12", "--warmup", "0"},
             Kind::Builds);
}

}  // namespace

namespace {

TEST(Golden, CountersOfOnePairInEveryFormat) {
  StandIns s;
  std::vector<std::string> args = {"--counters", "--probe", FAKE_PROBE_DIR "/libbench_probe.so"};
  const double times[2][3] = {{0.1, 0.05, 0.014}, {0.005, 0.01, 0.001}};
  for (const int role : {0, 1}) {
    const std::string name = role == 0 ? "random" : "fixed";
    const std::string program = s.file("counted_" + name);
    std::filesystem::create_symlink(COUNTED_STANDIN, program);
    support::write_file(program + ".conf", fmt::format("{} {} {} {}\n", name, times[role][0],
                                                       times[role][1], times[role][2]));
    args.insert(args.end(), {"--" + name, program});
  }
  args.insert(args.end(), {"--seed", "7", "--rounds", "6", "--warmup", "0"});
  Golden(s).run("counters", args, Kind::Programs);
}

}  // namespace
