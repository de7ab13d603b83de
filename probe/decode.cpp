// Decoding the stores the probe carries out itself.
#include "probe/decode.h"

#include <cstring>

namespace probe {
namespace {

// The general registers in the order the instruction encoding numbers them.
constexpr int kRegs[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP, REG_RSI, REG_RDI,
                           REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};

std::uint64_t reg(const ucontext_t* uc, int number) {
  return static_cast<std::uint64_t>(uc->uc_mcontext.gregs[kRegs[number]]);
}

// Reads the ModRM operand at code[at]; false unless it is a memory operand
// the probe can work out. `tail` is the number of immediate bytes after it,
// needed for an address relative to the next instruction.
bool memory_operand(const ucontext_t* uc, const unsigned char* code, std::size_t& at, int rex,
                    std::size_t tail, int& reg_field, std::uintptr_t& address) {
  const unsigned modrm = code[at++];
  const unsigned mod = modrm >> 6;
  unsigned rm = modrm & 7;
  reg_field = static_cast<int>(((modrm >> 3) & 7) | ((rex & 4) != 0 ? 8 : 0));
  if (mod == 3) {
    return false;
  }
  std::uint64_t ea = 0;
  bool rip_relative = false;
  if (rm == 4) {
    const unsigned sib = code[at++];
    const unsigned index = ((sib >> 3) & 7) | ((rex & 2) != 0 ? 8 : 0);
    const unsigned base = (sib & 7) | ((rex & 1) != 0 ? 8 : 0);
    if (index != 4) {
      ea += reg(uc, static_cast<int>(index)) << (sib >> 6);
    }
    if ((sib & 7) == 5 && mod == 0) {
      std::int32_t disp = 0;
      std::memcpy(&disp, code + at, 4);
      at += 4;
      ea += static_cast<std::uint64_t>(static_cast<std::int64_t>(disp));
    } else {
      ea += reg(uc, static_cast<int>(base));
    }
  } else if (rm == 5 && mod == 0) {
    rip_relative = true;
  } else {
    rm |= (rex & 1) != 0 ? 8 : 0;
    ea += reg(uc, static_cast<int>(rm));
  }
  if (mod == 1) {
    ea += static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int8_t>(code[at])));
    at += 1;
  } else if (mod == 2 || rip_relative) {
    std::int32_t disp = 0;
    std::memcpy(&disp, code + at, 4);
    at += 4;
    ea += static_cast<std::uint64_t>(static_cast<std::int64_t>(disp));
  }
  if (rip_relative) {
    ea += static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RIP]) + at + tail;
  }
  address = static_cast<std::uintptr_t>(ea);
  return true;
}

