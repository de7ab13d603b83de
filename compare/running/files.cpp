// What files mean on every system; the scratch directory's making, the
// checks of a path and the writing of a file are in files_posix.cpp and
// files_windows.cpp.
#include "compare/running/files.h"

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

std::string written_path(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path at = fs::u8path(path);
  for (int hop = 0; hop < 40; ++hop) {  // as many as the system follows
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(at, error))) break;
    const fs::path target = fs::read_symlink(at, error);
    if (error) break;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  return at.u8string();
}

bool same_file(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  const fs::path first = fs::u8path(written_path(a));
  const fs::path second = fs::u8path(written_path(b));
  std::error_code error;
  const bool first_exists = fs::exists(first, error);
  const bool second_exists = fs::exists(second, error);
  if (first_exists || second_exists) {
    return first_exists && second_exists && fs::equivalent(first, second, error);
  }
  // Neither exists: the same place once the directories above are resolved.
  const auto place = [](const fs::path& p) {
    std::error_code ignored;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(p, ignored), ignored);
    return resolved.lexically_normal();
  };
  return place(first) == place(second);
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace compare
