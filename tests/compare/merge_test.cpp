// The merge from stand-in exports whose session medians are chosen: every
// ratio, interval and p-value of the comparisons is worked out by hand.
#include "compare/history/merge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "compare/history/merge_report.h"
#include "compare/running/files.h"
#include "compare/stats/reference.h"
#include "compare/stats/summary.h"
#include "compare/stats/warnings.h"
#include "standin_exports.h"

namespace {

using nlohmann::json;
using namespace compare;
using namespace standin;

constexpr double kT95Df2 = 4.302652729911275;  // Student's t, 97.5% quantile
constexpr double kT95Df4 = 2.7764451051977987;

// Two-sided p of Student's t with 4 degrees of freedom, from its closed-form
// distribution function.
double p_t4(double t) {
  const double x = std::fabs(t);
  const double u = 1 + x * x / 4;
  const double cdf = 0.5 + 0.375 * x / std::sqrt(u) * (1 - x * x / (12 * u));
  return 2 * (1 - cdf);
}

class MergeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    auto sessions = [](auto make) {
      std::vector<SessionTimes> all;
      for (double f : kSession) all.push_back(make(f));
      return all;
    };
    add("ref.json",
        export_of("ref", "2026-01-01T00:00:00Z", sessions([](double f) { return scaled(f); })));
    // "slow": Integer's random 10% slower, in three exports of one session each,
    // the last made on another processor.
    for (int i = 0; i < 3; ++i) {
      add(fmt::format("slow{}.json", i),
          export_of("slow", fmt::format("2026-01-02T0{}:00:00Z", i), {scaled(kSession[i], 0, 1.1)},
                    i == 2 ? "CPU B" : "CPU A"));
    }
    add("same.json",
        export_of("same", "2026-01-03T00:00:00Z", sessions([](double f) { return scaled(f); })));
    add("fast.json", export_of("fast", "2026-01-04T00:00:00Z",
                               sessions([](double f) { return scaled(f, -1, 1, 1, 0.9); })));
    json single = export_of("single", "2026-01-05T00:00:00Z", {scaled(1.0)});
    single["stopped"] = "interrupted";
    add("single.json", single);
  }

  void add(const std::string& name, const json& j) {
    const std::string path = dir_.file(name);
    ASSERT_EQ(write_text(path, j.dump()), "");
    exports_.push_back(read_export(path));
  }

  const Verdict& find(const Merge& m, const std::string& entry, const std::string& test,
                      const std::string& series) {
    for (const Verdict& c : m.comparisons) {
      if (c.entry == entry && c.test == test && series_name(c.series) == series) return c;
    }
    ADD_FAILURE() << "no comparison " << entry << " " << test << " " << series;
    static const Verdict none;
    return none;
  }

  ScratchDir dir_{"merge-test"};
  std::vector<ExportFile> exports_;
};

TEST_F(MergeTest, EntriesGatherTheirSessionsAcrossExports) {
  const Merge m = merge_exports(exports_, "");
  EXPECT_EQ(m.reference, "ref");
  ASSERT_EQ(m.entries.size(), 5U);
  EXPECT_EQ(m.entries[0].label, "ref");
  EXPECT_EQ(m.entries[0].sessions, 3);
  EXPECT_EQ(m.entries[0].files.size(), 1U);
  EXPECT_EQ(m.entries[1].label, "slow");
  EXPECT_EQ(m.entries[1].sessions, 3);
  EXPECT_EQ(m.entries[1].files.size(), 3U);
  EXPECT_EQ(m.entries[1].first_started, "2026-01-02T00:00:00Z");
  EXPECT_EQ(m.entries[1].last_finished, "2026-01-02T02:00:00Z");
  EXPECT_EQ(m.comparisons.size(), 4U * 9U);

  // Across sessions: the geometric mean of the session medians, with
  // Student's t on their logarithms (2 degrees of freedom).
  const Estimate& e = m.entries[0].tests[0].across[0];
  double mean = 0;
  for (double f : kSession) mean += std::log(kRandom[0] * f) / 3;
  double variance = 0;
  for (double f : kSession) variance += std::pow(std::log(kRandom[0] * f) - mean, 2) / 2;
  const double half = kT95Df2 * std::sqrt(variance / 3);
  EXPECT_NEAR(e.estimate, std::exp(mean), 1e-12);
  ASSERT_TRUE(e.interval);
  EXPECT_NEAR(e.interval->low, std::exp(mean - half), 1e-12);
  EXPECT_NEAR(e.interval->high, std::exp(mean + half), 1e-12);
  // The difference series is the median of the paired differences.
  EXPECT_NEAR(m.entries[0].tests[2].sessions[2][0], (kRandom[2] - kFixed[2]) * kSession[0], 1e-15);
}

