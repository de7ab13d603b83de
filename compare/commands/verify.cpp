#include "compare/commands/verify.h"

#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <vector>

#include "compare/commands/outputs.h"
#include "compare/proof/findings.h"
#include "compare/proof/prove.h"
#include "compare/render/table.h"
#include "compare/running/process.h"

namespace compare {

int verify(const VerifyOptions& options, std::ostream& out, std::ostream& err) {
  const std::string cannot_run = pair_unrunnable(options.random, options.fixed);
  if (!cannot_run.empty()) return fail(err, cannot_run);
  if (access(options.probe.c_str(), R_OK) != 0) {
    return fail(err,
                fmt::format("cannot use the probe {}: {}", options.probe, std::strerror(errno)));
  }
  const std::string unwritable = unwritable_export({options.json, "", "", "", ""});
  if (!unwritable.empty()) return fail(err, unwritable);

  // The two runs share nothing, so they run side by side.
  catch_interrupts();
  // A future hands any exception of its run to get(), so none ends the process.
  auto fixed = std::async(std::launch::async, [&] {
    return prove({options.fixed, options.probe, Side::Fixed, options.timeout});
  });
  std::vector<ProgramWork> programs(2);
  try {
    programs[0] = prove({options.random, options.probe, Side::Random, options.timeout});
  } catch (...) {
    fixed.wait();
    throw;
  }
  programs[1] = fixed.get();

  for (const ProgramWork& p : programs) {
    out << printable_lines(describe(p)) << "\n";
  }
  out << printable_lines(verdict(programs)) << "\n" << std::flush;
  const bool written = write_each({{options.json, [&] { return findings_json(programs); }}}, err);
  if (interrupted()) {
    fail(err, "interrupted");
    return kInterrupted;  // as a comparison stopped by Ctrl-C
  }
  return written && is_verified(programs[0]) && is_verified(programs[1]) ? 0 : 1;
}

}  // namespace compare