// The stores of the vector extensions' own encoding (VEX) that compilers
// emit for element stores and fills: moves of 4, 8, 16 or 32 bytes from a
// vector register. `code` points at the C4 or C5 byte.
bool decode_vex_store(const ucontext_t* uc, const unsigned char* code, Store& s) {
  std::size_t at = 1;
  int rex = (code[1] & 0x80) == 0 ? 4 : 0;
  unsigned map = 1;
  unsigned last = code[at++];
  if (code[0] == 0xC4) {
    rex |= ((last & 0x40) == 0 ? 2 : 0) | ((last & 0x20) == 0 ? 1 : 0);
    map = last & 0x1F;
    last = code[at++];
    rex |= (last & 0x80) != 0 ? 8 : 0;
  }
  const unsigned pp = last & 3;  // 0: none, 1: 66, 2: F3, 3: F2
  const std::size_t vector = (last & 4) != 0 ? 32 : 16;
  const unsigned op = code[at++];
  std::size_t width = 0;
  s.alignment = 1;
  if (map != 1) {
    return false;
  }
  if ((op == 0x11 || op == 0x29 || op == 0x2B) && pp <= 1) {  // vmovups/pd, vmovaps/pd, vmovntps/pd
    width = vector;
    s.alignment = op == 0x11 ? 1 : vector;
  } else if (op == 0x11) {  // vmovss, vmovsd
    width = pp == 2 ? 4 : 8;
  } else if ((op == 0x7F && pp != 0 && pp != 3) ||
             (op == 0xE7 && pp == 1)) {  // vmovdq[au], vmovntdq
    width = vector;
    s.alignment = op == 0x7F && pp == 2 ? 1 : vector;
  } else if (op == 0xD6 && pp == 1) {  // vmovq
    width = 8;
  } else if (op == 0x7E && pp == 1) {  // vmovd, vmovq (W1) to memory
    width = (rex & 8) != 0 ? 8 : 4;
  } else {
    return false;
  }
  int r = 0;
  if (!memory_operand(uc, code, at, rex, 0, r, s.address)) {
    return false;
  }
  const auto* fx = reinterpret_cast<const unsigned char*>(uc->uc_mcontext.fpregs);
  std::memcpy(s.value, &uc->uc_mcontext.fpregs->_xmm[r], 16);
  if (width == 32) {
    // The upper halves are in the XSAVE area's second extended component.
    std::uint32_t magic = 0;
    std::uint64_t present = 0;
    std::memcpy(&magic, fx + 464, 4);
    std::memcpy(&present, fx + 512, 8);
    if (magic != 0x46505853U) {
      return false;
    }
    if ((present & 4) != 0) {
      std::memcpy(s.value + 16, fx + 576 + 16 * static_cast<std::size_t>(r), 16);
    } else {
      std::memset(s.value + 16, 0, 16);
    }
  }
  s.width = width;
  s.unit = 0;
  s.form = Form::Plain;
  s.length = at;
  return true;
}

}  // namespace

