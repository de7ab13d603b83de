// Runs one program in a scratch directory, reading its output as it comes so
// that a chatty program never blocks on a full pipe, and killing it when the
// timeout passes or the user interrupts the comparison.
#include "compare/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace compare {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
int g_wake[2] = {-1, -1};  // written to by the signal handler, polled by the runner

void on_interrupt(int /*signal*/) {
  g_interrupted = 1;
  if (g_wake[1] >= 0) {
    const char byte = 1;
    (void)!write(g_wake[1], &byte, 1);
  }
}

// "%DIR%" in a value stands for the run's directory.
std::string expand(std::string text, const std::string& dir) {
  const std::string token = "%DIR%";
  for (std::size_t at = text.find(token); at != std::string::npos;
       at = text.find(token, at + dir.size())) {
    text.replace(at, token.size(), dir);
  }
  return text;
}

std::string make_scratch() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/bench-compare-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {  // created 0700: private to us
    return {};
  }
  return pattern;
}

std::string slurp(const std::string& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The child's half: everything here must be safe after fork.
[[noreturn]] void exec_child(const std::string& dir, const std::string& program, int out, int err,
                             int status_pipe, const std::vector<std::string>& env) {
  (void)setpgid(0, 0);  // its own group, so that a kill reaches whatever it started
  const int in = open("/dev/null", O_RDONLY);
  if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
      chdir(dir.c_str()) != 0) {
    const int reason = errno;
    (void)!write(status_pipe, &reason, sizeof reason);
    _exit(127);
  }
  for (const int sig : {SIGINT, SIGTERM, SIGPIPE, SIGQUIT}) {
    (void)std::signal(sig, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  (void)sigprocmask(SIG_SETMASK, &none, nullptr);
  for (const std::string& entry : env) {
    (void)putenv(const_cast<char*>(entry.c_str()));
  }
  char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
  execv(program.c_str(), argv);
  const int reason = errno;
  (void)!write(status_pipe, &reason, sizeof reason);
  _exit(127);
}

}  // namespace

void catch_interrupts() {
  if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_wake[0] = g_wake[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  (void)sigaction(SIGINT, &action, nullptr);
  (void)sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

std::string unrunnable(const std::string& program) {
  struct stat info {};
  if (stat(program.c_str(), &info) != 0) {
    return std::strerror(errno);
  }
  if (S_ISDIR(info.st_mode)) {
    return "is a directory";
  }
  if (!S_ISREG(info.st_mode) || access(program.c_str(), X_OK) != 0 ||
      (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) {
    return "not executable";
  }
  return {};
}

RunOutcome run_in_scratch(const RunRequest& request) {
  RunOutcome outcome;
  if (interrupted()) {
    outcome.end = RunOutcome::End::Interrupted;
    return outcome;
  }
  const std::string dir = make_scratch();
  if (dir.empty()) {
    outcome.error = std::string("cannot make a temporary directory: ") + std::strerror(errno);
    return outcome;
  }
  std::vector<std::string> env;
  env.reserve(request.env.size());
  for (const std::string& entry : request.env) {
    env.push_back(expand(entry, dir));
  }

  int out[2] = {-1, -1}, err[2] = {-1, -1}, status[2] = {-1, -1};
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (pipe2(out, O_CLOEXEC) == 0 && pipe2(err, O_CLOEXEC) == 0 && pipe2(status, O_CLOEXEC) == 0) {
    pid = fork();
  }
  if (pid == 0) {
    exec_child(dir, request.program, out[1], err[1], status[1], env);
  }
  const int fork_error = errno;
  for (const int fd : {out[1], err[1], status[1]}) {
    if (fd >= 0) {
      close(fd);
    }
  }

  if (pid < 0) {
    outcome.error = std::string("cannot start it: ") + std::strerror(fork_error);
  } else {
    const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(request.timeout));
    bool killed = false;
    std::string* sinks[] = {&outcome.out, &outcome.err};
    int fds[] = {out[0], err[0]};
    while (fds[0] >= 0 || fds[1] >= 0) {
      pollfd polls[3] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}, {g_wake[0], POLLIN, 0}};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (!killed && (interrupted() || left <= 0)) {
        outcome.end = interrupted() ? RunOutcome::End::Interrupted : RunOutcome::End::TimedOut;
        (void)kill(-pid, SIGKILL);
        (void)kill(pid, SIGKILL);
        killed = true;
        break;  // whatever it left in the pipes no longer matters
      }
      const int ready = poll(polls, 3, static_cast<int>(std::min<long long>(left, 1000) + 1));
      if (ready < 0 && errno != EINTR) {
        break;
      }
      for (int i = 0; i < 2; ++i) {
        if (fds[i] >= 0 && (polls[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
          char buffer[8192];
          const ssize_t got = read(fds[i], buffer, sizeof buffer);
          if (got > 0) {
            sinks[i]->append(buffer, static_cast<std::size_t>(got));
          } else if (got == 0 || errno != EINTR) {
            close(fds[i]);
            fds[i] = -1;
          }
        }
      }
      if ((polls[2].revents & POLLIN) != 0) {
        char drain[64];
        while (read(g_wake[0], drain, sizeof drain) > 0) {
        }
      }
    }
    for (const int fd : fds) {
      if (fd >= 0) {
        close(fd);
      }
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    (void)kill(-pid, SIGKILL);  // anything it started and left behind
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    int exec_error = 0;
    if (read(status[0], &exec_error, sizeof exec_error) == sizeof exec_error) {
      outcome.end = RunOutcome::End::NotStarted;
      outcome.error = std::string("cannot run it: ") + std::strerror(exec_error);
    } else if (!killed) {
      if (WIFEXITED(wait_status)) {
        outcome.end = RunOutcome::End::Exited;
        outcome.status = WEXITSTATUS(wait_status);
      } else {
        outcome.end = interrupted() ? RunOutcome::End::Interrupted : RunOutcome::End::Signalled;
        outcome.status = WTERMSIG(wait_status);
      }
    }
  }
  if (status[0] >= 0) {
    close(status[0]);
  }
  for (const std::string& name : request.files) {
    bool found = false;
    std::string path = dir;
    path.append("/").append(name);
    std::string text = slurp(path, found);
    if (found) {
      outcome.files.emplace(name, std::move(text));
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return outcome;
}

}  // namespace compare
