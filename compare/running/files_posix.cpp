// Scratch directories, path checks and the writing of files on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

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
    if (access(path.c_str(), W_OK) != 0) return std::strerror(errno);
    if (!fs::is_regular_file(target, error)) return {};  // a device or pipe: written in place
  }
  // A regular file is replaced by a new one made in its directory.
  const fs::path written(written_path(path));
  const fs::path parent = written.has_parent_path() ? written.parent_path() : fs::path(".");
  if (!fs::is_directory(parent, error)) {
    return std::strerror(ENOENT);  // its directory does not exist
  }
  return access(parent.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

namespace {

bool write_all(int fd, const std::string& text) {
  const char* at = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = write(fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    if (n <= 0) return false;
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// A device or a pipe (/dev/stdout, a FIFO) has nothing to replace.
std::string write_in_place(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  bool ok = write_all(fd, text);
  int reason = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  return ok ? "" : std::strerror(reason);
}

// A new file beside `target`, made only if no one has it, with the
// permissions the umask gives any new file; -1 with errno when none can be.
int new_file_beside(const std::string& target, std::string& name) {
  const std::filesystem::path p(target);
  const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
  // Short enough for any file system's longest name.
  const std::string base = p.filename().string().substr(0, 200);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = fmt::format("{}/.{}.{:08x}.tmp", dir, base, random());
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Once renamed, the new name itself is made to last (best effort).
void sync_directory_of(const std::string& target) {
  const std::filesystem::path p(target);
  const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)fsync(fd);
    close(fd);
  }
}

}  // namespace

std::string write_text(const std::string& path, const std::string& text) {
  struct stat before {};
  const bool existed = stat(path.c_str(), &before) == 0;
  if (existed && !S_ISREG(before.st_mode)) return write_in_place(path, text);
  if (existed && access(path.c_str(), W_OK) != 0) return std::strerror(errno);
  const std::string target = written_path(path);
  std::string temporary;
  const int fd = new_file_beside(target, temporary);
  if (fd < 0) return std::strerror(errno);
  if (existed) {
    // As when it was written over in place: its permissions, and its owner
    // where that may be kept.
    (void)fchmod(fd, before.st_mode & 0777);
    (void)!fchown(fd, before.st_uid, before.st_gid);
  }
  bool ok = write_all(fd, text) && fsync(fd) == 0;
  int reason = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    reason = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return std::strerror(reason);
  }
  sync_directory_of(target);
  return {};
}

const char* const kProgramSuffix = "";

std::string own_directory() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace compare
