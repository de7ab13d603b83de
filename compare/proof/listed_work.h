// The work each window of each program is listed to do: its allocation, its
// draws and remainders, its stores in order, and the values they leave.
#pragma once

#include <string>

#include "compare/model.h"

namespace compare {

constexpr long kN = protocol::kExecutions;
constexpr int kWiderThanAny = 65;  // the probe's slot for stores wider than 64 bytes

// The work listed for one window of one program.
struct Listed {
  long long bytes;
  int width;  // bytes per store
  long draws, fmod, fmodl;
  std::string prefix, unit;  // the calls and stores in order: prefix, unit per execution, "D"
  const char* contents;      // the values as words
};

// The work listed for window 1 to 3 of the program of `side`. The Float
// test's store is the x87's 10 bytes on x86-64 and a whole 16-byte binary128
// on AArch64 (`arch`, as the probe names it).
Listed listed(Side side, int window, const std::string& arch = "x86_64");

// Whether the probe's summary of the array at release is the listed values.
bool contents_as_listed(Side side, int window, const std::string& summary);

// The word for one kind of event in the probe's record ('N' an allocation...).
const char* event_name(char kind);

}  // namespace compare
