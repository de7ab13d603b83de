// The Windows programs run through Wine as a user would run them: both
// documents line by line, every line ending in CR LF; times from a clock far
// finer than a millisecond; and each failure a Windows program can meet,
// with the reasons Windows gives.
//
// Left out, as they cannot happen there: a file-size limit (Windows has no
// signal or limit for it), a working directory the user may not write (made
// on Linux by running as another user, and Wine refuses a prefix another
// user owns), and a terminal that hangs up (a console window that closes
// ends the process through the system, not through the program).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

namespace {

using support::check_document;
using support::expected_console;
using support::expected_file;
using support::read_file;

struct WindowsProgram {
  std::string name;
  std::string exe;
  const support::Texts* texts;
};

void PrintTo(const WindowsProgram& program, std::ostream* out) { *out << program.name; }

const WindowsProgram kRandomProgram{"bench_random", BENCH_RANDOM_EXE, &support::kRandomTexts};
const WindowsProgram kFixedProgram{"bench_fixed", BENCH_FIXED_EXE, &support::kFixedTexts};

// Runs the program through the Wine loader, after any command of the options',
// in the cross build's own Wine prefix.
support::RunResult run_exe(const WindowsProgram& program, support::RunOptions options) {
  options.prefix.emplace_back(WINE_LOADER);
  options.env.insert(options.env.end(), {"WINEPREFIX=" WINE_PREFIX, "WINEDEBUG=-all",
                                         "WINEDLLOVERRIDES=mscoree,mshtml="});
  return support::run(program.exe, options);
}

// The lines of a Windows text, each of which must end in CR LF.
std::vector<std::string> crlf_lines(const std::string& text) {
  std::vector<std::string> lines = support::lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty() && lines[i].back() == '\r') {
      lines[i].pop_back();
    } else {
      ADD_FAILURE() << "line " << i + 1 << " does not end in CR LF: " << lines[i];
    }
  }
  return lines;
}

class WindowsRun : public ::testing::TestWithParam<WindowsProgram> {
 protected:
  const support::Texts& texts() const { return *GetParam().texts; }
  std::string results_path() const { return dir.file(texts().results_file); }
  support::RunResult run(support::RunOptions options) const {
    return run_exe(GetParam(), std::move(options));
  }
  support::Numbers check_console(const support::RunResult& r) const {
    return check_document(crlf_lines(r.out), expected_console(texts()));
  }
  support::Numbers check_results_file() const {
    return check_document(crlf_lines(read_file(results_path())), expected_file(texts()));
  }
  // Standard error is a text stream too: the line ends in CR LF.
  std::string error_line(const std::string& sink, const std::string& reason) const {
    return GetParam().name + ": cannot write " + sink + ": " + reason + "\r\n";
  }
  support::TempDir dir;
};

using Documents = WindowsRun;
using Failures = WindowsRun;

TEST_P(Documents, CompletedRunWritesBothDocumentsWithTheSameNumbers) {
  const support::RunResult r = run({dir.path});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const support::Numbers console = check_console(r);
  const support::Numbers file = check_results_file();
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(console.spend[k], file.spend[k]);
    EXPECT_EQ(console.rate[k], file.rate[k]);
  }
}

TEST_P(Documents, ASecondRunReplacesALongerFileAndArgumentsAreIgnored) {
  std::string old;
  for (int i = 0; i < 40; ++i) {
    old += "an older and longer results file line\r\n";
  }
  support::write_file(results_path(), old);
  support::RunOptions options{dir.path};
  options.args = {"/?", "--help", "extra"};
  const support::RunResult r = run(options);
  EXPECT_EQ(r.status, 0);
  check_console(r);
  check_results_file();
}