bool decode_store(const ucontext_t* uc, Store& s) {
  const auto* code = reinterpret_cast<const unsigned char*>(uc->uc_mcontext.gregs[REG_RIP]);
  std::size_t at = 0;
  bool operand16 = false;
  int repeat = 0;  // 0xF2 or 0xF3
  for (;; ++at) {
    const unsigned char c = code[at];
    if (c == 0x66) {
      operand16 = true;
    } else if (c == 0xF2 || c == 0xF3) {
      repeat = c;
    } else if (c != 0x2E && c != 0x3E && c != 0x26 && c != 0x36) {
      break;  // segment prefixes other than fs and gs mean nothing in 64-bit code
    }
  }
  if (at == 0 && (code[0] == 0xC4 || code[0] == 0xC5)) {
    return decode_vex_store(uc, code, s);  // a legacy prefix before VEX is refused
  }
  int rex = 0;
  if ((code[at] & 0xF0) == 0x40) {
    rex = code[at++];
  }
  const bool wide = (rex & 8) != 0;
  const std::size_t gpr_width = wide ? 8 : operand16 ? 2 : 4;
  const unsigned op = code[at++];
  int r = 0;
  s.form = Form::Plain;
  s.counted = false;
  s.alignment = 1;
  s.unit = 0;
  if (op == 0x89 || op == 0x88) {  // mov reg -> memory
    if (repeat != 0 || !memory_operand(uc, code, at, rex, 0, r, s.address)) {
      return false;
    }
    std::uint64_t v = reg(uc, r);
    if (op == 0x88 && rex == 0 && r >= 4) {
      v = reg(uc, r - 4) >> 8;  // ah, ch, dh, bh
    }
    s.width = op == 0x88 ? 1 : gpr_width;
    std::memcpy(s.value, &v, 8);
  } else if (op == 0xC7 || op == 0xC6) {  // mov immediate -> memory
    const std::size_t imm = op == 0xC6 ? 1 : operand16 && !wide ? 2 : 4;
    if (repeat != 0 || !memory_operand(uc, code, at, rex, imm, r, s.address) || (r & 7) != 0) {
      return false;
    }
    std::int64_t v = 0;
    if (imm == 4) {
      std::int32_t i32 = 0;
      std::memcpy(&i32, code + at, 4);
      v = i32;  // sign-extended for a 64-bit store
    } else {
      std::memcpy(&v, code + at, imm);
    }
    at += imm;
    s.width = op == 0xC6 ? 1 : gpr_width;
    std::memcpy(s.value, &v, 8);
  } else if (op == 0xDB) {  // fstp m80
    if (repeat != 0 || operand16 || !memory_operand(uc, code, at, rex, 0, r, s.address) ||
        (r & 7) != 7) {
      return false;
    }
    const _libc_fpstate* fp = uc->uc_mcontext.fpregs;
    const unsigned top = (fp->swd >> 11) & 7;
    if (((fp->ftw >> top) & 1) == 0) {
      return false;  // an empty stack: the processor's own fault handling applies
    }
    s.width = 10;
    std::memcpy(s.value, &fp->_st[0], 10);
    s.form = Form::X87Pop;
  } else if (op == 0xAA || op == 0xAB) {  // stos, perhaps repeated: a block fill
    if ((uc->uc_mcontext.gregs[REG_EFL] & 0x400) != 0) {
      return false;  // descending
    }
    s.unit = op == 0xAA ? 1 : gpr_width;
    const std::uint64_t count = repeat != 0 ? reg(uc, 1) : 1;
    if (count == 0 || count > kN * 16) {
      return false;
    }
    const std::uint64_t v = reg(uc, 0);
    std::memcpy(s.value, &v, 8);
    s.address = static_cast<std::uintptr_t>(reg(uc, 7));
    s.width = static_cast<std::size_t>(count) * s.unit;
    s.form = Form::RepeatedString;
    s.counted = repeat != 0;
  } else if (op == 0x0F) {  // vector stores
    const unsigned op2 = code[at++];
    // Under an F2 or F3 prefix, 0F 11 and 0F 2B store the low 8 or 4 bytes
    // alone (movsd, movss, movntsd, movntss); 0F 29 has no such form.
    const bool full = ((op2 == 0x11 || op2 == 0x29 || op2 == 0x2B) && repeat == 0) ||
                      (op2 == 0x7F && (operand16 || repeat == 0xF3)) || (op2 == 0xE7 && operand16);
    const bool scalar = ((op2 == 0x11 || op2 == 0x2B) && repeat != 0) || (op2 == 0xD6 && operand16);
    if (op2 == 0xC3 && !operand16 && repeat == 0) {  // movnti
      if (!memory_operand(uc, code, at, rex, 0, r, s.address)) {
        return false;
      }
      const std::uint64_t v = reg(uc, r);
      s.width = gpr_width;
      std::memcpy(s.value, &v, 8);
    } else if (full || scalar) {
      if (!memory_operand(uc, code, at, rex, 0, r, s.address)) {
        return false;
      }
      s.width = full ? 16 : repeat == 0xF3 ? 4 : 8;
      std::memcpy(s.value, &uc->uc_mcontext.fpregs->_xmm[r], s.width);
      if (full && (op2 == 0x29 || op2 == 0x2B || op2 == 0xE7 || (op2 == 0x7F && operand16))) {
        s.alignment = 16;
      }
    } else {
      return false;
    }
  } else {
    return false;
  }
  s.length = at;
  return true;
}

