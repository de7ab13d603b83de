// The directory a fuzz target writes each input into, as a file of the name
// given: made once under $TMPDIR (or /tmp), removed with everything in it at
// exit.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz {

struct Scratch {
  explicit Scratch(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    input = dir + "/" + name;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  // The input, as the whole of the file.
  void write(const std::uint8_t* data, std::size_t size) const {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string dir;
  std::string input;
};

}  // namespace fuzz
