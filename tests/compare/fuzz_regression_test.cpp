// The fuzz targets' seeds and every input they once failed on, replayed
// through what they do with an input: an export read, merged and reported in
// each format; a history read for its trend and then stored in. A refusal is
// fine; a crash fails the test, and in the sanitized build so does any leak,
// memory error or undefined behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../support.h"
#include "fuzz/exercise.h"

namespace {

std::vector<std::string> files_in(const std::string& dir, const char* extension) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == extension) found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(FuzzRegressions, EachInputIsReportedOrRefusedWithoutHarm) {
  const compare::ExportFile partner = fuzz::partner(GOLDEN_DIR "/one-session.json");
  // The replay reaches the reports: a good export goes through every format.
  EXPECT_EQ(fuzz::exercise(GOLDEN_DIR "/three-sessions.json", partner), 2);
  std::vector<std::string> inputs = files_in(FUZZ_SEEDS, ".json");
  for (const std::string& input : files_in(FUZZ_REGRESSIONS, ".json")) inputs.push_back(input);
  ASSERT_GE(inputs.size(), 3U);
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    fuzz::exercise(input, partner);  // that it returns is the test
  }
}

// Each history is copied first: storing in it writes to it.
TEST(FuzzRegressions, EachHistoryIsReportedOrRefusedWithoutHarm) {
  const compare::ExportFile partner = fuzz::partner(GOLDEN_DIR "/one-session.json");
  support::TempDir dir;
  const std::string copy = dir.file("history.db");
  auto exercise = [&](const std::string& input) {
    for (const char* log : {"-wal", "-shm", "-journal"}) std::filesystem::remove(copy + log);
    support::write_file(copy, support::read_file(input));
    return fuzz::exercise_history(copy, partner);
  };
  // The seeds reach the reports and the store; an empty file is no history.
  std::vector<std::string> seeds = files_in(FUZZ_SEEDS, ".db");
  ASSERT_GE(seeds.size(), 2U);
  for (const std::string& seed : seeds) {
    SCOPED_TRACE(seed);
    EXPECT_EQ(exercise(seed), 2);
  }
  support::write_file(dir.file("empty.db"), "");
  EXPECT_EQ(exercise(dir.file("empty.db")), 0);
  for (const std::string& input : files_in(FUZZ_REGRESSIONS, ".db")) {
    SCOPED_TRACE(input);
    exercise(input);  // that it returns is the test
  }
}

}  // namespace
