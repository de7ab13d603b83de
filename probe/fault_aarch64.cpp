// The AArch64 store tracing's fault handler. Every access to a traced array
// traps; the handler decodes the instruction (decode_a64.cpp), counts the
// store, carries it out itself through the probe's view of the array, writes
// back the base register of a pre- or post-indexed form and moves the
// program past the instruction. AArch64 has no single-step a program can set
// for itself, so an access the decoder refuses cannot be let through and
// counted after: it ends the run, with a message that names the instruction.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "probe/decode_a64.h"
#include "probe/probe.h"

namespace probe {
namespace {

// The exit status of a run the probe ends because an instruction it does
// not decode touched a traced array.
constexpr int kUndecodedStatus = 70;

// The floating-point and SIMD record of the signal frame (the kernel's
// struct fpsimd_context), found among the records after the registers.
constexpr std::uint32_t kFpsimdMagic = 0x46508001U;
struct FpsimdRecord {
  std::uint32_t magic, size;
  std::uint32_t fpsr, fpcr;
  alignas(16) unsigned char v[32][16];
};

const FpsimdRecord* fpsimd_of(const mcontext_t& mc) {
  const unsigned char* at = mc.__reserved;
  const unsigned char* const end = at + sizeof mc.__reserved;
  while (at + 8 <= end) {
    std::uint32_t magic = 0, size = 0;
    std::memcpy(&magic, at, 4);
    std::memcpy(&size, at + 4, 4);
    if (magic == kFpsimdMagic && size >= sizeof(FpsimdRecord)) {
      return reinterpret_cast<const FpsimdRecord*>(at);
    }
    if (magic == 0 || size < 8 || size > static_cast<std::size_t>(end - at)) {
      return nullptr;
    }
    at += size;
  }
  return nullptr;
}

// Writes "0x" and `value` in hex into `out`, as the handler may not call the
// C library's formatting. Returns the characters written.
std::size_t hex(std::uint64_t value, int digits, char* out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out[0] = '0';
  out[1] = 'x';
  for (int i = 0; i < digits; ++i) {
    out[2 + i] = kDigits[(value >> (4 * (digits - 1 - i))) & 15];
  }
  return static_cast<std::size_t>(digits) + 2;
}

std::size_t put(char* out, const char* text) {
  std::size_t n = 0;
  for (; text[n] != '\0'; ++n) {
    out[n] = text[n];
  }
  return n;
}

[[noreturn]] void refuse(std::uint32_t word, std::uintptr_t pc, std::uintptr_t address) {
  char line[256];
  std::size_t n = put(line, "bench_probe: the instruction at ");
  n += hex(pc, 16, line + n);
  n += put(line + n, " (encoding ");
  n += hex(word, 8, line + n);
  n += put(line + n, ") accessed the test array at ");
  n += hex(address, 16, line + n);
  n += put(line + n, " and is not a store the probe decodes: the run ends here\n");
  (void)!write(2, line, n);
  _exit(kUndecodedStatus);
}

// Carries the store out where the program cannot: through the probe's own
// view, or without one by opening the pages it covers for the moment.
void carry_out(Array& a, const a64::Store& s) {
  const std::size_t offset = s.address - reinterpret_cast<std::uintptr_t>(a.base);
  if (a.own != nullptr) {
    std::memcpy(a.own + offset, s.value, s.width);
    return;
  }
  const std::uintptr_t first = s.address & ~(kPage - 1);
  const std::size_t span = (s.address + s.width - first + kPage - 1) / kPage * kPage;
  auto* pages = reinterpret_cast<void*>(first);
  mprotect(pages, span, PROT_READ | PROT_WRITE);
  std::memcpy(a.base + offset, s.value, s.width);
  mprotect(pages, span, PROT_NONE);
}

}  // namespace

void on_fault(int, siginfo_t* info, void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
  auto* addr = static_cast<unsigned char*>(info->si_addr);
  Array* a = array_at(addr);
  if (a == nullptr) {
    signal(SIGSEGV, SIG_DFL);  // not ours: let the fault kill the process
    return;
  }
  mcontext_t& mc = uc->uc_mcontext;
  const auto pc = static_cast<std::uintptr_t>(mc.pc);
  std::uint32_t word = 0;
  std::memcpy(&word, reinterpret_cast<const void*>(pc), 4);
  const FpsimdRecord* fp = fpsimd_of(mc);
  a64::Registers regs;
  std::memcpy(regs.x, mc.regs, sizeof regs.x);
  regs.sp = mc.sp;
  if (fp != nullptr) {
    std::memcpy(regs.v, fp->v, sizeof regs.v);
  }
  a64::Store s;
  const auto at = reinterpret_cast<std::uintptr_t>(addr);
  const auto begin = reinterpret_cast<std::uintptr_t>(a->base);
  // The store must be the access that trapped, and lie inside the array's
  // pages; its register values must be known.
  const bool decoded = a64::decode_store(word, regs, s) &&
                       (fp != nullptr || (word & (1U << 26)) == 0) && s.address <= at &&
                       at < s.address + s.width && s.address >= begin &&
                       s.address + s.width <= begin + a->length;
  if (!decoded) {
    refuse(word, pc, at);
  }
  record_store(*a, s.address, s.width, pc);
  carry_out(*a, s);
  if (s.base == a64::kSp) {
    mc.sp = s.base_after;
  } else if (s.base != a64::kNoWriteback) {
    mc.regs[s.base] = s.base_after;
  }
  mc.pc += 4;
}

}  // namespace probe
