#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "compare/history/export_file.h"

namespace compare {

namespace {

[[noreturn]] void unreadable(const std::string& path, const std::string& why) {
  throw std::runtime_error(fmt::format("{} cannot be read: {}", path, why));
}

// What a path names when it is not a regular file; empty when it is one.
std::string kind_of(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "it is a directory";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { ::close(fd_); }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string read_export_file(const std::string& path, std::size_t limit) {
  // Looked at before it is opened, since opening some devices acts on them.
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) unreadable(path, std::strerror(errno));
  if (const std::string kind = kind_of(named.st_mode); !kind.empty()) unreadable(path, kind);
  // Without blocking, and checked again once open, in case the path changed
  // in between: a FIFO put there must not hold the read up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) unreadable(path, std::strerror(errno));
  const Descriptor file(fd);
  struct stat opened {};
  if (::fstat(file.get(), &opened) != 0) unreadable(path, std::strerror(errno));
  if (const std::string kind = kind_of(opened.st_mode); !kind.empty()) unreadable(path, kind);
  if (static_cast<unsigned long long>(opened.st_size) > limit) {
    throw std::runtime_error(too_large(path, limit));
  }
  std::string text;
  char chunk[65536];
  // One byte past the limit tells a file that grew while it was read.
  while (text.size() <= limit) {
    const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) unreadable(path, std::strerror(errno));
    if (got == 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  if (text.size() > limit) throw std::runtime_error(too_large(path, limit));
  return text;
}

}  // namespace compare
