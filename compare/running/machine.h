// The record of the machine and the build that goes with every comparison,
// so that a reader can judge the numbers: each item is read where it can be
// read and is "unknown" where not. Nothing here throws or ends the program.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

// The record of the program at `path`: the compiler strings of its .comment
// section (distinct, in order, joined with "; ") and the architecture its
// executable header names; each "unknown" where the file does not say. An
// emulated launcher names the program it runs in a .bench_target section:
// the record is then that program's (one hop), since that is what runs.
ProgramRecord program_record(const std::string& path);
std::string compiler_of(const std::string& path);  // program_record(path).compiler

// The record's name of an architecture from a machine's own name for it
// (uname's machine): x86_64, aarch64, i386, arm, or the name as given;
// "unknown" when empty.
std::string architecture_name(const std::string& machine);

// Why programs built for different architectures cannot be compared, naming
// the first two that differ in the sentence of stats/differences.h ("NAME
// (PATH): its program architecture is ..."); empty when every known
// architecture is the same. "unknown" differs from none.
std::string architectures_differ(
    const std::vector<std::pair<std::string, ProgramRecord>>& named_programs);

}  // namespace compare
