// Running one program of the pair under the tracing probe.
#pragma once

#include <string>

#include "compare/proof/work.h"

namespace compare {

// How one program is run under the probe; `traced` lists the windows whose
// stores are recorded (all three for a proof).
struct ProofRun {
  std::string program, probe;
  Side side = Side::Random;
  double timeout = 600;
  std::string traced = "123";
};

ProgramWork prove(const ProofRun& run);

// The probe beside bench_compare: in the build tree, or where
// `cmake --install` puts it. When neither exists, the installed location.
std::string default_probe_path(const std::string& self_exe_dir);

}  // namespace compare
