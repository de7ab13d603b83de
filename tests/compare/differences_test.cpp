// One account of how two records differ: each kind alone, unknowns, several
// at once, the method compared as JSON values; and the baseline, the merge,
// the check before a run and the builds table telling the same differences.
#include "compare/stats/differences.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "compare/history/baseline.h"
#include "compare/history/merge.h"
#include "compare/report/builds.h"
#include "compare/running/machine.h"

namespace compare {
namespace {

Record known_record() {
  Record r;
  r.machine.cpu_model = "CPU A";
  r.machine.architecture = "x86_64";
  r.machine.kernel = "Linux 6.1";
  r.random = {"/r", "gcc 12", "x86_64"};
  r.fixed = {"/f", "gcc 12", "x86_64"};
  r.version = "1.0.0";
  return r;
}

TEST(Differences, EachKindAloneWithBothValues) {
  struct Case {
    void (*change)(Record&);
    std::vector<Aspect> found;
    std::string value, reference;
    bool not_comparable;
  };
  const std::vector<Case> cases = {
      {[](Record& r) { r.machine.cpu_model = "CPU B"; },
       {Aspect::Processor},
       "CPU B",
       "CPU A",
       false},
      {[](Record& r) { r.random.compiler = "clang 14"; },
       {Aspect::RandomCompiler},
       "clang 14",
       "gcc 12",
       false},
      {[](Record& r) { r.fixed.compiler = "clang 14"; },
       {Aspect::FixedCompiler},
       "clang 14",
       "gcc 12",
       false},
      {[](Record& r) { r.fixed.architecture = "aarch64"; },
       {Aspect::ProgramArchitecture},
       "x86_64 and aarch64",
       "x86_64",
       true},
      {[](Record& r) { r.machine.architecture = "aarch64"; },
       {Aspect::MachineArchitecture},
       "aarch64",
       "x86_64",
       true},
      {[](Record& r) { r.machine.kernel = "Linux 5.10"; },
       {Aspect::Kernel},
       "Linux 5.10",
       "Linux 6.1",
       false},
      {[](Record& r) { r.version = "1.1.0"; }, {Aspect::Version}, "1.1.0", "1.0.0", false},
  };
  for (const Case& c : cases) {
    Record r = known_record();
    c.change(r);
    const std::vector<Difference> d = differences(r, known_record());
    ASSERT_EQ(d.size(), 1U) << c.value;
    EXPECT_EQ(d[0].aspect, c.found.front());
    EXPECT_EQ(d[0].value, c.value);
    EXPECT_EQ(d[0].reference, c.reference);
    EXPECT_EQ(d[0].not_comparable, c.not_comparable);
  }
}

TEST(Differences, UnknownIsNoEvidenceAndSeveralComeInOrder) {
  Record unread;  // every value "unknown", no version or method
  EXPECT_TRUE(differences(unread, known_record()).empty());
  EXPECT_TRUE(differences(known_record(), unread).empty());
  Record one_program = known_record();
  one_program.random.architecture.reset();  // the other still tells the pair's
  one_program.fixed.architecture = "aarch64";
  one_program.machine.kernel = "Windows 10";
  one_program.machine.cpu_model = "CPU B";
  std::vector<Aspect> found;
  for (const Difference& d : differences(one_program, known_record())) found.push_back(d.aspect);
  EXPECT_EQ(found, (std::vector<Aspect>{Aspect::Processor, Aspect::ProgramArchitecture,
                                        Aspect::Kernel, Aspect::System}));
  EXPECT_EQ(
      sentence(differences(one_program, known_record()).back(), {"x: its", "is", "the ref's "}),
      "x: its system is Windows (the ref's Linux); times from different systems are not "
      "comparable (each has its own C library's rand, fmod and fmodl)");
}

TEST(Differences, MethodsAreComparedAsValuesTheSeedAside) {
  const nlohmann::json ref = {{"confidence", 0.95}, {"alpha", 1}, {"seed", 3}};
  nlohmann::json same = {{"alpha", 1.0}, {"confidence", 0.95}, {"seed", 4}};
  nlohmann::json other = {{"confidence", 0.99}, {"alpha", 1}, {"sessions", 3}};
  Record a = known_record();
  Record b = known_record();
  b.method = &ref;
  EXPECT_TRUE(differences(a, b).empty());  // a method not known is not compared
  a.method = &same;
  EXPECT_TRUE(differences(a, b).empty());
  a.method = &other;
  const std::vector<Difference> d = differences(a, b);
  ASSERT_EQ(d.size(), 1U);
  EXPECT_EQ(d[0].aspect, Aspect::Method);
  EXPECT_EQ(d[0].value, "confidence, sessions");
}

// One session of rounds whose times are all `seconds`.
std::vector<Round> rounds(double seconds) {
  std::vector<Round> out(6);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i].index = static_cast<int>(i) + 1;
    out[i].random.fill(2 * seconds);
    out[i].fixed.fill(seconds);
  }
  return out;
}

