// Decoding the AArch64 stores the probe carries out itself. The decoder is
// pure: it reads one instruction word and a copy of the registers, so that
// it can be tested on its own, on any machine, with hand-assembled words.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma GCC visibility push(hidden)

namespace probe::a64 {

// The registers a store reads, and the one its writeback changes.
struct Registers {
  std::uint64_t x[31];      // X0 to X30; number 31 is SP or the zero register
  std::uint64_t sp;         // SP
  unsigned char v[32][16];  // V0 to V31, lowest byte first
};

constexpr int kNoWriteback = -1;
constexpr int kSp = 31;

struct Store {
  std::uint64_t address;
  std::size_t width;         // bytes written: 1 to 32
  unsigned char value[32];   // what is written, lowest address first
  int base;                  // register written back (0-30, kSp), or kNoWriteback
  std::uint64_t base_after;  // its value after the instruction
};

// Decodes `word` as one of the stores compilers emit for element stores:
// STR, STRB and STRH (unsigned immediate offset, register offset, pre- and
// post-index), STUR, STURB and STURH, and STP and STNP (signed offset, pre-
// and post-index), from general registers and from SIMD and floating-point
// registers (B, H, S, D, Q). False for anything else: loads, exclusive,
// release, atomic, unprivileged and tag stores, vector structure stores,
// cache maintenance, and the encodings the architecture leaves unallocated
// or unpredictable.
bool decode_store(std::uint32_t word, const Registers& r, Store& s);

}  // namespace probe::a64

#pragma GCC visibility pop
