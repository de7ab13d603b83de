// Each exported type written and read back through export/: what is written
// reads back equal, and what is missing or odd reads as the reader's unknown.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "compare/export/fields.h"
#include "compare/export/head.h"
#include "compare/export/machine.h"
#include "compare/export/program.h"
#include "compare/export/round.h"
#include "compare/export/session.h"
#include "compare/export/usage.h"
#include "compare/export/verdict.h"

namespace compare {
namespace {

using nlohmann::json;

Usage full_usage() {
  Usage u;
  u.wall_s = 1.5;
  u.user_s = 1.25;
  u.system_s = 0.125;
  u.involuntary_switches = 7;
  u.voluntary_switches = 3;
  u.minor_faults = 100;
  u.major_faults = 2;
  u.max_rss_kib = 4096;
  u.runqueue_wait_s = 0.25;
  return u;
}

void expect_same(const Usage& a, const Usage& b) {
  EXPECT_EQ(std::tie(a.wall_s, a.user_s, a.system_s, a.involuntary_switches, a.voluntary_switches,
                     a.minor_faults, a.major_faults, a.max_rss_kib, a.runqueue_wait_s),
            std::tie(b.wall_s, b.user_s, b.system_s, b.involuntary_switches, b.voluntary_switches,
                     b.minor_faults, b.major_faults, b.max_rss_kib, b.runqueue_wait_s));
  EXPECT_EQ(
      std::tie(a.has_processor, a.has_switches, a.has_faults, a.has_fault_split, a.has_memory),
      std::tie(b.has_processor, b.has_switches, b.has_faults, b.has_fault_split, b.has_memory));
}

TEST(Export, UsageReadsBackAsWrittenAndWhatIsMissingAsNotGiven) {
  expect_same(*usage_from_json(usage_json(full_usage())), full_usage());
  // A system that gives no switches, no fault split and no wait (Windows).
  Usage partial = full_usage();
  partial.has_switches = partial.has_fault_split = false;
  partial.runqueue_wait_s.reset();
  const Usage read = *usage_from_json(usage_json(partial));
  EXPECT_FALSE(read.has_switches || read.has_faults || read.runqueue_wait_s);
  EXPECT_TRUE(read.has_processor && read.has_memory);
  EXPECT_FALSE(usage_from_json(usage_json(std::nullopt)));
  json odd = usage_json(full_usage());
  odd["user_s"] = "fast";
  odd["max_rss_kib"] = -1;
  odd["minor_faults"] = 1e300;  // no whole number a count holds
  const Usage oddly = *usage_from_json(odd);
  EXPECT_FALSE(oddly.has_processor || oddly.has_memory || oddly.has_faults);
  odd.erase("wall_s");
  EXPECT_FALSE(usage_from_json(odd));
}

Round round(int index, int session, double seconds) {
  Round r;
  r.index = index;
  r.session = session;
  r.first = Side::Fixed;
  r.random = {seconds, seconds * 2, seconds * 3};
  r.fixed = {seconds / 2, seconds / 4, seconds / 8};
  r.random_usage = full_usage();
  return r;
}

void expect_same(const Round& a, const Round& b) {
  EXPECT_EQ(std::tie(a.index, a.session, a.first, a.random, a.fixed),
            std::tie(b.index, b.session, b.first, b.random, b.fixed));
  ASSERT_TRUE(b.random_usage);
  expect_same(*a.random_usage, *b.random_usage);
  EXPECT_FALSE(b.fixed_usage);
}

TEST(Export, RoundReadsBackAsWrittenAlsoAsABuildsPart) {
  const Round r = round(4, 2, 0.5);
  expect_same(r, round_from_json(round_json(r), 0, "x.json"));
  json old = round_json(r);
  old.erase("session");  // exports from before sessions: one session
  EXPECT_EQ(round_from_json(old, 0, "x.json").session, 1);
  old["first"] = "both";
  EXPECT_THROW(round_from_json(old, 0, "x.json"), std::runtime_error);

  Comparison c;
  c.builds = {Build{"a", {}, {}, {{2, "", {r}, {}}}, {}, {}, {}},
              Build{"b", {}, {}, {{2, "", {round(4, 2, 0.25)}, {}}}, {}, {}, {}}};
  const json rounds = builds_rounds_json(c, false);
  ASSERT_EQ(rounds.size(), 1U);
  expect_same(r, round_from_json(build_round(rounds[0], "a"), 0, "x.json"));
  expect_same(round(4, 2, 0.25), round_from_json(build_round(rounds[0], "b"), 0, "x.json"));
  EXPECT_THROW(round_from_json(build_round(rounds[0], "c"), 0, "x.json"), std::runtime_error);
}

TEST(Export, MachineAndProgramsReadBackAsWrittenAndMissingAsUnknown) {
  MachineRecord m;
  m.cpu_model = "CPU A";
  m.architecture = "x86_64";
  m.logical_cpus = "8";
  m.kernel = "6.1";
  m.libc = "glibc 2.36";
  m.governor = "performance";
  m.governor_after = "powersave";
  m.turbo = "off";
  m.turbo_after = "on";
  m.aslr = "2 (full)";
  m.load_before = "0.1 0.2 0.3";
  m.load_after = "0.4 0.5 0.6";
  m.clock_tick = 1e-9;
  EXPECT_EQ(machine_json(machine_from_json(machine_json(m))), machine_json(m));
  json odd = machine_json(m);
  odd.erase("kernel");
  odd["clock_tick"] = 2;  // no tick of a clock
  EXPECT_FALSE(machine_from_json(odd).kernel);
  EXPECT_EQ(machine_from_json(odd).clock_tick, 0);

  const ProgramRecord random{"/a/bench_random", "GCC 12", "x86_64"};
  const ProgramRecord fixed{"/a/bench_fixed", "clang 15", "aarch64"};
  ProgramRecord r, f;
  programs_from_json(programs_json(random, fixed), r, f);
  EXPECT_EQ(programs_json(r, f), programs_json(random, fixed));
  programs_from_json(json::object(), r, f);
  EXPECT_EQ(program_json(r), program_json(ProgramRecord{"", std::nullopt, std::nullopt}));

  const Build build{"b\x1b", random, fixed, {}, {}, {}, {}};
  const json written = build_json(build);
  EXPECT_EQ(build_from_json(written, r, f), "b\\x1b");  // printable
  EXPECT_EQ(build_key(written), "b\x1b");               // as the rounds are keyed
  EXPECT_EQ(programs_json(r, f), programs_json(random, fixed));
}

TEST(Export, SessionsAndHeadReadBackAsWritten) {
  const json sessions = {session_json({3, "2024-01-02T03:04:05Z", {}, {}}, false),
                         json{{"started_at", "no index"}}};
  EXPECT_EQ(session_starts(sessions, "x.json"),
            (std::map<int, std::string>{{3, "2024-01-02T03:04:05Z"}}));
  EXPECT_THROW(session_starts(json{{{"index", 0}}}, "x.json"), std::runtime_error);

  Comparison c;
  c.version = "1.4.0";
  c.label = "host";
  c.started_at = "2024-01-02T03:04:05Z";
  c.machine.cpu_model = "CPU A";
  c.warnings = {"busy"};
  c.stopped = "interrupted";
  json j = head_json(c, c.warnings);
  const ExportHead head = head_from_json(j, "x.json");
  EXPECT_EQ(std::tie(head.version, head.label, head.started_at, head.finished_at, head.stopped,
                     head.warnings, head.machine.cpu_model),
            std::tie(c.version, c.label, c.started_at, c.finished_at, c.stopped, c.warnings,
                     c.machine.cpu_model));
  j["format"] = kExportFormat + 1;
  EXPECT_THROW(head_from_json(j, "x.json"), std::runtime_error);
  j.erase("format");  // format 1
  EXPECT_NO_THROW(head_from_json(j, "x.json"));
  j["tool"]["version"] = "2.0.0";
  EXPECT_THROW(head_from_json(j, "x.json"), std::runtime_error);
}

TEST(Export, DetectableReadsBackAndAVerdictWithoutItStillReads) {
  Verdict v;
  v.detectable = Detectable{1.0124, 0.9878};
  const std::optional<Detectable> back = detectable_of(json::parse(verdict_json(v).dump()));
  ASSERT_TRUE(back);
  EXPECT_EQ(std::tie(back->slower, back->faster),
            std::tie(v.detectable->slower, v.detectable->faster));
  // No change of any size could have been called: both null, read as such.
  v.detectable = Detectable{HUGE_VAL, 0};
  const json blind = verdict_json(v);
  EXPECT_TRUE(blind["detectable"]["slower"].is_null());
  ASSERT_TRUE(detectable_of(blind));
  EXPECT_EQ(detectable_of(blind)->slower, HUGE_VAL);
  v.detectable.reset();
  EXPECT_TRUE(verdict_json(v)["detectable"].is_null());
  EXPECT_FALSE(detectable_of(verdict_json(v)));
  json older = verdict_json(v);
  older.erase("detectable");
  EXPECT_FALSE(detectable_of(older));
  // Malformed figures are unknown, not trusted.
  for (const char* odd :
       {R"({"slower": 0.9, "faster": 0.95})", R"({"slower": 1.1, "faster": 0})",
        R"({"slower": "1.1", "faster": 0.9})", R"({"slower": 1.1})", "[1.1, 0.9]"})
    EXPECT_FALSE(detectable_of(json{{"detectable", json::parse(odd)}})) << odd;
}

}  // namespace
}  // namespace compare
