// The bytes of one export file, read only when the path names a regular
// file (or a link to one) and only up to a limit: a FIFO would block the
// reader, and a device such as /dev/zero would never end. Linux and Windows
// each have their own file (export_file_posix.cpp, export_file_windows.cpp).
#pragma once

#include <cstddef>
#include <string>

namespace compare {

// The whole file; throws std::runtime_error with one line naming the path
// and why it is not read: missing, not a regular file (and what it is), or
// larger than `limit` bytes.
std::string read_export_file(const std::string& path, std::size_t limit);

// "PATH is larger than N MiB, the most an export may hold", for both systems.
std::string too_large(const std::string& path, std::size_t limit);

}  // namespace compare
