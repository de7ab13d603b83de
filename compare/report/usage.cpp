#include "compare/report/usage.h"

#include <fmt/format.h>

#include "compare/stats/usage.h"

namespace compare {

std::vector<std::string> usage_lines(const std::vector<Round>& rounds) {
  std::vector<std::string> lines;
  for (const Side side : {Side::Random, Side::Fixed}) {
    const UsageSummary s = summarise_usage(rounds, side);
    if (s.runs == 0) continue;
    const Usage& m = s.median;
    const double processor = s.processor_s;
    lines.push_back(fmt::format(
        "{}, {} of {} run{}: processor {} (user {}, system {}) of {} wall ({:.1f}%), {}, {} "
        "involuntary switches, {} page faults ({} major), peak memory {} KiB",
        program_name(side), s.runs == 1 ? "figures" : "medians", s.runs, s.runs == 1 ? "" : "s",
        seconds_text(processor), seconds_text(m.user_s), seconds_text(m.system_s),
        seconds_text(m.wall_s), m.wall_s > 0 ? 100 * processor / m.wall_s : 0.0,
        m.runqueue_wait_s ? seconds_text(*m.runqueue_wait_s) + " waiting for a CPU"
                          : "waiting time unknown",
        m.involuntary_switches, m.minor_faults + m.major_faults, m.major_faults, m.max_rss_kib));
  }
  return lines;
}

nlohmann::json usage_json(const std::optional<Usage>& usage) {
  if (!usage) return nullptr;
  const Usage& u = *usage;
  return {{"wall_s", u.wall_s},
          {"user_s", u.user_s},
          {"system_s", u.system_s},
          {"involuntary_switches", u.involuntary_switches},
          {"voluntary_switches", u.voluntary_switches},
          {"minor_faults", u.minor_faults},
          {"major_faults", u.major_faults},
          {"max_rss_kib", u.max_rss_kib},
          {"runqueue_wait_s",
           u.runqueue_wait_s ? nlohmann::json(*u.runqueue_wait_s) : nlohmann::json(nullptr)}};
}

std::vector<std::string> usage_csv_header() {
  return {
      "wall_s",       "user_s",       "system_s",    "involuntary_switches", "voluntary_switches",
      "minor_faults", "major_faults", "max_rss_kib", "runqueue_wait_s"};
}

std::vector<std::string> usage_csv(const std::optional<Usage>& usage) {
  if (!usage) return std::vector<std::string>(usage_csv_header().size());
  const Usage& u = *usage;
  return {fmt::format("{:.9g}", u.wall_s),
          fmt::format("{:.9g}", u.user_s),
          fmt::format("{:.9g}", u.system_s),
          std::to_string(u.involuntary_switches),
          std::to_string(u.voluntary_switches),
          std::to_string(u.minor_faults),
          std::to_string(u.major_faults),
          std::to_string(u.max_rss_kib),
          u.runqueue_wait_s ? fmt::format("{:.9g}", *u.runqueue_wait_s) : ""};
}

}  // namespace compare
