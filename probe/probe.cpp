// The probe, preloaded into a benchmark program. It stands in for the library
// functions the program calls (clock, generator, remainders, allocation,
// output) and records what happens inside each timing window, the span
// between an odd and the following even clock reading. With PROBE_TRACE set
// the test array's pages are kept inaccessible, so that every access to the
// array traps: each store is then counted and checked for its place, its
// width and the code that made it. A store of a form the probe decodes is
// carried out by the probe itself, through a second, writable view of the
// same memory, at the cost of one signal; any other access is single-stepped
// with the page opened, and the page closed again after it.
// At exit the record is written as key=value lines to PROBE_REPORT.
//
// Other settings: PROBE_WATCH names a file whose size is noted at every clock
// reading; PROBE_TIME fixes what time() returns; PROBE_DRAWS=edges makes rand()
// cycle through edge values; PROBE_FAIL_WINDOW=N fails the allocation of
// window N; PROBE_KILL_WINDOW=N kills the process as window N opens;
// PROBE_TRACE_WINDOWS lists the windows traced (default 123);
// PROBE_EMULATE=0 single-steps every store; PROBE_DIRECT=0 returns from every
// carried-out store through the kernel rather than directly.
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

namespace {

constexpr int kWindows = 3;
constexpr long kN = 1000000;
constexpr std::size_t kMaxEvents = 4 * kN;
constexpr int kMaxClocks = 8;
constexpr unsigned char kCanary = 0xA5;
constexpr std::size_t kPage = 4096;
constexpr int kMaxWidth = 64;  // wider stores (block fills) are counted together
// K as the x87 unit stores it, lowest address first.
constexpr unsigned char kFloatBaseBytes[10] = {0x00, 0x20, 0x00, 0x00, 0x20,
                                               0x00, 0x00, 0xA0, 0x81, 0x43};
constexpr int kEdgeDraws[] = {0, 126, 127, 32765, 32767, 2147483647, 1, 254};

struct Window {
  char events[kMaxEvents];
  std::size_t n_events;
  int draws[kN];
  std::size_t n_draws;
  std::size_t bytes;  // of the first array allocated in this window
  int released_in;    // the window the array was released in; 0 outside, -1 never
  long stores, misplaced, foreign, reads;
  long repeated;               // stores to an element stored before
  long descending;             // stores below the previous one
  long unaligned;              // stores that do not start at an element
  long beyond;                 // stores past the array's end (into its last page)
  long unwritten;              // elements no store reached, at release
  long widths[kMaxWidth + 2];  // [0]: width unknown (single-stepped); [65]: wider
  char undecoded[48];          // code bytes of the first single-stepped store
  char content[256];           // summary of the array as it was released
};

// A test array: the program's view, trapping when traced, and the probe's
// writable view of the same pages.
struct Array {
  unsigned char* base;
  unsigned char* own;
  std::size_t bytes, length, stride;
  int window;
  long last_store;               // offset of the previous store, or -1
  unsigned char stored[kN / 8];  // elements reached by a store
};

struct Clock {
  unsigned cw;
  long out, watched;
};

Window g_windows[kWindows + 1];  // [0] is unused: outside every window
Array g_arrays[kWindows];
long g_outside[256];  // events outside the windows, by kind
int g_window = 0;
int g_clock_calls = 0;
Clock g_clocks[kMaxClocks];
long g_srand_calls = 0, g_time_calls = 0;
unsigned g_seed = 0;
long g_seed_out = -2, g_seed_watched = -2;

bool g_trace = false;
bool g_traced[kWindows + 1] = {false, true, true, true};
bool g_emulate = true;
bool g_direct = true;
bool g_edges = false;
std::size_t g_next_edge = 0;
int g_fail_window = 0, g_kill_window = 0;
long g_fixed_time = -1;
const char* g_watch = nullptr;
const char* g_report = nullptr;
// The pages opened for the instruction being single-stepped: more than one
// when it reaches across a page boundary or has two memory operands.
constexpr int kMaxOpen = 4;
unsigned char* g_open_pages[kMaxOpen];
int g_open_count = 0;
std::uintptr_t g_text_lo[8], g_text_hi[8];
int g_text_ranges = 0;

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void note(char kind) {
  if (g_window == 0) {
    ++g_outside[static_cast<unsigned char>(kind)];
    return;
  }
  Window& w = g_windows[g_window];
  if (w.n_events < kMaxEvents) {
    w.events[w.n_events] = kind;
  }
  ++w.n_events;
}

long size_of_fd(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long>(st.st_size) : -1;
}

long size_of_watched() {
  struct stat st;
  return g_watch != nullptr && stat(g_watch, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

bool in_program_text(std::uintptr_t pc) {
  for (int i = 0; i < g_text_ranges; ++i) {
    if (pc >= g_text_lo[i] && pc < g_text_hi[i]) {
      return true;
    }
  }
  return false;
}

int note_program_text(dl_phdr_info* info, std::size_t, void*) {
  // The first object is the program itself.
  for (int i = 0; i < info->dlpi_phnum && g_text_ranges < 8; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X) != 0) {
      g_text_lo[g_text_ranges] = info->dlpi_addr + ph.p_vaddr;
      g_text_hi[g_text_ranges] = info->dlpi_addr + ph.p_vaddr + ph.p_memsz;
      ++g_text_ranges;
    }
  }
  return 1;
}

std::size_t mapped_length(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

Array* array_at(const unsigned char* addr) {
  for (Array& a : g_arrays) {
    if (a.base != nullptr && addr >= a.base && addr < a.base + a.length) {
      return &a;
    }
  }
  return nullptr;
}

// ---- Decoding the stores the probe carries out itself ----------------------

// The general registers in the order the instruction encoding numbers them.
constexpr int kRegs[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP, REG_RSI, REG_RDI,
                           REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};

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

// Decodes the store at the program counter, for the forms compilers emit for
// element stores and block fills; false for anything else.
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
// program's text that holds them (or, outside it, the page).
void hex_code(std::uintptr_t pc, char* out, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::uintptr_t end = (pc | (kPage - 1)) + 1;
  for (int i = 0; i < g_text_ranges; ++i) {
    if (pc >= g_text_lo[i] && pc < g_text_hi[i]) {
      end = g_text_hi[i];
    }
  }
  const auto* code = reinterpret_cast<const unsigned char*>(pc);
  std::size_t n = 0;
  for (std::size_t i = 0; i < 15 && pc + i < end && n + 3 < size; ++i) {
    if (i != 0) {
      out[n++] = ' ';
    }
    out[n++] = kDigits[code[i] >> 4];
    out[n++] = kDigits[code[i] & 15];
  }
  out[n] = '\0';
}

// Counts one store of `width` bytes at `address` (width 0: not known).
void record_store(Array& a, std::uintptr_t address, std::size_t width, std::uintptr_t pc) {
  Window& w = g_windows[a.window];
  const std::size_t offset = address - reinterpret_cast<std::uintptr_t>(a.base);
  note('S');
  if (offset != static_cast<std::size_t>(w.stores) * a.stride) {
    ++w.misplaced;
  }
  ++w.stores;
  ++w.widths[width > kMaxWidth ? kMaxWidth + 1 : width];
  if (!in_program_text(pc)) {
    ++w.foreign;
  }
  if (a.last_store >= 0 && static_cast<long>(offset) <= a.last_store) {
    ++w.descending;
  }
  a.last_store = static_cast<long>(offset);
  if (offset + (width == 0 ? 1 : width) > a.bytes) {
    ++w.beyond;
  }
  if (a.stride == 0 || offset % a.stride != 0) {
    ++w.unaligned;
  }
  if (a.stride == 0) {
    return;
  }
  bool again = false;
  const std::size_t end = offset + (width == 0 ? 1 : width);
  for (std::size_t e = offset / a.stride; e * a.stride < end && e < static_cast<std::size_t>(kN);
       ++e) {
    const auto bit = static_cast<unsigned char>(1U << (e % 8));
    again = again || (a.stored[e / 8] & bit) != 0;
    a.stored[e / 8] |= bit;
  }
  if (again) {
    ++w.repeated;
  }
}

void open_for_one_step(ucontext_t* uc, const unsigned char* addr) {
  auto* page =
      reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(addr) & ~(kPage - 1));
  g_open_pages[g_open_count < kMaxOpen ? g_open_count++ : kMaxOpen - 1] = page;
  mprotect(page, kPage, PROT_READ | PROT_WRITE);
  uc->uc_mcontext.gregs[REG_EFL] |= 0x100;  // trap after this one instruction
}

void on_fault(int, siginfo_t* info, void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
  auto* addr = static_cast<unsigned char*>(info->si_addr);
  Array* a = array_at(addr);
  if (a == nullptr) {
    signal(SIGSEGV, SIG_DFL);  // not ours: let the fault kill the process
    return;
  }
  if (g_open_count != 0) {
    // The instruction being stepped reaches a further page: its access was
    // counted at its first fault.
    open_for_one_step(uc, addr);
    return;
  }
  const auto pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
  if ((uc->uc_mcontext.gregs[REG_ERR] & 2) == 0) {
    note('r');
    ++g_windows[a->window].reads;
    open_for_one_step(uc, addr);
    return;
  }
  Store s;
  const auto at = reinterpret_cast<std::uintptr_t>(addr);
  if (g_emulate && a->own != nullptr && decode_store(uc, s) && s.address == at &&
      s.address % s.alignment == 0 &&
      s.width <= static_cast<std::size_t>(a->base + a->length - addr)) {
    record_store(*a, at, s.width, pc);
    perform(uc, s, *a);
    if (g_direct && can_resume_directly(uc)) {
      resume(uc);
    }
    return;
  }
  Window& w = g_windows[a->window];
  if (w.widths[0] == 0) {
    hex_code(pc, w.undecoded, sizeof w.undecoded);
  }
  record_store(*a, at, 0, pc);
  open_for_one_step(uc, addr);
}

void on_step(int, siginfo_t*, void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
  for (int i = 0; i < g_open_count; ++i) {
    mprotect(g_open_pages[i], kPage, PROT_NONE);
  }
  g_open_count = 0;
  uc->uc_mcontext.gregs[REG_EFL] &= ~0x100;
}

void summarize(Window& w, const Array& a) {
  const unsigned char* bytes = a.own != nullptr ? a.own : a.base;
  w.unwritten = 0;
  for (long i = 0; a.stride != 0 && i < kN; ++i) {
    w.unwritten += (a.stored[i / 8] >> (i % 8) & 1) == 0 ? 1 : 0;
  }
  if (a.bytes == static_cast<std::size_t>(kN) * 8) {
    const auto* e = reinterpret_cast<const std::int64_t*>(bytes);
    std::int64_t lo = e[0], hi = e[0];
    long formula = w.n_draws == static_cast<std::size_t>(kN) ? 0 : -1;
    for (long i = 0; i < kN; ++i) {
      lo = e[i] < lo ? e[i] : lo;
      hi = e[i] > hi ? e[i] : hi;
      if (formula >= 0 && e[i] != -5368676351LL - w.draws[i] % 127) {
        ++formula;
      }
    }
    std::snprintf(w.content, sizeof w.content, "integer min=%lld max=%lld draw_mismatches=%ld",
                  static_cast<long long>(lo), static_cast<long long>(hi), formula);
  } else if (a.bytes == static_cast<std::size_t>(kN) * 16) {
    long bad_value = 0, bad_tail = 0;
    for (long i = 0; i < kN; ++i) {
      const unsigned char* slot = bytes + i * 16;
      bad_value += std::memcmp(slot, kFloatBaseBytes, 10) != 0 ? 1 : 0;
      for (int b = 10; b < 16; ++b) {
        if (slot[b] != kCanary) {
          ++bad_tail;
          break;
        }
      }
    }
    std::snprintf(w.content, sizeof w.content, "float not_k=%ld tail_touched=%ld", bad_value,
                  bad_tail);
  } else if (a.bytes == static_cast<std::size_t>(kN) * 2) {
    const auto* d = reinterpret_cast<const std::uint16_t*>(bytes);
    unsigned lo = d[0], hi = d[0];
    for (long i = 0; i < kN; ++i) {
      lo = d[i] < lo ? d[i] : lo;
      hi = d[i] > hi ? d[i] : hi;
    }
    std::snprintf(w.content, sizeof w.content, "dna min=%u max=%u", lo, hi);
  } else {
    std::snprintf(w.content, sizeof w.content, "unexpected bytes=%zu", a.bytes);
  }
}

bool release_window_array(void* p) {
  for (Array& a : g_arrays) {
    if (a.base != nullptr && a.base == p) {
      note('D');
      Window& w = g_windows[a.window];
      w.released_in = g_window;
      if (a.own == nullptr) {
        // Without a second view the summary reads the program's own, which
        // a trace keeps inaccessible: each read would trap and count.
        mprotect(a.base, a.length, PROT_READ);
      }
      summarize(w, a);
      munmap(a.base, a.length);
      if (a.own != nullptr) {
        munmap(a.own, a.length);
      }
      a.base = nullptr;
      return true;
    }
  }
  return false;
}

Array* free_array_slot() {
  for (Array& a : g_arrays) {
    if (a.base == nullptr) {
      return &a;
    }
  }
  return nullptr;
}

// Gives the array its own pages, filled with a canary so that bytes no store
// reached can be told apart. Where the system allows, the same memory gets a
// second view that stays writable for the probe.
void* new_window_array(Array& slot, std::size_t bytes) {
  const std::size_t length = mapped_length(bytes);
  const int fd = memfd_create("probe-array", 0);
  void* base = MAP_FAILED;
  void* own = MAP_FAILED;
  if (fd >= 0 && ftruncate(fd, static_cast<off_t>(length)) == 0) {
    base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    own = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (fd >= 0) {
    close(fd);
  }
  if (base == MAP_FAILED || own == MAP_FAILED) {
    if (base != MAP_FAILED) {
      munmap(base, length);
    }
    if (own != MAP_FAILED) {
      munmap(own, length);
    }
    own = MAP_FAILED;
    base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  }
  if (base == MAP_FAILED) {
    throw std::bad_alloc();
  }
  std::memset(base, kCanary, bytes);
  Window& w = g_windows[g_window];
  if (w.bytes == 0) {
    w.bytes = bytes;
  }
  std::memset(&slot, 0, sizeof slot);
  slot.base = static_cast<unsigned char*>(base);
  slot.own = own == MAP_FAILED ? nullptr : static_cast<unsigned char*>(own);
  slot.bytes = bytes;
  slot.length = length;
  slot.stride = bytes / static_cast<std::size_t>(kN);
  slot.window = g_window;
  slot.last_store = -1;
  if (g_trace && g_traced[g_window]) {
    mprotect(base, length, PROT_NONE);
  }
  return base;
}

long env_number(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::strtol(v, nullptr, 10) : fallback;
}

__attribute__((constructor)) void probe_start() {
  g_report = std::getenv("PROBE_REPORT");
  g_watch = std::getenv("PROBE_WATCH");
  g_trace = env_number("PROBE_TRACE", 0) != 0;
  const char* traced = std::getenv("PROBE_TRACE_WINDOWS");
  for (int k = 1; traced != nullptr && k <= kWindows; ++k) {
    g_traced[k] = std::strchr(traced, '0' + k) != nullptr;
  }
  g_emulate = env_number("PROBE_EMULATE", 1) != 0;
  g_direct = env_number("PROBE_DIRECT", 1) != 0;
  const char* draws = std::getenv("PROBE_DRAWS");
  g_edges = draws != nullptr && std::strcmp(draws, "edges") == 0;
  g_fail_window = static_cast<int>(env_number("PROBE_FAIL_WINDOW", 0));
  g_kill_window = static_cast<int>(env_number("PROBE_KILL_WINDOW", 0));
  g_fixed_time = env_number("PROBE_TIME", -1);
  for (Window& w : g_windows) {
    w.released_in = -1;
  }
  dl_iterate_phdr(note_program_text, nullptr);
  if (g_trace) {
    struct sigaction sa = {};
    sa.sa_flags = SA_SIGINFO | (g_direct ? SA_NODEFER : 0);
    sa.sa_sigaction = on_fault;
    sigaction(SIGSEGV, &sa, nullptr);
    sa.sa_flags = SA_SIGINFO;
    sa.sa_sigaction = on_step;
    sigaction(SIGTRAP, &sa, nullptr);
  }
}

__attribute__((destructor)) void probe_report() {
  g_window = 0;
  if (g_report == nullptr) {
    return;
  }
  std::FILE* f = std::fopen(g_report, "w");
  if (f == nullptr) {
    return;
  }
  std::fprintf(f, "trace=%d\nclocks=%d\n", g_trace ? 1 : 0, g_clock_calls);
  for (int k = 0; k < g_clock_calls && k < kMaxClocks; ++k) {
    std::fprintf(f, "clock%d.cw=0x%x\nclock%d.stdout=%ld\nclock%d.watched=%ld\n", k + 1,
                 g_clocks[k].cw, k + 1, g_clocks[k].out, k + 1, g_clocks[k].watched);
  }
  std::fprintf(f, "srand.calls=%ld\nsrand.seed=%u\nsrand.stdout=%ld\nsrand.watched=%ld\n",
               g_srand_calls, g_seed, g_seed_out, g_seed_watched);
  std::fprintf(f, "time.calls=%ld\n", g_time_calls);
  std::fprintf(f, "outside=");
  for (int c = 0; c < 256; ++c) {
    if (g_outside[c] != 0) {
      std::fprintf(f, "%c%ld ", c, g_outside[c]);
    }
  }
  std::fprintf(f, "\n");
  for (int k = 1; k <= kWindows; ++k) {
    const Window& w = g_windows[k];
    std::fprintf(f, "w%d.traced=%d\n", k, g_trace && g_traced[k] ? 1 : 0);
    std::fprintf(f, "w%d.bytes=%zu\nw%d.released_in=%d\nw%d.stores=%ld\nw%d.misplaced=%ld\n", k,
                 w.bytes, k, w.released_in, k, w.stores, k, w.misplaced);
    std::fprintf(f, "w%d.foreign=%ld\nw%d.repeated=%ld\nw%d.descending=%ld\n", k, w.foreign, k,
                 w.repeated, k, w.descending);
    std::fprintf(f, "w%d.unaligned=%ld\nw%d.beyond=%ld\nw%d.unwritten=%ld\nw%d.widths=", k,
                 w.unaligned, k, w.beyond, k, w.unwritten, k);
    for (int width = 0; width <= kMaxWidth + 1; ++width) {
      if (w.widths[width] != 0) {
        std::fprintf(f, "%d:%ld ", width, w.widths[width]);
      }
    }
    std::fprintf(f, "\nw%d.undecoded=%s\n", k, w.undecoded);
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over the window's draws
    for (std::size_t i = 0; i < w.n_draws && i < static_cast<std::size_t>(kN); ++i) {
      hash = (hash ^ static_cast<std::uint32_t>(w.draws[i])) * 1099511628211ULL;
    }
    std::fprintf(f, "w%d.draws=%zu\nw%d.draw_hash=%llx\n", k, w.n_draws, k,
                 static_cast<unsigned long long>(hash));
    std::fprintf(f, "w%d.reads=%ld\nw%d.content=%s\nw%d.event_count=%zu\nw%d.events=", k, w.reads,
                 k, w.content, k, w.n_events, k);
    std::fwrite(w.events, 1, w.n_events < kMaxEvents ? w.n_events : kMaxEvents, f);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
}

}  // namespace

extern "C" {

double omp_get_wtime() {
  static auto clock = real<double (*)()>("omp_get_wtime");
  const int k = ++g_clock_calls;
  if (k <= kMaxClocks) {
    unsigned short cw = 0;
    asm volatile("fnstcw %0" : "=m"(cw));
    g_clocks[k - 1] = {cw, size_of_fd(1), size_of_watched()};
  }
  if (k % 2 == 0) {
    g_window = 0;
    return clock();
  }
  const double t = clock();
  g_window = k <= 2 * kWindows ? (k + 1) / 2 : 0;
  if (g_window != 0 && g_window == g_kill_window) {
    raise(SIGKILL);
  }
  return t;
}

int rand() {
  static auto draw = real<int (*)()>("rand");
  const int r =
      g_edges ? kEdgeDraws[g_next_edge++ % (sizeof kEdgeDraws / sizeof *kEdgeDraws)] : draw();
  note('R');
  if (g_window != 0) {
    Window& w = g_windows[g_window];
    if (w.n_draws < static_cast<std::size_t>(kN)) {
      w.draws[w.n_draws] = r;
    }
    ++w.n_draws;
  }
  return r;
}

void srand(unsigned seed) {
  static auto seed_fn = real<void (*)(unsigned)>("srand");
  note('s');
  if (g_srand_calls++ == 0) {
    g_seed = seed;
    g_seed_out = size_of_fd(1);
    g_seed_watched = size_of_watched();
  }
  seed_fn(seed);
}

time_t time(time_t* out) {
  static auto time_fn = real<time_t (*)(time_t*)>("time");
  note('t');
  ++g_time_calls;
  if (g_fixed_time < 0) {
    return time_fn(out);
  }
  if (out != nullptr) {
    *out = g_fixed_time;
  }
  return g_fixed_time;
}

double fmod(double x, double y) {
  static auto fn = real<double (*)(double, double)>("fmod");
  note('F');
  return fn(x, y);
}

long double fmodl(long double x, long double y) {
  static auto fn = real<long double (*)(long double, long double)>("fmodl");
  note('L');
  return fn(x, y);
}

// Output, as the C and C++ libraries reach the system: any of these inside
// a window is work the window should not hold.
std::size_t fwrite(const void* data, std::size_t size, std::size_t n, std::FILE* f) {
  static auto fn =
      real<std::size_t (*)(const void*, std::size_t, std::size_t, std::FILE*)>("fwrite");
  note('O');
  return fn(data, size, n, f);
}
int fputs(const char* s, std::FILE* f) {
  static auto fn = real<int (*)(const char*, std::FILE*)>("fputs");
  note('O');
  return fn(s, f);
}
int puts(const char* s) {
  static auto fn = real<int (*)(const char*)>("puts");
  note('O');
  return fn(s);
}
int fputc(int c, std::FILE* f) {
  static auto fn = real<int (*)(int, std::FILE*)>("fputc");
  note('O');
  return fn(c, f);
}
int putc(int c, std::FILE* f) {
  static auto fn = real<int (*)(int, std::FILE*)>("putc");
  note('O');
  return fn(c, f);
}
// putchar and vprintf may be inline in the C library's headers: these
// define the symbols under names of their own.
int probe_putchar(int c) __asm__("putchar");
int probe_putchar(int c) {
  static auto fn = real<int (*)(int)>("putchar");
  note('O');
  return fn(c);
}
int vfprintf(std::FILE* f, const char* format, va_list args) {
  static auto fn = real<int (*)(std::FILE*, const char*, va_list)>("vfprintf");
  note('O');
  return fn(f, format, args);
}
int probe_vprintf(const char* format, va_list args) __asm__("vprintf");
int probe_vprintf(const char* format, va_list args) { return vfprintf(stdout, format, args); }
int fprintf(std::FILE* f, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(f, format, args);
  va_end(args);
  return n;
}
int printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(stdout, format, args);
  va_end(args);
  return n;
}
// The forms a build with _FORTIFY_SOURCE calls instead.
int __vfprintf_chk(std::FILE* f, int, const char* format, va_list args) {
  return vfprintf(f, format, args);
}
int __fprintf_chk(std::FILE* f, int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(f, format, args);
  va_end(args);
  return n;
}
int __printf_chk(int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(stdout, format, args);
  va_end(args);
  return n;
}
ssize_t write(int fd, const void* data, std::size_t n) {
  static auto fn = real<ssize_t (*)(int, const void*, std::size_t)>("write");
  note('O');
  return fn(fd, data, n);
}
ssize_t writev(int fd, const iovec* parts, int n) {
  static auto fn = real<ssize_t (*)(int, const iovec*, int)>("writev");
  note('O');
  return fn(fd, parts, n);
}

void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
  note('M');
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  note('M');
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  note('M');
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (p != nullptr) {
    note('X');
  }
  __libc_free(p);
}

}  // extern "C"

void* operator new[](std::size_t bytes) {
  static auto real_new = real<void* (*)(std::size_t)>("_Znam");
  note('N');
  Array* slot = g_window != 0 ? free_array_slot() : nullptr;
  if (slot == nullptr) {
    return real_new(bytes);
  }
  while (g_window == g_fail_window) {
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) {
      throw std::bad_alloc();
    }
    handler();
  }
  return new_window_array(*slot, bytes);
}

void operator delete[](void* p) noexcept {
  static auto real_delete = real<void (*)(void*)>("_ZdaPv");
  if (p == nullptr || !release_window_array(p)) {
    note('d');
    real_delete(p);
  }
}

void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }

void* operator new(std::size_t bytes) {
  static auto real_new = real<void* (*)(std::size_t)>("_Znwm");
  note('n');
  return real_new(bytes);
}

void operator delete(void* p) noexcept {
  static auto real_delete = real<void (*)(void*)>("_ZdlPv");
  if (p != nullptr) {
    note('d');
  }
  real_delete(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
