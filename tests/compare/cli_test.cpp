// bench_compare end to end: stand-in programs (shell scripts that write the
// pair's documents with chosen times) make every figure of the report and the
// JSON known in advance; the failures are provoked the same way.
#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "standins.h"

namespace {

using namespace standins;

TEST(Compare, EveryFigureFollowsFromTheDocuments) {
  StandIns s;
  s.plan(20);
  const support::RunResult run =
      s.compare({"--json", s.file("out.json"), "--csv", s.file("out.csv"), "--markdown",
                 s.file("out.md"), "--seed", "7"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no progress display without a terminal
  EXPECT_TRUE(s.tmp_is_empty());

  const json j = s.read_json("out.json");
  ASSERT_EQ(j["rounds"].size(), 20U);
  // Blocks of two in opposite orders, matching the order the runs happened in.
  std::string order = s.state("order");
  EXPECT_EQ(order.substr(0, 13), "random\nfixed\n");  // the warm-up round
  order = order.substr(13);
  for (int r = 1; r <= 20; ++r) {
    const json& round = j["rounds"][r - 1];
    EXPECT_EQ(round["index"], r);
    const std::string first = round["first"];
    const std::string second = first == "random" ? "fixed" : "random";
    EXPECT_EQ(order.substr(0, first.size() + second.size() + 2),
              fmt::format("{}\n{}\n", first, second));
    order = order.substr(first.size() + second.size() + 2);
    if (r % 2 == 0) {
      EXPECT_NE(round["first"], j["rounds"][r - 2]["first"]) << "block " << r / 2;
    }
    for (int t = 0; t < 3; ++t) {
      EXPECT_DOUBLE_EQ(round["random"][t], kRandomBase[t] + 2 * kUnit * position(r));
      EXPECT_DOUBLE_EQ(round["fixed"][t], kFixedBase[t] + kUnit * position(r));
    }
  }
  const std::string names[3] = {"Integer", "Float", "DNA"};
  for (int t = 0; t < 3; ++t) {
    const json& test = j["tests"][t];
    const double r = kRandomBase[t], f = kFixedBase[t], u = kUnit;
    EXPECT_EQ(test["name"], names[t]);
    EXPECT_NEAR(test["random"]["median"], r + 19 * u, 1e-12);
    EXPECT_NEAR(test["random"]["mad"], 10 * u, 1e-12);
    EXPECT_NEAR(test["fixed"]["median"], f + 9.5 * u, 1e-12);
    EXPECT_NEAR(test["fixed"]["mad"], 5 * u, 1e-12);
    EXPECT_NEAR(test["difference"]["median"], r - f + 9.5 * u, 1e-12);
    EXPECT_NEAR(test["difference"]["low"], r - f + 5 * u, 1e-12);
    EXPECT_NEAR(test["difference"]["high"], r - f + 14 * u, 1e-12);
    EXPECT_EQ(test["difference"]["confidence"], 0.95);
    EXPECT_NEAR(test["ratio"], (r + 19 * u) / (f + 9.5 * u), 1e-9);
    EXPECT_NEAR(test["ns_per_execution"], (r - f + 9.5 * u) * 1e3, 1e-6);
  }
  const std::string warnings = j["warnings"].dump();
  // MAD / median: fixed 8.4%, 4.6%, 25.6%; random 0.98%, 1.9%, 6.3%.
  for (const char* varies : {"bench_fixed's Integer", "bench_fixed's DNA", "bench_random's DNA"}) {
    EXPECT_NE(warnings.find(varies), std::string::npos) << warnings;
  }
  for (const char* steady :
       {"bench_fixed's Float", "bench_random's Integer", "bench_random's Float"}) {
    EXPECT_EQ(warnings.find(steady), std::string::npos) << warnings;
  }
  EXPECT_EQ(j["programs"]["random"]["path"], s.path("random"));
  EXPECT_EQ(j["programs"]["fixed"]["compiler"], "unknown");  // a script

  // The console shows the same figures: medians, intervals, ns per execution.
  for (const char* figure : {"0.1019", "0.00595", "0.09595", "0.0955", "0.0964", "95.95", "0.04095",
                             "0.0405", "0.0414", "0.01395", "0.0135", "0.0144"}) {
    EXPECT_NE(run.out.find(figure), std::string::npos) << figure << "\n" << run.out;
  }
  EXPECT_NE(run.out.find("95%"), std::string::npos);
  EXPECT_NE(run.out.find("--seed 7 repeats the order"), std::string::npos) << run.out;
  EXPECT_EQ(j["method"]["seed"], 7);
  const std::vector<std::string> csv = support::lines_of(support::read_file(s.file("out.csv")));
  EXPECT_EQ(csv.size(), 1U + 20 * 2 * 3);
  const std::string markdown = support::read_file(s.file("out.md"));
  EXPECT_NE(markdown.find("| Integer"), std::string::npos) << markdown;
  EXPECT_NE(markdown.find("0.09595"), std::string::npos) << markdown;

  // The same stand-ins against that run as a baseline: one session on each
  // side gives ratios but no verdict.
  s.plan(20);
  std::filesystem::remove(s.file("random.count"));
  std::filesystem::remove(s.file("fixed.count"));
  const support::RunResult again =
      s.compare({"--baseline", s.file("out.json"), "--json", s.file("again.json"), "--rounds", "8",
                 "--label", "again"});
  ASSERT_EQ(again.status, 0) << again.err;
  const json dated = s.read_json("again.json");
  EXPECT_EQ(dated["label"], "again");
  // ISO 8601 in UTC, and the end not before the start.
  const std::string started = dated["started_at"];
  const std::string finished = dated["finished_at"];
  EXPECT_EQ(started.size(), 20U);
  EXPECT_EQ(started[10], 'T');
  EXPECT_EQ(started.back(), 'Z');
  EXPECT_LE(started, finished);
  const json verdicts = s.read_json("again.json")["baseline"]["verdicts"];
  ASSERT_EQ(verdicts.size(), 9U);
  for (const json& v : verdicts) {
    EXPECT_EQ(v["verdict"], "too few sessions") << v.dump();
    EXPECT_NEAR(v["ratio"]["estimate"].get<double>(), 1, 0.1) << v.dump();  // 8 rounds against 20
  }
  EXPECT_NE(again.out.find("with --sessions 5"), std::string::npos) << again.out;
}

struct Trouble {
  const char* role;
  int run;  // 1 is the warm-up, 6 is round 5
  const char* behaviour;
  const char* expected;  // in the one message on standard error
  int completed;         // counted rounds before it
};

class Failures : public ::testing::TestWithParam<Trouble> {};

// Long enough for any stand-in's ordinary run on a busy machine, so that only
// a hang times out.
constexpr const char* kTimeout = "10";

TEST_P(Failures, StopTheComparisonAndKeepWhatRan) {
  const Trouble& trouble = GetParam();
  StandIns s;
  s.plan(20, trouble.role, trouble.run, trouble.behaviour);
  const support::RunResult run =
      s.compare({"--timeout", kTimeout, "--json", s.file("out.json"), "--seed", "3"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(trouble.expected), std::string::npos) << run.err;
  const std::string round =
      trouble.run == 1 ? "warm-up round 1" : "round " + std::to_string(trouble.run - 1);
  EXPECT_NE(run.err.find(" in " + round + ":"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(trouble.role), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(s.read_json("out.json")["rounds"].size(), static_cast<std::size_t>(trouble.completed));
  EXPECT_NE(run.out.find("stopped"), std::string::npos) << run.out;
  EXPECT_TRUE(s.tmp_is_empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachWay, Failures,
    ::testing::Values(
        Trouble{"fixed", 6, "exit3",
                "exited with status 3; its standard error: stand-in trouble; second line", 4},
        Trouble{"random", 6, "signal", "killed by signal 11", 4},
        Trouble{"random", 1, "hang", "longer than the timeout of 10 s", 0},
        Trouble{"fixed", 3, "short", "holds 16 lines, not the 17", 1},
        Trouble{"random", 4, "malformed", "gives no time for test 1 <Integer>", 2},
        Trouble{"fixed", 2, "disagree", "disagree on test 2 <Float>", 0},
        Trouble{"random", 3, "closed", "longer than the timeout of 10 s", 1}));

// A program that leaves a child holding its output has still ended: the run
// counts at once, not at the timeout. Relative paths name programs in the
// caller's directory, although each runs in a scratch directory.
TEST(Compare, ARunEndsWithItsProgram) {
  StandIns s;
  s.plan(2, "random", 2, "lingers");
  // The lingering child outlives the 60 s timeout: a run that waited for it
  // would time out, and one that lasted until the timeout would take twice
  // the 30 s allowed here.
  const auto start = std::chrono::steady_clock::now();
  const support::RunResult run =
      s.compare({"--random", "random", "--fixed", "fixed", "--rounds", "2", "--timeout", "60"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_TRUE(s.tmp_is_empty());
}

TEST(Compare, RefusesBeforeTheFirstRound) {
  StandIns s;
  s.plan(4);
  chmod(s.path("fixed").c_str(), 0644);
  support::RunResult run = s.compare({});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot run bench_fixed at " + s.path("fixed") + ": not executable"),
            std::string::npos)
      << run.err;
  chmod(s.path("fixed").c_str(), 0755);
  run = s.compare({"--random", s.file("nowhere")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("No such file"), std::string::npos) << run.err;
  run = s.compare({"--csv", s.file("no/such/dir.csv")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write " + s.file("no/such/dir.csv")), std::string::npos)
      << run.err;
  for (const char* chart : {"--plot", "--html"}) {
    run = s.compare({chart, s.file("chart"), "--gnuplot", s.file("no-gnuplot")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot draw the chart: gnuplot is not installed"), std::string::npos)
        << run.err;
  }
  EXPECT_EQ(s.state("order"), "");  // no program ever ran

  for (const std::vector<std::string>& usage : {std::vector<std::string>{"--rounds", "0"},
                                                {"--max-time", "5"},
                                                {"--bogus"},
                                                {"--rounds", "many"},
                                                {"--verify", "--rounds", "4"},
                                                {"--pause", "5"},
                                                {"--sessions", "0"}}) {
    run = s.compare(usage);
    EXPECT_EQ(run.status, 2) << usage[0];
    // The message and a pointer to --help, not the whole help.
    const auto lines = support::lines_of(run.err);
    ASSERT_EQ(lines.size(), 2U) << run.err;
    EXPECT_EQ(lines[1], "Run 'bench_compare --help' for the options.");
  }
}

// SIGINT from a terminal reaches the whole foreground group; sent by another
// process it may reach bench_compare alone. Either way the hung run is killed
// at once and what was completed is written.
TEST(Compare, InterruptKillsTheRunAndWritesWhatRan) {
  for (const bool alone : {false, true}) {
    StandIns s;
    s.plan(20, "fixed", 4, "hang");
    const pid_t pid = s.start({"--json", s.file("out.json")});
    // Interrupted once the third round's fixed run hangs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (s.state("sleeper").empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string sleeper = s.state("sleeper");
    ASSERT_FALSE(sleeper.empty());
    kill(alone ? pid : -pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_EQ(s.read_json("out.json")["rounds"].size(), 2U);
    // SIGKILL is delivered asynchronously: soon the sleep, which would last
    // ten minutes, is gone, or dead and waiting for init to reap it. The
    // deadline only bounds a sleep that was never killed.
    const std::string proc = "/proc/" + sleeper.substr(0, sleeper.size() - 1) + "/stat";
    std::string stat = support::read_file(proc);
    auto alive = [&] { return !stat.empty() && stat.find(") Z ") == std::string::npos; };
    const auto killed_by = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (alive() && std::chrono::steady_clock::now() < killed_by) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      stat = support::read_file(proc);
    }
    EXPECT_FALSE(alive()) << "the hung run's child is still alive: " << stat;
    EXPECT_TRUE(s.tmp_is_empty());
  }
}

TEST(Compare, PrecisionGoalAddsBlocksUntilTimeIsUp) {
  StandIns s;
  s.plan(20);
  // A 0.1% goal cannot be met by these spreads (the DNA differences keep a
  // half-width of half a unit, 0.36% of their median, however many rounds
  // run): rounds are added until time is up. The limit leaves room for a
  // block after the first six rounds even on a busy machine.
  const support::RunResult run = s.compare(
      {"--rounds", "6", "--precision", "0.1", "--max-time", "10", "--json", s.file("out.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  const json j = s.read_json("out.json");
  EXPECT_GT(j["rounds"].size(), 6U);
  EXPECT_EQ(j["rounds"].size() % 2, 0U);
  EXPECT_NE(j["warnings"].dump().find("fell short of the precision goal"), std::string::npos);
}

// A 1% goal on median differences of 0.1 s: met once the interval's
// half-width is at most 0.001 s. Every test's difference is 0.1 s plus, by
// round, -5 and +5 ms, -1.5 and +1.5 ms, then -0.5 and +0.5 ms alternately.
// The interval [d(k), d(n+1-k)] takes k = 1 at 6 and 8 rounds (half-width
// 5 ms), k = 2 at 10 (1.5 ms: still short, though within twice the goal) and
// k = 3 from 12 (0.5 ms: met). So the goal is met at exactly 12 rounds; a
// comparison already there adds no block.
TEST(Compare, PrecisionGoalStopsAtTheFirstBlockThatMeetsIt) {
  const double offsets[] = {-0.005, 0.005, -0.0015, 0.0015};
  const double fixed[3] = {0.01, 0.02, 0.005};
  for (const auto& [first, stops] : {std::pair{6, 12}, std::pair{8, 12}, std::pair{10, 12},
                                     std::pair{12, 12}, std::pair{14, 14}}) {
    StandIns s;
    std::string random_times = "9 9 9\n", fixed_times = "9 9 9\n";  // the warm-up
    for (int r = 1; r <= 16; ++r) {
      const double offset = r <= 4 ? offsets[r - 1] : (r % 2 == 1 ? -0.0005 : 0.0005);
      random_times += fmt::format("{:.10g} {:.10g} {:.10g}\n", fixed[0] + 0.1 + offset,
                                  fixed[1] + 0.1 + offset, fixed[2] + 0.1 + offset);
      fixed_times += fmt::format("{} {} {}\n", fixed[0], fixed[1], fixed[2]);
    }
    support::write_file(s.file("random.times"), random_times);
    support::write_file(s.file("fixed.times"), fixed_times);
    // The time limit is far beyond what 14 rounds take, so only the goal stops it.
    const support::RunResult run = s.compare({"--rounds", std::to_string(first), "--precision", "1",
                                              "--max-time", "60", "--json", s.file("out.json")});
    ASSERT_EQ(run.status, 0) << run.err;
    const json j = s.read_json("out.json");
    EXPECT_EQ(j["rounds"].size(), static_cast<std::size_t>(stops)) << "from " << first;
    EXPECT_EQ(j["warnings"].dump().find("precision goal"), std::string::npos) << j["warnings"];
  }
}

TEST(Compare, ShowsProgressOnlyOnATerminal) {
  StandIns s;
  s.plan(8);
  const std::string screen = s.on_terminal({"--rounds", "4"});
  EXPECT_NE(screen.find("round 4 of 4 done, about 0 s left"), std::string::npos) << screen;
  EXPECT_NE(screen.find("warm-up round 1 of 1 done"), std::string::npos) << screen;
  std::filesystem::remove(s.file("random.count"));
  std::filesystem::remove(s.file("fixed.count"));
  EXPECT_EQ(s.on_terminal({"--rounds", "4", "--quiet"}), "");
}

TEST(Compare, TheRealPair) {
  support::TempDir dir;
  support::RunOptions options{dir.path};
  options.args = {"--rounds", "2", "--warmup", "0", "--json", dir.file("out.json")};
  const support::RunResult run = support::run(BENCH_COMPARE, options);
  ASSERT_EQ(run.status, 0) << run.err;
  const json j = json::parse(support::read_file(dir.file("out.json")));
  ASSERT_EQ(j["rounds"].size(), 2U);
  // Which program ran as which shows in their paths, not in their times: on
  // a busy machine a preempted bench_fixed can take longer than bench_random.
  for (const char* role : {"random", "fixed"}) {
    const std::string path = j["programs"][role]["path"];
    EXPECT_EQ(path.substr(path.rfind('/') + 1), std::string("bench_") + role);
    const std::string compiler = j["programs"][role]["compiler"];
    EXPECT_TRUE(compiler.find("GCC") != std::string::npos ||
                compiler.find("clang") != std::string::npos)
        << compiler;
  }
  // The programs' own times, and the median of two differences their mean.
  for (int t = 0; t < 3; ++t) {
    double sum = 0;
    for (const json& round : j["rounds"]) {
      EXPECT_GT(round["random"][t].get<double>(), 0) << round.dump();
      EXPECT_GT(round["fixed"][t].get<double>(), 0) << round.dump();
      sum += round["random"][t].get<double>() - round["fixed"][t].get<double>();
    }
    EXPECT_NEAR(j["tests"][t]["difference"]["median"].get<double>(), sum / 2, 1e-12);
  }
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path)->path().filename(), "out.json");
}

namespace sessions {

// Each role's times for sessions of `rounds` rounds after one warm-up, every
// session's times those of times_line multiplied by its own factor.
void plan_sessions(const StandIns& s, int rounds, const std::vector<double>& factors) {
  for (const bool random : {true, false}) {
    std::string lines;
    for (const double factor : factors) {
      lines += "9 9 9\n";
      for (int r = 1; r <= rounds; ++r) {
        for (int t = 0; t < 3; ++t) {
          const double a = position(r);
          const double time = random ? kRandomBase[t] + 2 * kUnit * a : kFixedBase[t] + kUnit * a;
          lines += fmt::format("{}{:.9g}", t ? " " : "", factor * time);
        }
        lines += "\n";
      }
    }
    support::write_file(s.file(random ? "random.times" : "fixed.times"), lines);
  }
  std::filesystem::remove(s.file("random.count"));
  std::filesystem::remove(s.file("fixed.count"));
}

// Sessions at half, the same and twice the speed: the figures across
// sessions are the unscaled medians with t's interval on the logarithms;
// each session keeps its own rounds and figures.
TEST(CompareSessions, FiguresAcrossSessionsAtDifferentSpeeds) {
  StandIns s;
  plan_sessions(s, 6, {0.5, 1, 2});
  const support::RunResult run =
      s.compare({"--sessions", "3", "--pause", "0", "--rounds", "6", "--json", s.file("out.json"),
                 "--csv", s.file("out.csv"), "--markdown", s.file("out.md")});
  ASSERT_EQ(run.status, 0) << run.err;
  const json j = s.read_json("out.json");
  EXPECT_EQ(j["method"]["across_sessions"], true);
  ASSERT_EQ(j["sessions"].size(), 3U);
  ASSERT_EQ(j["rounds"].size(), 18U);
  const double factors[3] = {0.5, 1, 2};
  for (int k = 0; k < 3; ++k) {
    const json& session = j["sessions"][k];
    EXPECT_EQ(session["index"], k + 1);
    const std::string at = session["started_at"];
    EXPECT_EQ(at.size(), 20U) << at;
    EXPECT_EQ(at.back(), 'Z') << at;
    // Each round is stored once, at the top, naming its session.
    EXPECT_FALSE(session.contains("rounds"));
    EXPECT_EQ(j["rounds"][static_cast<std::size_t>(6 * k)]["session"], k + 1);
    EXPECT_EQ(j["rounds"][static_cast<std::size_t>(6 * k + 5)]["session"], k + 1);
    EXPECT_EQ(j["rounds"][static_cast<std::size_t>(6 * k + 5)]["index"], 6);
    // a over the six rounds: 7, 14, 1, 8, 15, 2, so each median sits at a = 7.5.
    EXPECT_NEAR(session["tests"][0]["difference"]["median"].get<double>(),
                factors[k] * (kRandomBase[0] - kFixedBase[0] + 7.5 * kUnit), 1e-12);
  }
  const double spread = std::exp(4.302652729911275 * std::log(2.0) / std::sqrt(3.0));
  for (int t = 0; t < 3; ++t) {
    const json& test = j["tests"][t];
    const double d = kRandomBase[t] - kFixedBase[t] + 7.5 * kUnit;
    const double random = kRandomBase[t] + 15 * kUnit;
    EXPECT_NEAR(test["difference"]["median"].get<double>(), d, 1e-9 * d);
    EXPECT_NEAR(test["difference"]["low"].get<double>(), d / spread, 1e-6 * d);
    EXPECT_NEAR(test["difference"]["high"].get<double>(), d * spread, 1e-6 * d * spread);
    EXPECT_NEAR(test["random"]["median"].get<double>(), random, 1e-9 * random);
    EXPECT_NEAR(test["random"]["high"].get<double>(), random * spread, 1e-6 * random * spread);
    EXPECT_TRUE(test["random"]["mad"].is_null());
  }
  // The sessions' speeds differ far beyond their rounds' spread: a note, not a warning.
  EXPECT_NE(run.out.find("\nThe sessions differ beyond their own rounds in "), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("warning: The sessions"), std::string::npos) << run.out;
  EXPECT_TRUE(j["sessions_note"].is_string());
  // The table across sessions first, then a line per session.
  const std::size_t table = run.out.find("Integer  0.1015 [");
  const std::size_t by_session = run.out.find("By session:");
  ASSERT_NE(table, std::string::npos) << run.out;
  ASSERT_NE(by_session, std::string::npos) << run.out;
  EXPECT_LT(table, by_session);
  EXPECT_NE(run.out.find("  3        ", by_session), std::string::npos) << run.out;
  const std::vector<std::string> csv = support::lines_of(support::read_file(s.file("out.csv")));
  ASSERT_EQ(csv.size(), 1U + 18 * 2 * 3);
  // The session follows the seconds: the eighth column.
  std::vector<std::string> cells;
  for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 1) {
    comma = csv.back().find(',', at);
    cells.push_back(csv.back().substr(at, comma == std::string::npos ? comma : comma - at));
  }
  ASSERT_GE(cells.size(), 8U) << csv.back();
  EXPECT_EQ(cells[7], "3") << csv.back();
  EXPECT_NE(support::read_file(s.file("out.md")).find("geometric mean"), std::string::npos);

  // The same speeds in another order against that run: no change, ratio 1.
  plan_sessions(s, 6, {2, 0.5, 1});
  const support::RunResult again =
      s.compare({"--sessions", "3", "--pause", "0", "--rounds", "6", "--baseline",
                 s.file("out.json"), "--json", s.file("again.json")});
  ASSERT_EQ(again.status, 0) << again.err;
  const json verdicts = s.read_json("again.json")["baseline"]["verdicts"];
  ASSERT_EQ(verdicts.size(), 9U);
  for (const json& v : verdicts) {
    EXPECT_EQ(v["verdict"], "no significant change") << v.dump();
    EXPECT_NEAR(v["ratio"]["estimate"].get<double>(), 1, 1e-9) << v.dump();
  }
  EXPECT_TRUE(s.tmp_is_empty());
}

// With several sessions a precision goal adds whole sessions: at speeds 1 and
// 1.1 the interval is over 60% wide; a third session at 1.05 brings it under 20%.
TEST(CompareSessions, PrecisionAddsSessionsNotRounds) {
  StandIns s;
  plan_sessions(s, 6, {1, 1.1, 1.05, 1, 1, 1});
  const support::RunResult run = s.compare({"--sessions", "2", "--pause", "0", "--rounds", "6",
                                            "--precision", "20", "--json", s.file("out.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  const json j = s.read_json("out.json");
  ASSERT_EQ(j["sessions"].size(), 3U);
  std::map<int, int> rounds;  // by session
  for (const json& round : j["rounds"]) ++rounds[round["session"].get<int>()];
  EXPECT_EQ(rounds, (std::map<int, int>{{1, 6}, {2, 6}, {3, 6}}));
}

// An interrupt during the pause between sessions ends the comparison at once
// and keeps the sessions completed.
TEST(CompareSessions, InterruptInThePause) {
  StandIns s;
  plan_sessions(s, 2, {1, 1});
  const pid_t pid =
      s.start({"--sessions", "2", "--pause", "600", "--rounds", "2", "--json", s.file("out.json")});
  // The first session's three runs of each program have started, and the last
  // has ended (bench_compare has no child left): the pause follows.
  const std::string children = fmt::format("/proc/{}/task/{}/children", pid, pid);
  const auto in_pause = [&] {
    return support::lines_of(s.state("order")).size() == 6 && support::read_file(children).empty();
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!in_pause() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(in_pause());
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  const json j = s.read_json("out.json");
  EXPECT_EQ(j["sessions"].size(), 1U);
  EXPECT_EQ(j["rounds"].size(), 2U);
}

}  // namespace sessions

}  // namespace
