// Text from outside reaches no terminal, gnuplot, spreadsheet or Markdown
// renderer as anything but text; a value no chart can hold loses no chart.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>

#include "../support.h"
#include "compare/history/merge_report.h"
#include "compare/render/format.h"
#include "compare/render/gnuplot.h"
#include "compare/render/table.h"
#include "compare/report/forest.h"
#include "compare/running/files.h"
#include "compare/running/gnuplot.h"

namespace compare {
namespace {

// Throws on a string that is not valid UTF-8.
void expect_utf8(const std::string& s) { EXPECT_NO_THROW((void)nlohmann::json(s).dump()) << s; }

TEST(HostileText, TheTerminalGetsEveryInvisibleOrInvalidCharacterAsAnEscape) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a\x9b"
       "2Jb",
       "a\\x9b2Jb"},                                 // raw C1
      {"\xc2\x9b", "\\x9b"},                         // encoded C1
      {"caf\xe9.json", "caf\\xe9.json"},             // Latin-1
      {"\xc3", "\\xc3"},                             // cut short
      {"\xc0\xaf", "\\xc0\\xaf"},                    // overlong
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},           // a surrogate
      {"\xf5\x80\x80\x80", "\\xf5\\x80\\x80\\x80"},  // above U+10FFFF
      // NOLINTNEXTLINE(misc-misleading-bidirectional): the very text to escape
      {"txt.\xe2\x80\xae"
       "exe",
       "txt.\\u202eexe"},  // right-to-left override
      // NOLINTNEXTLINE(misc-misleading-bidirectional): the very text to escape
      {"\xd8\x9c\xe2\x81\xa6\xe2\x80\x8f", "\\u061c\\u2066\\u200f"},
      {"a\xe2\x80\x8b\xef\xbb\xbf\xc2\xad"
       "b",
       "a\\u200b\\ufeff\\u00adb"},  // zero-width, BOM, soft hyphen
      {"caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x98\x80"},
  };
  for (const auto& [raw, shown] : cases) {
    EXPECT_EQ(printable(raw), shown);
    expect_utf8(printable(raw));
  }
  // NOLINTNEXTLINE(misc-misleading-bidirectional): the very text to escape
  EXPECT_EQ(display_width(printable("caf\xc3\xa9\xe2\x80\xae")), 10U);
  EXPECT_EQ(printable_lines("a\nb\xff"), "a\nb\\xff");
}

TEST(HostileText, GnuplotStringsHoldNoControlCharacter) {
  EXPECT_EQ(gnuplot_quoted("it's"), "'it''s'");
  EXPECT_EQ(gnuplot_quoted("a'\nsystem 'x'\r\x9b"), "'a''\\x0asystem ''x''\\x0d\\x9b'");
}

TEST(HostileText, SpreadsheetsGetNoFormulaButNumbersStayNumbers) {
  for (const char* number : {"-0.5", "-1.2e-05", "+3", "12", "1.", ".5", "-2E+10"}) {
    EXPECT_EQ(csv_cell(number), number);
  }
  EXPECT_EQ(csv_cell("=1+1"), "'=1+1");
  EXPECT_EQ(csv_cell("-"), "'-");
  EXPECT_EQ(csv_cell("-inf"), "'-inf");
  EXPECT_EQ(csv_cell("+1e"), "'+1e");
  EXPECT_EQ(csv_cell("-1+cmd|' /C calc'!A0"), "'-1+cmd|' /C calc'!A0");
  EXPECT_EQ(csv_cell("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(csv_cell("\t=1"), "'\t=1");
  EXPECT_EQ(csv_cell("\r=1"), "\"'\r=1\"");
  EXPECT_EQ(csv_cell("=HYPERLINK(\"x\",\"y\")"), "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\"");
  EXPECT_EQ(csv_cell("a=1"), "a=1");
}

TEST(HostileText, MarkdownCellsRenderAsTheirTextAndNothingMore) {
  const support::RunOptions here(".");
  support::RunOptions version = here;
  version.args = {"--version"};
  if (support::run("cmark-gfm", version).status != 0) {
    GTEST_SKIP() << "cmark-gfm is not installed";
  }
  const std::vector<std::string> hostile = {"![](http://e.com/x.png)",
                                            "[x](javascript:alert(1))",
                                            "<script>alert(1)</script>",
                                            "http://e.com/a_b",
                                            "https://e.com",
                                            "www.e.com",
                                            "mailto:a@e.com",
                                            "a@e.com",
                                            "<http://e.com>",
                                            "[x][1]\n\n[1]: http://e.com",
                                            "`<b>x</b>`",
                                            "&lt;img src=x&gt;",
                                            "*x* _y_ ~~z~~ # | \\",
                                            "<img src=x onerror=alert(1)>"};
  Table t;
  t.header = {"cell"};
  for (const std::string& h : hostile) t.rows.push_back({h});
  const ScratchDir dir("hostile-markdown");
  const std::string md = dir.file("t.md");
  std::ofstream(md) << markdown_table(t);
  support::RunOptions render = here;
  render.args = {"-e", "table", "-e", "autolink", "-e", "strikethrough", md};
  const support::RunResult rendered = support::run("cmark-gfm", render);
  ASSERT_EQ(rendered.status, 0) << rendered.err;
  const std::string& out = rendered.out;
  // Only the table's own tags.
  const std::regex tag("<(/?[a-z]+)");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), tag); it != std::sregex_iterator();
       ++it) {
    EXPECT_TRUE(std::regex_match((*it)[1].str(), std::regex("/?(table|thead|tbody|tr|th|td)")))
        << (*it)[0] << " in\n"
        << out;
  }
  EXPECT_NE(out.find("<td>[x](javascript:alert(1))</td>"), std::string::npos) << out;
  EXPECT_NE(out.find("<td>*x* _y_ ~~z~~ # | \\</td>"), std::string::npos) << out;
  EXPECT_NE(out.find("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"), std::string::npos) << out;
}

