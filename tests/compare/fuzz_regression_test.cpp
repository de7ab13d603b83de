// The fuzz target's hostile seeds and every input it once failed on, replayed
// through what it does with an input: read as an export, merged, reported in
// each format. A refusal is fine; a crash fails the test, and in the
// sanitized build so does any memory error or undefined behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/exercise.h"

namespace {

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".json") found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(FuzzRegressions, EachInputIsReportedOrRefusedWithoutHarm) {
  const compare::ExportFile partner = fuzz::partner(GOLDEN_DIR "/one-session.json");
  // The replay reaches the reports: a good export goes through every format.
  EXPECT_EQ(fuzz::exercise(GOLDEN_DIR "/three-sessions.json", partner), 2);
  std::vector<std::string> inputs = files_in(FUZZ_SEEDS);
  for (const std::string& input : files_in(FUZZ_REGRESSIONS)) inputs.push_back(input);
  ASSERT_GE(inputs.size(), 3U);
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    fuzz::exercise(input, partner);  // that it returns is the test
  }
}

}  // namespace
