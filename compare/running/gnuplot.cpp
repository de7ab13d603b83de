// What running gnuplot means on every system; finding the command is in
// gnuplot_posix.cpp and gnuplot_windows.cpp.
#include "compare/running/gnuplot.h"

#include <sstream>
#include <stdexcept>

#include "compare/running/process.h"

namespace compare {
namespace {

constexpr const char* kScriptName = "drawing.gp";

std::runtime_error cannot_draw(const std::string& why) {
  return std::runtime_error("cannot draw the chart: " + why);
}

// Why the run drew nothing, or empty when it ended well.
std::string why_not_drawn(const RunOutcome& run, const std::string& gnuplot) {
  switch (run.end) {
    case RunOutcome::End::NotStarted:
      return fmt::format("cannot run {}: {}", gnuplot, run.error);
    case RunOutcome::End::Interrupted:
      return fmt::format("interrupted while {} drew it", gnuplot);
    case RunOutcome::End::TimedOut:
      return fmt::format("{} ran longer than {:g} s and was killed", gnuplot, kGnuplotTimeout);
    case RunOutcome::End::Signalled:
      return fmt::format("{} was killed by {}", gnuplot, ending_name(run.status));
    case RunOutcome::End::Exited:
      break;
  }
  return run.status == 0 ? "" : fmt::format("{} failed: {}", gnuplot, gnuplot_complaint(run.err));
}

}  // namespace

std::map<std::string, std::string> draw(const Drawing& drawing, const std::string& gnuplot) {
  // bench_compare ends the drawing on Ctrl-C as it ends a program's run.
  catch_interrupts();
  RunRequest request;
  request.program = gnuplot_program(gnuplot);
  if (request.program.empty()) throw cannot_draw(gnuplot_not_installed(gnuplot));
  request.args = {kScriptName};
  request.timeout = kGnuplotTimeout;
  request.inputs = drawing.data;
  request.inputs[kScriptName] = drawing.script;
  request.files = drawing.charts;
  RunOutcome run = run_in_scratch(request);
  const std::string why = why_not_drawn(run, gnuplot);
  if (!why.empty()) throw cannot_draw(why);
  for (const std::string& name : drawing.charts) {
    const auto chart = run.files.find(name);
    if (chart == run.files.end() || chart->second.find("<svg") == std::string::npos) {
      throw cannot_draw(fmt::format("{} wrote no chart", gnuplot));
    }
  }
  return std::move(run.files);
}

std::string gnuplot_unusable(const std::string& gnuplot) {
  return gnuplot_program(gnuplot).empty() ? gnuplot_not_installed(gnuplot) : "";
}

std::string gnuplot_complaint(const std::string& complaints) {
  std::istringstream in(complaints);
  std::string line;
  std::string first;
  while (std::getline(in, line)) {
    if (line.find("\" line ") != std::string::npos) return line;
    if (first.empty() && line.find_first_not_of(" \t\r^") != std::string::npos) first = line;
  }
  return first.empty() ? "no message" : first;
}

}  // namespace compare
