// The digests the history tells things apart by: a program's file (the same
// binary recognised under any path), a machine and a session.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <boost/uuid/detail/sha1.hpp>
#include <ctime>

#include "compare/history/store_parts.h"

namespace compare {

namespace {

// A program larger than this is no program of the pair: not digested.
constexpr off_t kMaxProgramBytes = off_t{1} << 30;

std::string hex_of(boost::uuids::detail::sha1& sha) {
  boost::uuids::detail::sha1::digest_type digest;
  sha.get_digest(digest);
  std::string hex;
  // Boost's digest is five 32-bit words in older versions, 20 bytes in later.
  constexpr int kDigits = 2 * static_cast<int>(sizeof(digest[0]));
  for (const auto word : digest) hex += fmt::format("{:0{}x}", word, kDigits);
  return hex;
}

// Seconds since the epoch of an ISO 8601 UTC time ("2026-12-10T07:46:22Z");
// none where it is not one.
std::optional<std::time_t> utc_seconds(const std::string& iso) {
  std::tm tm{};
  if (strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%S", &tm) == nullptr) return std::nullopt;
  const std::time_t t = timegm(&tm);
  return t == static_cast<std::time_t>(-1) ? std::nullopt : std::optional<std::time_t>(t);
}

}  // namespace

Known program_digest(const std::string& path, const std::string& started_at) {
  const std::optional<std::time_t> started = utc_seconds(started_at);
  if (path.empty() || !started) return std::nullopt;
  // Opened without waiting (a FIFO put there would block) and read only as
  // a regular file unchanged since the comparison began: a file rebuilt
  // since is not the program that ran.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  Known digest;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxProgramBytes &&
      st.st_mtime <= *started) {
    boost::uuids::detail::sha1 sha;
    std::array<char, 65536> buffer{};
    ssize_t got = 0;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
      sha.process_bytes(buffer.data(), static_cast<std::size_t>(got));
    }
    if (got == 0) digest = hex_of(sha);
  }
  close(fd);
  return digest;
}

std::string digest_of(const std::vector<std::string>& parts) {
  boost::uuids::detail::sha1 sha;
  for (const std::string& part : parts) {
    // Each part with its length, so that no two lists run together alike.
    const std::string length = std::to_string(part.size()) + ":";
    sha.process_bytes(length.data(), length.size());
    sha.process_bytes(part.data(), part.size());
  }
  return hex_of(sha);
}

std::vector<std::string> machine_parts(const MachineRecord& m) {
  return {shown(m.cpu_model), shown(m.architecture), shown(m.logical_cpus), shown(m.kernel),
          shown(m.libc)};
}

std::string session_key(const std::string& machine, const std::string& comparison,
                        const std::string& build, const std::string& started,
                        const std::vector<Round>& rounds) {
  std::vector<std::string> parts = {machine, comparison, build, started};
  for (const Round& r : rounds) {
    std::string values = fmt::format("{} {}", r.index, side_name(r.first));
    for (const double s : r.random) values += fmt::format(" {:a}", s);
    for (const double s : r.fixed) values += fmt::format(" {:a}", s);
    parts.push_back(std::move(values));
  }
  return digest_of(parts);
}

}  // namespace compare
