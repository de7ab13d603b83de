// The web page in a real browser: headless Chromium opens it from disk with
// the network off; the rendered DOM must hold every label and figure, and
// screenshots at a phone's and a wide screen's size must not be blank.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "../support.h"
#include "compare/history/merge_report.h"
#include "compare/render/table.h"
#include "compare/report/forest.h"
#include "compare/report/report.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/comparison.h"
#include "compare/stats/statistical_tests.h"
#include "standin_exports.h"

namespace {

using nlohmann::json;
using namespace standin;

// A label that would break the page if it were not escaped.
const std::string kOdd = "gcc <O2> & co";
const std::string kOddInDom = "gcc &lt;O2&gt; &amp; co";

bool network_namespaces_work() {
  support::TempDir dir;
  support::RunOptions options(dir.path);
  options.args = {"-n", "true"};
  return support::run("unshare", options).status == 0;
}

// Runs Chromium on the page with its own profile, removed afterwards, and no
// network: in a network namespace of its own where one can be made, and
// behind a proxy that does not exist in any case.
support::RunResult chromium(const std::string& page, std::vector<std::string> args) {
  support::TempDir profile;
  support::RunOptions options(profile.path);
  if (network_namespaces_work()) options.prefix = {"unshare", "-n"};
  options.args = {"--headless",
                  "--disable-gpu",
                  "--no-sandbox",
                  "--no-first-run",
                  "--proxy-server=127.0.0.1:9",
                  "--proxy-bypass-list=<-loopback>",
                  "--user-data-dir=" + profile.file("profile")};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.args.push_back("file://" + page);
  options.env = {"HOME=" + profile.path};
  return support::run("chromium", options);
}

struct Image {
  unsigned width = 0, height = 0;
  std::set<png_uint_32> colours;
};

Image read_png(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Image result;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return result;
  image.format = PNG_FORMAT_RGBA;
  std::vector<png_uint_32> pixels(static_cast<size_t>(image.width) * image.height);
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) return result;
  result.width = image.width;
  result.height = image.height;
  for (png_uint_32 p : pixels) {
    result.colours.insert(p);
    if (result.colours.size() > 64) break;  // plenty to tell a drawn page from a blank one
  }
  return result;
}

std::string figure(const json& value) {
  return value.is_number() ? fmt::format("{:.4g}", value.get<double>()) : "n/a";
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.file("in"));
    auto write = [&](const std::string& name, const json& j) {
      support::write_file(dir_.file("in/" + name), j.dump());
    };
    write("a.json", export_of(kOdd, "2026-01-01T00:00:00Z", {scaled(0.99), scaled(1.01)}));
    write("b.json", export_of("clang", "2026-01-02T00:00:00Z",
                              {scaled(0.99, 0, 1.2), scaled(1.0, 0, 1.2), scaled(1.01, 0, 1.2)}));
    write("c.json", export_of("single", "2026-01-03T00:00:00Z", {scaled(1.0, 2, 0.8)}));
    support::RunOptions options(dir_.path);
    options.args = {"--merge", "in", "--html", "page.html", "--json", "merge.json"};
    const auto r = support::run(BENCH_COMPARE, options);
    ASSERT_EQ(r.status, 0) << r.err;
    page_ = dir_.file("page.html");
    merge_ = json::parse(support::read_file(dir_.file("merge.json")));
  }
  support::TempDir dir_;
  std::string page_;
  json merge_;
};

