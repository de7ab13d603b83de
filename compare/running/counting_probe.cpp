// Running the pair under the counting probe: its place, its record and what
// a run needs to carry it. Whether a program can take it is system-specific
// (counting_probe_posix.cpp, counting_probe_windows.cpp).
#include "compare/running/counting_probe.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "compare/running/files.h"
#include "compare/stats/counts.h"

namespace compare {
namespace {

constexpr const char* kCountersRecord = "counters-record.txt";
constexpr const char* kCountersName = "libbench_counters.so";

}  // namespace

bool read_counts(const std::string& record, RunCounts& counts,
                 std::map<std::string, std::string>& unavailable, std::string& why) {
  counts = RunCounts{};
  std::map<std::string, std::string> fields;
  std::istringstream lines(record);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  if (fields[protocol::kCountingMark] != "1") {
    why = "its record is not the counting probe's";
    return false;
  }
  if (fields[protocol::kWindowsKey] != std::to_string(kTests)) {
    why = fmt::format(
        "the counting probe saw {} of its {} timing windows close",
        fields[protocol::kWindowsKey].empty() ? "none" : fields[protocol::kWindowsKey], kTests);
    return false;
  }
  for (const auto& [key, value] : fields) {
    const std::string prefix = protocol::kUnavailablePrefix;
    if (key.rfind(prefix, 0) == 0) {
      unavailable[key.substr(prefix.size())] = value;
      continue;
    }
    // "wN.EVENT": the count of one window.
    if (key.size() < 4 || key[0] != 'w' || key[2] != '.' || key[1] < '1' || key[1] > '0' + kTests) {
      continue;
    }
    const int e = event_index(key.substr(3));
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (e < 0 || value.empty() || *end != '\0' || !std::isfinite(v) || v < 0) {
      continue;
    }
    counts.at(static_cast<std::size_t>(key[1] - '1')).at(static_cast<std::size_t>(e)) = v;
  }
  return true;
}

std::string counting_probe_path(const std::string& probe) {
  return (std::filesystem::path(probe).parent_path() / "libbench_counters.so").string();
}

std::string counting_unusable(const std::string& counting_probe, const std::string& random,
                              const std::string& fixed) {
  if (access(counting_probe.c_str(), R_OK) != 0) {
    return fmt::format("--counters cannot use the counting probe {}: {}", counting_probe,
                       std::strerror(errno));
  }
  for (const Side side : {Side::Random, Side::Fixed}) {
    const std::string& program = side == Side::Random ? random : fixed;
    const std::string why = counting_unsupported(program);
    if (!why.empty()) {
      return fmt::format("--counters cannot count {} at {}: {}", program_name(side), program, why);
    }
  }
  return {};
}

void add_counting(RunRequest& request, const std::string& counting_probe) {
  // The dynamic linker splits LD_PRELOAD at spaces and colons: the probe is
  // preloaded under a plain name in the run's directory, where it runs.
  request.links.emplace(kCountersName, counting_probe);
  request.env.push_back(std::string("LD_PRELOAD=./") + kCountersName);
  request.env.push_back(std::string(protocol::kReportVariable) + "=%DIR%/" + kCountersRecord);
  request.files.emplace_back(kCountersRecord);
}

bool counts_of(const RunOutcome& run, RunCounts& counts,
               std::map<std::string, std::string>& unavailable, std::string& why) {
  const auto record = run.files.find(kCountersRecord);
  if (record == run.files.end()) {
    why = "the counting probe wrote no record: it was not loaded into the program";
    return false;
  }
  if (!read_counts(record->second, counts, unavailable, why)) {
    why = "the counting probe's record is unusable: " + why;
    return false;
  }
  return true;
}

}  // namespace compare
