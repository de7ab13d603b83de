// What files mean on every system; the scratch directory's making and the
// checks of a path are in files_posix.cpp and files_windows.cpp.
#include "compare/running/files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace compare {

ScratchDir::~ScratchDir() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::u8path(path_), ignored);
  }
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const auto full = std::filesystem::absolute(std::filesystem::u8path(path), error);
  return error ? path : full.lexically_normal().u8string();
}

std::string write_text(const std::string& path, const std::string& text) {
  errno = 0;
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    return errno != 0 ? std::strerror(errno) : "write error";
  }
  return {};
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace compare
