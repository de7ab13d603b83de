// What the kernel says each run took from the machine, summed up: each
// program's medians over the counted runs, and whether other work took the
// processor from the runs. Pure functions of the rounds; their output is
// report/usage.h's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Each figure's median over one program's counted runs that have a usage;
// the run-queue wait's over the runs where the kernel told it.
struct UsageSummary {
  int runs = 0;  // 0 when no run has a usage; the figures are then meaningless
  Usage median;
  double processor_s = 0;  // the median of user plus system time, not the sum of their medians
};
UsageSummary summarise_usage(const std::vector<Round>& rounds, Side side);

// The share of a run's wall time that other work took: its run-queue wait
// where known, else the wall time it spent off the processor.
double taken_share(const Usage& usage);

// Whether the usage tells what other work took: the wait, or the processor time.
bool tells_taken(const Usage& usage);

// "Other work took the processor ..." when enough of the counted runs lost
// enough of their wall time to other work; none otherwise.
std::optional<std::string> contention_warning(const std::vector<Round>& rounds);

// Seconds as the usage's texts show them: "1.234 s".
std::string seconds_text(double s);

}  // namespace compare
