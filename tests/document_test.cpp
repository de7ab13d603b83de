// Both documents of a run, line by line, and the run's use of its input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "programs.h"
#include "support.h"

using support::check_document;
using support::expected_console;
using support::expected_file;
using support::lines_of;
using support::read_file;

class Documents : public ::testing::TestWithParam<Program> {
 protected:
  std::string results_path() const { return dir.file(GetParam().texts->results_file); }
  support::TempDir dir;
};

TEST_P(Documents, CompletedRunWritesBothDocumentsWithTheSameNumbers) {
  const support::RunResult r = support::run(GetParam().path, {dir.path});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const support::Numbers console =
      check_document(lines_of(r.out), expected_console(*GetParam().texts));
  const support::Numbers file =
      check_document(lines_of(read_file(results_path())), expected_file(*GetParam().texts));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(console.spend[k], file.spend[k]);
    EXPECT_EQ(console.rate[k], file.rate[k]);
  }
}

TEST_P(Documents, ASecondRunLeavesOnlyItsOwnLinesAndArgumentsAreIgnored) {
  std::string old;
  for (int i = 0; i < 40; ++i) {
    old += "an older and longer results file line\n";
  }
  support::write_file(results_path(), old);
  support::RunOptions options{dir.path};
  options.args = {"--help", "-x", "extra"};
  const support::RunResult r = support::run(GetParam().path, options);
  EXPECT_EQ(r.status, 0);
  check_document(lines_of(r.out), expected_console(*GetParam().texts));
  check_document(lines_of(read_file(results_path())), expected_file(*GetParam().texts));
}

TEST_P(Documents, ConsumesExactlyOneCharacterOfInput) {
  const std::string input = dir.file("input");
  support::write_file(input, "x\nmore input\n");
  support::RunOptions options{dir.path};
  options.input_fd = open(input.c_str(), O_RDONLY);
  const support::RunResult r = support::run(GetParam().path, options);
  EXPECT_EQ(r.status, 0);
  // The descriptor is shared: its offset shows what the program consumed.
  EXPECT_EQ(lseek(options.input_fd, 0, SEEK_CUR), 1);
  close(options.input_fd);
}

// Starts the program on a terminal of its own and reads the screen until the
// exit prompt; returns the process and sets the terminal's master side.
pid_t start_on_terminal(const std::string& program, const std::string& dir, int* master) {
  const pid_t pid = forkpty(master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (chdir(dir.c_str()) == 0) {
      std::vector<char*> argv;
      for (const std::string& e : support::emulator()) {
        argv.push_back(const_cast<char*>(e.c_str()));
      }
      argv.push_back(const_cast<char*>(program.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
    }
    _exit(127);
  }
  std::string screen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (pid > 0 && screen.find("Please Press Enter to Exit.") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd p = {*master, POLLIN, 0};
    if (poll(&p, 1, 1000) > 0) {
      char buf[4096];
      const ssize_t n = read(*master, buf, sizeof buf);
      if (n <= 0) {
        break;
      }
      screen.append(buf, static_cast<std::size_t>(n));
    }
  }
  EXPECT_NE(screen.find("Please Press Enter to Exit."), std::string::npos) << screen;
  return pid;
}

// Whether the process sits in a read of its standard input, as its kernel
// record of the system call it is blocked in shows ("0 0x0 ..." is read(0, ...)).
bool reading_its_input(pid_t pid) {
  return read_file("/proc/" + std::to_string(pid) + "/syscall").rfind("0 0x0 ", 0) == 0;
}

// On a terminal the program waits for Enter with its report complete: after
// the prompt it ends up blocked reading its input, and does not end.
TEST_P(Documents, WaitsOnATerminalUntilEnterIsPressed) {
  int master = -1;
  const pid_t pid = start_on_terminal(GetParam().path, dir.path, &master);
  ASSERT_GT(pid, 0);
  int status = 0;
  pid_t ended = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ended == 0 && !reading_its_input(pid) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ended = waitpid(pid, &status, WNOHANG);
  }
  if (ended == 0 && !reading_its_input(pid)) {
    kill(pid, SIGKILL);
  }
  ASSERT_EQ(ended, 0) << "the program did not wait for Enter";
  ASSERT_TRUE(reading_its_input(pid)) << "the program is not reading its input";
  check_document(lines_of(read_file(results_path())), expected_file(*GetParam().texts));
  ASSERT_EQ(write(master, "\n", 1), 1);
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(master);
}

// A terminal that goes away hangs the program up, as closing a console
// window ends a console program; it must not keep waiting.
TEST_P(Documents, EndsWhenItsTerminalGoesAway) {
  int master = -1;
  const pid_t pid = start_on_terminal(GetParam().path, dir.path, &master);
  ASSERT_GT(pid, 0);
  close(master);
  // The deadline only bounds a program that keeps waiting.
  int status = 0;
  pid_t ended = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ended = waitpid(pid, &status, WNOHANG);
  }
  ASSERT_EQ(ended, pid) << "still waiting after its terminal went away";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP);
  check_document(lines_of(read_file(results_path())), expected_file(*GetParam().texts));
}

// The pair shares a working directory without touching each other's file.
TEST(Pair, EachProgramLeavesTheOthersResultsFileUntouched) {
  support::TempDir dir;
  const std::string random_file = dir.file(kRandomProgram.texts->results_file);
  const std::string fixed_file = dir.file(kFixedProgram.texts->results_file);
  ASSERT_EQ(support::run(kRandomProgram.path, {dir.path}).status, 0);
  const std::string random_before = read_file(random_file);
  ASSERT_EQ(support::run(kFixedProgram.path, {dir.path}).status, 0);
  EXPECT_EQ(read_file(random_file), random_before);
  const std::string fixed_before = read_file(fixed_file);
  ASSERT_EQ(support::run(kRandomProgram.path, {dir.path}).status, 0);
  EXPECT_EQ(read_file(fixed_file), fixed_before);
  EXPECT_NE(read_file(random_file), random_before) << "the second bench_random run changed nothing";
}

INSTANTIATE_TEST_SUITE_P(Bench, Documents, BENCH_PROGRAMS, program_name);