TEST_F(MergeTest, VerdictsAndHolmAdjustedPValues) {
  const Merge m = merge_exports(exports_, "");
  // Every side has the same spread of logarithms, so Welch's test has 4
  // degrees of freedom and se = sqrt(2 v / 3).
  double mean = 0;
  for (double f : kSession) mean += std::log(f) / 3;
  double v = 0;
  for (double f : kSession) v += std::pow(std::log(f) - mean, 2) / 2;
  const double se = std::sqrt(2 * v / 3);
  const double slow_ratio = 1.1;
  const double slow_difference = (kRandom[0] * 1.1 - kFixed[0]) / (kRandom[0] - kFixed[0]);
  const double fast_ratio = 0.9;
  const double fast_difference = (kRandom[1] - 0.9 * kFixed[1]) / (kRandom[1] - kFixed[1]);
  auto p = [&](double ratio) { return p_t4(std::log(ratio) / se); };

  // 27 comparisons have a p-value (the single session's 9 have none); all
  // but four have a shift of exactly 0 (p = 1). In ascending order of p:
  // fast fixed (|log 0.9|), slow difference, slow random, fast difference.
  const double a1 = 27 * p(fast_ratio);
  const double a2 = std::max(a1, 26 * p(slow_difference));
  const double a3 = std::max(a2, 25 * p(slow_ratio));
  const double a4 = std::min(1.0, std::max(a3, 24 * p(fast_difference)));
  ASSERT_LT(a3, 0.05);
  ASSERT_LT(p(fast_difference), 0.05);  // significant alone, not among 27
  ASSERT_GT(a4, 0.05);

  const struct {
    const char *entry, *test, *series;
    double ratio, adjusted;
    const char* verdict;
  } expected[] = {
      {"fast", "Float", "fixed", fast_ratio, a1, "faster"},
      {"slow", "Integer", "difference", slow_difference, a2, "slower"},
      {"slow", "Integer", "random", slow_ratio, a3, "slower"},
      {"fast", "Float", "difference", fast_difference, a4, "no significant change"},
      {"slow", "Integer", "fixed", 1.0, 1.0, "no significant change"},
      {"same", "DNA", "difference", 1.0, 1.0, "no significant change"},
  };
  for (const auto& x : expected) {
    SCOPED_TRACE(fmt::format("{} {} {}", x.entry, x.test, x.series));
    const Verdict& c = find(m, x.entry, x.test, x.series);
    ASSERT_TRUE(c.result.interval);
    EXPECT_NEAR(c.result.ratio.value_or(-1), x.ratio, 1e-9);
    EXPECT_NEAR(c.result.df.value_or(-1), 4, 1e-6);
    EXPECT_NEAR(c.result.p.value_or(-1), p(x.ratio), 1e-9);
    EXPECT_NEAR(c.p_adjusted.value_or(-1), x.adjusted, 1e-9);
    EXPECT_STREQ(verdict_text(c.verdict), x.verdict);
    EXPECT_NEAR(c.result.interval->low, x.ratio * std::exp(-kT95Df4 * se), 1e-9);
    EXPECT_NEAR(c.result.interval->high, x.ratio * std::exp(kT95Df4 * se), 1e-9);
  }
  for (const Verdict& c : m.comparisons) {
    if (c.entry != "single") continue;
    EXPECT_EQ(c.verdict, VerdictKind::TooFewSessions);
    EXPECT_FALSE(c.result.interval);
    EXPECT_FALSE(c.p_adjusted);
    // The ratio is given, as a baseline gives it: the same answer everywhere.
    EXPECT_TRUE(c.result.ratio);
  }
}

