#include "compare/commands/verify.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <nlohmann/json.hpp>
#include <vector>

#include "compare/commands/outputs.h"
#include "compare/proof/findings.h"
#include "compare/proof/prove.h"
#include "compare/render/format.h"
#include "compare/render/table.h"
#include "compare/running/builds.h"
#include "compare/running/files.h"
#include "compare/running/process.h"

namespace compare {

int verify(const VerifyOptions& options, std::ostream& out, std::ostream& err) {
  const std::string cannot_run = pair_unrunnable(options.random, options.fixed);
  if (!cannot_run.empty()) return fail(err, cannot_run);
  if (access(options.probe.c_str(), R_OK) != 0) {
    return fail(err,
                fmt::format("cannot use the probe {}: {}", options.probe, std::strerror(errno)));
  }
  if (const int status = refuse_overwriting(
          named_exports({options.json, "", "", "", ""}),
          {{"--random", options.random}, {"--fixed", options.fixed}, {"--probe", options.probe}},
          err);
      status != 0) {
    return status;
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

int verify_builds(const std::vector<std::string>& builds, const VerifyOptions& options,
                  std::ostream& out, std::ostream& err) {
  std::vector<BuildSpec> builds_given;
  for (const std::string& text : builds) {
    BuildSpec given;
    const std::string why = read_build(text, given);
    if (!why.empty()) {
      return text.find('=') == std::string::npos ? usage_error(err, why) : fail(err, why);
    }
    builds_given.push_back(given);
  }
  if (const std::string why = builds_unusable(builds_given, ""); !why.empty()) {
    return usage_error(err, why);
  }
  std::vector<NamedFile> programs = {{"--probe", options.probe}};
  for (const BuildSpec& b : builds_given) {
    programs.push_back({"--build " + b.label, b.random});
    programs.push_back({"--build " + b.label, b.fixed});
  }
  if (const int status =
          refuse_overwriting(named_exports({options.json, "", "", "", ""}), programs, err);
      status != 0) {
    return status;
  }
  const ScratchDir scratch("bench_compare-verify");
  if (!options.json.empty() && scratch.path().empty()) {  // never a file at the root
    return fail(err, "cannot make a temporary directory: " + scratch.error());
  }
  nlohmann::json all = {{"builds", nlohmann::json::array()}, {"verified", true}};
  int worst = 0;
  for (const BuildSpec& given : builds_given) {
    out << printable(fmt::format("Build {}:", given.label)) << "\n";
    VerifyOptions each = options;
    each.random = given.random;
    each.fixed = given.fixed;
    each.json = options.json.empty() ? "" : scratch.file("findings.json");
    const int status = verify(each, out, err);
    worst = std::max(worst, status);
    if (!each.json.empty() && status != kInterrupted) {
      nlohmann::json findings = nlohmann::json::parse(read_text(each.json), nullptr, false);
      all["builds"].push_back({{"label", given.label}, {"findings", findings}});
      all["verified"] = all["verified"].get<bool>() && status == 0;
    }
    if (status == kInterrupted) return status;
    out << "\n";
  }
  const bool written = write_each({{options.json, [&] { return export_text(all); }}}, err);
  return written ? worst : std::max(worst, kFailed);
}

}  // namespace compare
