#include "compare/running/documents.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace compare {
namespace {

constexpr int kLines = 17;
constexpr const char* kHeadings[kTests] = {"1. Numeric Simulation. <Integer>",
                                           "2. Numeric Simulation. <Float>",
                                           "3. DNA Simulation. <Logic>"};
const std::string kSpendLabel = "It spends: ";
const std::string kSpendUnit = " Secs";
const std::string kRateLabel = "It is:     ";
const std::string kRateUnit = " M Executions/Secs";

// Lines without their ends (LF or CR LF); a last line without an end is
// reported by the caller as incomplete.
std::vector<std::string> split_lines(const std::string& text, bool& ends_with_newline) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
    at = end + 1;
  }
  ends_with_newline = !text.empty() && text.back() == '\n';
  return lines;
}

bool between(const std::string& line, const std::string& head, const std::string& tail,
             std::string& middle) {
  if (line.size() < head.size() + tail.size() + 1 || line.compare(0, head.size(), head) != 0 ||
      line.compare(line.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  middle = line.substr(head.size(), line.size() - head.size() - tail.size());
  return true;
}

std::optional<double> seconds_of(const std::string& text) {
  if (text.empty() || text.find_first_of(" \t") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno != 0 || !std::isfinite(value) || value < 0) {
    return std::nullopt;
  }
  return value;
}

std::string in_quotes(const std::string& line) {
  return "\"" + (line.size() > 60 ? line.substr(0, 60) + "..." : line) + "\"";
}

}  // namespace

std::optional<Times> read_times(const std::string& results, const std::string& console,
                                std::string& error) {
  bool complete = false;
  const std::vector<std::string> lines = split_lines(results, complete);
  if (lines.size() != kLines || !complete) {
    error = "its results file holds " + std::to_string(lines.size()) +
            (complete ? "" : " (the last unfinished)") + " lines, not the " +
            std::to_string(kLines) + " of a whole document";
    return std::nullopt;
  }
  // Title, two blanks, then per test: heading, blank, spend, rate, and a blank between tests.
  if (lines[0].empty() || !lines[1].empty() || !lines[2].empty()) {
    error = "its results file does not open with a title and two blank lines";
    return std::nullopt;
  }
  std::vector<std::string> console_spends;
  bool console_complete = false;
  for (const std::string& line : split_lines(console, console_complete)) {
    if (line.compare(0, kSpendLabel.size(), kSpendLabel) == 0) {
      std::string number;
      console_spends.push_back(between(line, kSpendLabel, kSpendUnit, number) ? number : line);
    }
  }
  Times times{};
  for (int test = 0; test < kTests; ++test) {
    const std::size_t at = 3 + static_cast<std::size_t>(test) * 5;
    std::string spend, rate;
    if (lines[at] != kHeadings[test] || !lines[at + 1].empty() ||
        !between(lines[at + 2], kSpendLabel, kSpendUnit, spend) ||
        !between(lines[at + 3], kRateLabel, kRateUnit, rate) ||
        (test + 1 < kTests && !lines[at + 4].empty())) {
      error = std::string("its results file is malformed in test ") + std::to_string(test + 1) +
              " <" + kTestNames[test] + "> at line " + in_quotes(lines[at + 2]);
      return std::nullopt;
    }
    const std::optional<double> seconds = seconds_of(spend);
    if (!seconds) {
      error = std::string("its results file gives no time for test ") + std::to_string(test + 1) +
              " <" + kTestNames[test] + ">: " + in_quotes(spend);
      return std::nullopt;
    }
    if (console_spends.size() != kTests || console_spends[test] != spend) {
      error = std::string("its results file and its console disagree on test ") +
              std::to_string(test + 1) + " <" + kTestNames[test] + ">";
      return std::nullopt;
    }
    times[test] = *seconds;
  }
  return times;
}

}  // namespace compare