TEST_F(MergeTest, AnotherReferenceTurnsTheVerdicts) {
  const Merge m = merge_exports(exports_, "fast");
  EXPECT_EQ(m.reference, "fast");
  EXPECT_EQ(find(m, "ref", "Float", "fixed").verdict, VerdictKind::Slower);
  EXPECT_NEAR(find(m, "ref", "Float", "fixed").result.ratio.value_or(-1), 1 / 0.9, 1e-9);
  EXPECT_THROW(merge_exports(exports_, "nobody"), std::runtime_error);
}

TEST_F(MergeTest, WarningsNameTheirEntry) {
  const Merge m = merge_exports(exports_, "");
  auto has = [&](const std::string& label, const std::string& part) {
    for (const Entry& e : m.entries) {
      if (e.label != label) continue;
      for (const std::string& w : e.warnings) {
        if (w.rfind(label + ": ", 0) == 0 && w.find(part) != std::string::npos) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(has("single", "a single session"));
  EXPECT_TRUE(has("single", "stopped early (interrupted)"));
  EXPECT_TRUE(has("slow", "its sessions' processor differs (CPU A; CPU B)"));
  EXPECT_TRUE(has("slow", "a warning of its own."));
  EXPECT_FALSE(has("ref", "single session"));
  EXPECT_FALSE(has("ref", "fewer than 6"));
  EXPECT_FALSE(has("same", "processor differs"));
}

TEST(MergeWarnings, AKindRepeatedAcrossEntriesIsOneLineAndEveryOneStaysInTheJson) {
  // Two one-session exports on a clock of one second: each of their six
  // series is shorter than 20 ticks, and the export says so in its words.
  ScratchDir dir{"merge-warnings-test"};
  std::vector<ExportFile> exports;
  for (const std::string& label : std::vector<std::string>{"a", "b"}) {
    json j = export_of(label, "2026-01-0" + std::to_string(exports.size() + 1) + "T00:00:00Z",
                       {scaled(label == "a" ? 1.0 : 1.1)});
    j["machine"]["clock_tick"] = 1.0;
    const std::string path = dir.file(label + ".json");
    ASSERT_EQ(write_text(path, j.dump()), "");
    const ExportFile f = read_export(path);
    MachineRecord clock;
    clock.clock_tick = 1.0;
    j["warnings"] = warnings_for(f.sessions[0], summarise(f.sessions[0]), clock);
    ASSERT_EQ(j["warnings"].size(), 6U) << j["warnings"].dump(1);
    // An export of another version says one of them otherwise: kept as it is.
    if (label == "b") j["warnings"][5] = "said otherwise.";
    ASSERT_EQ(write_text(path, j.dump()), "");
    exports.push_back(read_export(path));
  }
  const Merge m = merge_exports(exports, "");
  const std::vector<std::string> w = merge_warnings(m);
  ASSERT_EQ(w.size(), 4U);  // a's and b's single session, b's own sentence, the summary
  EXPECT_EQ(w[0], "a: a single session, so it has no interval across sessions.");
  EXPECT_EQ(w[1].rfind("b: a single session", 0), 0U) << w[1];
  EXPECT_EQ(w[2], "b: said otherwise.");
  EXPECT_EQ(w[3].rfind("Times within 20 ticks of the clock in 11 of 12 series (shortest ", 0), 0U)
      << w[3];
  EXPECT_NE(w[3].find(": a, bench_"), std::string::npos) << w[3];  // a's times are shorter
  const json j = merge_json(m);
  EXPECT_EQ(j["entries"][0]["warnings"].size(), 7U);
  EXPECT_EQ(j["warnings_summarised"], w);
}

// Other work taking the processor and a high load, in every entry: the
// merge makes them again from each export's usage and machine record, so
// each kind is one line with its count and worst case, not one per entry.
TEST(MergeWarnings, OtherWorkAndTheLoadRepeatedAcrossEntriesAreOneLineEach) {
  ScratchDir dir{"merge-load-test"};
  std::vector<ExportFile> exports;
  for (const std::string& label : std::vector<std::string>{"a", "b"}) {
    json j = export_of(label, "2026-01-0" + std::to_string(exports.size() + 1) + "T00:00:00Z",
                       {scaled(1.0)});
    // Every run waited 30% of its second for a CPU.
    const json usage = {
        {"wall_s", 1.0}, {"user_s", 0.7}, {"system_s", 0.0}, {"runqueue_wait_s", 0.3}};
    for (json& round : j["rounds"]) round["usage"] = {{"random", usage}, {"fixed", usage}};
    j["machine"]["load_before"] = label == "a" ? "2.50 1.00 1.00" : "3.75 1.00 1.00";
    j["machine"]["logical_cpus"] = "8";
    const std::string path = dir.file(label + ".json");
    ASSERT_EQ(write_text(path, j.dump()), "");
    const ExportFile f = read_export(path);
    ASSERT_TRUE(f.sessions[0][0].random_usage.has_value());
    j["warnings"] = warnings_for(f.sessions[0], summarise(f.sessions[0]), f.machine);
    ASSERT_EQ(j["warnings"].size(), 2U) << j["warnings"].dump(1);
    ASSERT_EQ(write_text(path, j.dump()), "");
    exports.push_back(read_export(path));
  }
  const std::vector<std::string> w = merge_warnings(merge_exports(exports, ""));
  ASSERT_EQ(w.size(), 4U) << json(w).dump(1);  // each entry's single session, then the two kinds
  EXPECT_EQ(w[2], "Other work took the processor in 2 of 2 sessions.");
  EXPECT_EQ(w[3],
            "A load average showed other work in 2 entries (highest 3.75: b, before the run).");
}

// A round's usage comes back from the export as it was written; a figure the
// system did not give stays absent, and a round without usage has none.
TEST(MergeRead, EachRoundsUsageIsReadBack) {
  ScratchDir dir{"merge-usage-test"};
  json j = export_of("a", "2026-01-01T00:00:00Z", {scaled(1.0)});
  j["rounds"][0]["usage"] = {
      {"random",
       {{"wall_s", 0.5},
        {"user_s", 0.25},
        {"system_s", 0.125},
        {"involuntary_switches", 3},
        {"voluntary_switches", 4},
        {"minor_faults", 10},
        {"major_faults", 1},
        {"max_rss_kib", 2048},
        {"runqueue_wait_s", 0.0625}}},
      {"fixed", {{"wall_s", 0.25}, {"user_s", nullptr}, {"system_s", nullptr}}}};
  const std::string path = dir.file("a.json");
  ASSERT_EQ(write_text(path, j.dump()), "");
  const ExportFile f = read_export(path);
  const std::optional<Usage>& random = f.sessions[0][0].random_usage;
  ASSERT_TRUE(random.has_value());
  EXPECT_EQ(random->user_s, 0.25);
  EXPECT_EQ(random->system_s, 0.125);
  EXPECT_EQ(random->involuntary_switches, 3);
  EXPECT_EQ(random->major_faults, 1);
  EXPECT_EQ(random->max_rss_kib, 2048);
  EXPECT_EQ(random->runqueue_wait_s, std::optional<double>(0.0625));
  const std::optional<Usage>& fixed = f.sessions[0][0].fixed_usage;
  ASSERT_TRUE(fixed.has_value());
  EXPECT_EQ(fixed->wall_s, 0.25);
  EXPECT_FALSE(fixed->has_processor);
  EXPECT_FALSE(fixed->runqueue_wait_s.has_value());
  EXPECT_FALSE(f.sessions[0][1].random_usage.has_value());
}

TEST_F(MergeTest, ASessionGivenTwiceIsRefused) {
  json again = export_of("ref", "2026-01-01T00:00:00Z", {scaled(1.0)});
  add("copy.json", again);
  EXPECT_THROW(merge_exports(exports_, ""), std::runtime_error);
}

// With --pause 0 one export's sessions can start within one second.
TEST_F(MergeTest, SessionsOfOneExportStartedInTheSameSecondAreDistinct) {
  json quick =
      export_of("quick", "2026-01-06T00:00:00Z", {scaled(0.99), scaled(1.0), scaled(1.01)});
  quick["sessions"] = json::array();
  for (int s = 1; s <= 3; ++s) {
    quick["sessions"].push_back({{"index", s}, {"started_at", "2026-01-06T00:00:00Z"}});
  }
  add("quick.json", quick);
  const Merge m = merge_exports(exports_, "");
  EXPECT_EQ(m.entries.back().label, "quick");
  EXPECT_EQ(m.entries.back().sessions, 3);
  add("quick-again.json", quick);
  EXPECT_THROW(merge_exports(exports_, ""), std::runtime_error);
}

TEST_F(MergeTest, TheJsonExportHoldsEveryComparisonWithNullsForTooFewSessions) {
  const json j = merge_json(merge_exports(exports_, ""));
  EXPECT_EQ(j.at("reference"), "ref");
  ASSERT_EQ(j.at("entries").size(), 5U);
  for (const char* key : {"label", "files", "sessions", "machine", "programs", "tests"}) {
    EXPECT_TRUE(j.at("entries")[0].contains(key)) << key;
  }
  ASSERT_EQ(j.at("comparisons").size(), 36U);
  for (const json& c : j.at("comparisons")) {
    std::vector<std::string> keys;
    for (const auto& item : c.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"compared", "detectable", "df", "entry", "method",
                                              "p_adjusted", "p_value", "ratio", "series", "test",
                                              "verdict"}));
    if (c.at("entry") == "single") {
      EXPECT_TRUE(c.at("ratio").at("estimate").is_number());  // given, but not tested
      EXPECT_TRUE(c.at("ratio").at("low").is_null());
      EXPECT_TRUE(c.at("p_value").is_null());
      EXPECT_TRUE(c.at("p_adjusted").is_null());
    } else {
      EXPECT_TRUE(c.at("ratio").at("low").is_number());
    }
  }
}

TEST_F(MergeTest, ADifferenceThatIsNotPositiveHasNoRatio) {
  // bench_fixed slower than bench_random in DNA: the differences are negative.
  std::vector<SessionTimes> sessions;
  for (double f : kSession) sessions.push_back(scaled(f, -1, 1, 2, 20));
  add("odd.json", export_of("odd", "2026-01-06T00:00:00Z", sessions));
  const Merge m = merge_exports(exports_, "");
  const Verdict& c = find(m, "odd", "DNA", "difference");
  EXPECT_EQ(c.verdict, VerdictKind::NotComparable);
  EXPECT_FALSE(c.result.interval);
  EXPECT_TRUE(std::isnan(m.entries.back().tests[2].across[2].estimate));
  EXPECT_EQ(find(m, "odd", "DNA", "fixed").verdict, VerdictKind::Slower);
  // Holm now counts 35 comparisons with a p-value (4 x 9, less this one);
  // odd's 20-fold fixed time has the smallest, fast's fixed the second.
  const Verdict& second = find(m, "fast", "Float", "fixed");
  EXPECT_NEAR(second.p_adjusted.value_or(-1) / second.result.p.value_or(-1), 34, 1e-6);
}

TEST(MergeRead, AnOldExportIsNamedAfterItsFileAndIsOneSession) {
  ScratchDir dir("merge-test");
  json old = export_of("x", "", {scaled(1.0), scaled(1.0)});
  old.erase("label");
  old.erase("started_at");
  for (json& r : old["rounds"]) r.erase("session");
  ASSERT_EQ(write_text(dir.file("monday run.json"), old.dump()), "");
  const ExportFile f = read_export(dir.file("monday run.json"));
  EXPECT_EQ(f.label, "monday run");
  EXPECT_EQ(f.sessions.size(), 1U);
  EXPECT_EQ(f.sessions[0].size(), 12U);
}

// An export whose machine and programs name architectures ("" leaves the
// keys out, as exports made before they were recorded do).
json with_architectures(json j, const std::string& machine, const std::string& programs) {
  if (!machine.empty()) j["machine"]["architecture"] = machine;
  for (const char* side : {"random", "fixed"}) {
    if (!programs.empty()) j["programs"][side]["architecture"] = programs;
  }
  return j;
}

TEST(MergeArchitectures, EntriesAndSessionsSpanningArchitecturesWarn) {
  ScratchDir dir("merge-test");
  std::vector<ExportFile> exports;
  const auto add = [&](const std::string& file, const std::string& label, const std::string& at,
                       const std::string& machine, const std::string& programs) {
    const json j = with_architectures(
        export_of(label, at, {scaled(kSession[0]), scaled(kSession[1]), scaled(kSession[2])}),
        machine, programs);
    ASSERT_EQ(write_text(dir.file(file), j.dump()), "");
    exports.push_back(read_export(dir.file(file)));
  };
  add("ref.json", "ref", "2026-01-01T00:00:00Z", "x86_64", "x86_64");
  add("arm.json", "arm", "2026-01-02T00:00:00Z", "aarch64", "aarch64");
  add("emulated.json", "emulated", "2026-01-03T00:00:00Z", "x86_64", "aarch64");
  add("old.json", "old", "2026-01-04T00:00:00Z", "", "");
  add("mixed0.json", "mixed", "2026-01-05T00:00:00Z", "x86_64", "");
  add("mixed1.json", "mixed", "2026-01-06T00:00:00Z", "aarch64", "");
  EXPECT_FALSE(exports.at(3).machine.architecture);
  EXPECT_FALSE(exports.at(3).random.architecture);

  const Merge m = merge_exports(exports, "ref");
  std::map<std::string, std::vector<std::string>> about;  // each entry's warnings on architecture
  for (const Entry& e : m.entries) {
    for (const std::string& w : e.warnings) {
      if (w.find("architecture") != std::string::npos) about[e.label].push_back(w);
    }
  }
  const std::string apart = "; times from different architectures are not comparable.";
  EXPECT_EQ(about["arm"],
            (std::vector<std::string>{
                "arm: its program architecture is aarch64 (the reference's x86_64)" + apart,
                "arm: its machine architecture is aarch64 (the reference's x86_64)" + apart}));
  EXPECT_EQ(about["emulated"], std::vector<std::string>{"emulated: its program architecture is "
                                                        "aarch64 (the reference's x86_64)" +
                                                        apart});
  EXPECT_EQ(about["mixed"], std::vector<std::string>{"mixed: its sessions' machine architecture "
                                                     "differs (x86_64; aarch64)" +
                                                     apart});
  EXPECT_EQ(about.count("ref"), 0U);
  EXPECT_EQ(about.count("old"), 0U);  // unknown is no evidence of another architecture

  // The merge's own report names every entry's architectures.
  const json j = merge_json(m);
  EXPECT_EQ(j["entries"][1]["machine"]["architecture"], "aarch64");
  EXPECT_EQ(j["entries"][2]["programs"]["fixed"]["architecture"], "aarch64");
  EXPECT_EQ(j["entries"][3]["programs"]["random"]["architecture"], "unknown");
}

}  // namespace
