// Scratch directories and path checks on Linux.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "compare/running/files.h"

namespace compare {

ScratchDir::ScratchDir(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  // Absolute, as a run's programs work inside it and are told its path.
  std::string pattern = absolute_path(base != nullptr && *base != '\0' ? base : "/tmp");
  while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
  pattern.append("/").append(prefix).append("-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) {  // made 0700: private to us
    error_ = std::strerror(errno);
  } else {
    path_ = pattern;
  }
}

std::string unwritable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path target(path);
  if (fs::is_directory(target, error)) {
    return "it is a directory";
  }
  if (fs::exists(target, error)) {
    return access(path.c_str(), W_OK) == 0 ? "" : std::strerror(errno);
  }
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(parent, error)) {
    return std::strerror(ENOENT);  // its directory does not exist
  }
  return access(parent.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

const char* const kProgramSuffix = "";

std::string own_directory() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace compare
