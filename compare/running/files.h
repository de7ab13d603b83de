// Files and directories as bench_compare uses them: scratch directories that
// never outlive their use, and paths checked before any work is done on them.
#pragma once

#include <string>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

// A fresh private directory under $TMPDIR (or /tmp; on Windows under the
// user's temporary directory, with a random name), removed with everything
// in it when the object goes. path() is empty when it could not be made, and
// error() then says why.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string error_;
};

// Paths are UTF-8 everywhere (on Windows too: the program declares UTF-8 its
// code page). A program of the pair is NAME plus this: ".exe" on Windows.
extern const char* const kProgramSuffix;

// The directory bench_compare itself is in; "." when it cannot be found.
std::string own_directory();

// Whether anything exists at the path.
bool exists(const std::string& path);

// The path made absolute (a program runs in its own scratch directory, where
// a relative path means nothing), or the path itself when that fails.
std::string absolute_path(const std::string& path);

// Why the file cannot be written, or empty. Nothing is created.
std::string unwritable(const std::string& path);

// The file a write to the path replaces: the path with the symbolic links at
// its end followed, so that a write goes through a link and never over it.
std::string written_path(const std::string& path);

// Whether the two paths name one file: the same file where both exist (so
// links and "./a" against "a" match), the same place in the tree where
// neither exists yet.
bool same_file(const std::string& a, const std::string& b);

// Writes the whole text to a new file beside the one the path names (see
// written_path), flushed to the disk, and renames it into place, so that a
// failure leaves an earlier file whole and no partial file behind. A device
// or pipe is written in place. An existing file keeps its permissions; a new
// one gets those any new file gets. The reason when that fails, else empty.
std::string write_text(const std::string& path, const std::string& text);

// The whole file's text; empty when it cannot be read.
std::string read_text(const std::string& path);

}  // namespace compare
