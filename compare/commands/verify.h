// bench_compare --verify: runs each program of the pair once under the
// tracing probe and proves, window by window, that it does exactly its
// listed work (proof/).
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <ostream>
#include <string>

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

}  // namespace compare
