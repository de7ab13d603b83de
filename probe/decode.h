// The stores the probe carries out itself: decoding the instruction at the
// program counter, carrying it out through the probe's view of the array, and
// returning to the program.
#pragma once

#include "probe/probe.h"

#pragma GCC visibility push(hidden)

namespace probe {

enum class Form { Plain, X87Pop, RepeatedString };

struct Store {
  std::uintptr_t address;
  std::size_t width;  // bytes written
  unsigned char value[32];
  std::size_t unit;  // of a string store: the pattern's width, repeated
  std::size_t length;
  Form form;
  bool counted;           // a string store under a rep prefix, which leaves RCX at 0
  std::size_t alignment;  // that the instruction demands, else 1
};

// Decodes the store at the program counter, for the forms compilers emit for
// element stores and block fills; false for anything else.
bool decode_store(const ucontext_t* uc, Store& s);

// Carries the decoded store out through the probe's view and moves the
// program past the instruction.
void perform(ucontext_t* uc, const Store& s, Array& a);

// Whether the handler may return through resume(): not while the program is
// being single-stepped, and not with a shadow stack, whose entries only a
// return through the kernel unwinds.
bool can_resume_directly(const ucontext_t* uc);

// Returns into the program without the system call a return through the
// kernel costs.
[[noreturn]] void resume(const ucontext_t* uc);

}  // namespace probe

#pragma GCC visibility pop
