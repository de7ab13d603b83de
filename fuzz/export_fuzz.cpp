// libFuzzer's entry: each input is written to a file of a directory of its
// own, made once and removed at exit, and read from there as an export.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/exercise.h"
#include "fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::Scratch scratch("input.json");
  static const compare::ExportFile partner = fuzz::partner(FUZZ_PARTNER);
  scratch.write(data, size);
  fuzz::exercise(scratch.input, partner);
  return 0;
}
