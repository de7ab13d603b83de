// libFuzzer's entry for the history: each input is a database file, written
// into a directory of its own (made once, removed at exit) after the journal
// and WAL files a previous input left beside it are removed, so that no input
// is read with another's log.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/exercise.h"
#include "fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::Scratch scratch("history.db");
  static const compare::ExportFile partner = fuzz::partner(FUZZ_PARTNER);
  for (const char* log : {"-wal", "-shm", "-journal"}) {
    std::error_code ignored;
    std::filesystem::remove(scratch.input + log, ignored);
  }
  scratch.write(data, size);
  fuzz::exercise_history(scratch.input, partner);
  return 0;
}
