// Running gnuplot on Linux: spawned from the PATH, its status from waitpid.
#include <fcntl.h>
#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "compare/render/gnuplot.h"

extern char** environ;

namespace compare {

namespace {

std::string not_installed(const std::string& gnuplot) {
  return gnuplot == "gnuplot"
             ? std::string("gnuplot is not installed (Debian package gnuplot-nox)")
             : fmt::format("gnuplot is not installed (Debian package gnuplot-nox): no command {}",
                           gnuplot);
}

}  // namespace

std::string gnuplot_unusable(const std::string& gnuplot) {
  if (gnuplot.find('/') != std::string::npos) {
    return access(gnuplot.c_str(), X_OK) == 0 ? "" : not_installed(gnuplot);
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = end == begin ? "." : dirs.substr(begin, end - begin);
    candidate.append("/").append(gnuplot);
    if (access(candidate.c_str(), X_OK) == 0) return {};
    begin = end + 1;
  }
  return not_installed(gnuplot);
}

void run_gnuplot(const std::string& script, const std::string& err, const std::string& gnuplot) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string arg0 = gnuplot;
  std::string arg1 = script;
  std::vector<char*> argv = {arg0.data(), arg1.data(), nullptr};
  // bench_compare ignores SIGPIPE for itself; gnuplot gets the usual signals.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, gnuplot.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == ENOENT) {
    throw std::runtime_error("cannot draw the chart: " + not_installed(gnuplot));
  }
  if (spawned != 0) {
    throw std::runtime_error(
        fmt::format("cannot draw the chart: cannot run {}: {}", gnuplot, std::strerror(spawned)));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      throw std::runtime_error(
          fmt::format("cannot draw the chart: lost {}: {}", gnuplot, std::strerror(errno)));
    }
  }
  if (WIFSIGNALED(status)) {
    throw std::runtime_error(fmt::format("cannot draw the chart: {} was killed by signal {}",
                                         gnuplot, WTERMSIG(status)));
  }
  if (WEXITSTATUS(status) != 0) {
    throw std::runtime_error(
        fmt::format("cannot draw the chart: {} failed: {}", gnuplot, gnuplot_complaint(err)));
  }
}

}  // namespace compare
