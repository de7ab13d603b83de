#include "compare/proof/prove.h"

#include <fmt/format.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "compare/running/documents.h"
#include "compare/running/files.h"
#include "compare/running/process.h"

namespace compare {
namespace {

constexpr const char* kProbeRecord = "probe-record.txt";
constexpr const char* kProbeName = "libbench_probe.so";

}  // namespace

ProgramWork prove(const ProofRun& run) {
  RunRequest request;
  request.program = absolute_path(run.program);
  // The dynamic linker splits LD_PRELOAD at spaces and colons: the probe is
  // preloaded under a plain name in the run's directory, where it runs.
  request.links = {{kProbeName, run.probe}};
  request.env = {
      std::string("LD_PRELOAD=./") + kProbeName, "PROBE_TRACE=1",
      "PROBE_TRACE_WINDOWS=" + run.traced,
      std::string(protocol::kReportVariable) + "=%DIR%/" + kProbeRecord,
      std::string("PROBE_WATCH=") + (run.side == Side::Random ? kRandomResults : kFixedResults)};
  request.timeout = run.timeout;
  request.files = {kProbeRecord};
  const RunOutcome outcome = run_in_scratch(request);
  const auto record = outcome.files.find(kProbeRecord);
  ProgramWork work = examine(run.side, record == outcome.files.end() ? "" : record->second);
  work.path = request.program;
  const std::string said = outcome.err.substr(0, outcome.err.find('\n'));
  const std::string because = said.empty() ? "" : ": " + said;
  switch (outcome.end) {
    case RunOutcome::End::NotStarted:
      work.failure = outcome.error;
      break;
    case RunOutcome::End::TimedOut:
      work.failure = fmt::format("stopped after {} s (--timeout)", run.timeout);
      break;
    case RunOutcome::End::Interrupted:
      work.failure = "interrupted";
      break;
    case RunOutcome::End::Signalled:
      work.failure = fmt::format("ended by {}{}", ending_name(outcome.status), because);
      break;
    case RunOutcome::End::Exited:
      if (outcome.status != 0) {
        work.failure = fmt::format("ended with status {}{}", outcome.status, because);
      } else if (record == outcome.files.end()) {
        // A statically linked program ignores the preload.
        work.failure = "the probe recorded nothing: it was not loaded (a static program?)" +
                       (said.empty() ? "" : "; its standard error: " + said);
      }
      break;
  }
  return work;
}

std::string default_probe_path(const std::string& self_exe_dir) {
  std::string installed =
      (std::filesystem::path(self_exe_dir) / BENCH_PROBE_FROM_BINDIR).lexically_normal().string();
  const std::string built =
      (std::filesystem::path(self_exe_dir) / BENCH_PROBE_FROM_BUILD).lexically_normal().string();
  for (const std::string& candidate : {installed, built}) {
    if (access(candidate.c_str(), F_OK) == 0) {
      return candidate;
    }
  }
  return installed;
}

}  // namespace compare
