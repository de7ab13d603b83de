// bench_compare --verify against programs that break the measured work the
// ways optimising builds do: each must be found out, in its own window and
// in no other, with the difference in words.
#include "compare/commands/verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "compare/proof/findings.h"
#include "compare/proof/prove.h"
#include "compare/proof/work.h"
#include "support.h"

namespace {

using compare::ProgramWork;
using compare::Side;

struct Mutant {
  std::string name;
  Side side;
  std::string traced;                    // the windows whose stores the case needs
  std::string window;                    // the window every difference must name
  std::vector<std::string> differences;  // each must be among those found
};

void PrintTo(const Mutant& mutant, std::ostream* out) { *out << mutant.name; }

// The limit of one run, in seconds: under emulation each traced store takes
// tens of microseconds, and many times that on a busy machine.
#if defined(BENCH_EMULATOR)
constexpr double kRunTimeout = 3600;
#else
constexpr double kRunTimeout = 600;
#endif

class Mutants : public ::testing::TestWithParam<Mutant> {};

TEST_P(Mutants, AreNotVerifiedAndTheWindowAndDifferenceAreNamed) {
  const Mutant& m = GetParam();
  const ProgramWork work = compare::prove(
      {std::string(MUTANTS_DIR) + "/mutant_" + m.name, PROBE_LIB, m.side, kRunTimeout, m.traced});
  ASSERT_EQ(work.failure, "");
  EXPECT_EQ(compare::verdict({work}).rfind("verdict: not verified: " + m.window + ": ", 0), 0U);
  for (const std::string& found : work.differences) {
    EXPECT_EQ(found.rfind(m.window + ": ", 0), 0U) << found;
  }
  for (const std::string& want : m.differences) {
    bool named = false;
    for (const std::string& found : work.differences) {
      named = named || found == m.window + ": " + want;
    }
    EXPECT_TRUE(named) << "missing: " << want << "\nverdict: " << compare::verdict({work});
  }
}

// The loop of equal stores made one block fill: the string store on x86-64,
// on AArch64 32 bytes at a time from a pair of vector registers.
#if defined(__x86_64__)
const Mutant kBlockFill{
    "block_fill",
    Side::Fixed,
    "1",
    "bench_fixed window 1 <Integer>",
    {"1 store, 1000000 listed",
     "1 store of more than 64 bytes (a block fill), 8-byte element stores listed"}};
#else
const Mutant kBlockFill{"block_fill",
                        Side::Fixed,
                        "1",
                        "bench_fixed window 1 <Integer>",
                        {"250000 stores, 1000000 listed",
                         "250000 stores of 32 bytes (a block fill), 8-byte element stores listed"}};

// Two stores merged into one of a pair of registers.
INSTANTIATE_TEST_SUITE_P(
    VerifyAArch64, Mutants,
    ::testing::Values(Mutant{"merged_stores",
                             Side::Fixed,
                             "1",
                             "bench_fixed window 1 <Integer>",
                             {"500000 stores, 1000000 listed",
                              "500000 stores of 16 bytes, 8-byte element stores listed"}}),
    [](const ::testing::TestParamInfo<Mutant>& info) { return info.param.name; });
#endif

INSTANTIATE_TEST_SUITE_P(
    Verify, Mutants,
    ::testing::Values(Mutant{"dead_stores",
                             Side::Fixed,
                             "1",
                             "bench_fixed window 1 <Integer>",
                             {"0 stores, 1000000 listed", "1000000 elements never stored"}},
                      kBlockFill,
                      Mutant{"folded_remainder",
                             Side::Fixed,
                             "",
                             "bench_fixed window 1 <Integer>",
                             {"0 fmod calls, 1 listed"}},
                      Mutant{"hoisted_allocation",
                             Side::Fixed,
                             "1",
                             "bench_fixed window 1 <Integer>",
                             {"no allocation inside the window, one of 8000000 bytes listed",
                              "0 stores, 1000000 listed"}},
                      Mutant{"vector_stores",
                             Side::Fixed,
                             "3",
                             "bench_fixed window 3 <DNA>",
                             {"125000 stores, 1000000 listed",
                              "125000 stores of 16 bytes, 2-byte element stores listed"}},
                      Mutant{"inline_remainder",
                             Side::Random,
                             "",
                             "bench_random window 2 <Float>",
                             {"0 fmodl calls, 1000000 listed"}},
                      Mutant{"doubled_store",
                             Side::Random,
                             "3",
                             "bench_random window 3 <DNA>",
                             {"1000001 stores, 1000000 listed",
                              "1 store to an element already stored"}}),
    [](const ::testing::TestParamInfo<Mutant>& info) { return info.param.name; });

// A record the probe would write for a program that does exactly the listed
// work, for the cases below to change one thing in.
std::string listed_record(Side side) {
  std::string r = "trace=1\nclocks=6\noutside=M8 N1 O161 X2 d2 n1\n";
  const bool random = side == Side::Random;
  const char* const bytes[] = {"8000000", "16000000", "2000000"};
  const char* const widths[] = {"8", "10", "2"};
  const char* const contents[2][3] = {{"integer min=-5368676358 max=-5368676358 draw_mismatches=-1",
                                       "float not_k=0 tail_touched=0", "dna min=59 max=59"},
                                      {"integer min=-5368676477 max=-5368676351 draw_mismatches=0",
                                       "float not_k=0 tail_touched=0", "dna min=65 max=65"}};
  const char* const units[2][3] = {{"S", "S", "S"}, {"RFS", "RLS", "SR"}};
  const char* const prefixes[2][3] = {{"NF", "NL", "NL"}, {"N", "N", "N"}};
  for (int k = 1; k <= 3; ++k) {
    std::string events = prefixes[random][k - 1];
    for (int i = 0; i < 1000000; ++i) {
      events += units[random][k - 1];
    }
    events += "D";
    const std::string w = "w" + std::to_string(k) + ".";
    const std::pair<const char*, std::string> fields[] = {
        {"traced", "1"},
        {"bytes", bytes[k - 1]},
        {"released_in", std::to_string(k)},
        {"stores", "1000000"},
        {"widths", std::string(widths[k - 1]) + ":1000000"},
        {"draws", random ? "1000000" : "0"},
        {"content", contents[random][k - 1]},
        {"event_count", std::to_string(events.size())},
        {"events", events}};
    for (const auto& [key, value] : fields) {
      r.append(w).append(key).append("=").append(value).append("\n");
    }
  }
  return r;
}

std::string with(std::string record, const std::string& key, const std::string& value) {
  const std::size_t at = record.find("\n" + key + "=") + 1;
  const std::size_t end = record.find('\n', at);
  return record.replace(at, end - at, key + "=" + value);
}

TEST(Examine, TheListedWorkIsVerifiedAndEachDepartureIsNamed) {
  for (const Side side : {Side::Random, Side::Fixed}) {
    EXPECT_EQ(compare::examine(side, listed_record(side)).differences, std::vector<std::string>{});
  }
  const std::string fixed = listed_record(Side::Fixed);
  const std::string events = "NF" + std::string(1000000, 'S') + "D";
  const std::pair<std::string, std::string> cases[] = {
      {with(fixed, "w2.released_in", "3"),
       "bench_fixed window 2 <Float>: the array is released in window 3"},
      {with(fixed, "w3.content", "dna min=59 max=60"),
       "bench_fixed window 3 <DNA>: contents at release: dna min=59 max=60; listed: every "
       "element 59 (';')"},
      {with(with(fixed, "w1.events",
                 "NF" + std::string(500000, 'S') + "O" + std::string(500000, 'S') + "D"),
            "w1.event_count", std::to_string(events.size() + 1)),
       "bench_fixed window 1 <Integer>: 1 output call inside the window"},
      {with(fixed, "w1.events", "N" + std::string(1000000, 'S') + "FD"),
       "bench_fixed window 1 <Integer>: the calls and stores leave the listed order before the "
       "first execution: store where fmod is listed"},
      {fixed + "clock3.watched=10\nclock4.watched=20\n",
       "bench_fixed window 2 <Float>: the results file is written inside the window"},
      {with(fixed, "outside", "R3 S1"), "bench_fixed: 3 draws outside every window"},
      {with(fixed, "clocks", "4"), "bench_fixed: the clock is read 4 times, 6 listed"},
  };
  for (const auto& [record, difference] : cases) {
    const ProgramWork work = compare::examine(Side::Fixed, record);
    EXPECT_NE(std::find(work.differences.begin(), work.differences.end(), difference),
              work.differences.end())
        << difference << "\nverdict: " << compare::verdict({work});
  }
}

// On AArch64 the Float test stores a whole 16-byte binary128, and the
// probe's record says which processor the program ran as.
TEST(Examine, OnAArch64TheFloatStoreIsTheWhole16ByteSlot) {
  for (const Side side : {Side::Random, Side::Fixed}) {
    const std::string aarch64 =
        with(listed_record(side), "w2.widths", "16:1000000") + "arch=aarch64\n";
    const ProgramWork work = compare::examine(side, aarch64);
    EXPECT_EQ(work.differences, std::vector<std::string>{});
    EXPECT_NE(compare::describe(work).find("contents      as listed: every slot K, all 16 bytes"),
              std::string::npos)
        << compare::describe(work);
    // The x87's 10 bytes are not the listed store there, nor 16 on x86-64.
    const std::string name = side == Side::Random ? "bench_random" : "bench_fixed";
    EXPECT_EQ(compare::examine(side, with(aarch64, "w2.widths", "10:1000000")).differences,
              std::vector<std::string>{name + " window 2 <Float>: 1000000 stores of 10 bytes, "
                                              "16-byte element stores listed"});
    EXPECT_EQ(
        compare::examine(side, with(listed_record(side), "w2.widths", "16:1000000")).differences,
        std::vector<std::string>{name + " window 2 <Float>: 1000000 stores of 16 bytes, "
                                        "10-byte element stores listed"});
  }
}

TEST(Verify, ReportsEachProgramAndTheVerdictAndWritesTheSameAsJson) {
#if defined(BENCH_EMULATOR)
  GTEST_SKIP() << "runs /bin/true, a program of this machine the emulated probe cannot enter";
#endif
  support::TempDir dir;
  compare::VerifyOptions options{"/bin/true", "/bin/true", PROBE_LIB, dir.file("found.json")};
  std::ostringstream out, err;
  EXPECT_EQ(compare::verify(options, out, err), 1);
  EXPECT_EQ(err.str(), "");
  EXPECT_NE(out.str().find("bench_random (/"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\nverdict: not verified: bench_random: the clock is read 0 times"),
            std::string::npos)
      << out.str();
  const auto json = nlohmann::json::parse(support::read_file(options.json));
  EXPECT_FALSE(json.at("verified").get<bool>());
  EXPECT_EQ(json.at("programs").size(), 2U);
  EXPECT_EQ(out.str().substr(out.str().rfind("verdict: ")),
            json.at("verdict").get<std::string>() + "\n");
}

TEST(Verify, WhatCannotStartIsOneLineOnStandardErrorAndStatusOne) {
  support::TempDir dir;
  const std::pair<compare::VerifyOptions, std::string> cases[] = {
      {{"/bin/true", "/bin/true", dir.file("none.so"), ""},
       "bench_compare: cannot use the probe " + dir.file("none.so") +
           ": No such file or directory\n"},
      {{dir.path, "/bin/true", PROBE_LIB, ""},
       "bench_compare: cannot run bench_random at " + dir.path + ": is a directory\n"},
      {{"/bin/true", "/bin/true", PROBE_LIB, dir.file("no/such/dir/x.json")},
       "bench_compare: cannot write " + dir.file("no/such/dir/x.json") +
           ": No such file or directory\n"},
  };
  for (const auto& [options, message] : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(compare::verify(options, out, err), 1) << message;
    EXPECT_EQ(err.str(), message);
    EXPECT_EQ(out.str(), "");
  }
}

}  // namespace