// Carries the decoded store out through the probe's view and moves the
// program past the instruction.
void perform(ucontext_t* uc, const Store& s, Array& a) {
  unsigned char* to = a.own + (s.address - reinterpret_cast<std::uintptr_t>(a.base));
  if (s.form == Form::RepeatedString) {
    for (std::size_t i = 0; i < s.width; i += s.unit) {
      std::memcpy(to + i, s.value, s.unit);
    }
    uc->uc_mcontext.gregs[REG_RDI] += static_cast<greg_t>(s.width);
    if (s.counted) {
      uc->uc_mcontext.gregs[REG_RCX] = 0;
    }
  } else {
    std::memcpy(to, s.value, s.width);
  }
  if (s.form == Form::X87Pop) {
    // Pop the x87 stack in the state the kernel restores: the register at the
    // top becomes empty and the slots, kept in stack order, move up one.
    _libc_fpstate* fp = uc->uc_mcontext.fpregs;
    const unsigned top = (fp->swd >> 11) & 7;
    fp->ftw = static_cast<std::uint16_t>(fp->ftw & ~(1U << top));
    fp->swd = static_cast<std::uint16_t>((fp->swd & ~0x3800U) | (((top + 1) & 7) << 11));
    const _libc_fpxreg old_top = fp->_st[0];
    std::memmove(&fp->_st[0], &fp->_st[1], 7 * sizeof fp->_st[0]);
    fp->_st[7] = old_top;
  }
  uc->uc_mcontext.gregs[REG_RIP] += static_cast<greg_t>(s.length);
}

// Returns into the program from the handler without the system call a
// return through the kernel costs: the saved extended state, flags and
// registers are loaded from the context and the program resumes at its
// saved instruction. The signal stays unblocked (SA_NODEFER), so the mask
// needs no restoring. Arguments: the saved registers, the saved extended
// state, and its XSAVE features (0: the FXSAVE layout alone).
extern "C" [[noreturn]] void probe_resume(const greg_t* regs, const void* fpstate,
                                          std::uint64_t features);
asm(R"(
  .text
  .p2align 4
  .local probe_resume
  .type probe_resume, @function
probe_resume:
  testq %rdx, %rdx
  jz 1f
  movq %rdx, %rax
  shrq $32, %rdx
  xrstor64 (%rsi)
  jmp 2f
1:
  fxrstor64 (%rsi)
2:
  movq 128(%rdi), %rax
  movq %rax, probe_resume_at(%rip)
  pushq 136(%rdi)
  popfq
  movq 0(%rdi), %r8
  movq 8(%rdi), %r9
  movq 16(%rdi), %r10
  movq 24(%rdi), %r11
  movq 32(%rdi), %r12
  movq 40(%rdi), %r13
  movq 48(%rdi), %r14
  movq 56(%rdi), %r15
  movq 72(%rdi), %rsi
  movq 80(%rdi), %rbp
  movq 88(%rdi), %rbx
  movq 96(%rdi), %rdx
  movq 104(%rdi), %rax
  movq 112(%rdi), %rcx
  movq 120(%rdi), %rsp
  movq 64(%rdi), %rdi
  jmp *probe_resume_at(%rip)
  .size probe_resume, .-probe_resume
  .local probe_resume_at
  .comm probe_resume_at, 8, 8
)");
static_assert(REG_R8 == 0 && REG_RDI == 8 && REG_RAX == 13 && REG_RSP == 15 && REG_RIP == 16 &&
                  REG_EFL == 17,
              "probe_resume reads the registers in this order");

// Whether the handler may return through probe_resume: not while the
// program is being single-stepped, and not with a shadow stack, whose
// entries only a return through the kernel unwinds.
bool can_resume_directly(const ucontext_t* uc) {
  std::uint64_t ssp = 0;
  asm volatile("rdsspq %0" : "+r"(ssp));  // a no-op without shadow stacks
  return ssp == 0 && (uc->uc_mcontext.gregs[REG_EFL] & 0x100) == 0 &&
         uc->uc_mcontext.fpregs != nullptr;
}

[[noreturn]] void resume(const ucontext_t* uc) {
  const auto* fx = reinterpret_cast<const unsigned char*>(uc->uc_mcontext.fpregs);
  std::uint32_t magic = 0;
  std::uint64_t features = 0;
  std::memcpy(&magic, fx + 464, 4);  // the software bytes the kernel leaves in the FXSAVE area
  if (magic == 0x46505853U) {
    std::memcpy(&features, fx + 472, 8);
  }
  probe_resume(uc->uc_mcontext.gregs, fx, features);
}

// The code bytes at `pc` in hex, formatted by hand as the fault handler may
// not call the C library's formatting, and read no further than the

}  // namespace probe
