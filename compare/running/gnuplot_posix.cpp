// Finding gnuplot on Linux: a name in the PATH, or the path given.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "compare/running/files.h"
#include "compare/running/gnuplot.h"

namespace compare {
namespace {

bool runnable(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string gnuplot_not_installed(const std::string& gnuplot) {
  return gnuplot == "gnuplot"
             ? std::string("gnuplot is not installed (Debian package gnuplot-nox)")
             : fmt::format("gnuplot is not installed (Debian package gnuplot-nox): no command {}",
                           gnuplot);
}

std::string gnuplot_program(const std::string& gnuplot) {
  // Made absolute: gnuplot runs in a directory of its own.
  if (gnuplot.find('/') != std::string::npos) {
    return runnable(gnuplot) ? absolute_path(gnuplot) : "";
  }
  if (gnuplot.empty()) return {};
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    // An empty entry is the current directory, as the shell takes it.
    std::string candidate = end == begin ? "." : dirs.substr(begin, end - begin);
    candidate.append("/").append(gnuplot);
    if (runnable(candidate)) return absolute_path(candidate);
    begin = end + 1;
  }
  return {};
}

}  // namespace compare
