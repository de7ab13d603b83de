// How two records of comparisons differ: the machine, the programs' build,
// the version and method of bench_compare. One account serves a baseline's
// notes, a merge's warnings, the refusal of mixed architectures before a run
// and the builds table's marks, so that each kind of difference reads the
// same everywhere and an unread value ("unknown") never counts as one.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// What may differ, in the order differences lists them.
enum class Aspect {
  Processor,
  RandomCompiler,
  FixedCompiler,
  ProgramArchitecture,  // of the pair: pair_architecture
  MachineArchitecture,
  Kernel,
  System,   // "Linux" or "Windows", from the kernel
  Version,  // of bench_compare
  Method,   // the export's "method", its seed aside
};

// What one comparison is compared by. The version and method are compared
// only where both records have them.
struct Record {
  MachineRecord machine;
  ProgramRecord random, fixed;
  std::string version;                     // empty: not compared
  const nlohmann::json* method = nullptr;  // null: not compared
};

struct Difference {
  Aspect aspect;
  std::string value;            // the record's (for the method: the keys that differ)
  std::string reference;        // the reference's
  bool not_comparable = false;  // times across it are not comparable
};

// The record's value of an aspect as shown; empty where it is unknown or not
// compared. The method has no value as text: it is compared as JSON.
std::string value_of(const Record& record, Aspect aspect);

// Every aspect whose values both records know and that differs, in Aspect's order.
std::vector<Difference> differences(const Record& record, const Record& reference);

// Whether times measured across a difference of this kind can be compared.
bool not_comparable(Aspect aspect);

// Where a sentence about a difference stands: "LEAD NOUN IS VALUE (OTHER
// REFERENCE)", as in "The baseline's kernel was A (now B)".
struct Frame {
  std::string lead;   // "The baseline's", "arm: its"
  std::string is;     // "was", "is"
  std::string other;  // "now ", "the reference's "
};

// The one sentence of a difference, with why times are not comparable where
// they are not; without a final period.
std::string sentence(const Difference& difference, const Frame& frame);

// The same kind of sentence for values that differ among several records
// (an entry's sessions): "LEAD NOUN differs (A; B)"; without a final period.
std::string sentence_among(Aspect aspect, const std::vector<std::string>& values,
                           const std::string& lead);

}  // namespace compare