Verdict huge_verdict(const std::string& entry) {
  Verdict v;
  v.entry = entry;
  v.test = "Integer";
  v.result.ratio = 1e308;
  v.result.interval = Interval{1e307, std::numeric_limits<double>::infinity()};
  v.verdict = VerdictKind::Slower;
  return v;
}

// A temporary directory's name reaches the script as the chart's path: its
// "system" line must not run, whether or not gnuplot can then draw.
TEST(HostileText, GnuplotRunsNothingFromATemporaryDirectorysName) {
  if (!gnuplot_unusable("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
  const ScratchDir dir("hostile-gnuplot");
  const std::string marker = dir.file("ran");
  // No "/" in a file's name: the shell finds the marker's path.
  setenv("HOSTILE_MARKER", marker.c_str(), 1);
  const std::string evil = "x\nsystem \"touch $HOSTILE_MARKER\"\n#";
  const std::string tmp = dir.file(evil);
  ASSERT_TRUE(std::filesystem::create_directory(tmp));
  const char* old = getenv("TMPDIR");
  const std::string old_tmpdir = old != nullptr ? old : "";
  setenv("TMPDIR", tmp.c_str(), 1);
  try {
    (void)forest_svg({huge_verdict(evil)}, evil, "gnuplot");
  } catch (const std::runtime_error&) {
  }
  old != nullptr ? setenv("TMPDIR", old_tmpdir.c_str(), 1) : unsetenv("TMPDIR");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

// A ratio of 1e308 leaves the chart's range finite.
TEST(HostileText, AForestHoldsRatiosTooLargeToDraw) {
  if (!gnuplot_unusable("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
  const std::vector<Verdict> verdicts = {huge_verdict("huge"), huge_verdict("x")};
  EXPECT_EQ(forest_script(verdicts, "t", "f.svg").find("inf"), std::string::npos);
  std::string svg;
  EXPECT_NO_THROW(svg = forest_svg(verdicts, "t", "gnuplot"));
  EXPECT_NE(svg.find("<svg"), std::string::npos);
}

Entry entry(const std::string& label, double value) {
  Entry e;
  e.label = label;
  e.sessions = 2;
  for (const char* name : kTestNames) {
    EntryTest test{name, {}, {}};
    for (std::size_t k = 0; k < 3; ++k) {
      test.sessions.at(k) = {value, value * 10};
      test.across.at(k) = {value * 3, Interval{value, value * 10}};
    }
    e.tests.push_back(test);
  }
  return e;
}

// One entry's figures too large to draw, then every entry's.
TEST(HostileText, AMergePageHoldsValuesTooLargeToDraw) {
  if (!gnuplot_unusable("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
  for (const double reference : {0.5, 1e308}) {
    Merge m;
    m.reference = "ref";
    m.entries = {entry("ref", reference), entry("huge", 1e308)};
    m.comparisons = {huge_verdict("huge")};
    std::string page;
    EXPECT_NO_THROW(page = merge_html(m, "gnuplot")) << reference;
    EXPECT_NE(page.find("</html>"), std::string::npos);
  }
  EXPECT_EQ(data_value(1e308), "NaN");
  EXPECT_EQ(data_value(-2.5e299), "-2.5e+299");
}

}  // namespace
}  // namespace compare
