#include "compare/render/gnuplot.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace compare {

namespace {

// The line of gnuplot's complaint that says what went wrong: the one naming
// the script's line, else the first that is not blank.
std::string complaint(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::string first;
  while (std::getline(in, line)) {
    if (line.find("\" line ") != std::string::npos) return line;
    if (first.empty() && line.find_first_not_of(" \t\r^") != std::string::npos) first = line;
  }
  return first.empty() ? "no message" : first;
}

}  // namespace

std::string gnuplot_quoted(const std::string& s) {
  std::string out = "'";
  for (char ch : s) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
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
    throw std::runtime_error(
        gnuplot == "gnuplot"
            ? std::string(
                  "cannot draw the chart: gnuplot is not installed (Debian package gnuplot-nox)")
            : fmt::format("cannot draw the chart: gnuplot is not installed (Debian package "
                          "gnuplot-nox): no command {}",
                          gnuplot));
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
        fmt::format("cannot draw the chart: {} failed: {}", gnuplot, complaint(err)));
  }
}

}  // namespace compare
