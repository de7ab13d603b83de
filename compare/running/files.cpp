#include "compare/running/files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace compare {

ScratchDir::ScratchDir(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp");
  pattern.append("/").append(prefix).append("-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) {  // made 0700: private to us
    error_ = std::strerror(errno);
  } else {
    path_ = pattern;
  }
}

ScratchDir::~ScratchDir() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const auto full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal().string();
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

std::string write_text(const std::string& path, const std::string& text) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
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
