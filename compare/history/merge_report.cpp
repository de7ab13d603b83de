#include "compare/history/merge_report.h"

#include <cmath>

#include "compare/report/parts.h"

namespace compare {

namespace {

using nlohmann::json;

std::string figure(double estimate, const std::optional<Interval>& interval) {
  return interval
             ? fmt::format("{} [{}, {}]", num(estimate), num(interval->low), num(interval->high))
             : num(estimate);
}

// "2026-12-08T10:00:00Z" as "2026-12-08 10:00", short enough for a table.
std::string short_time(const std::string& iso) {
  if (iso.size() < 16 || iso[10] != 'T') return iso.empty() ? "unknown" : iso;
  return iso.substr(0, 10) + " " + iso.substr(11, 5);
}

const Entry& reference_of(const Merge& m) {
  for (const Entry& e : m.entries) {
    if (e.label == m.reference) return e;
  }
  return m.entries.front();
}

std::string marked(const std::string& value, const std::string& reference) {
  return value != reference ? value + " *" : value;
}

// Cells may hold anything a label holds; only these characters mean something in CSV.
std::string csv_cell(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out = "\"";
  for (char ch : s) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

std::string markdown_cell(const std::string& s) {
  std::string out;
  for (char ch : s) {
    if (ch == '|')
      out += "\\|";
    else if (ch == '\n' || ch == '\r')
      out += ' ';
    else
      out += ch;
  }
  return out;
}

}  // namespace

const char* const kMergeMeaning =
    "Each figure is the geometric mean of the entry's session medians with its 95% interval "
    "(Student's t on their logarithms). Ratios are the entry's over the reference's (below 1 "
    "means less time); p is Welch's t-test on the logarithms of the session medians, adjusted "
    "over every comparison of the merge by Holm's method, with verdicts at adjusted alpha = 0.05.";

Table machines_table(const Merge& m) {
  const Entry& ref = reference_of(m);
  Table t;
  t.title = "Machines and builds (* differs from the reference)";
  t.header = {"Entry",  "Sessions",  "Dates",        "Processor",  "CPUs",
              "Kernel", "C library", "bench_random", "bench_fixed"};
  for (const Entry& e : m.entries) {
    t.rows.push_back(
        {e.label + (e.label == m.reference ? " (reference)" : ""), std::to_string(e.sessions),
         fmt::format("{} to {}", short_time(e.first_started), short_time(e.last_finished)),
         marked(e.machine.cpu_model, ref.machine.cpu_model),
         marked(e.machine.logical_cpus, ref.machine.logical_cpus),
         marked(e.machine.kernel, ref.machine.kernel), marked(e.machine.libc, ref.machine.libc),
         marked(e.random.compiler, ref.random.compiler),
         marked(e.fixed.compiler, ref.fixed.compiler)});
  }
  return t;
}

std::vector<Table> figures_tables(const Merge& m) {
  std::vector<Table> tables;
  for (int test = 0; test < kTests; ++test) {
    Table t;
    t.title = fmt::format("{}: seconds across sessions [95% interval]",
                          kTestNames.at(static_cast<size_t>(test)));
    t.header = {"Entry", "Sessions", "bench_random", "bench_fixed", "random - fixed"};
    for (const Entry& e : m.entries) {
      const EntryTest& et = e.tests.at(static_cast<size_t>(test));
      std::vector<std::string> row = {e.label, std::to_string(e.sessions)};
      for (const Estimate& s : et.across) row.push_back(figure(s.estimate, s.interval));
      t.rows.push_back(std::move(row));
    }
    tables.push_back(std::move(t));
  }
  return tables;
}

std::vector<Table> comparisons_tables(const Merge& m) {
  std::vector<Table> tables;
  for (const char* test : kTestNames) {
    Table t;
    t.title = fmt::format("{}: against {}", test, m.reference);
    t.header = {"Entry", "Series", "Ratio [95% interval]", "p", "p (Holm)", "Verdict"};
    for (const MergeComparison& c : m.comparisons) {
      if (c.test != test) continue;
      t.rows.push_back({c.entry, c.series,
                        c.welch ? figure(c.welch->ratio, c.welch->ratio_interval) : "n/a",
                        p_text(c.welch ? c.welch->p : NAN), p_text(c.p_adjusted), c.verdict});
    }
    tables.push_back(std::move(t));
  }
  return tables;
}

std::string merge_summary(const Merge& m) {
  int sessions = 0;
  size_t files = 0;
  for (const Entry& e : m.entries) {
    sessions += e.sessions;
    files += e.files.size();
  }
  return fmt::format(
      "bench_compare merge: {} entries, {} sessions from {} exports; each compared "
      "with the reference {}.",
      m.entries.size(), sessions, files, m.reference);
}

std::vector<std::string> merge_warnings(const Merge& m) {
  std::vector<std::string> all;
  for (const Entry& e : m.entries) all.insert(all.end(), e.warnings.begin(), e.warnings.end());
  return all;
}

std::string aligned_text(const Table& t) {
  std::vector<size_t> widths(t.header.size(), 0);
  auto measure = [&](const std::vector<std::string>& row) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], display_width(row[i]));
    }
  };
  measure(t.header);
  for (const auto& row : t.rows) measure(row);
  auto line = [&](const std::vector<std::string>& row) {
    std::string out = " ";
    for (size_t i = 0; i < row.size(); ++i) {
      out += " " + row[i];
      if (i + 1 < row.size()) out += std::string(widths[i] - display_width(row[i]) + 1, ' ');
    }
    return out + "\n";
  };
  std::string out = t.title + ":\n" + line(t.header);
  for (const auto& row : t.rows) out += line(row);
  return out;
}

