// What a run does when its environment fails it: the report goes on in the
// sink that still works, the failure is named once on standard error, and the
// exit status is 1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "programs.h"
#include "support.h"

using support::check_document;
using support::expected_console;
using support::expected_file;
using support::lines_of;
using support::read_file;

class Failures : public ::testing::TestWithParam<Program> {
 protected:
  const support::Texts& texts() const { return *GetParam().texts; }
  std::string results_path() const { return dir.file(texts().results_file); }
  std::string file_error(const std::string& reason) const {
    return GetParam().name + ": cannot write " + texts().results_file + ": " + reason + "\n";
  }
  std::string console_error(const std::string& reason) const {
    return GetParam().name + ": cannot write standard output: " + reason + "\n";
  }
  // A failed results file leaves the console document whole.
  void expect_console_intact(const support::RunResult& r) const {
    EXPECT_EQ(r.status, 1);
    check_document(lines_of(r.out), expected_console(texts()));
  }
  support::TempDir dir;
};

TEST_P(Failures, ResultsNameHeldByADirectory) {
  ASSERT_EQ(mkdir(results_path().c_str(), 0755), 0);
  const support::RunResult r = support::run(GetParam().path, {dir.path});
  expect_console_intact(r);
  EXPECT_EQ(r.err, file_error("Is a directory"));
}

TEST_P(Failures, ReadOnlyWorkingDirectory) {
  // Root passes every permission check, so the run is made as nobody, from a
  // copy of the program that nobody may execute.
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  const std::string copy = dir.file(GetParam().name);
  std::filesystem::copy_file(GetParam().path, copy);
  const std::string work = dir.file("read-only");
  ASSERT_EQ(mkdir(work.c_str(), 0555), 0);
  support::RunOptions options{work};
  if (geteuid() == 0) {
    options.prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  const support::RunResult r = support::run(copy, options);
  expect_console_intact(r);
  EXPECT_EQ(r.err, file_error("Permission denied"));
  EXPECT_NE(access((work + "/" + texts().results_file).c_str(), F_OK), 0) << "a file was created";
}

TEST_P(Failures, ResultsDiskFull) {
  ASSERT_EQ(symlink("/dev/full", results_path().c_str()), 0);
  const support::RunResult r = support::run(GetParam().path, {dir.path});
  expect_console_intact(r);
  EXPECT_EQ(r.err, file_error("No space left on device"));
}

TEST_P(Failures, ResultsFileSizeLimitFailsTheWriteInsteadOfKilling) {
  // The limit holds for regular files only: the console goes to a pipe.
  support::RunOptions options{dir.path};
  options.out = support::Out::Pipe;
  options.prefix = {"prlimit", "--fsize=100"};
  const support::RunResult r = support::run(GetParam().path, options);
  expect_console_intact(r);
  EXPECT_EQ(r.err, file_error("File too large"));
  // Whole lines up to the limit are kept.
  const std::vector<std::string> kept = lines_of(read_file(results_path()));
  const std::vector<std::string> want = expected_file(texts());
  ASSERT_GE(kept.size(), 3U);
  for (std::size_t i = 0; i + 1 < kept.size(); ++i) {
    EXPECT_EQ(kept[i], want[i]);
  }
}

// A failed console leaves the results file whole. A vanished reader must fail
// the write rather than kill the run, and a closed descriptor must not be
// taken by the results file, which would then receive the console report.
TEST_P(Failures, FailedConsoleLeavesTheResultsFileWhole) {
  const std::pair<support::Out, const char*> cases[] = {
      {support::Out::DevFull, "No space left on device"},
      {support::Out::ClosedPipe, "Broken pipe"},
      {support::Out::Closed, "Bad file descriptor"},
  };
  for (const auto& [out, reason] : cases) {
    SCOPED_TRACE(reason);
    support::RunOptions options{dir.path};
    options.out = out;
    const support::RunResult r = support::run(GetParam().path, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, console_error(reason));
    check_document(lines_of(read_file(results_path())), expected_file(texts()));
  }
}

INSTANTIATE_TEST_SUITE_P(Bench, Failures, BENCH_PROGRAMS, program_name);
