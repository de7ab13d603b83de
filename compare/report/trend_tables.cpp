// A trend's tables, built once, and its text, Markdown and CSV.
#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <set>
#include <utility>

#include "compare/render/format.h"
#include "compare/report/trend.h"
#include "compare/stats/reference.h"

namespace compare {

namespace {

// Four significant digits: ratios near 1 differ in the third.
std::string times(double r) { return std::isfinite(r) ? fmt::format("{:.4g}x", r) : "n/a"; }

std::string change_ratio_cell(const ChangePoint& c) {
  if (!c.interval) return times(c.ratio);
  return fmt::format("{} [{}, {}]", times(c.ratio), num(c.interval->low), num(c.interval->high));
}

// A date from the database as the tables show it: what is no date is
// "unknown" there (the JSON and CSV keep it whole).
std::string when(const std::string& iso) {
  return epoch_seconds(iso) ? short_time(iso) : "unknown";
}
std::string day(const std::string& iso) {
  return epoch_seconds(iso) ? iso.substr(0, 10) : "unknown";
}

std::string dates(const TrendSeries& s) {
  if (s.points.empty()) return "none";
  const std::string from = day(s.points.front().started_at);
  const std::string to = day(s.points.back().started_at);
  return from == to ? from : from + " to " + to;
}

std::string series_title(const TrendSeries& s) {
  return fmt::format("{} {}", s.test, series_name(s.series));
}

// The significant changes of a series, counted by direction.
std::string changes_cell(const TrendSeries& s) {
  std::size_t slower = 0;
  std::size_t faster = 0;
  for (const ChangePoint& c : s.changes) {
    slower += c.verdict == VerdictKind::Slower ? 1 : 0;
    faster += c.verdict == VerdictKind::Faster ? 1 : 0;
  }
  if (slower + faster == 0) return "no change found";
  if (faster == 0) return fmt::format("{} slower", slower);
  if (slower == 0) return fmt::format("{} faster", faster);
  return fmt::format("{} slower, {} faster", slower, faster);
}

std::string group_heading(const TrendSeries& s) {
  const std::string machine = "Machine " + known(s.machine);
  return s.build.empty() ? machine : machine + ", build " + s.build;
}

TrendGroup empty_group(const TrendSeries& s) {
  TrendGroup g;
  g.heading = group_heading(s);
  g.series.header = {"Test", "Series", "Sessions", "Dates", "First", "Last", "Changes"};
  g.series.word_columns = 2;
  g.changes.title = "Changes found";
  g.changes.header = {"Series",   "First session", "Ratio [95% interval]", "Verdict", "p",
                      "p (Holm)", "Median before", "Median after",         "Label"};
  g.changes.word_columns = 2;
  // A label may be long: in the terminal, a line under its row.
  g.changes.line_columns = 1;
  return g;
}

void add_series(TrendGroup& g, const TrendSeries& s) {
  const bool any = !s.points.empty();
  g.series.rows.push_back({s.test, series_name(s.series), std::to_string(s.points.size()), dates(s),
                           any ? num(s.points.front().value) : "n/a",
                           any ? num(s.points.back().value) : "n/a", changes_cell(s)});
  for (const ChangePoint& c : s.changes) {
    if (!significant(c)) continue;
    const bool placed = c.first < s.points.size();
    g.changes.rows.push_back({series_title(s),
                              placed ? when(s.points[c.first].started_at) : "unknown",
                              change_ratio_cell(c), verdict_text(c.verdict), p_text(c.p),
                              p_text(c.p_adjusted.value_or(NAN)), num(c.median_before),
                              num(c.median_after), placed ? s.points[c.first].label : ""});
  }
}

}  // namespace

std::vector<TrendGroup> trend_groups(const Trend& t) {
  std::vector<TrendGroup> groups;
  std::vector<std::pair<std::string, std::string>> keys;
  for (std::size_t i = 0; i < t.series.size(); ++i) {
    const TrendSeries& s = t.series[i];
    const std::pair<std::string, std::string> key{s.machine, s.build};
    std::size_t at = 0;
    while (at < keys.size() && keys[at] != key) ++at;
    if (at == keys.size()) {
      keys.push_back(key);
      groups.push_back(empty_group(s));
    }
    groups[at].members.push_back(i);
    add_series(groups[at], s);
  }
  return groups;
}

std::vector<std::string> trend_lines(const Trend& t) {
  std::set<std::pair<std::string, std::string>> sessions;
  std::set<std::string> machines;
  std::optional<std::string> first;
  std::optional<std::string> last;
  for (const TrendSeries& s : t.series) {
    machines.insert(s.machine);
    for (const TrendPoint& p : s.points) {
      sessions.emplace(s.machine, p.started_at);
      if (!epoch_seconds(p.started_at)) continue;
      if (!first || p.started_at < *first) first = p.started_at;
      if (!last || p.started_at > *last) last = p.started_at;
    }
  }
  std::vector<std::string> lines;
  if (t.series.empty()) {
    lines.emplace_back("bench_compare trend: no session in the history matches.");
  } else {
    lines.push_back(fmt::format("bench_compare trend{}: {} from {} on {}{}.",
                                t.reference.empty() ? "" : " of ratios to " + t.reference,
                                plural(t.series.size(), "series", "series"),
                                plural(sessions.size(), "session", "sessions"),
                                plural(machines.size(), "machine", "machines"),
                                first ? fmt::format(", {} to {}", when(*first), when(*last)) : ""));
  }
  lines.push_back(t.reference.empty()
                      ? "Figures are each session's median time in seconds."
                      : fmt::format("Figures are ratios to build {}, measured in the same rounds.",
                                    t.reference));
  std::string filters;
  for (const auto& [name, value] : {std::pair<const char*, const std::string&>{"since", t.since},
                                    {"until", t.until},
                                    {"label", t.label_filter},
                                    {"machine", t.machine_filter}}) {
    if (!value.empty()) filters += fmt::format("{}{} {}", filters.empty() ? "" : ", ", name, value);
  }
  if (!filters.empty()) lines.push_back("Filters: " + filters + ".");
  return lines;
}

std::string trend_text(const Trend& t) {
  std::string out;
  for (const std::string& line : trend_lines(t)) out += wrapped(line);
  for (const TrendGroup& g : trend_groups(t)) {
    out += "\n" + wrapped(g.heading + ":") + text_table(g.series, 2);
    if (!g.changes.rows.empty()) out += "\n" + text_table(g.changes, 2);
  }
  if (!t.series.empty()) out += "\n" + wrapped(kTrendMeaning);
  return printable_lines(out);
}

std::string trend_markdown(const Trend& t) {
  std::string out;
  for (const std::string& line : trend_lines(t)) out += markdown_cell(line) + "\n\n";
  for (const TrendGroup& g : trend_groups(t)) {
    out += "### " + markdown_cell(g.heading) + "\n\n" + markdown_table(g.series);
    if (!g.changes.rows.empty()) out += "\n" + markdown_table(g.changes);
    out += "\n";
  }
  if (!t.series.empty()) out += markdown_cell(kTrendMeaning) + "\n";
  return out;
}

std::string trend_csv(const Trend& t) {
  Table csv;
  csv.header = {"machine",      "build",      "test",        "series",        "session",
                "started_at",   "label",      "value",       "low",           "high",
                "change_ratio", "change_low", "change_high", "median_before", "median_after",
                "p_value",      "p_adjusted", "verdict"};
  auto value = [](double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : std::string(); };
  for (const TrendSeries& s : t.series) {
    for (std::size_t i = 0; i < s.points.size(); ++i) {
      const TrendPoint& p = s.points[i];
      std::vector<std::string> row = {s.machine,
                                      s.build,
                                      s.test,
                                      series_name(s.series),
                                      std::to_string(i + 1),
                                      p.started_at,
                                      p.label,
                                      value(p.value),
                                      p.interval ? value(p.interval->low) : "",
                                      p.interval ? value(p.interval->high) : ""};
      const ChangePoint* c = nullptr;
      for (const ChangePoint& each : s.changes) c = each.first == i ? &each : c;
      if (c == nullptr) {
        row.resize(csv.header.size());
      } else {
        row.insert(row.end(), {value(c->ratio), c->interval ? value(c->interval->low) : "",
                               c->interval ? value(c->interval->high) : "", value(c->median_before),
                               value(c->median_after), value(c->p),
                               value(c->p_adjusted.value_or(NAN)), verdict_text(c->verdict)});
      }
      csv.rows.push_back(std::move(row));
    }
  }
  return csv_table(csv);
}

}  // namespace compare
