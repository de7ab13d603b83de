// libFuzzer's entry: each input is written to a file of a directory of its
// own, made once and removed at exit, and read from there as an export.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/exercise.h"

namespace {

struct Scratch {
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    input = dir + "/input.json";
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;
  std::string input;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Scratch scratch;
  static const compare::ExportFile partner = fuzz::partner(FUZZ_PARTNER);
  {
    std::ofstream out(scratch.input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  fuzz::exercise(scratch.input, partner);
  return 0;
}
