// The report sinks, the texts both programs share and the number format.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "harness/harness.h"

namespace harness {

const TestInfo kIntegerTest = {1, "1. Numeric Simulation. <Integer>", "Integer", kIntegerBytes};
const TestInfo kFloatTest = {2, "2. Numeric Simulation. <Float>", "Float", kFloatBytes};
const TestInfo kDnaTest = {3, "3. DNA Simulation. <Logic>", "DNA", kDnaBytes};

std::string format_number(double value) {
  char text[40];  // %.6g of any double takes at most 13 characters
  (void)std::snprintf(text, sizeof text, "%.6g", value);
  std::string out = text;
  // The C library here writes at least two exponent digits; the report
  // always shows three, as in 1.5e-005 and 1e+006.
  const std::size_t e = out.find('e');
  if (e != std::string::npos) {
    const std::size_t digits = out.size() - (e + 2);
    if (digits < 3) {
      out.insert(e + 2, 3 - digits, '0');
    }
  }
  return out;
}

double rate_of(double seconds) {
  const long double executions = static_cast<long double>(kExecutions);
  return static_cast<double>(executions / seconds / executions);
}

void check_sink(Sink& sink) {
  if (sink.failed || !sink.stream->fail()) {
    return;
  }
  sink.failed = true;
  const int reason = errno;
  // Standard error is the last resort: a failure there has nowhere to go.
  (void)std::fprintf(stderr, "%s: cannot write %s: %s\n", sink.program, sink.name,
                     reason != 0 ? std::strerror(reason) : "write error");
}

void write_line(Sink& sink, std::string_view a, std::string_view b, std::string_view c) {
  // errno is cleared so that a failure reports the reason of this very line.
  errno = 0;
  *sink.stream << a << b << c << std::endl;
  check_sink(sink);
}

}  // namespace harness
