#include "compare/report/usage.h"

#include <fmt/format.h>

#include "compare/export/usage.h"
#include "compare/stats/usage.h"

namespace compare {

namespace {

// The figures of one program's summary that its system gave, in order.
std::vector<std::string> usage_parts(const UsageSummary& s) {
  const Usage& m = s.median;
  const double processor = s.processor_s;
  std::vector<std::string> parts;
  if (m.has_processor) {
    parts.push_back(fmt::format("processor {} (user {}, system {}) of {} wall ({:.1f}%)",
                                seconds_text(processor), seconds_text(m.user_s),
                                seconds_text(m.system_s), seconds_text(m.wall_s),
                                m.wall_s > 0 ? 100 * processor / m.wall_s : 0.0));
  } else {
    parts.push_back(seconds_text(m.wall_s) + " wall");
  }
  // A system that counts no switches (Windows) tells no wait either.
  if (m.runqueue_wait_s) {
    parts.push_back(seconds_text(*m.runqueue_wait_s) + " waiting for a CPU");
  } else if (m.has_switches) {
    parts.emplace_back("waiting time unknown");
  }
  if (m.has_switches)
    parts.push_back(fmt::format("{} involuntary switches", m.involuntary_switches));
  if (m.has_faults && m.has_fault_split) {
    parts.push_back(
        fmt::format("{} page faults ({} major)", m.minor_faults + m.major_faults, m.major_faults));
  } else if (m.has_faults) {
    parts.push_back(fmt::format("{} page faults", m.minor_faults));
  }
  if (m.has_memory) parts.push_back(fmt::format("peak memory {} KiB", m.max_rss_kib));
  return parts;
}

}  // namespace

std::vector<std::string> usage_lines(const std::vector<Round>& rounds) {
  std::vector<std::string> lines;
  for (const Side side : {Side::Random, Side::Fixed}) {
    const UsageSummary s = summarise_usage(rounds, side);
    if (s.runs == 0) continue;
    std::string line =
        fmt::format("{}, {} of {} run{}: ", program_name(side), s.runs == 1 ? "figures" : "medians",
                    s.runs, s.runs == 1 ? "" : "s");
    const std::vector<std::string> parts = usage_parts(s);
    for (std::size_t i = 0; i < parts.size(); ++i) line += (i == 0 ? "" : ", ") + parts[i];
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> usage_csv_header() { return {kUsageKeys.begin(), kUsageKeys.end()}; }
std::vector<std::string> usage_csv(const std::optional<Usage>& usage) {
  if (!usage) return std::vector<std::string>(usage_csv_header().size());
  const Usage& u = *usage;
  const bool split = u.has_faults && u.has_fault_split;
  auto given = [](bool has, const std::string& text) { return has ? text : std::string(); };
  return {fmt::format("{:.9g}", u.wall_s),
          given(u.has_processor, fmt::format("{:.9g}", u.user_s)),
          given(u.has_processor, fmt::format("{:.9g}", u.system_s)),
          given(u.has_switches, std::to_string(u.involuntary_switches)),
          given(u.has_switches, std::to_string(u.voluntary_switches)),
          given(split, std::to_string(u.minor_faults)),
          given(split, std::to_string(u.major_faults)),
          given(u.has_memory, std::to_string(u.max_rss_kib)),
          u.runqueue_wait_s ? fmt::format("{:.9g}", *u.runqueue_wait_s) : ""};
}

}  // namespace compare
