// A trend's report in every format, from a hand-made trend: one series with
// a slower change, one without; and text from the database kept inert.
#include "compare/commands/trend_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "../support.h"
#include "compare/export/trend.h"
#include "compare/render/table.h"
#include "compare/report/trend.h"
#include "compare/running/gnuplot.h"

namespace compare {
namespace {

// Twelve daily sessions; from the seventh on, 5% more time in the first series.
Trend made_trend(const std::string& machine = "m1", const std::string& label = "gcc") {
  Trend t;
  t.version = "1.0";
  for (const Series which : {Series::Random, Series::Fixed}) {
    TrendSeries s{machine, "gcc", "Integer", which, {}, {}};
    for (int day = 1; day <= 12; ++day) {
      const double v = which == Series::Random && day >= 7 ? 1.05 : 1.0;
      s.points.push_back(
          {fmt::format("2026-12-{:02}T08:00:00Z", day), label, v, Interval{v * 0.99, v * 1.01}});
    }
    if (which == Series::Random) {
      s.changes.push_back(
          {6, 1.0, 1.05, 1.05, Interval{1.03, 1.07}, 0.001, 0.009, VerdictKind::Slower});
    }
    t.series.push_back(s);
  }
  return t;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void expect_fits(const std::string& text) {
  for (const std::string& line : lines_of(text)) EXPECT_LE(display_width(line), kTextWidth) << line;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(TrendReport, TheTextNamesEachChangeAndEachSeriesWithoutOne) {
  Trend t = made_trend();
  std::string text = trend_text(t);
  expect_fits(text);
  EXPECT_TRUE(has(text, "2026-12-07 08:00")) << text;  // the change's first session
  EXPECT_TRUE(has(text, "1.05x [1.03, 1.07]")) << text;
  EXPECT_TRUE(has(text, "1 slower")) << text;
  EXPECT_TRUE(has(text, "no change found")) << text;
  EXPECT_TRUE(has(text, "2026-12-01 to 2026-12-12")) << text;
  EXPECT_TRUE(has(text, "12 sessions on 1 machine")) << text;
  EXPECT_TRUE(has(text, "in seconds")) << text;
  t.reference = "ref-build";
  t.since = "2026-12-01";
  t.machine_filter = "m1";
  text = trend_text(t);
  EXPECT_TRUE(has(text, "Filters: since 2026-12-01, machine m1.")) << text;
  EXPECT_EQ(text.rfind("bench_compare trend of ratios to ref-build: ", 0), 0U) << text;
  EXPECT_TRUE(has(text, "Figures are ratios to build ref-build, measured in the same rounds."))
      << text;
  EXPECT_TRUE(has(trend_text(Trend{}), "no session in the history matches"));
}

TEST(TrendReport, TheJsonReadsBackAsWrittenAndRefusesWhatIsMalformed) {
  Trend t = made_trend();
  t.reference = "ref";
  t.since = "2026-12-01";
  t.series[1].points[3].interval.reset();
  t.series[1].points[4].value = NAN;  // written as null, read as not a number
  const nlohmann::json j = trend_json(t);
  const Trend back = trend_from_json(j, "t.json");
  EXPECT_EQ(trend_json(back), j);
  ASSERT_EQ(back.series.size(), 2U);
  EXPECT_EQ(back.series[0].changes.at(0).verdict, VerdictKind::Slower);
  EXPECT_EQ(back.series[0].changes.at(0).first, 6U);
  EXPECT_EQ(back.series[0].series, Series::Random);
  EXPECT_FALSE(back.series[1].points[3].interval);
  EXPECT_TRUE(std::isnan(back.series[1].points[4].value));
  EXPECT_EQ(back.since, "2026-12-01");

  const auto refused = [&](const nlohmann::json& broken) {
    EXPECT_THROW((void)trend_from_json(broken, "t.json"), std::runtime_error) << broken.dump();
  };
  nlohmann::json wrong = j;
  wrong["series"][0]["changes"][0]["first"] = 12;  // past the last session
  refused(wrong);
  wrong = j;
  wrong["series"][0]["changes"][0]["verdict"] = "much slower";
  refused(wrong);
  wrong = j;
  wrong["series"][0]["test"] = "Strings";
  refused(wrong);
  wrong = j;
  wrong["kind"] = "merge";
  refused(wrong);
}

TEST(TrendReport, TheCsvHasARowPerSessionWithEachChangeOnItsFirstSession) {
  const std::vector<std::string> rows = lines_of(trend_csv(made_trend()));
  ASSERT_EQ(rows.size(), 1U + 24U);
  EXPECT_EQ(rows[0].rfind("machine,build,test,series,session,started_at,label,value,low,high,", 0),
            0U);
  EXPECT_EQ(rows[7],
            "m1,gcc,Integer,random,7,2026-12-07T08:00:00Z,gcc,1.05,1.0395,1.0605,1.05,1.03,1.07,1,"
            "1.05,0.001,0.009,slower");
  EXPECT_EQ(rows[6], "m1,gcc,Integer,random,6,2026-12-06T08:00:00Z,gcc,1,0.99,1.01,,,,,,,,");
}

TEST(TrendReport, TheChartsAreOnePerSeriesWithTheChangeMarkedAtItsFirstSession) {
  Trend t = made_trend();
  t.reference = "ref";
  const std::string script = trend_charts_script(t);
  EXPECT_TRUE(has(script, "set output 'trend-0.svg'"));
  EXPECT_TRUE(has(script, "set output 'trend-1.svg'"));
  EXPECT_FALSE(has(script, "trend-2.svg"));
  // 2026-12-07T08:00:00Z, the first session after the change.
  EXPECT_TRUE(has(script, "set arrow from 1796630400, graph 0 to 1796630400, graph 1")) << script;
  EXPECT_TRUE(has(script, "set label '1.05x' at 1796630400")) << script;
  EXPECT_TRUE(has(script, "set ylabel 'ratio to ref (95%)'")) << script;
  if (!gnuplot_unusable("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
  const std::string page = trend_html(t, "gnuplot");
  std::size_t charts = 0;
  for (std::size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
    ++charts;
  EXPECT_EQ(charts, 2U);
  EXPECT_TRUE(has(page, "<title>bench_compare trend: ratio to ref</title>"));
  EXPECT_TRUE(has(page, "1.05x"));
}

// No session, one session, figures too large to draw, a date that is none,
// and more sessions than a chart draws as bars: every chart is drawn.
TEST(TrendReport, EveryChartIsDrawnWhateverItsSessions) {
  Trend t = made_trend();
  t.series.push_back({"m2", "", "DNA", Series::Difference, {}, {}});
  t.series.push_back(t.series.back());
  t.series.back().points = {{"2026-12-01T08:00:00Z", "x", 0.5, std::nullopt}};
  t.series.push_back(t.series.back());
  t.series.back().points = {{"2026-12-01T08:00:00Z", "x", 1e308, Interval{1, INFINITY}},
                            {"yesterday", "x", NAN, std::nullopt}};
  t.series.push_back(t.series.back());
  t.series.back().points.clear();
  for (int i = 0; i < 1000; ++i) {
    t.series.back().points.push_back(
        {fmt::format("2026-11-{:02}T{:02}:00:00Z", 1 + i / 24 % 30, i % 24), "y", 1.0 + i % 3,
         Interval{0.5, 4}});
  }
  const std::string text = trend_text(t);
  EXPECT_TRUE(has(text, "unknown")) << text;  // the date that is none
  EXPECT_FALSE(has(text, "yesterday")) << text;
  if (!gnuplot_unusable("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
  std::string page;
  EXPECT_NO_THROW(page = trend_html(t, "gnuplot"));
  std::size_t charts = 0;
  for (std::size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
    ++charts;
  EXPECT_EQ(charts, t.series.size());
}

TEST(TrendReport, SessionStartsAreReadAsUtcOrNotAtAll) {
  EXPECT_EQ(epoch_seconds("1970-01-01T00:00:00Z"), 0.0);
  EXPECT_EQ(epoch_seconds("2000-02-29T00:00:00Z"), 951782400.0);
  EXPECT_EQ(epoch_seconds("2026-12-10T07:46:22.125Z"), 1796888782.0);
  for (const char* bad : {"", "2026-12-10", "2026-13-10T07:46:22Z", "2026-12-10T07:46:22Zx",
                          "2026-12-10 07:46:22Z", "2026-12-10T07:46:2xZ", "2026-12-10T07:46:22."}) {
    EXPECT_FALSE(epoch_seconds(bad)) << bad;
  }
}

// Machines, labels and dates from a database: long, with control
// characters, Markdown, HTML, formula and gnuplot specials.
TEST(TrendReport, TextFromTheDatabaseStaysInertInEveryFormat) {
  const std::string machine =
      "\x1b]0;owned\x07" + std::string(300, 'm') + "\nsystem 'touch m'\n|<b>*x*</b>";
  const std::string label = "=HYPERLINK(\"x\")'\nsystem 'touch y'\n#" + std::string(150, 'l');
  Trend t = made_trend(machine, label);
  t.reference = "ref'\nsystem 'touch z'";
  const std::string text = trend_text(t);
  expect_fits(text);
  EXPECT_FALSE(has(text, "\x1b")) << text;
  EXPECT_TRUE(has(text, "\\x1b]0;owned\\x07")) << text;

  const std::string csv = trend_csv(t);
  EXPECT_TRUE(has(csv, ",\"'=HYPERLINK(\"\"x\"\")")) << csv;

  const std::string md = trend_markdown(t);
  EXPECT_FALSE(has(md, "<b>")) << md;
  EXPECT_FALSE(has(md, "\x1b")) << md;

  for (const std::string& line : lines_of(trend_charts_script(t))) {
    EXPECT_NE(line.rfind("system", 0), 0U) << line;
    EXPECT_FALSE(has(line, "\x1b")) << line;
  }
  if (!gnuplot_unusable("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
  const std::string page = trend_html(t, "gnuplot");
  EXPECT_FALSE(has(page, "<b>*x*")) << page;
  EXPECT_TRUE(has(page, "&lt;b&gt;")) << page;
}

// The exports asked for, each written; none over the history itself.
TEST(TrendReport, TheReportWritesEachExportAndNeverOverTheHistory) {
  const support::TempDir dir;
  ExportPaths paths;
  paths.json = dir.file("t.json");
  paths.csv = dir.file("t.csv");
  paths.markdown = dir.file("t.md");
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(check_trend_outputs(paths, dir.file("h.db"), err), 0) << err.str();
  const Trend t = made_trend();
  EXPECT_EQ(write_trend_report(t, paths, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), trend_text(t));
  const nlohmann::json j = nlohmann::json::parse(support::read_file(paths.json));
  EXPECT_EQ(trend_json(trend_from_json(j, paths.json)), trend_json(t));
  EXPECT_EQ(support::read_file(paths.csv), trend_csv(t));
  EXPECT_EQ(support::read_file(paths.markdown), trend_markdown(t));

  paths.csv = dir.file("./h.db");
  EXPECT_EQ(check_trend_outputs(paths, dir.file("h.db"), err), kUsage);
  EXPECT_TRUE(has(err.str(), "would overwrite --history")) << err.str();
}

}  // namespace
}  // namespace compare