// Enter is written only once the prompt is on the console, and the program
// must then read it: one that does not wait leaves it unread in the pipe,
// however fast or slow the machine.
TEST_P(Documents, WaitsForEnterWhileItsInputStaysOpen) {
  int input[2];
  int output[2];
  ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (chdir(dir.path.c_str()) != 0 || dup2(input[0], 0) < 0 || dup2(output[1], 1) < 0 ||
        dup2(null, 2) < 0) {
      _exit(120);
    }
    setenv("WINEPREFIX", WINE_PREFIX, 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    execl(WINE_LOADER, WINE_LOADER, GetParam().exe.c_str(), nullptr);
    _exit(127);
  }
  close(output[1]);
  std::string console;
  bool ended = false;  // the console reached its end
  auto read_some = [&] {
    char buffer[4096];
    const ssize_t n = read(output[0], buffer, sizeof buffer);
    if (n > 0) {
      console.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      ended = true;
    }
  };
  // The deadline only bounds a program that never shows its prompt.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!ended && console.find("Please Press Enter to Exit.") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd ready = {output[0], POLLIN, 0};
    if (poll(&ready, 1, 1000) > 0) {
      read_some();
    }
  }
  EXPECT_NE(console.find("Please Press Enter to Exit."), std::string::npos) << console;
  if (console.find("Please Press Enter to Exit.") == std::string::npos) {
    kill(pid, SIGKILL);
  }
  EXPECT_EQ(write(input[1], "\n", 1), 1);
  close(input[1]);
  while (!ended) {
    read_some();
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  int unread = -1;
  EXPECT_EQ(ioctl(input[0], FIONREAD, &unread), 0);
  EXPECT_EQ(unread, 0) << "the program ended without reading Enter";
  close(input[0]);
  close(output[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  check_document(crlf_lines(console), expected_console(texts()));
}

// The performance counter times even the shortest test: bench_fixed's times
// are above zero, differ from test to test and are not whole milliseconds.
TEST(Clock, BenchFixedTimesAreFinerThanAMillisecond) {
  support::TempDir dir;
  const support::RunResult r = run_exe(kFixedProgram, {dir.path});
  ASSERT_EQ(r.status, 0);
  const support::Numbers numbers =
      check_document(crlf_lines(r.out), expected_console(*kFixedProgram.texts));
  std::set<std::string> distinct;
  int whole_milliseconds = 0;
  for (int k = 0; k < 3; ++k) {
    const double t = std::strtod(numbers.spend[k].c_str(), nullptr);
    EXPECT_GT(t, 0.0);
    EXPECT_NE(numbers.rate[k], "inf");
    distinct.insert(numbers.spend[k]);
    const double ms = t * 1000.0;
    whole_milliseconds += std::fabs(ms - std::round(ms)) < 1e-3 ? 1 : 0;
  }
  EXPECT_EQ(distinct.size(), 3U) << numbers.spend[0] << " " << numbers.spend[1] << " "
                                 << numbers.spend[2];
  EXPECT_LT(whole_milliseconds, 3) << "times step by whole milliseconds";
}

// A failed results file leaves the console document whole, and the other way
// round; the failure is named once and the exit status is 1.
TEST_P(Failures, ResultsNameHeldByADirectory) {
  ASSERT_EQ(mkdir(results_path().c_str(), 0755), 0);
  const support::RunResult r = run({dir.path});
  EXPECT_EQ(r.status, 1);
  // Windows refuses to open a directory as a file for writing with this reason.
  EXPECT_EQ(r.err, error_line(texts().results_file, "Permission denied"));
  check_console(r);
}

TEST_P(Failures, ResultsFileOnAFullDevice) {
  ASSERT_EQ(symlink("/dev/full", results_path().c_str()), 0);
  const support::RunResult r = run({dir.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, error_line(texts().results_file, "No space left on device"));
  check_console(r);
}

TEST_P(Failures, FailedConsoleLeavesTheResultsFileWhole) {
  // A vanished reader fails the write with "Invalid argument" on Windows,
  // where there is no broken-pipe signal or error for it.
  const std::pair<support::Out, const char*> cases[] = {
      {support::Out::DevFull, "No space left on device"},
      {support::Out::ClosedPipe, "Invalid argument"},
      {support::Out::Closed, "Bad file descriptor"},
  };
  for (const auto& [out, reason] : cases) {
    SCOPED_TRACE(reason);
    support::RunOptions options{dir.path};
    options.out = out;
    const support::RunResult r = run(options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, error_line("standard output", reason));
    check_results_file();
  }
}

TEST_P(Failures, InputAtItsEndOrClosedEndsTheRunAtOnce) {
  support::RunOptions at_end{dir.path};  // standard input is /dev/null
  support::RunOptions closed{dir.path};
  closed.prefix = {"sh", "-c", "exec \"$@\" <&-", "sh"};
  for (const support::RunOptions& options : {at_end, closed}) {
    SCOPED_TRACE(options.prefix.empty() ? "at end" : "closed");
    const support::RunResult r = run(options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    check_console(r);
    check_results_file();
  }
}

std::string program_name(const ::testing::TestParamInfo<WindowsProgram>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Wine, Documents, ::testing::Values(kRandomProgram, kFixedProgram),
                         program_name);
INSTANTIATE_TEST_SUITE_P(Wine, Failures, ::testing::Values(kRandomProgram, kFixedProgram),
                         program_name);

}  // namespace
