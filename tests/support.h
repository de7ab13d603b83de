// Helpers for tests that run the built programs as a user would.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace support {

// A fresh directory under /tmp, removed with everything in it at scope exit.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

// A path of `library` fit for LD_PRELOAD, which splits its value at spaces
// and colons: the path itself, or one of a link to it in a directory of the
// test's own when it holds either.
std::string preloadable(const std::string& library);

enum class Out { File, Pipe, DevFull, ClosedPipe, Closed };

struct RunOptions {
  RunOptions(std::string working_directory) : dir(std::move(working_directory)) {}
  std::string dir;                  // working directory
  std::string input = "/dev/null";  // file for standard input
  int input_fd = -1;                // or a descriptor shared with the test
  std::vector<std::string> args;    // arguments after the program name
  Out out = Out::File;
  std::vector<std::string> env;     // NAME=value added to the environment
  std::vector<std::string> prefix;  // a command the program is run under
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output (when Out::File)
  std::string err;  // standard error
};

// Runs a program built here. In a cross build it runs under the emulator,
// started through emulator() after the options' prefix.
RunResult run(const std::string& program, const RunOptions& options);

// The command a program built here runs under: none natively; in a cross
// build the emulated launcher (cmake/run-emulated.c), which takes the
// program and its arguments after it.
const std::vector<std::string>& emulator();

std::string read_file(const std::string& path);
std::vector<std::string> lines_of(const std::string& text);

// The lines of a report wider than `width` terminal columns (UTF-8
// characters), each as "N columns: line"; a long path is no excuse, as the
// reports break it.
std::vector<std::string> lines_wider_than(const std::string& report, std::size_t width);
void write_file(const std::string& path, const std::string& text);

// A probe report: key=value lines.
std::map<std::string, std::string> read_report(const std::string& path);

// The whole console document and results file of a completed run.
struct Texts {
  std::string console_title, file_title, results_file, references_line;
};
extern const Texts kRandomTexts;
extern const Texts kFixedTexts;

std::vector<std::string> expected_console(const Texts& texts);
std::vector<std::string> expected_file(const Texts& texts);

// Spend and rate numbers of the three tests as printed.
struct Numbers {
  std::string spend[3], rate[3];
};

// Checks the lines against the layout (numbers as numbers) with gtest
// assertions and returns the numbers it read.
Numbers check_document(const std::vector<std::string>& actual,
                       const std::vector<std::string>& expected);

// Whether text is a number in the report's format: %.6g with a
// three-digit exponent, or inf.
bool is_report_number(const std::string& text);

}  // namespace support
