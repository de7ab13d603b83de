// The bytes of one export file, read only when the path names a regular
// file (or a link to one) and only up to a limit: a FIFO would block the
// reader, and a device such as /dev/zero would never end. Linux and Windows
// each have their own file (export_file_posix.cpp, export_file_windows.cpp).
// Then its JSON, parsed only when it nests no deeper than an export may, so
// that nothing ever builds, copies or prints a deeper value.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace compare {

// The whole file; throws std::runtime_error with one line naming the path
// and why it is not read: missing, not a regular file (and what it is), or
// larger than `limit` bytes.
std::string read_export_file(const std::string& path, std::size_t limit);

// "PATH is larger than N MiB, the most an export may hold", for both systems.
std::string too_large(const std::string& path, std::size_t limit);

// The JSON of an export's text; throws std::runtime_error with one line
// naming `path` when it is not JSON or nests deeper than kMaxExportDepth.
nlohmann::json parse_export(const std::string& text, const std::string& path);

}  // namespace compare
