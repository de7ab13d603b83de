// Stand-in builds for bench_compare --build end to end: every run's times
// are planned (standins.h's script, one plan per program), so that each
// ratio, p and count the comparison reports is known in advance. Run n of
// every program falls in the same round, and the machine's planned drift
// touches a round's runs alike.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "standins.h"

namespace builds_standins {

using nlohmann::json;
using standins::kScript;
using standins::replace_all;

inline constexpr double kRandom[3] = {0.012, 0.008, 0.004};
inline constexpr double kFixed[3] = {0.002, 0.003, 0.001};
inline constexpr const char* kTests[3] = {"Integer", "Float", "DNA"};
inline constexpr int kPlanned = 200;  // runs planned for each program

inline double drift(int run) { return 1 + 0.2 * ((run * 3) % 7) / 7.0; }

// Small noise in [-0.003, 0.003], fixed by what it is drawn for.
inline double noise(int salt, int test, int run) {
  return 0.003 * (((run * 7919 + test * 104729 + salt * 31337) % 2001) / 1000.0 - 1);
}

// A build's time over the plan's base, by program (random or not), test and run.
using Factor = std::function<double(bool random, int test, int run)>;
inline const Factor kSame = [](bool, int, int) { return 1.0; };

class BuildsCli : public ::testing::Test {
 protected:
  // LABEL=RANDOM,FIXED of stand-ins whose random exits 3 on run `fail_run`.
  std::string build(const std::string& label, const Factor& factor, int fail_run = 0) {
    std::string paths;
    for (const bool random : {true, false}) {
      const std::string role = label + (random ? "_random" : "_fixed");
      std::string script = replace_all(kScript, "ROLE", role);
      support::write_file(dir_.file(role), replace_all(script, "FILE",
                                                       random ? "results_complex_32.txt"
                                                              : "results_complex_contrast_32.txt"));
      chmod(dir_.file(role).c_str(), 0755);
      std::string lines;
      for (int n = 1; n <= kPlanned; ++n) {
        for (int t = 0; t < 3; ++t) {
          const double base = random ? kRandom[t] : kFixed[t];
          lines += fmt::format("{}{:.9g}", t ? " " : "", base * drift(n) * factor(random, t, n));
        }
        lines += random && n == fail_run ? " exit3\n" : "\n";
      }
      support::write_file(dir_.file(role + ".times"), lines);
      paths += (random ? "" : ",") + dir_.file(role);
    }
    return label + "=" + paths;
  }

  support::RunResult compare(std::vector<std::string> args) const {
    support::RunOptions options{dir_.path};
    options.args = std::move(args);
    options.env = {"STANDIN_STATE=" + dir_.path};
    return support::run(BENCH_COMPARE, options);
  }

  // Runs the comparison into out.json and returns the export.
  json exported(std::vector<std::string> args) const {
    args.insert(args.end(), {"--quiet", "--json", dir_.file("out.json")});
    const support::RunResult r = compare(args);
    EXPECT_EQ(r.status, 0) << r.err;
    report_ = r.out;
    return json::parse(support::read_file(dir_.file("out.json")));
  }

  mutable std::string report_;
  support::TempDir dir_;
};

// The comparisons of an export by "ENTRY TEST SERIES".
inline std::map<std::string, json> by_series(const json& j) {
  std::map<std::string, json> found;
  for (const json& c : j["comparisons"]) {
    found[fmt::format("{} {} {}", c["entry"].get<std::string>(), c["test"].get<std::string>(),
                      c["series"].get<std::string>())] = c;
  }
  return found;
}

inline double ratio(const json& c) { return c["ratio"]["estimate"].get<double>(); }

}  // namespace builds_standins
