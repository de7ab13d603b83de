#include "compare/report/report.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "compare/history/baseline.h"
#include "compare/render/table.h"
#include "compare/report/tables.h"

namespace compare {
namespace {

namespace fs = std::filesystem;

// What the kernel might say of a run.
Usage usage(double wall, std::optional<double> waited) {
  return {wall, wall / 2, 0.125, 3, 1, 200, 0, 4096, waited};
}

// Two rounds in both orders, only the second with its runs' usage; the
// results are set by hand, not computed.
Comparison sample() {
  Comparison c;
  c.version = "9.8.7";
  c.builds.resize(1);
  Build& b = c.builds.front();
  b.sessions.resize(1);
  b.sessions.front().rounds = {
      {1, Side::Random, {0.5, 0.25, 1.125}, {0.125, 0.0625, 0.5}, 1, {}, {}},
      {2,
       Side::Fixed,
       {0.75, 0.375, 1.25},
       {0.25, 0.125, 0.625},
       1,
       usage(2.5, 0.5),
       usage(1, std::nullopt)}};
  b.tests = {
      {"Integer", {0.5, 0.0125}, {0.125, 0.0025}, 0.375, Interval{0.3, 0.4}, 4, 375},
      {"Float", {0.25, 0.001}, {0.0625, 0.0005}, 0.1875, std::nullopt, 4, 187.5},
      {"DNA",
       {1.125, 0.02},
       {0.5, 0.01},
       0.625,
       Interval{0.5, 0.75},
       std::numeric_limits<double>::infinity(),
       std::numeric_limits<double>::quiet_NaN()},
  };
  c.machine.cpu_model = "Test CPU 3000";
  c.machine.kernel = "6.1.0-test";
  c.machine.architecture = "x86_64";
  b.random = {"/opt/bench_random", "GCC: 12.2.0", "x86_64"};
  b.fixed = {"/opt/bench_fixed", "clang 14", "x86_64"};
  c.warnings = {"the load average rose from 0.1 to 2.5"};
  c.stopped = "interrupted";
  return c;
}

std::string private_dir() {
  std::string pattern = ::testing::TempDir() + "report_test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

std::string read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

Verdict verdict(const char* test, const char* series, double ratio, double p, VerdictKind said) {
  Verdict v;
  v.test = test;
  v.series = std::string(series) == "random"  ? Series::Random
             : std::string(series) == "fixed" ? Series::Fixed
                                              : Series::Difference;
  v.result.ratio = ratio;
  v.result.p = p;
  v.verdict = said;
  return v;
}

std::string baseline_error(const std::string& path) {
  try {
    read_baseline(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(ReportJson, HoldsEveryPartWithNullWhereThereIsNoNumber) {
  Comparison c = sample();
  nlohmann::json j = to_json(c);
  for (const char* key : {"tool", "method", "rounds", "tests", "machine", "programs", "warnings",
                          "complete", "stopped", "baseline"}) {
    EXPECT_TRUE(j.contains(key)) << key;
  }
  EXPECT_EQ(j["tool"], (nlohmann::json{{"name", "bench_compare"}, {"version", "9.8.7"}}));
  EXPECT_EQ(j["method"]["units"], "seconds");
  const nlohmann::json used = {{"wall_s", 1.0},
                               {"user_s", 0.5},
                               {"system_s", 0.125},
                               {"involuntary_switches", 3},
                               {"voluntary_switches", 1},
                               {"minor_faults", 200},
                               {"major_faults", 0},
                               {"max_rss_kib", 4096},
                               {"runqueue_wait_s", nullptr}};
  EXPECT_EQ(j["rounds"][1],
            (nlohmann::json{
                {"index", 2},
                {"session", 1},
                {"first", "fixed"},
                {"random", {0.75, 0.375, 1.25}},
                {"fixed", {0.25, 0.125, 0.625}},
                {"usage", {{"random", j["rounds"][1]["usage"]["random"]}, {"fixed", used}}}}));
  EXPECT_EQ(j["rounds"][1]["usage"]["random"]["runqueue_wait_s"], 0.5);
  EXPECT_EQ(j["rounds"][0]["usage"], (nlohmann::json{{"random", nullptr}, {"fixed", nullptr}}));
  EXPECT_EQ(j["tests"][0]["difference"],
            (nlohmann::json{{"median", 0.375}, {"low", 0.3}, {"high", 0.4}, {"confidence", 0.95}}));
  EXPECT_EQ(j["tests"][0]["random"], (nlohmann::json{{"median", 0.5}, {"mad", 0.0125}}));
  EXPECT_TRUE(j["tests"][1]["difference"]["low"].is_null());
  EXPECT_TRUE(j["tests"][1]["difference"]["high"].is_null());
  EXPECT_TRUE(j["tests"][2]["ratio"].is_null());
  EXPECT_TRUE(j["tests"][2]["ns_per_execution"].is_null());
  EXPECT_TRUE(j["machine"]["clock_tick"].is_null());
  EXPECT_EQ(j["machine"]["cpu_model"], "Test CPU 3000");
  EXPECT_EQ(j["machine"]["architecture"], "x86_64");
  EXPECT_EQ(j["machine"].size(), 13U);
  EXPECT_EQ(j["programs"]["fixed"], (nlohmann::json{{"path", "/opt/bench_fixed"},
                                                    {"compiler", "clang 14"},
                                                    {"architecture", "x86_64"}}));
  EXPECT_EQ(j["complete"], false);
  EXPECT_EQ(j["stopped"], "interrupted");
  EXPECT_TRUE(j["baseline"].is_null());

  c.stopped.clear();
  c.machine.clock_tick = 1e-9;
  c.baseline = BaselineComparison{
      "old.json", {"note"}, {verdict("DNA", "fixed", 1.5, 0.01, VerdictKind::Slower)}};
  j = to_json(c);
  EXPECT_EQ(j["complete"], true);
  EXPECT_TRUE(j["stopped"].is_null());
  EXPECT_EQ(j["machine"]["clock_tick"], 1e-9);
  // A baseline's verdicts are written as every other comparison's.
  EXPECT_EQ(j["baseline"]["verdicts"][0],
            (nlohmann::json{{"entry", ""},
                            {"test", "DNA"},
                            {"series", "fixed"},
                            {"ratio", {{"estimate", 1.5}, {"low", nullptr}, {"high", nullptr}}},
                            {"p_value", 0.01},
                            {"p_adjusted", nullptr},
                            {"method", nullptr},
                            {"df", nullptr},
                            {"compared", {{"session_medians", 0}, {"not_positive", 0}}},
                            {"detectable", nullptr},
                            {"verdict", "slower"}}));
  // Valid JSON once written: it parses back to the same document.
  EXPECT_EQ(nlohmann::json::parse(j.dump()), j);
}

TEST(ReportBaseline, ReadsBackWhatToJsonWrote) {
  const std::string dir = private_dir();
  const std::string path = dir + "/run.json";
  Comparison c = sample();
  c.version = "1.0.0";  // a version this one reads
  write(path, to_json(c).dump(2));
  Baseline base = read_baseline(path);
  const std::vector<Round> rounds = rounds_of(pair_of(c));
  ASSERT_EQ(base.rounds.size(), rounds.size());
  for (size_t i = 0; i < rounds.size(); ++i) {
    EXPECT_EQ(base.rounds[i].index, rounds[i].index);
    EXPECT_EQ(base.rounds[i].first, rounds[i].first);
    EXPECT_EQ(base.rounds[i].random, rounds[i].random);
    EXPECT_EQ(base.rounds[i].fixed, rounds[i].fixed);
  }
  EXPECT_EQ(base.machine.cpu_model, "Test CPU 3000");
  EXPECT_EQ(base.random.compiler, "GCC: 12.2.0");
  EXPECT_EQ(base.fixed.path, "/opt/bench_fixed");
  EXPECT_EQ(base.machine.architecture, "x86_64");
  EXPECT_EQ(base.random.architecture, "x86_64");

  // An export made before architectures were recorded still reads, as
  // unknown, which is no evidence of another architecture.
  nlohmann::json old = to_json(c);
  old["machine"].erase("architecture");
  for (const char* side : {"random", "fixed"}) old["programs"][side].erase("architecture");
  write(path, old.dump(2));
  base = read_baseline(path);
  EXPECT_FALSE(base.machine.architecture);
  EXPECT_FALSE(base.fixed.architecture);
  EXPECT_EQ(base.fixed.compiler, "clang 14");
  c.machine.architecture = "aarch64";
  c.builds.front().random.architecture = c.builds.front().fixed.architecture = "aarch64";
  EXPECT_TRUE(baseline_notes(c, base).empty());
  fs::remove_all(dir);
}

TEST(ReportBaseline, RefusesWhatIsNotARecordOfRounds) {
  const std::string dir = private_dir();
  EXPECT_EQ(baseline_error(dir + "/missing.json"),
            "the baseline " + dir + "/missing.json cannot be read: No such file or directory");
  write(dir + "/text.json", "rounds: 3\n");
  EXPECT_NE(baseline_error(dir + "/text.json").find(dir + "/text.json is not JSON"),
            std::string::npos);
  write(dir + "/empty.json", "");
  EXPECT_NE(baseline_error(dir + "/empty.json").find("is not JSON"), std::string::npos);
  write(dir + "/none.json", R"({"tool": {"name": "bench_compare", "version": "1.0.0"}})");
  EXPECT_EQ(baseline_error(dir + "/none.json"), "the baseline " + dir + "/none.json has no rounds");
  write(dir + "/bad.json",
        R"({"tool": {"name": "bench_compare", "version": "1.0.0"},
            "rounds": [{"index": 1, "first": "random", "random": [1, 2, 3], "fixed": [1, 2, 3]},
                       {"index": 2, "first": "random", "random": [1, 2], "fixed": [1, 2, 3]}]})");
  const std::string bad = baseline_error(dir + "/bad.json");
  EXPECT_NE(bad.find("malformed round (number 2"), std::string::npos) << bad;
  EXPECT_NE(bad.find("'random'"), std::string::npos) << bad;
  write(dir + "/negative.json",
        R"({"tool": {"name": "bench_compare", "version": "1.0.0"},
          "rounds": [{"index": 1, "first": "fixed", "random": [1, 2, 3], "fixed": [1, -2, 3]}]})");
  EXPECT_NE(baseline_error(dir + "/negative.json").find("malformed round"), std::string::npos);
  EXPECT_NE(baseline_error(dir).find("it is a directory"), std::string::npos);
  // The checks a merge makes, a baseline makes too: one reader serves both.
  write(dir + "/other.json", R"({"rounds": [{"index": 1}]})");
  EXPECT_EQ(baseline_error(dir + "/other.json"),
            "the baseline " + dir + "/other.json is not a bench_compare export");
  write(dir + "/later.json", R"({"tool": {"name": "bench_compare", "version": "2.0.0"}})");
  EXPECT_NE(baseline_error(dir + "/later.json").find("bench_compare 2.0.0, which this version"),
            std::string::npos);
  // A later format of the export, or one that is no format at all.
  for (const char* format : {"3", "0", "\"2\"", "2.5"}) {
    nlohmann::json j = to_json(sample());
    j["tool"]["version"] = "1.0.0";
    j["format"] = nlohmann::json::parse(format);
    write(dir + "/format.json", j.dump());
    EXPECT_NE(baseline_error(dir + "/format.json")
                  .find("which this version cannot read (it reads formats 1 to 2)"),
              std::string::npos)
        << format;
  }
  fs::remove_all(dir);
}

TEST(ReportBaseline, NotesOnlyWhatDiffers) {
  Comparison now = sample();
  Baseline base{rounds_of(pair_of(now)), now.machine, pair_of(now).random, pair_of(now).fixed};
  EXPECT_TRUE(baseline_notes(now, base).empty());

  base.machine.cpu_model = "Old CPU 100";
  base.fixed.compiler = "GCC: 10.2.1";
  EXPECT_EQ(baseline_notes(now, base),
            (std::vector<std::string>{
                "The baseline's processor was Old CPU 100 (now Test CPU 3000).",
                "The baseline's bench_fixed compiler was GCC: 10.2.1 (now clang 14)."}));

  // A kernel that could not be read is no evidence of another kernel.
  base = Baseline{rounds_of(pair_of(now)), now.machine, pair_of(now).random, pair_of(now).fixed};
  base.machine.kernel.reset();
  EXPECT_TRUE(baseline_notes(now, base).empty());

  // AArch64 programs: emulated on this machine, then on an AArch64 machine.
  base = Baseline{rounds_of(pair_of(now)), now.machine, pair_of(now).random, pair_of(now).fixed};
  base.random.architecture = "aarch64";
  base.fixed.architecture.reset();  // an unread one does not hide the other
  const std::string programs =
      "The baseline's program architecture was aarch64 (now x86_64); times from different "
      "architectures are not comparable.";
  EXPECT_EQ(baseline_notes(now, base), std::vector<std::string>{programs});
  base.machine.architecture = "aarch64";
  EXPECT_EQ(baseline_notes(now, base),
            (std::vector<std::string>{
                programs,
                "The baseline's machine architecture was aarch64 (now x86_64); times from "
                "different architectures are not comparable."}));
}

TEST(ReportExports, CsvHasOneRowPerRunAndTestInRunOrder) {
  const std::string csv = to_csv(sample());
  std::istringstream in(csv);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1U + 2 * 2 * 3);
  EXPECT_EQ(lines[0],
            "round,block,first,program,position,test,seconds,session,wall_s,user_s,system_s,"
            "involuntary_switches,voluntary_switches,minor_faults,major_faults,max_rss_kib,"
            "runqueue_wait_s");
  EXPECT_EQ(lines[6], "1,1,random,fixed,2,DNA,0.5,1,,,,,,,,,");
  EXPECT_EQ(lines[8], "2,1,fixed,fixed,1,Float,0.125,1,1,0.5,0.125,3,1,200,0,4096,");
  EXPECT_EQ(lines[12], "2,1,fixed,random,2,DNA,1.25,1,2.5,1.25,0.125,3,1,200,0,4096,0.5");
}

TEST(ReportExports, MarkdownTableHasARowPerTest) {
  const std::string md = to_markdown(sample());
  EXPECT_NE(
      md.find("| Integer | 0.5 ± 0.0125 | 0.125 ± 0.0025 | 0.375 \\[0.3, 0.4\\] | 375 | 4x |\n"),
      std::string::npos)
      << md;
  EXPECT_NE(md.find("| Float | 0.25 ± 0.001 | 0.0625 ± 0.0005 | 0.1875, no interval (fewer than 6 "
                    "rounds) | 187.5 | 4x |\n"),
            std::string::npos)
      << md;
  EXPECT_NE(md.find("| DNA | 1.125 ± 0.02 | 0.5 ± 0.01 | 0.625 \\[0.5, 0.75\\] | n/a | n/a |\n"),
            std::string::npos)
      << md;
  EXPECT_NE(md.find("the sign test, which assumes nothing"), std::string::npos);
  EXPECT_NE(md.find("- the load average rose from 0.1 to 2.5\n"), std::string::npos);
  EXPECT_NE(md.find("\n- bench_random, figures of 1 run: processor 1.375 s (user 1.25 s, system "
                    "0.125 s) of 2.5 s wall (55.0%), 0.5 s waiting"),
            std::string::npos)
      << md;
}

TEST(ReportText, ShowsTheFiguresTheirMeaningAndTheRecord) {
  Comparison c = sample();
  c.baseline =
      BaselineComparison{"old.json",
                         {"The baseline ran under another kernel: 5.10 (now 6.1.0-test)."},
                         {verdict("Integer", "difference", 0.8, 0.0123, VerdictKind::Faster)}};
  const std::string text = text_report(c);
  for (const char* part :
       {"bench_compare 9.8.7: 2 counted rounds, run in blocks of two in random order",
        "0.5 ± 0.0125",
        "0.125 ± 0.0025",
        "0.375 [0.3, 0.4]",
        "375",
        "4x",
        "0.1875, no interval (fewer than 6 rounds)",
        "187.5",
        "± is the median absolute deviation of a program's times over the rounds;",
        "Compared with the baseline old.json (",
        "  The baseline ran under another kernel: 5.10 (now 6.1.0-test).\n",
        "0.8x",
        "0.0123",
        "faster",
        "\nwarning: the load average rose from 0.1 to 2.5\n",
        "stopped early (interrupted); the figures cover only the 2 rounds completed",
        "Test CPU 3000",
        "6.1.0-test",
        "\n  architecture   x86_64\n",
        "/opt/bench_random (x86_64, GCC: 12.2.0)",
        "/opt/bench_fixed (x86_64, clang 14)"}) {
    EXPECT_NE(text.find(part), std::string::npos) << "missing: " << part << "\n" << text;
  }
  // The usage line wraps to fit the terminal: its words as they were.
  const std::string joined = std::regex_replace(text, std::regex("\n  "), " ");
  EXPECT_NE(joined.find("\nbench_fixed, figures of 1 run: processor 0.625 s (user 0.5 s, system "
                        "0.125 s) of 1 s wall (62.5%), waiting time unknown, 3 involuntary "
                        "switches, 200 page faults (0 major), peak memory 4096 KiB\n"),
            std::string::npos)
      << text;
  // The meaning comes straight under the table.
  EXPECT_NE(text.find("n/a\n± is the median"), std::string::npos) << text;
  c.stopped.clear();
  EXPECT_EQ(text_report(c).find("stopped early"), std::string::npos);
}

// Prose breaks at spaces, but never between a number and the word after it
// ("0.005193 s", "4 involuntary switches"): here the number would fit the
// first line and its unit would not, so both move to the next.
TEST(ReportText, WrappedProseKeepsANumberWithTheWordAfterIt) {
  const std::string first(89, 'w');
  EXPECT_EQ(compare::wrapped(first + " 0.005193 s wall, 4 switches"),
            first + "\n  0.005193 s wall, 4 switches\n");
  // A word that is no number fills the line as before.
  EXPECT_EQ(compare::wrapped(first + " abcdefgh s wall"), first + " abcdefgh\n  s wall\n");
  EXPECT_EQ(compare::wrapped(first + " took 1e+06"), first + " took\n  1e+06\n");
}

class ReportChart : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = private_dir();
    fs::create_directory(dir_ + "/tmp");
    const char* old = getenv("TMPDIR");
    old_tmpdir_ = old != nullptr ? old : "";
    had_tmpdir_ = old != nullptr;
    setenv("TMPDIR", (dir_ + "/tmp").c_str(), 1);
  }
  void TearDown() override {
    // Nothing of the chart's own files is left behind.
    EXPECT_TRUE(fs::is_empty(dir_ + "/tmp"));
    if (had_tmpdir_) {
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    fs::remove_all(dir_);
  }
  std::string error(const std::string& gnuplot) {
    try {
      draw_plot(sample(), dir_ + "/chart.svg", gnuplot);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "no error";
  }
  std::string dir_;
  std::string old_tmpdir_;
  bool had_tmpdir_ = false;
};

TEST_F(ReportChart, GnuplotDrawsAnSvg) {
  const std::string e = error("gnuplot");
  if (e.find("not installed") != std::string::npos) GTEST_SKIP() << "gnuplot is not installed";
  ASSERT_EQ(e, "no error");
  const std::string svg = read(dir_ + "/chart.svg");
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("Float: random - fixed per round"), std::string::npos);
}

TEST_F(ReportChart, SaysWhyThereIsNoChartAndLeavesNone) {
#if !defined(BENCH_EMULATED)
  // Under qemu-user a spawn is not told that its program is missing: the
  // emulator runs the child apart from the parent's memory, where the C
  // library leaves the child's error. The run's failure is reported instead.
  EXPECT_EQ(
      error(dir_ + "/no-such-gnuplot")
          .rfind("cannot draw the chart: gnuplot is not installed (Debian package gnuplot-nox)", 0),
      0U);
#endif
  EXPECT_EQ(error("false"), "cannot draw the chart: false failed: no message");
  EXPECT_EQ(error("true"), "cannot draw the chart: true wrote no chart");
  EXPECT_FALSE(fs::exists(dir_ + "/chart.svg"));
}

TEST(ReportChartScript, PlotsEachTestsTimesAndDifferences) {
  const Comparison c = sample();
  const std::string script = gnuplot_script(c, "/d/it's.dat", "/d/out.svg");
  EXPECT_NE(script.find("set terminal svg"), std::string::npos);
  EXPECT_NE(script.find("set output '/d/out.svg'"), std::string::npos);
  EXPECT_NE(script.find("set multiplot layout 3,2"), std::string::npos);
  // Differences are columns 8 to 10, each with its median; the interval band
  // only where there is an interval (not for Float).
  EXPECT_NE(script.find("plot '+' using 1:(0.29999999999999999):(0.40000000000000002) with "
                        "filledcurves"),
            std::string::npos);
  EXPECT_NE(script.find("'/d/it''s.dat' using 1:8 with points"), std::string::npos);
  EXPECT_NE(script.find("\nplot '/d/it''s.dat' using 1:9 with points pt 7 ps 0.6 lc 'dark-violet' "
                        "title 'difference', 0.1875 with lines lw 2 lc 'black' title 'median'\n"),
            std::string::npos)
      << script;
  EXPECT_EQ(plot_data(c).substr(plot_data(c).find('\n') + 1),
            "1 0.5 0.25 1.125 0.125 0.0625 0.5 0.375 0.1875 0.625\n"
            "2 0.75 0.375 1.25 0.25 0.125 0.625 0.5 0.25 0.625\n");
}

}  // namespace
}  // namespace compare
