// Stand-in exports of bench_compare with chosen session medians, for the
// tests of the merge.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace standin {

constexpr double kRandom[3] = {0.1, 0.05, 0.014};
constexpr double kFixed[3] = {0.005, 0.01, 0.001};
// Session-to-session variation: every entry's sessions scale by these.
constexpr double kSession[3] = {0.99, 1.0, 1.01};

// One session's medians per test: random and fixed seconds.
struct SessionTimes {
  std::array<double, 3> random, fixed;
};

inline SessionTimes scaled(double factor, int slower_test = -1, double random_by = 1,
                           int faster_test = -1, double fixed_by = 1) {
  SessionTimes s{};
  for (int t = 0; t < 3; ++t) {
    s.random.at(t) = kRandom[t] * factor * (t == slower_test ? random_by : 1);
    s.fixed.at(t) = kFixed[t] * factor * (t == faster_test ? fixed_by : 1);
  }
  return s;
}

// An export of the sessions, six identical rounds each, so that each
// session's medians are exactly its times.
inline nlohmann::json export_of(const std::string& label, const std::string& started,
                                const std::vector<SessionTimes>& sessions,
                                const std::string& cpu = "CPU A") {
  using nlohmann::json;
  json rounds = json::array();
  int index = 0;
  for (size_t s = 0; s < sessions.size(); ++s) {
    for (int r = 0; r < 6; ++r) {
      rounds.push_back({{"index", ++index},
                        {"session", s + 1},
                        {"first", r % 2 == 0 ? "random" : "fixed"},
                        {"random", sessions[s].random},
                        {"fixed", sessions[s].fixed}});
    }
  }
  return {{"tool", {{"name", "bench_compare"}, {"version", "1.0.0"}}},
          {"label", label},
          {"started_at", started},
          {"finished_at", started},
          {"method", {{"rounds", "blocks"}}},
          {"rounds", rounds},
          {"machine", {{"cpu_model", cpu}, {"kernel", "Linux 6"}}},
          {"programs", {{"random", {{"compiler", "GCC 12"}}}, {"fixed", {{"compiler", "GCC 12"}}}}},
          {"warnings", json::array({"a warning of its own."})},
          {"stopped", nullptr}};
}

}  // namespace standin
