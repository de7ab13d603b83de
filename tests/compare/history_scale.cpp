// A benchmark's tool, not a test (tests/bench-history-scale runs it): a
// history of COMPARISONS synthetic comparisons of SESSIONS sessions of
// ROUNDS rounds each (every round with both programs' usage, as a measuring
// run has), stored through the history's one writer, then every figure read
// back as the trend reads them. Prints the size per session and the times.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <string>

#include "compare/history/store.h"

namespace {

using nlohmann::json;

json usage(double wall, int salt) {
  return {{"wall_s", wall},           {"user_s", wall * 0.98},
          {"system_s", 0.002},        {"involuntary_switches", salt % 5},
          {"voluntary_switches", 2},  {"minor_faults", 900 + salt % 50},
          {"major_faults", 0},        {"max_rss_kib", 20480},
          {"runqueue_wait_s", 0.0001}};
}

std::string synthetic(int c, int sessions, int rounds) {
  json all = json::array();
  json listed = json::array();
  for (int s = 1; s <= sessions; ++s) {
    const int day = 1 + (c * sessions + s) / 24 % 28;
    const int month = 1 + (c * sessions + s) / (24 * 28) % 12;
    listed.push_back({{"index", s},
                      {"started_at", fmt::format("20{:02}-{:02}-{:02}T{:02}:00:00Z",
                                                 26 + (c * sessions + s) / (24 * 28 * 12), month,
                                                 day, (c * sessions + s) % 24)}});
    for (int r = 1; r <= rounds; ++r) {
      const double k = 1 + 0.001 * ((c * 7919 + s * 104729 + r * 31) % 97);
      json random = {0.1 * k, 0.05 * k, 0.014 * k};
      json fixed = {0.005 * k, 0.01 * k, 0.001 * k};
      all.push_back({{"index", r},
                     {"session", s},
                     {"first", r % 2 ? "random" : "fixed"},
                     {"random", random},
                     {"fixed", fixed},
                     {"usage", {{"random", usage(0.17 * k, r)}, {"fixed", usage(0.02 * k, r)}}}});
    }
  }
  const std::string started = listed.front()["started_at"];
  return json{
      {"tool", {{"name", "bench_compare"}, {"version", "1.0.0"}}},
      {"format", 2},
      {"label", "nightly"},
      {"started_at", started},
      {"finished_at", started},
      {"method", {{"rounds", "blocks"}}},
      {"sessions", listed},
      {"rounds", all},
      {"machine", {{"cpu_model", "CPU A"}, {"kernel", "Linux 6"}}},
      {"programs", {{"random", {{"compiler", "GCC 12"}}}, {"fixed", {{"compiler", "GCC 12"}}}}},
      {"warnings", json::array()},
      {"stopped", nullptr}}
      .dump();
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: history_scale FILE COMPARISONS SESSIONS ROUNDS\n";
    return 2;
  }
  const std::string path = argv[1];
  const int comparisons = std::stoi(argv[2]);
  const int sessions = std::stoi(argv[3]);
  const int rounds = std::stoi(argv[4]);
  try {
    auto start = std::chrono::steady_clock::now();
    {
      compare::Store store(path, compare::Store::Access::Append);
      for (int c = 0; c < comparisons; ++c) {
        compare::store_comparison(
            store, compare::exports_from_text(synthetic(c, sessions, rounds), "s.json"), {false});
      }
    }
    const double stored = seconds_since(start);
    struct stat st {};
    stat(path.c_str(), &st);
    const double total = static_cast<double>(comparisons) * sessions;
    std::cout << fmt::format(
        "sessions {:.0f}, rounds each {}: stored in {:.1f} s; {:.0f} bytes "
        "({:.2f} KB) a session\n",
        total, rounds, stored, static_cast<double>(st.st_size) / total,
        static_cast<double>(st.st_size) / total / 1024);
    for (int trial = 1; trial <= 3; ++trial) {
      start = std::chrono::steady_clock::now();
      compare::Store store(path, compare::Store::Access::Read);
      const std::size_t figures = compare::read_figures(store, {}).size();
      std::cout << fmt::format("trial {}: opened and read {} figures in {:.3f} s\n", trial, figures,
                               seconds_since(start));
    }
  } catch (const std::exception& error) {
    std::cerr << "history_scale: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
