#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "compare/history/export_file.h"

namespace compare {

std::string read_export_file(const std::string& path, std::size_t limit) {
  namespace fs = std::filesystem;
  auto unreadable = [&](const std::string& why) {
    throw std::runtime_error(fmt::format("{} cannot be read: {}", path, why));
  };
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) unreadable("No such file or directory");
  if (ec) unreadable(ec.message());
  if (fs::is_directory(status)) unreadable("it is a directory");
  // A pipe or a device (NUL, CON) would block or never end.
  if (!fs::is_regular_file(status)) unreadable("it is not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) unreadable("it cannot be opened");
  std::string text;
  char chunk[65536];
  while (text.size() <= limit && in) {
    in.read(chunk, sizeof chunk);
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) unreadable("a read failed");
  if (text.size() > limit) throw std::runtime_error(too_large(path, limit));
  return text;
}

}  // namespace compare
