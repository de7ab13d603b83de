// Stand-in exports for the history's tests: two sessions of six rounds on a
// chosen day, their times spread so that each session's median and
// interval are its own.
#pragma once

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <string>

namespace history_exports {

inline std::string export_text(const std::string& label, int day, double factor = 1,
                               const std::string& cpu = "CPU A") {
  using nlohmann::json;
  const double random[3] = {0.1, 0.05, 0.014};
  const double fixed[3] = {0.005, 0.01, 0.001};
  json rounds = json::array();
  json sessions = json::array();
  for (int s = 1; s <= 2; ++s) {
    sessions.push_back(
        {{"index", s}, {"started_at", fmt::format("2026-01-{:02}T0{}:00:00Z", day, s)}});
    for (int r = 1; r <= 6; ++r) {
      json times_random = json::array();
      json times_fixed = json::array();
      for (int t = 0; t < 3; ++t) {
        const double wobble = 1 + 0.001 * ((r * 5 + t + s) % 7);
        times_random.push_back(random[t] * factor * wobble);
        times_fixed.push_back(fixed[t] * (2 - wobble));
      }
      rounds.push_back({{"index", r},
                        {"session", s},
                        {"first", r % 2 == 1 ? "random" : "fixed"},
                        {"random", times_random},
                        {"fixed", times_fixed}});
    }
  }
  const std::string started = fmt::format("2026-01-{:02}T01:00:00Z", day);
  const json j = {
      {"tool", {{"name", "bench_compare"}, {"version", "1.0.0"}}},
      {"format", 2},
      {"label", label},
      {"started_at", started},
      {"finished_at", started},
      {"method", {{"rounds", "blocks"}}},
      {"sessions", sessions},
      {"rounds", rounds},
      {"machine", {{"cpu_model", cpu}, {"kernel", "Linux 6"}}},
      {"programs", {{"random", {{"compiler", "GCC 12"}}}, {"fixed", {{"compiler", "GCC 12"}}}}},
      {"warnings", json::array()},
      {"stopped", nullptr}};
  return j.dump();
}

}  // namespace history_exports
