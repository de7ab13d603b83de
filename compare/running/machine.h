// The record of the machine and the build that goes with every comparison,
// so that a reader can judge the numbers: each item is read where it can be
// read and is "unknown" where not. Nothing here throws or ends the program.
#pragma once

#include <string>

#include "compare/model.h"

namespace compare {

// Everything known before the run. The files are read under `root` ("/" for
// this machine); what only the running process can tell (the C library, the
// clock, the processor count from the system) is read only when root is "/".
MachineRecord read_machine(const std::string& root = "/");

// The items that may have changed during the run: load, governor and turbo.
void read_machine_after(MachineRecord& record, const std::string& root = "/");

// The machine's name, the default label of a comparison; "unknown" when the
// system does not say.
std::string host_name();

// The smallest step of omp_get_wtime, the clock the programs time with, in
// seconds; 0 when the clock would not step.
double clock_tick();
// The same, of the clock `read`.
double clock_tick(double (*read)());

// The compiler strings of an ELF program's .comment section, distinct and in
// order, joined with "; "; "unknown" for anything else.
std::string compiler_of(const std::string& path);

}  // namespace compare
