// proof/: bench_compare --verify's proof of the measured work. Each program
// runs once under the tracing probe, and its record is held against the work
// listed for it, window by window: one allocation of the test's array released
// inside the window, the draws and remainder calls, one store per element by
// the program's own code at the element's width in ascending order, the
// stored values, and nothing else. Uses model.h, the probe's protocol, and
// running/ to run the program.
//
// This header: what a window and a program were found to do, and the examiner.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// What one window held, as the probe recorded it.
struct WindowWork {
  int number = 0;  // 1 to 3
  std::string test;
  bool traced = true;    // whether the stores were recorded
  long long bytes = 0;   // of the first allocation inside the window
  long allocations = 0;  // new[] calls inside the window
  int released_in = -1;  // window the array was released in; 0 outside them, -1 never
  long draws = 0, fmod = 0, fmodl = 0;
  long stores = 0;             // all stores to the window's array
  long by_other_code = 0;      // of them, made outside the program (e.g. in the C library)
  std::map<int, long> widths;  // bytes per store -> stores; 0 unknown, 65 wider than 64
  long not_ascending = 0, repeated = 0, not_at_element = 0, past_end = 0;
  long reads = 0;
  long unwritten = 0;     // elements no store reached
  std::string undecoded;  // code bytes of the first store of unknown width
  std::string contents;   // the probe's summary of the array at release
  bool contents_as_listed = false;
  std::map<std::string, long> other_calls;  // calls that are no part of the work, by name
  bool results_file_grew = false;           // the results file was written inside the window
  std::string order;  // where the calls and stores first leave the listed order; empty if never
  std::vector<std::string> differences;
};

struct ProgramWork {
  Side side = Side::Random;
  std::string path;
  std::string failure;  // why the run or the probe failed; empty when it ran
  std::array<WindowWork, kTests> windows;
  long outside_draws = 0, outside_fmod = 0, outside_fmodl = 0, outside_stores = 0;
  int clocks = 0;
  std::string arch = "x86_64";           // the program's processor, as the probe names it
  std::vector<std::string> differences;  // every difference, each naming its window
};

// Compares a probe record (its key=value lines) with the work listed for
// the program of the given side.
ProgramWork examine(Side side, const std::string& record);

// Whether the program ran and did exactly its listed work.
bool is_verified(const ProgramWork& p);

}  // namespace compare