ExportFile export_of(const std::string& label, const Record& r, const nlohmann::json& method) {
  ExportFile f;
  f.path = label + ".json";
  f.label = label;
  f.version = r.version;
  f.method = method;
  f.machine = r.machine;
  f.random = r.random;
  f.fixed = r.fixed;
  f.sessions = {rounds(1), rounds(1)};
  f.session_started = {label + "1", label + "2"};
  return f;
}

// The same two records through every place that tells their differences.
TEST(Differences, EveryPlaceTellsAnArchitectureOnce) {
  const std::string kWhy = "; times from different architectures are not comparable";
  Record arm = known_record();
  arm.random.architecture = arm.fixed.architecture = "aarch64";

  Comparison now;
  now.machine = known_record().machine;
  now.builds.resize(1);
  now.builds[0].random = known_record().random;
  now.builds[0].fixed = known_record().fixed;
  const Baseline base{{}, arm.machine, arm.random, arm.fixed};
  EXPECT_EQ(baseline_notes(now, base),
            std::vector<std::string>{
                "The baseline's program architecture was aarch64 (now x86_64)" + kWhy + "."});

  const Merge m =
      merge_exports({export_of("ref", known_record(), {}), export_of("arm", arm, {})}, "ref");
  EXPECT_EQ(m.entries.at(1).warnings.back(),
            "arm: its program architecture is aarch64 (the reference's x86_64)" + kWhy + ".");
  // One method written with 1 and with 1.0 is one method, not another.
  const Merge same = merge_exports({export_of("ref", known_record(), {{"alpha", 1}}),
                                    export_of("b", known_record(), {{"alpha", 1.0}})},
                                   "ref");
  for (const std::string& w : same.entries.at(1).warnings) {
    EXPECT_EQ(w.find("another method"), std::string::npos) << w;
  }

  EXPECT_EQ(architectures_differ({{"ref", known_record().random}, {"arm", arm.random}}),
            "arm (/r): its program architecture is aarch64 (ref (/r): x86_64)" + kWhy);
}

TEST(Differences, TheBuildsTableMarksOnlyKnownDifferences) {
  Comparison c;
  c.builds.resize(3);
  c.builds[0].label = c.reference = "ref";
  c.builds[0].random = c.builds[0].fixed = {"/r", "gcc 12", "x86_64"};
  c.builds[1].label = "unread";  // a script, say: nothing read, nothing marked
  c.builds[2].label = "other";
  c.builds[2].random = c.builds[2].fixed = {"/o", "clang 14", "aarch64"};
  const Table t = builds_table(c);
  ASSERT_EQ(t.rows.size(), 3U);
  EXPECT_EQ(t.rows[1][1], "unknown");
  EXPECT_EQ(t.rows[1][4], "unknown");
  EXPECT_EQ(t.rows[2][1], "aarch64 *");
  EXPECT_EQ(t.rows[2][4], "clang 14 *");
}

}  // namespace
}  // namespace compare
