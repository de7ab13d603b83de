// Text from elsewhere stays text: an export's label, compiler strings, paths
// and processor name, a program's path and --label reach no terminal as
// control characters, and no Markdown cell as markup.
#include <gtest/gtest.h>

#include <filesystem>

#include "standin_exports.h"
#include "standins.h"

namespace {

using namespace standins;

using namespace standin;

// Retitles and clears a terminal that takes it raw.
const std::string kEvil =
    "evil\x1b]0;owned\x07\x1b[2J\xc2\x9b"
    "2J";

// Every control character in the text but its line breaks.
std::string controls_in(const std::string& text) {
  std::string found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if ((c < 0x20 && c != '\n') || c == 0x7F || c1) found += fmt::format("\\x{:02x}", c);
  }
  return found;
}

TEST(UntrustedText, AnExportsStringsReachTheTerminalEscaped) {
  support::TempDir dir;
  json evil = export_of(kEvil, "2026-01-01T00:00:00Z", {scaled(0.99), scaled(1.01)}, kEvil);
  evil["programs"]["random"] = {{"path", "/opt/" + kEvil}, {"compiler", kEvil}};
  evil["warnings"] = json::array({"from " + kEvil});
  support::write_file(dir.file("evil.json"), evil.dump());
  json plain = export_of("<script>|x", "2026-01-02T00:00:00Z", {scaled(0.99), scaled(1.01)});
  support::write_file(dir.file("plain.json"), plain.dump());

  support::RunOptions options(dir.path);
  options.args = {"--merge",    dir.file("evil.json"), dir.file("plain.json"),
                  "--markdown", dir.file("out.md"),    "--reference",
                  "<script>|x"};
  const support::RunResult r = support::run(BENCH_COMPARE, options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(controls_in(r.out), "") << r.out;
  EXPECT_NE(r.out.find("evil\\x1b]0;owned\\x07\\x1b[2J\\x9b2J"), std::string::npos) << r.out;
  const std::string md = support::read_file(dir.file("out.md"));
  EXPECT_EQ(controls_in(md), "");
  EXPECT_EQ(md.find("<script>"), std::string::npos) << md;
  EXPECT_NE(md.find("\\<script\\>\\|x"), std::string::npos) << md;

  // As a baseline, the same export's processor name appears in a note.
  StandIns s;
  s.plan(6);
  const support::RunResult against =
      s.compare({"--rounds", "6", "--baseline", dir.file("evil.json"), "--seed", "1"});
  ASSERT_EQ(against.status, 0) << against.err;
  EXPECT_EQ(controls_in(against.out), "") << against.out;
  EXPECT_NE(against.out.find("processor was evil\\x1b]0;owned"), std::string::npos) << against.out;
}

TEST(UntrustedText, AProgramsPathAndTheLabelAreKeptHarmless) {
  StandIns s;
  s.plan(6);
  // A program whose directory's name holds an escape sequence.
  const std::string odd = s.file("odd\x1b[2J");
  std::filesystem::create_directory(odd);
  std::filesystem::copy_file(s.path("random"), odd + "/random");
  const support::RunResult run = s.compare({"--rounds", "6", "--random", odd + "/random"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(controls_in(run.out), "") << run.out;
  EXPECT_NE(run.out.find("odd\\x1b[2J/random"), std::string::npos) << run.out;

  const support::RunResult labelled = s.compare({"--label", "a\x1b[2Jb"});
  EXPECT_EQ(labelled.status, 2);
  EXPECT_NE(labelled.err.find("--label must not hold control characters"), std::string::npos)
      << labelled.err;
}

// A file name that is not UTF-8 and a label a spreadsheet would evaluate:
// every report and export is still written, each made harmless.
TEST(UntrustedText, AMergeOfOddNamesAndFormulaLabelsWritesEveryExport) {
  support::TempDir dir;
  const std::string inputs = dir.file("in");
  std::filesystem::create_directory(inputs);
  json latin = export_of("", "2026-01-01T00:00:00Z", {scaled(0.99), scaled(1.01)});
  latin.erase("label");
  support::write_file(inputs + "/caf\xe9.json", latin.dump());
  json formula = export_of("=HYPERLINK(\"http://e.com\")", "2026-01-02T00:00:00Z",
                           {scaled(0.99), scaled(1.01)});
  support::write_file(inputs + "/formula.json", formula.dump());

  support::RunOptions options(dir.path);
  options.args = {"--merge", inputs, "--json", dir.file("m.json"), "--csv", dir.file("m.csv")};
  const support::RunResult r = support::run(BENCH_COMPARE, options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("caf\\xe9"), std::string::npos) << r.out;
  const json merged = json::parse(support::read_file(dir.file("m.json")));
  EXPECT_EQ(merged.dump().find('\xe9'), std::string::npos);
  const std::string csv = support::read_file(dir.file("m.csv"));
  EXPECT_NE(csv.find("\n\"'=HYPERLINK(\"\"http://e.com\"\")\",Integer"), std::string::npos) << csv;
}

}  // namespace
