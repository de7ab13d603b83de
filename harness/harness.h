// What both benchmark programs share: the element types and constants of the
// tests, the two report sinks with their texts and number format, and the run
// sequence with its timed-test frame.
#pragma once

#if !defined(__x86_64__) && !defined(__aarch64__)
#error "The benchmarks need an x86-64 or an AArch64 processor: the Float test's long double."
#endif

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>

namespace harness {

// Executions per test, and the divisor that turns executions into millions.
constexpr std::int64_t kExecutions = 1000000;

// Element types of the test arrays.
using IntegerElement = std::int64_t;
// On x86-64 an 80-bit x87 extended real in a 16-byte slot (a store writes
// its first 10 bytes); on AArch64 an IEEE binary128, filling its 16 bytes.
using FloatElement = long double;
using DnaElement = char16_t;  // wchar_t is 32 bits on Linux; the code unit is 16

static_assert(sizeof(IntegerElement) == 8, "Integer elements are 8 bytes");
#if defined(__x86_64__)
static_assert(sizeof(FloatElement) == 16 && LDBL_MANT_DIG == 64,
              "Float elements are x87 extended reals in 16-byte slots");
#else
static_assert(sizeof(FloatElement) == 16 && LDBL_MANT_DIG == 113,
              "Float elements are IEEE binary128 reals");
#endif
static_assert(sizeof(DnaElement) == 2, "DNA elements are 16-bit codes");

constexpr std::size_t kIntegerBytes = kExecutions * sizeof(IntegerElement);
constexpr std::size_t kFloatBytes = kExecutions * sizeof(FloatElement);
constexpr std::size_t kDnaBytes = kExecutions * sizeof(DnaElement);

constexpr double kIntegerOffset = -5368676351.0;
constexpr double kIntegerDivisor = 127.0;
constexpr long double kFloatDivisor = 127.0L;
// K = 1407374900330497 * 2^848; one unit in its last place is 2^835, so
// subtracting a remainder of 0 to 126 leaves it unchanged.
constexpr long double kFloatBase = 0x1.4000004000004p+898L;
constexpr DnaElement kDnaBase = 65;  // 'A'

// The texts that differ between the two programs.
struct ProgramTexts {
  const char* program;  // prefix of error messages on standard error
  const char* console_title;
  const char* file_title;
  const char* results_file;  // also named by the console's results line
  const char* references_line;
};

// One test of the table: its place, heading, short name and array size.
struct TestInfo {
  int number;
  const char* heading;
  const char* name;
  std::size_t bytes;
};

extern const TestInfo kIntegerTest;
extern const TestInfo kFloatTest;
extern const TestInfo kDnaTest;

using Workload = void (*)();

// One report sink and whether a write to it has failed yet; the first failure
// is reported once on standard error and makes the exit status 1.
struct Sink {
  std::ostream* stream;
  const char* program;
  const char* name;  // as the error message names it
  bool failed;
};

// The state of one run: the per-program texts and both sinks.
struct Report {
  const ProgramTexts* texts;
  std::ofstream file;
  Sink console;
  Sink results;
};

// The number format: %.6g with an exponent of at least three digits.
std::string format_number(double value);

// Millions of executions per second for a test that took t seconds,
// worked out in extended precision as 1,000,000 / t / 1,000,000.
double rate_of(double seconds);

// Writes one line of up to three pieces and flushes it; no pieces is a blank.
void write_line(Sink& sink, std::string_view a = {}, std::string_view b = {},
                std::string_view c = {});

// Reports the sink's first failure, with the system's reason, on standard error.
void check_sink(Sink& sink);

// Sets the floating-point environment the tests run in: round to nearest,
// every exception masked (and on x86-64 the x87 unit at extended precision).
void set_floating_point_environment();

// Run sequence. start: process set-up and the results file; banner: the
// opening lines of both sinks; timed_test: one test with its window and its
// spend and rate lines; finish: closing block, Enter wait and exit.
void start(Report& report, const ProgramTexts& texts);
void banner(Report& report);
void timed_test(Report& report, const TestInfo& test, Workload workload);
[[noreturn]] void finish(Report& report);

}  // namespace harness
