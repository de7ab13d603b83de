#include "compare/running/runner.h"

#include <fmt/format.h>

#include <cstring>

#include "compare/running/counting_probe.h"
#include "compare/running/documents.h"
#include "compare/running/process.h"

namespace compare {
namespace {

std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The run's own standard error on one line, so the message stays one line.
std::string one_line(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ') {
        out += out.back() == ';' ? " " : "; ";
      }
    } else {
      out += c;
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) {
    out.pop_back();
  }
  return out;
}

// Why a run that ended gave no times, or empty when it gave them (into
// `times`, and with counting its counts into `counts`).
std::string read_run(const RunOutcome& run, Side side, bool counting, Times& times,
                     RunCounts& counts, std::map<std::string, std::string>& unavailable) {
  const std::string results_file = side == Side::Random ? kRandomResults : kFixedResults;
  if (run.status != 0) return fmt::format("it exited with status {}", run.status);
  if (run.out_overflowed) {
    return fmt::format("it printed more than {} MiB, far more than a document of the pair",
                       kMaxOutput >> 20);
  }
  const auto file = run.files.find(results_file);
  if (file == run.files.end()) return "it wrote no results file " + results_file;
  std::string what;
  const std::optional<Times> read = read_times(file->second, run.out, what);
  if (!read || (counting && !counts_of(run, counts, unavailable, what))) return what;
  times = *read;
  return {};
}

}  // namespace

Runner::Runner(const RunSettings& settings, Comparison& into, RunStatus& status)
    : settings_(settings), into_(into), status_(status) {}

bool Runner::run_once(const std::string& program, Side side, const std::string& name, Round& round,
                      RunCounts& counts, const std::string& build) {
  const bool random = side == Side::Random;
  RunRequest request;
  request.program = program;
  request.timeout = settings_.timeout;
  request.cpu = settings_.cpu;
  request.files = {random ? kRandomResults : kFixedResults};
  const bool counting = !settings_.counting_probe.empty();
  if (counting) add_counting(request, settings_.counting_probe);
  const RunOutcome run = run_in_scratch(request);
  status_.run_seconds += run.seconds;
  ++runs_;
  (random ? round.random_usage : round.fixed_usage) = run.usage;

  const std::string who =
      (build.empty() ? "" : build + ": ") + base_name(program) + " (" + side_name(side) + ")";
  std::string what;
  switch (run.end) {
    case RunOutcome::End::Interrupted:
      status_.interrupted = true;
      into_.stopped = fmt::format("interrupted in {} while {} ran", name, who);
      return false;
    case RunOutcome::End::NotStarted:
      what = run.error;
      break;
    case RunOutcome::End::TimedOut:
      what =
          fmt::format("it ran longer than the timeout of {:g} s and was killed", settings_.timeout);
      break;
    case RunOutcome::End::Signalled:
      what = "it was killed by " + ending_name(run.status);
      break;
    case RunOutcome::End::Exited:
      what = read_run(run, side, counting, random ? round.random : round.fixed, counts,
                      into_.counters_unavailable);
      if (what.empty()) return true;
      break;
  }
  // Bounded as the kept part of it is: the last kErrorTail bytes.
  const std::string err = one_line(run.err);
  const std::string said =
      run.err_dropped == 0
          ? "; its standard error: "
          : fmt::format("; the last {} KiB of its standard error: ...", kErrorTail >> 10);
  into_.stopped =
      fmt::format("{} failed in {}: {}{}", who, name, what, err.empty() ? "" : said + err);
  return false;
}

double Runner::per_run() const { return runs_ == 0 ? 0 : status_.run_seconds / runs_; }

}  // namespace compare