std::string merge_text(const Merge& m) {
  std::string out = merge_summary(m) + "\n\n" + aligned_text(machines_table(m));
  for (const Table& t : figures_tables(m)) out += "\n" + aligned_text(t);
  for (const Table& t : comparisons_tables(m)) out += "\n" + aligned_text(t);
  out += fmt::format("\n{}\n", kMergeMeaning);
  const auto warnings = merge_warnings(m);
  if (!warnings.empty()) out += "\n";
  for (const std::string& w : warnings) out += fmt::format("warning: {}\n", w);
  return out;
}

std::string merge_markdown(const Merge& m) {
  auto table = [](const Table& t) {
    auto row = [](const std::vector<std::string>& cells) {
      std::string line = "|";
      for (const std::string& cell : cells) line += " " + markdown_cell(cell) + " |";
      return line + "\n";
    };
    std::string out = fmt::format("\n**{}**\n\n", markdown_cell(t.title)) + row(t.header) + "|";
    for (size_t i = 0; i < t.header.size(); ++i) out += i == 0 ? "---|" : "---:|";
    out += "\n";
    for (const auto& cells : t.rows) out += row(cells);
    return out;
  };
  std::string out = merge_summary(m) + "\n" + table(machines_table(m));
  for (const Table& t : figures_tables(m)) out += table(t);
  for (const Table& t : comparisons_tables(m)) out += table(t);
  out += fmt::format("\n{}\n", kMergeMeaning);
  const auto warnings = merge_warnings(m);
  if (!warnings.empty()) out += "\nWarnings:\n\n";
  for (const std::string& w : warnings) out += fmt::format("- {}\n", markdown_cell(w));
  return out;
}

std::string merge_csv(const Merge& m) {
  std::string out =
      "entry,test,series,sessions,estimate,low,high,ratio,ratio_low,ratio_high,p_value,p_adjusted,"
      "verdict\n";
  auto value = [](double x) { return std::isfinite(x) ? fmt::format("{:.9g}", x) : std::string(); };
  for (const Entry& e : m.entries) {
    for (const EntryTest& t : e.tests) {
      for (size_t k = 0; k < kSeriesNames.size(); ++k) {
        const Estimate& s = t.across.at(k);
        const MergeComparison* c = nullptr;
        for (const MergeComparison& each : m.comparisons) {
          if (each.entry == e.label && each.test == t.name && each.series == kSeriesNames.at(k)) {
            c = &each;
          }
        }
        const bool w = c != nullptr && c->welch;
        out += fmt::format(
            "{},{},{},{},{},{},{},{},{},{},{},{},{}\n", csv_cell(e.label), t.name,
            kSeriesNames.at(k), e.sessions, value(s.estimate),
            s.interval ? value(s.interval->low) : "", s.interval ? value(s.interval->high) : "",
            w ? value(c->welch->ratio) : "", w ? value(c->welch->ratio_interval.low) : "",
            w ? value(c->welch->ratio_interval.high) : "", w ? value(c->welch->p) : "",
            w ? value(c->p_adjusted) : "", c != nullptr ? csv_cell(c->verdict) : "reference");
      }
    }
  }
  return out;
}

json merge_json(const Merge& m) {
  json entries = json::array();
  for (const Entry& e : m.entries) {
    json tests = json::array();
    for (const EntryTest& t : e.tests) {
      json test = {{"name", t.name}};
      for (size_t k = 0; k < kSeriesNames.size(); ++k) {
        const Estimate& s = t.across.at(k);
        json sessions = json::array();
        for (double v : t.sessions.at(k)) sessions.push_back(number(v));
        test[kSeriesNames.at(k)] = {{"estimate", number(s.estimate)},
                                    {"low", s.interval ? number(s.interval->low) : json(nullptr)},
                                    {"high", s.interval ? number(s.interval->high) : json(nullptr)},
                                    {"session_medians", sessions}};
      }
      tests.push_back(std::move(test));
    }
    const MachineRecord& mr = e.machine;
    entries.push_back({
        {"label", e.label},
        {"files", e.files},
        {"sessions", e.sessions},
        {"rounds", e.rounds},
        {"started_at", e.first_started.empty() ? json(nullptr) : json(e.first_started)},
        {"finished_at", e.last_finished.empty() ? json(nullptr) : json(e.last_finished)},
        {"version", e.version},
        {"machine",
         {{"cpu_model", mr.cpu_model},
          {"logical_cpus", mr.logical_cpus},
          {"kernel", mr.kernel},
          {"libc", mr.libc}}},
        {"programs",
         {{"random", {{"path", e.random.path}, {"compiler", e.random.compiler}}},
          {"fixed", {{"path", e.fixed.path}, {"compiler", e.fixed.compiler}}}}},
        {"tests", tests},
        {"warnings", e.warnings},
    });
  }
  json comparisons = json::array();
  for (const MergeComparison& c : m.comparisons) {
    json ratio = {{"estimate", nullptr}, {"low", nullptr}, {"high", nullptr}};
    if (c.welch) {
      ratio = {{"estimate", number(c.welch->ratio)},
               {"low", number(c.welch->ratio_interval.low)},
               {"high", number(c.welch->ratio_interval.high)}};
    }
    comparisons.push_back({{"entry", c.entry},
                           {"test", c.test},
                           {"series", c.series},
                           {"ratio", ratio},
                           {"p_value", c.welch ? number(c.welch->p) : json(nullptr)},
                           {"p_adjusted", number(c.p_adjusted)},
                           {"verdict", c.verdict}});
  }
  return {{"tool", {{"name", "bench_compare"}, {"version", m.version}}},
          {"reference", m.reference},
          {"method", kMergeMeaning},
          {"entries", entries},
          {"comparisons", comparisons}};
}

}  // namespace compare
