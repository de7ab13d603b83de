// bench_compare --verify: runs each program of the pair once under the probe
// and proves, window by window, that it does exactly its listed work: one
// allocation of the test's array released inside the window, the draws and
// remainder calls, one store per element by the program's own code at the
// element's width in ascending order, the stored values, and nothing else.
#pragma once

#include <array>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "compare/model.h"

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

// The probe beside bench_compare: in the build tree, or where
// `cmake --install` puts it. When neither exists, the installed location.
std::string default_probe_path(const std::string& self_exe_dir);

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

// Compares a probe report (its key=value lines) with the work listed for
// the program of the given side.
ProgramWork examine(Side side, const std::string& report);

// How one program is run under the probe; `traced` lists the windows whose
// stores are recorded (all three for a proof).
struct ProofRun {
  std::string program, probe;
  Side side = Side::Random;
  double timeout = 600;
  std::string traced = "123";
};

ProgramWork prove(const ProofRun& run);

// The findings as text, the verdict line and as JSON.
std::string describe(const ProgramWork& work);
std::string verdict(const std::vector<ProgramWork>& programs);
std::string findings_json(const std::vector<ProgramWork>& programs);

}  // namespace compare
