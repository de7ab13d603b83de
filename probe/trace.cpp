// Tracing the test arrays' stores: each access to a traced array traps; the
// handler counts the store and carries it out or single-steps it, and at
// release the array's content is summarised. The AArch64 handler is in
// fault_aarch64.cpp.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "probe/probe.h"
#if defined(__x86_64__)
#include "probe/decode.h"
#endif

namespace probe {
namespace {

std::uintptr_t g_text_lo[8], g_text_hi[8];
int g_text_ranges = 0;

std::size_t mapped_length(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

constexpr std::size_t kHeadBytes = 160;  // of an array of no test's size, shown in hex

}  // namespace

Array* array_at(const unsigned char* addr) {
  for (Array& a : g_arrays) {
    if (a.base != nullptr && addr >= a.base && addr < a.base + a.length) {
      return &a;
    }
  }
  return nullptr;
}

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

#if defined(__x86_64__)
namespace {

// The pages opened for the instruction being single-stepped: more than one
// when it reaches across a page boundary or has two memory operands.
constexpr int kMaxOpen = 4;
unsigned char* g_open_pages[kMaxOpen];
int g_open_count = 0;

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

void open_for_one_step(ucontext_t* uc, const unsigned char* addr) {
  auto* page =
      reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(addr) & ~(kPage - 1));
  g_open_pages[g_open_count < kMaxOpen ? g_open_count++ : kMaxOpen - 1] = page;
  mprotect(page, kPage, PROT_READ | PROT_WRITE);
  uc->uc_mcontext.gregs[REG_EFL] |= 0x100;  // trap after this one instruction
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
#endif

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
      bad_value += std::memcmp(slot, kFloatBaseBytes, sizeof kFloatBaseBytes) != 0 ? 1 : 0;
      for (std::size_t b = sizeof kFloatBaseBytes; b < 16; ++b) {
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
    // Not an array of the pair's: its first bytes, for the probe's own tests.
    int n = std::snprintf(w.content, sizeof w.content, "unexpected bytes=%zu head=", a.bytes);
    for (std::size_t i = 0; i < a.bytes && i < kHeadBytes; ++i) {
      n += std::snprintf(w.content + n, sizeof w.content - static_cast<std::size_t>(n), "%02x",
                         bytes[i]);
    }
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

}  // namespace probe
