// Running one program of the pair as the comparison needs it: in a fresh
// private temporary directory that is removed afterwards, with standard input
// at end of file, the caller's environment, its output captured, and a
// timeout after which it is killed.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// What is kept of a run's output: a document of the pair is a few KiB, so
// more standard output than this is a failure; of its standard error the
// last part, which says why it ended, goes into the message.
constexpr std::size_t kMaxOutput = std::size_t{1} << 20;   // 1 MiB
constexpr std::size_t kErrorTail = std::size_t{64} << 10;  // 64 KiB

struct RunRequest {
  std::string program;             // path of the executable
  std::vector<std::string> args;   // its arguments
  std::vector<std::string> env;    // NAME=value added to the caller's; "%DIR%" in a
                                   // value stands for the run's directory
  double timeout = 60;             // seconds, then the program is killed
  std::vector<std::string> files;  // files of the run's directory to read back
  // Files put into the run's directory before it starts, by name: texts
  // written there, and files linked (or copied) there from a path.
  std::map<std::string, std::string> inputs;
  std::map<std::string, std::string> links;
  std::optional<int> cpu;  // the one processor the program may run on
};

struct RunOutcome {
  enum class End { Exited, Signalled, TimedOut, Interrupted, NotStarted };
  End end = End::NotStarted;
  int status = 0;   // the exit status, or the signal (Windows: exception code) that ended it
  std::string out;  // at most kMaxOutput bytes
  bool out_overflowed = false;               // it printed more, which was read and dropped
  std::string err;                           // the last kErrorTail bytes
  std::size_t err_dropped = 0;               // bytes printed before those
  std::map<std::string, std::string> files;  // those of RunRequest::files that existed
  double seconds = 0;                        // wall time from start to end
  Usage usage;                               // what the kernel says it took (when it ran)
  std::string error;                         // why it did not start (NotStarted)
};

// Runs the program to its end and removes its directory, whatever happened.
// A directory that cannot be made, or inputs that cannot be put there, end
// it NotStarted, with the reason in `error`.
RunOutcome run_in_scratch(const RunRequest& request);

// The seconds a task sat runnable waiting for a processor, from the text of
// /proc/PID/schedstat; none when the text is not that.
std::optional<double> runqueue_wait(const std::string& schedstat);

// After this, SIGINT, SIGTERM, SIGHUP and SIGQUIT no longer end bench_compare: a running
// program is killed at once and interrupted() becomes true.
void catch_interrupts();
bool interrupted();

// Waits the seconds out unless an interrupt comes first (then at once);
// false when interrupted.
bool idle_unless_interrupted(double seconds);

// "cannot run bench_random at PATH: why" for the first of the pair that
// cannot be run; empty when both can.
std::string pair_unrunnable(const std::string& random, const std::string& fixed);

// What ended a program that did not exit, for a message: "signal 11
// (Segmentation fault)", or on Windows "exception 0xC0000005 (access violation)".
std::string ending_name(int status);

// Before any output: a vanished reader of bench_compare's own output fails
// the write (and the exit status) instead of ending bench_compare before its
// exports are written, as does a file-size limit; on Linux an inherited
// ignored SIGCHLD is set back to its default, so that no exit status is lost;
// a Windows console shows the UTF-8 it is given.
void set_up_own_streams();

// Why this system cannot preload a library into the pair (--verify,
// --counters); empty where it can.
std::string preloading_unsupported();

// For the system's own runner: the environment `base` (NAME=value each) with
// the request's settings over it, "%DIR%" standing for the run's directory.
std::vector<std::string> run_environment(const std::vector<std::string>& base,
                                         const std::vector<std::string>& settings,
                                         const std::string& dir);

// For the system's own runners: adds what arrived on the program's standard
// output (or error) to what is kept of it, within kMaxOutput (kErrorTail).
void keep_output(RunOutcome& outcome, const char* data, std::size_t size);
void keep_error(RunOutcome& outcome, const char* data, std::size_t size);

// For the system's own runner: starts the request's program in `dir` and
// watches it to its end, its deadline or an interrupt, filling in all of
// `outcome` but the files, which run_in_scratch reads afterwards.
void run_in_dir(const RunRequest& request, const std::string& dir, RunOutcome& outcome);

// The whole file, byte for byte; `found` says whether it could be opened.
std::string read_whole(const std::string& path, bool& found);

// Why a program cannot be run at all ("no such file", "not executable"), or
// empty when it can.
std::string unrunnable(const std::string& program);

}  // namespace compare
