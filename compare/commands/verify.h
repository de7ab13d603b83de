// bench_compare --verify: runs each program of the pair once under the
// tracing probe and proves, window by window, that it does exactly its
// listed work (proof/).
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <ostream>
#include <string>
#include <vector>

namespace compare {

struct VerifyOptions {
  std::string random, fixed, probe;
  std::string json;  // also write the findings here, when given
  double timeout = 600;
};

// Prints the findings and one verdict line to `out`, failures to start to
// `err`. Returns 0 when both programs are verified, 1 when not or when a run
// failed, 130 when interrupted.
int verify(const VerifyOptions& options, std::ostream& out, std::ostream& err);

// With --build: proves each build's pair in turn, each under a heading
// naming it; the worst status of them (2 when the builds are given wrong).
// The JSON holds each build's findings under its label.
int verify_builds(const std::vector<std::string>& builds, const VerifyOptions& options,
                  std::ostream& out, std::ostream& err);

}  // namespace compare