TEST_F(BrowserTest, ThePageLoadsNothingAndShowsEveryLabelAndFigure) {
  const std::string html = support::read_file(page_);
  for (const char* outside : {"<script", "<link", "src=", "@import", "url(http"}) {
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  }
  const auto r = chromium(page_, {"--dump-dom"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& dom = r.out;
  ASSERT_NE(dom.find("</html>"), std::string::npos) << r.err;

  EXPECT_NE(dom.find(kOddInDom + " (reference)"), std::string::npos);
  for (const json& entry : merge_.at("entries")) {
    const auto label = entry.at("label").get<std::string>();
    EXPECT_NE(dom.find(label == kOdd ? kOddInDom : label), std::string::npos) << label;
    for (const json& test : entry.at("tests")) {
      for (const char* series : {"random", "fixed", "difference"}) {
        EXPECT_NE(dom.find(figure(test.at(series).at("estimate"))), std::string::npos)
            << label << " " << series;
      }
    }
  }
  for (const json& c : merge_.at("comparisons")) {
    const std::string row =
        fmt::format("<td>{}</td><td>{}</td><td>{}", c.at("entry").get<std::string>(),
                    c.at("series").get<std::string>(), figure(c.at("ratio").at("estimate")));
    EXPECT_NE(dom.find(row), std::string::npos) << row;
    EXPECT_NE(dom.find(c.at("verdict").get<std::string>()), std::string::npos);
  }
  // Every ratio in one chart, then nine, each drawn into the page itself.
  size_t charts = 0;
  for (size_t at = dom.find("<svg"); at != std::string::npos; at = dom.find("<svg", at + 1)) {
    ++charts;
  }
  EXPECT_EQ(charts, 10U);
}

// The answer first: before any table, one chart of every ratio to the
// reference, a row for each entry, test and series.
TEST_F(BrowserTest, ThePageLeadsWithEveryRatioInOneChart) {
  const std::string html = support::read_file(page_);
  const size_t start = html.find("<svg");
  ASSERT_NE(start, std::string::npos);
  EXPECT_LT(start, html.find("<table"));
  const std::string first = html.substr(start, html.find("</svg>", start) - start);
  EXPECT_NE(first.find("Every ratio to "), std::string::npos) << first;
  ASSERT_EQ(merge_.at("comparisons").size(), 18U);
  for (const json& c : merge_.at("comparisons")) {
    const std::string row =
        fmt::format("{}: {} {}", c.at("entry").get<std::string>(), c.at("test").get<std::string>(),
                    c.at("series").get<std::string>());
    EXPECT_NE(first.find(compare::html_escape(row)), std::string::npos) << row;
  }
}

// Where no ratio is known (single sessions), gnuplot cannot find a range of
// its own: the chart is still drawn, every row named.
TEST(Forest, IsDrawnWhenNoRatioIsKnown) {
  std::vector<compare::Verdict> verdicts(2);
  verdicts[0].entry = "one";
  verdicts[0].test = "DNA";
  verdicts[0].result.ratio = NAN;
  verdicts[1].test = "Float";
  verdicts[1].series = compare::Series::Difference;
  verdicts[1].result.ratio = -1;  // no place on a log axis
  const std::string svg = compare::forest_svg(verdicts, "none known");
  EXPECT_NE(svg.find("one: DNA random"), std::string::npos) << svg;
  EXPECT_NE(svg.find("Float difference"), std::string::npos) << svg;
}

bool have_chromium() {
  support::TempDir dir;
  support::RunOptions options(dir.path);
  options.args = {"--version"};
  return support::run("chromium", options).status == 0;
}

// The page as the test measures it: the policy that forbids scripts taken
// out, and a script that writes the window's width into the page and what
// runs past its right side.
std::string measured(std::string html) {
  const size_t policy = html.find("<meta http-equiv=\"Content-Security-Policy\"");
  if (policy != std::string::npos) html.erase(policy, html.find('>', policy) + 1 - policy);
  const std::string script = R"(<script>
const w = window.innerWidth;
const over = [];
if (document.documentElement.scrollWidth > w) over.push('page ' + document.documentElement.scrollWidth);
for (const e of document.querySelectorAll('table, svg, p, h1, h2')) {
  const r = e.getBoundingClientRect();
  if (r.right > w + 0.5) over.push(e.tagName + ' ' + Math.round(r.right) + ': ' + e.textContent.slice(0, 40));
}
document.body.setAttribute('data-width', w);
document.body.setAttribute('data-overflow', over.length ? over.join('; ') : 'none');
</script>
)";
  return html.insert(html.rfind("</body>"), script);
}

// At 1280 px nothing runs off the side, though the machines table holds long
// processors, kernels and compilers.
TEST(BrowserWidth, At1280PixelsNoTableRunsOffTheSide) {
  if (!have_chromium()) GTEST_SKIP() << "chromium is not installed (.ci/install-packages has it)";
  support::TempDir dir;
  std::filesystem::create_directory(dir.file("in"));
  for (int i = 0; i < 3; ++i) {
    json j = export_of(fmt::format("build-{}-gcc-12-O2-march-native-lto", i),
                       fmt::format("2026-01-0{}T00:00:00Z", i + 1),
                       {scaled(0.99), scaled(1.0), scaled(1.01 + 0.01 * i)},
                       "Intel(R) Xeon(R) Platinum 8375C CPU @ 2.90GHz with a long model name");
    j["machine"]["kernel"] = fmt::format(
        "Linux 6.1.0-{}-amd64 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01) x86_64", i);
    j["machine"]["libc"] = "glibc 2.36 (Debian GLIBC 2.36-9+deb12u4)";
    for (const char* program : {"random", "fixed"}) {
      j["programs"][program]["compiler"] = fmt::format(
          "GCC: (Debian 12.2.0-14) 12.2.0; Debian clang version 14.0.6 build {}; GNU ld 2.40", i);
    }
    support::write_file(dir.file(fmt::format("in/{}.json", i)), j.dump());
  }
  support::RunOptions options(dir.path);
  options.args = {"--merge", "in", "--html", "page.html"};
  const auto made = support::run(BENCH_COMPARE, options);
  ASSERT_EQ(made.status, 0) << made.err;
  support::write_file(dir.file("measured.html"),
                      measured(support::read_file(dir.file("page.html"))));
  const auto r = chromium(dir.file("measured.html"), {"--window-size=1280,900", "--dump-dom"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("data-width=\"1280\""), std::string::npos) << r.out.substr(0, 2000);
  const size_t at = r.out.find("data-overflow=\"");
  ASSERT_NE(at, std::string::npos) << r.out.substr(0, 2000);
  EXPECT_EQ(r.out.substr(at, r.out.find('"', at + 15) - at), "data-overflow=\"none");
}

TEST_F(BrowserTest, ScreenshotsOnAPhoneAndAWideScreenAreNotBlank) {
  for (const auto& [width, height] : {std::pair{390U, 844U}, std::pair{1600U, 1000U}}) {
    SCOPED_TRACE(fmt::format("{}x{}", width, height));
    const std::string shot = dir_.file(fmt::format("shot-{}.png", width));
    const auto r = chromium(page_, {fmt::format("--window-size={},{}", width, height),
                                    "--hide-scrollbars", "--screenshot=" + shot});
    ASSERT_EQ(r.status, 0) << r.err;
    const Image image = read_png(shot);
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    EXPECT_GT(image.colours.size(), 8U);
  }
}

TEST(BrowserSingle, ASingleComparisonHasItsPageToo) {
  compare::Comparison c;
  std::vector<compare::Round> all;
  c.version = "1.0.0";
  c.label = kOdd;
  for (int r = 1; r <= 6; ++r) {
    compare::Round round;
    round.index = r;
    round.first = r % 2 == 0 ? compare::Side::Fixed : compare::Side::Random;
    round.random = {0.1 + 0.001 * r, 0.05, 0.014};
    round.fixed = {0.005, 0.01 + 0.0001 * r, 0.001};
    round.session = r <= 3 ? 1 : 2;
    compare::Usage used;
    used.wall_s = 0.25;
    used.user_s = 0.125;
    used.minor_faults = 6500;
    round.random_usage = used;
    all.push_back(round);
  }
  // Two sessions, as the comparison would have run them: the page has the
  // session lines and the runs' usage as the text report does.
  c.builds.resize(1);
  for (const auto& rounds : compare::by_session(all)) {
    compare::SessionRecord s;
    s.index = rounds.front().session;
    s.started_at = fmt::format("2026-12-08T10:0{}:00Z", s.index);
    s.rounds = rounds;
    s.tests = compare::summarise(rounds);
    c.builds.front().sessions.push_back(s);
  }
  compare::summarise_comparison(c);
  c.warnings = {"A warning <with> markup."};
  c.warnings_shown = c.warnings;  // the page shows these, as summarised
  support::TempDir dir;
  support::write_file(dir.file("one.html"), compare::comparison_html(c));
  const auto r = chromium(dir.file("one.html"), {"--dump-dom"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("bench_compare " + kOddInDom), std::string::npos);
  EXPECT_NE(r.out.find("A warning &lt;with&gt; markup."), std::string::npos);
  for (const compare::TestResult& t : c.builds.front().tests) {
    EXPECT_NE(r.out.find(fmt::format("<td>{}</td><td>{:.4g} [", t.name, t.random.median)),
              std::string::npos)
        << t.name;
  }
  EXPECT_NE(r.out.find("<td>2026-12-08T10:02:00Z</td><td>3</td>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<li>bench_random, medians of 6 runs:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<svg"), std::string::npos);
}

}  // namespace
