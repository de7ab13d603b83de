// The run sequence from entry to exit and the timed-test frame.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

#include "harness/harness.h"
#include "harness/platform.h"

namespace harness {
namespace {

constexpr const char* kOverviewLine = "There are three tests at 1M executions. <CPU Intensive>";
constexpr const char* kStartLine = "Started . . .";
constexpr const char* kSpendLabel = "It spends: ";
constexpr const char* kSpendUnit = " Secs";
constexpr const char* kRateLabel = "It is:     ";
constexpr const char* kRateUnit = " M Executions/Secs";
constexpr const char* kResultsLabel = "Results: ";
constexpr const char* kExitPrompt = "Please Press Enter to Exit.";
constexpr const char* kNoticeLine = "Copyright (C) 2006 Quorvantic. All rights reserved.";
constexpr const char* kSupportLine =
    "For Professional Edition and Support: support@quorvantic.example";

// What the out-of-memory handler names: the program and the test whose window is open.
const char* g_program = "";
const TestInfo* g_current_test = nullptr;

[[noreturn]] void out_of_memory() {
  // Standard error is the last resort: a failure there has nowhere to go.
  if (g_current_test != nullptr) {
    (void)std::fprintf(stderr, "%s: cannot allocate %zu bytes for test %d <%s>\n", g_program,
                       g_current_test->bytes, g_current_test->number, g_current_test->name);
  } else {
    (void)std::fprintf(stderr, "%s: out of memory\n", g_program);
  }
  std::exit(1);
}

void blank_both(Report& report) {
  write_line(report.console);
  write_line(report.results);
}

}  // namespace

#if defined(__x86_64__)
void set_floating_point_environment() {
  // The x87 control word 0x137F: extended precision (64-bit significand),
  // round to nearest, all six exceptions masked. The SSE unit's MXCSR starts
  // as its counterpart (0x1F80: round to nearest, all masked) and stays so.
  const std::uint16_t word = 0x137F;
  asm volatile("fldcw %0" : : "m"(word));
}
#else
void set_floating_point_environment() {
  // AArch64's control register FPCR at 0: round to nearest (RMode 00), the
  // trap of every exception disabled (IOE, DZE, OFE, UFE, IXE and IDE clear:
  // masked, so each only raises its flag), no flush-to-zero and no default
  // NaN. The x87's precision control has no counterpart: double arithmetic is
  // always binary64, and long double is binary128, computed in software by
  // libgcc's routines, which round as FPCR says and raise its flags.
  asm volatile("msr fpcr, %0" : : "r"(std::uint64_t{0}));
}
#endif

void start(Report& report, const ProgramTexts& texts) {
  platform::prepare_process();
  g_program = texts.program;
  std::set_new_handler(out_of_memory);

  // The clock needs no bring-up or shut-down: libgomp and libomp start at
  // load and stop at exit, and the performance counter always runs.
  set_floating_point_environment();

  report.texts = &texts;
  report.console = {&std::cout, texts.program, "standard output", false};
  report.results = {&report.file, texts.program, texts.results_file, false};
  errno = 0;
  report.file.open(texts.results_file, std::ios::out | std::ios::trunc);
  check_sink(report.results);
}

void banner(Report& report) {
  const ProgramTexts& texts = *report.texts;
  Sink& console = report.console;
  write_line(console);
  write_line(console, texts.console_title);
  write_line(console, kNoticeLine);
  write_line(console, kSupportLine);
  write_line(console);

  write_line(report.results, texts.file_title);
  write_line(report.results);
  write_line(report.results);

  write_line(console);
  write_line(console, kOverviewLine);
  write_line(console, kIntegerTest.heading);
  write_line(console, kFloatTest.heading);
  write_line(console, kDnaTest.heading);
  write_line(console);
  write_line(console, kStartLine);
  write_line(console);
}

void timed_test(Report& report, const TestInfo& test, Workload workload) {
  if (test.number > 1) {
    blank_both(report);
  }
  write_line(report.console, test.heading);
  write_line(report.console);
  write_line(report.results, test.heading);
  write_line(report.results);

  g_current_test = &test;
  // The window holds the workload alone: headings are out before t0 and the
  // result lines after t1, so neither console nor disk enters the time.
  const platform::Ticks t0 = platform::read_clock();
  workload();
  const platform::Ticks t1 = platform::read_clock();
  g_current_test = nullptr;

  const double t = platform::seconds_between(t0, t1);
  const std::string spend = format_number(t);
  const std::string rate = format_number(rate_of(t));
  write_line(report.console, kSpendLabel, spend, kSpendUnit);
  write_line(report.console, kRateLabel, rate, kRateUnit);
  write_line(report.results, kSpendLabel, spend, kSpendUnit);
  write_line(report.results, kRateLabel, rate, kRateUnit);
}

void finish(Report& report) {
  const ProgramTexts& texts = *report.texts;
  write_line(report.console);
  write_line(report.console, kResultsLabel, texts.results_file);
  write_line(report.console, texts.references_line);
  write_line(report.console);
  write_line(report.console);
  write_line(report.console, kExitPrompt);

  // One character, delivered when Enter is pressed; at end of input at once.
  std::cin.get();

  errno = 0;
  report.file.close();
  check_sink(report.results);
  std::exit(report.console.failed || report.results.failed ? 1 : 0);
}

}  // namespace harness
