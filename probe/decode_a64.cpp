// Decoding the AArch64 stores the probe carries out itself: the load/store
// register and register-pair classes of the A64 instruction set, stores only.
#include "probe/decode_a64.h"

#include <cstring>

namespace probe::a64 {
namespace {

std::uint32_t bits(std::uint32_t word, int high, int low) {
  return (word >> low) & ((2U << (high - low)) - 1U);
}

std::int64_t sign_extend(std::uint32_t field, int width) {
  const std::uint64_t sign = std::uint64_t{1} << (width - 1);
  return static_cast<std::int64_t>((std::uint64_t{field} ^ sign) - sign);
}

// A base register: number 31 is SP.
std::uint64_t base_of(const Registers& r, unsigned n) { return n == 31 ? r.sp : r.x[n]; }

// The `bytes` low bytes of the register a store writes from: a general
// register (number 31 is the zero register) or a SIMD and floating-point one.
void value_of(const Registers& r, bool simd, unsigned t, std::size_t bytes, unsigned char* out) {
  if (simd) {
    std::memcpy(out, r.v[t], bytes);
    return;
  }
  const std::uint64_t x = t == 31 ? 0 : r.x[t];
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = static_cast<unsigned char>(x >> (8 * i));
  }
}

// The access size of a single-register store as a power of two, or -1 for
// a load or an unallocated size.
int store_scale(std::uint32_t word) {
  const unsigned size = bits(word, 31, 30);
  const unsigned opc = bits(word, 23, 22);
  const bool simd = bits(word, 26, 26) != 0;
  if (opc == 0) {
    return static_cast<int>(size);  // STRB, STRH, STR (W, X), and STR (B, H, S, D)
  }
  if (simd && opc == 2 && size == 0) {
    return 4;  // STR (Q)
  }
  return -1;
}

void finish(Store& s, std::uint64_t address, int base, std::uint64_t base_after) {
  s.address = address;
  s.base = base;
  s.base_after = base_after;
}

// STR, STRB, STRH and STUR in all their addressing forms.
bool single(std::uint32_t word, const Registers& r, Store& s) {
  const int scale = store_scale(word);
  if (scale < 0) {
    return false;
  }
  const bool simd = bits(word, 26, 26) != 0;
  const unsigned n = bits(word, 9, 5);
  const unsigned t = bits(word, 4, 0);
  const std::uint64_t base = base_of(r, n);
  s.width = std::size_t{1} << scale;
  if (bits(word, 24, 24) != 0) {  // unsigned immediate offset, scaled
    value_of(r, simd, t, s.width, s.value);
    finish(s, base + (std::uint64_t{bits(word, 21, 10)} << scale), kNoWriteback, 0);
    return true;
  }
  if (bits(word, 25, 24) != 0) {
    return false;
  }
  const unsigned kind = bits(word, 11, 10);
  if (bits(word, 21, 21) != 0) {  // register offset
    const unsigned option = bits(word, 15, 13);
    if (kind != 2 || (option & 2) == 0) {
      return false;  // atomic and pointer-authenticated forms; unallocated extends
    }
    const unsigned m = bits(word, 20, 16);
    const std::uint64_t x = m == 31 ? 0 : r.x[m];
    std::uint64_t offset = x;
    if (option == 2) {
      offset = x & 0xFFFFFFFFU;  // UXTW
    } else if (option == 6) {
      offset = static_cast<std::uint64_t>(sign_extend(static_cast<std::uint32_t>(x), 32));  // SXTW
    }
    offset <<= bits(word, 12, 12) != 0 ? scale : 0;
    value_of(r, simd, t, s.width, s.value);
    finish(s, base + offset, kNoWriteback, 0);
    return true;
  }
  const auto imm9 = static_cast<std::uint64_t>(sign_extend(bits(word, 20, 12), 9));
  if (kind == 2) {
    return false;  // STTR: unprivileged
  }
  // With writeback, a general register stored from its own base is
  // CONSTRAINED UNPREDICTABLE.
  if (kind != 0 && !simd && t == n && n != 31) {
    return false;
  }
  value_of(r, simd, t, s.width, s.value);
  if (kind == 0) {  // STUR: unscaled offset
    finish(s, base + imm9, kNoWriteback, 0);
  } else if (kind == 1) {  // post-index
    finish(s, base, static_cast<int>(n), base + imm9);
  } else {  // pre-index
    finish(s, base + imm9, static_cast<int>(n), base + imm9);
  }
  return true;
}

// STP and STNP.
bool pair(std::uint32_t word, const Registers& r, Store& s) {
  if (bits(word, 22, 22) != 0) {
    return false;  // LDP, LDNP, LDPSW
  }
  const bool simd = bits(word, 26, 26) != 0;
  const unsigned opc = bits(word, 31, 30);
  const unsigned index = bits(word, 24, 23);  // 0 STNP, 1 post, 2 offset, 3 pre
  int scale = -1;
  if (simd) {
    scale = opc == 3 ? -1 : static_cast<int>(opc) + 2;  // S, D, Q
  } else if (opc == 0 || opc == 2) {
    scale = opc == 0 ? 2 : 3;  // W, X; opc 1 is STGP, a tag store
  }
  if (scale < 0) {
    return false;
  }
  const unsigned n = bits(word, 9, 5);
  const unsigned t = bits(word, 4, 0);
  const unsigned t2 = bits(word, 14, 10);
  const bool writeback = index == 1 || index == 3;
  if (writeback && !simd && n != 31 && (t == n || t2 == n)) {
    return false;  // CONSTRAINED UNPREDICTABLE
  }
  const std::size_t one = std::size_t{1} << scale;
  const std::uint64_t base = base_of(r, n);
  const auto offset = static_cast<std::uint64_t>(sign_extend(bits(word, 21, 15), 7) * (1 << scale));
  s.width = 2 * one;
  value_of(r, simd, t, one, s.value);
  value_of(r, simd, t2, one, s.value + one);
  if (index == 1) {
    finish(s, base, static_cast<int>(n), base + offset);
  } else if (index == 3) {
    finish(s, base + offset, static_cast<int>(n), base + offset);
  } else {
    finish(s, base + offset, kNoWriteback, 0);
  }
  return true;
}

}  // namespace

bool decode_store(std::uint32_t word, const Registers& r, Store& s) {
  if ((word & 0x3A000000U) == 0x28000000U) {
    return pair(word, r, s);
  }
  if ((word & 0x3A000000U) == 0x38000000U) {
    return single(word, r, s);
  }
  return false;
}

}  // namespace probe::a64
