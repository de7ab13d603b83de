#include "compare/report/parts.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace compare {

namespace {

constexpr const char* kMeaning =
    "± is the median absolute deviation of a program's times over the rounds; [low, high] is a "
    "95% confidence interval for the median of the per-round differences random - fixed, from "
    "the sign test, which assumes nothing about their distribution.";
constexpr const char* kNoInterval = "no interval (fewer than 6 rounds)";
constexpr const char* kOneSession =
    "That interval describes the seconds this comparison ran in: the machine's speed changes from "
    "minute to minute, and --sessions N measures how much.";
constexpr const char* kAcrossMeaning =
    "Each figure is the geometric mean of the sessions' medians; [low, high] is its 95% confidence "
    "interval from Student's t on the logarithms of the session medians, so it includes how the "
    "machine's speed varied from session to session.";

std::string pad(const std::string& s, size_t width) {
  size_t w = display_width(s);
  return w >= width ? s : s + std::string(width - w, ' ');
}

}  // namespace

bool across(const Comparison& c) { return c.sessions.size() >= 2; }

std::string meaning(const Comparison& c) {
  return across(c) ? kAcrossMeaning : fmt::format("{}\n{}", kMeaning, kOneSession);
}

// Four significant digits keep differences of a few milliseconds readable
// next to times of a second.
std::string num(double x) { return std::isfinite(x) ? fmt::format("{:.4g}", x) : "n/a"; }

std::string ratio_text(double r) {
  if (!std::isfinite(r)) return "n/a";
  return r >= 100 ? fmt::format("{:.0f}x", r) : fmt::format("{:.3g}x", r);
}

nlohmann::json number(double x) {
  return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
}

std::string plural(size_t n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

std::string with_interval(double value, const std::optional<Interval>& interval, const char* none) {
  return num(value) + (interval ? fmt::format(" [{}, {}]", num(interval->low), num(interval->high))
                                : fmt::format(", {}", none));
}

std::vector<std::vector<std::string>> table_rows(const Comparison& c) {
  std::vector<std::vector<std::string>> rows;
  for (const TestResult& t : c.tests) {
    std::string random = fmt::format("{} ± {}", num(t.random.median), num(t.random.mad));
    std::string fixed = fmt::format("{} ± {}", num(t.fixed.median), num(t.fixed.mad));
    std::string difference = with_interval(t.difference, t.interval, kNoInterval);
    if (across(c)) {
      const char* none = "no interval";
      random = with_interval(t.random.median, t.random_interval, none);
      fixed = with_interval(t.fixed.median, t.fixed_interval, none);
      difference = with_interval(t.difference, t.interval, none);
    }
    rows.push_back(
        {t.name, random, fixed, difference, num(t.ns_per_execution), ratio_text(t.ratio)});
  }
  return rows;
}

// One line per session: when it started, its rounds, and per test its
// medians and the difference's sign-test interval.
std::vector<std::vector<std::string>> session_rows(const Comparison& c) {
  std::vector<std::vector<std::string>> rows = {{"  session", "started", "rounds"}};
  for (const char* test : kTestNames) {
    rows[0].push_back(fmt::format("{}: random, fixed, difference [95%]", test));
  }
  for (const SessionRecord& s : c.sessions) {
    std::vector<std::string> row = {fmt::format("  {}", s.index), s.started_at,
                                    std::to_string(s.rounds.size())};
    for (const TestResult& t : s.tests) {
      row.push_back(fmt::format("{}, {}, {}", num(t.random.median), num(t.fixed.median),
                                with_interval(t.difference, t.interval, "no interval")));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

size_t display_width(const std::string& s) {
  size_t n = 0;
  for (char ch : s) n += (static_cast<unsigned char>(ch) & 0xC0U) != 0x80U ? 1 : 0;
  return n;
}

std::string aligned(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], display_width(row[i]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += i + 1 < row.size() ? pad(row[i], widths[i]) + "  " : row[i];
    }
    out += line + "\n";
  }
  return out;
}

std::string header(const Comparison& c) {
  if (across(c)) {
    return fmt::format(
        "bench_compare {}: {} sessions apart in time, {} in all; each session's run in blocks of "
        "two in random order (random-fixed then fixed-random, or the reverse{}).",
        c.version, c.sessions.size(), plural(c.rounds.size(), "counted round", "counted rounds"),
        c.seed ? fmt::format("; --seed {} repeats the orders", *c.seed) : "");
  }
  return fmt::format(
      "bench_compare {}: {}, run in blocks of two in random order (random-fixed then "
      "fixed-random, or the reverse{}).",
      c.version, plural(c.rounds.size(), "counted round", "counted rounds"),
      c.seed ? fmt::format("; --seed {} repeats the order", *c.seed) : "");
}

std::string stopped_line(const Comparison& c) {
  return fmt::format("The comparison stopped early ({}); the figures cover only the {} completed.",
                     c.stopped, plural(c.rounds.size(), "round", "rounds"));
}

std::string known(const std::string& s) { return s.empty() ? "unknown" : s; }

std::string p_text(double p) { return std::isfinite(p) ? fmt::format("{:.3g}", p) : "n/a"; }

std::string data_value(double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : "NaN"; }

}  // namespace compare
