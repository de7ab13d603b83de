// The Windows build's own workload objects, linked with counting stand-ins
// (the GNU linker's --wrap) for rand, fmod, fmodl and the array's new[] and
// delete[]. Each workload, called as its timing window calls it, must make
// exactly its test's calls in order, allocate and release one array of the
// test's size, and leave in it, as released, the values the test stores.
//
// The stores themselves are traced at both ends of each array: those pages
// are kept inaccessible, so that each access traps, is noted with its address
// and the function that made it, and is single-stepped with the page open.
// (Every page would take minutes under Wine; the loop is the same at both
// ends and in between.) A dropped, doubled, merged, vectorised or misordered
// store, a read, or a store made outside the workload's own code fails.
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench_fixed/workloads.h"
#include "bench_random/workloads.h"
#include "harness/harness.h"

// The linker's names for the real functions and their stand-ins.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {
int __real_rand();
double __real_fmod(double x, double y);
long double __real_fmodl(long double x, long double y);
void* __real__Znay(std::size_t bytes);
void __real__ZdaPv(void* block);
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace {

constexpr long kN = 1000000;
constexpr unsigned char kCanary = 0xA5;
// K as the x87 unit stores it, lowest address first.
constexpr unsigned char kFloatBaseBytes[10] = {0x00, 0x20, 0x00, 0x00, 0x20,
                                               0x00, 0x00, 0xA0, 0x81, 0x43};
// Draws start with the edges of the C library's range (RAND_MAX is 32767).
constexpr int kEdgeDraws[] = {0, 126, 127, 128, 254, 32766, 32767, 1};
constexpr std::uintptr_t kPage = 4096;
constexpr std::uintptr_t kTracedPages = 2;  // at each end of the array

// What one window did: N allocation, R draw, F fmod, L fmodl, D release.
struct Window {
  bool open = false;
  std::string events;
  std::vector<int> draws;
  long misdirected_remainders = 0;          // operands other than the last draw and 127
  std::vector<long double> fixed_operands;  // remainders taken with no draw
  std::size_t bytes = 0;
  void* array = nullptr;
  bool released_own_array = false;
  std::vector<unsigned char> released;  // the array's bytes as released
  // The traced pages: [trace_lo, trace_lo + span) and [trace_hi - span, trace_hi).
  std::uintptr_t trace_lo = 0, trace_hi = 0;
  std::vector<std::uintptr_t> stores;  // addresses of the traced stores, in order
  long reads = 0;                      // traced accesses that were not stores
  long foreign = 0;                    // traced accesses from other code
};

Window g_window;
const RUNTIME_FUNCTION* g_workload_code = nullptr;
unsigned char* g_open_page = nullptr;
std::uint32_t g_state = 1;

int next_draw() {
  const std::size_t n = g_window.draws.size();
  if (n < std::size(kEdgeDraws)) {
    return kEdgeDraws[n];
  }
  g_state = g_state * 1103515245U + 12345U;
  return static_cast<int>((g_state >> 16) & 0x7FFF);
}

template <class Real>
void note_remainder(char kind, Real x, Real y) {
  g_window.events += kind;
  if (g_window.draws.empty()) {
    g_window.fixed_operands.push_back(x);
    g_window.fixed_operands.push_back(y);
  } else if (x != static_cast<Real>(g_window.draws.back()) || y != static_cast<Real>(127)) {
    ++g_window.misdirected_remainders;
  }
}

const RUNTIME_FUNCTION* function_at(std::uintptr_t address) {
  DWORD64 image = 0;
  return RtlLookupFunctionEntry(address, &image, nullptr);
}

void protect(std::uintptr_t from, std::uintptr_t bytes, DWORD access) {
  DWORD before = 0;
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the pages of the test array
  ASSERT_TRUE(VirtualProtect(reinterpret_cast<void*>(from), bytes, access, &before));
}

void protect_traced_pages(DWORD access) {
  const std::uintptr_t span = kTracedPages * kPage;
  protect(g_window.trace_lo, span, access);
  protect(g_window.trace_hi - span, span, access);
}

bool traced(std::uintptr_t address) {
  if (g_window.trace_lo == 0) {
    return false;
  }
  const std::uintptr_t span = kTracedPages * kPage;
  return (address >= g_window.trace_lo && address < g_window.trace_lo + span) ||
         (address >= g_window.trace_hi - span && address < g_window.trace_hi);
}

// An access to a traced page: note it, open the page for this one
// instruction and close it again after the single step.
LONG CALLBACK on_exception(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD& record = *e->ExceptionRecord;
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && g_open_page == nullptr &&
      traced(record.ExceptionInformation[1])) {
    const std::uintptr_t address = record.ExceptionInformation[1];
    if (record.ExceptionInformation[0] == 1) {
      g_window.stores.push_back(address);
    } else {
      ++g_window.reads;
    }
    if (function_at(e->ContextRecord->Rip) != g_workload_code) {
      ++g_window.foreign;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the page of that address
    g_open_page = reinterpret_cast<unsigned char*>(address & ~(kPage - 1));
    DWORD before = 0;
    (void)VirtualProtect(g_open_page, kPage, PAGE_READWRITE, &before);
    e->ContextRecord->EFlags |= 0x100;  // the trap flag
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (record.ExceptionCode == EXCEPTION_SINGLE_STEP && g_open_page != nullptr) {
    DWORD before = 0;
    (void)VirtualProtect(g_open_page, kPage, PAGE_NOACCESS, &before);
    g_open_page = nullptr;
    e->ContextRecord->EFlags &= ~0x100U;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

Window run_window(void (*workload)()) {
  g_window = Window{};
  g_window.events.reserve(3 * kN + 2);
  g_window.draws.reserve(kN);
  g_window.stores.reserve(4 * kTracedPages * kPage);
  // Without an entry of its own, any leaf function's access would pass as the workload's.
  g_workload_code = function_at(reinterpret_cast<std::uintptr_t>(workload));
  EXPECT_NE(g_workload_code, nullptr) << "the workload has no function table entry";
  void* const handler =
      g_workload_code != nullptr ? AddVectoredExceptionHandler(1, on_exception) : nullptr;
  EXPECT_TRUE(g_workload_code == nullptr || handler != nullptr)
      << "cannot add the exception handler";
  if (handler == nullptr) {
    return std::move(g_window);  // nothing recorded: the window's checks fail
  }
  g_window.open = true;
  workload();
  g_window.open = false;
  RemoveVectoredExceptionHandler(handler);
  return std::move(g_window);
}

std::string repeat(const std::string& unit, long times) {
  std::string out;
  for (long i = 0; i < times; ++i) {
    out += unit;
  }
  return out;
}

// One array of the test's size, allocated and released; in its traced pages
// one store per element, in ascending order, each at its element's start and
// made by the workload's own code, and no read.
void expect_one_array(const Window& w, std::size_t bytes, std::uintptr_t element) {
  EXPECT_EQ(w.bytes, bytes);
  EXPECT_TRUE(w.released_own_array) << "the array released is not the one allocated";
  ASSERT_EQ(w.released.size(), bytes);
  ASSERT_NE(w.trace_lo, 0U);
  std::vector<std::uintptr_t> want;
  const std::uintptr_t span = kTracedPages * kPage;
  for (const std::uintptr_t from : {w.trace_lo, w.trace_hi - span}) {
    for (std::uintptr_t a = from; a < from + span; a += element) {
      want.push_back(a);
    }
  }
  EXPECT_EQ(w.stores.size(), want.size());
  const auto first_difference =
      std::mismatch(w.stores.begin(), w.stores.end(), want.begin(), want.end());
  EXPECT_TRUE(first_difference.first == w.stores.end() && first_difference.second == want.end())
      << "traced store " << first_difference.first - w.stores.begin() << " is misplaced";
  EXPECT_EQ(w.reads, 0);
  EXPECT_EQ(w.foreign, 0);
}

// Elements that differ from what the i-th execution should have stored.
template <class Element, class Expected>
long wrong_elements(const Window& w, Expected expected) {
  long wrong = 0;
  for (long i = 0; i < kN; ++i) {
    Element e;
    std::memcpy(&e, &w.released[static_cast<std::size_t>(i) * sizeof e], sizeof e);
    wrong += e == expected(i) ? 0 : 1;
  }
  return wrong;
}

// Slots whose first ten bytes are not K's or whose last six were touched.
long wrong_float_slots(const Window& w) {
  long wrong = 0;
  for (long i = 0; i < kN; ++i) {
    const unsigned char* slot = &w.released[static_cast<std::size_t>(i) * 16];
    bool ok = std::memcmp(slot, kFloatBaseBytes, 10) == 0;
    for (int b = 10; b < 16; ++b) {
      ok = ok && slot[b] == kCanary;
    }
    wrong += ok ? 0 : 1;
  }
  return wrong;
}

TEST(RandomWork, IntegerDrawsTakesFmodAndStoresEachExecution) {
  const Window w = run_window(bench_random::integer_workload);
  EXPECT_TRUE(w.events == "N" + repeat("RF", kN) + "D") << w.events.substr(0, 40);
  EXPECT_EQ(w.misdirected_remainders, 0);
  expect_one_array(w, 8000000, 8);
  EXPECT_EQ(
      wrong_elements<std::int64_t>(
          w, [&](long i) { return -5368676351LL - w.draws[static_cast<std::size_t>(i)] % 127; }),
      0);
}

TEST(RandomWork, FloatDrawsTakesFmodlAndStoresTenBytesEachExecution) {
  const Window w = run_window(bench_random::float_workload);
  EXPECT_TRUE(w.events == "N" + repeat("RL", kN) + "D") << w.events.substr(0, 40);
  EXPECT_EQ(w.misdirected_remainders, 0);
  expect_one_array(w, 16000000, 16);
  EXPECT_EQ(wrong_float_slots(w), 0);
}

TEST(RandomWork, DnaStoresAndDrawsEachExecution) {
  const Window w = run_window(bench_random::dna_workload);
  EXPECT_TRUE(w.events == "N" + repeat("R", kN) + "D") << w.events.substr(0, 40);
  expect_one_array(w, 2000000, 2);
  EXPECT_EQ(wrong_elements<char16_t>(w, [](long) { return u'A'; }), 0);
}

TEST(FixedWork, EachTestTakesOneRemainderOfItsFixedInputAndNoDraw) {
  struct Case {
    void (*workload)();
    const char* events;
    long double x;
    std::size_t bytes;
    std::uintptr_t element;
  };
  const Case cases[] = {{bench_fixed::integer_workload, "NFD", 2147483647.0L, 8000000, 8},
                        {bench_fixed::float_workload, "NLD", 2147483647.0L, 16000000, 16},
                        {bench_fixed::dna_workload, "NLD", 2147483648.0L, 2000000, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.events);
    const Window w = run_window(c.workload);
    EXPECT_EQ(w.events, c.events);
    EXPECT_EQ(w.fixed_operands, (std::vector<long double>{c.x, 127.0L}));
    expect_one_array(w, c.bytes, c.element);
  }
}

TEST(FixedWork, EachTestStoresItsValueInEveryElement) {
  const Window integer = run_window(bench_fixed::integer_workload);
  EXPECT_EQ(wrong_elements<std::int64_t>(integer, [](long) { return -5368676358LL; }), 0);
  const Window real = run_window(bench_fixed::float_workload);
  EXPECT_EQ(wrong_float_slots(real), 0);
  const Window dna = run_window(bench_fixed::dna_workload);
  EXPECT_EQ(wrong_elements<char16_t>(dna, [](long) { return u';'; }), 0);
}

}  // namespace

// The stand-ins: outside a window each passes straight to the real function.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {

int __wrap_rand() {
  if (!g_window.open) {
    return __real_rand();
  }
  g_window.events += 'R';
  g_window.draws.push_back(next_draw());
  return g_window.draws.back();
}

double __wrap_fmod(double x, double y) {
  if (g_window.open) {
    note_remainder('F', x, y);
  }
  return __real_fmod(x, y);
}

long double __wrap_fmodl(long double x, long double y) {
  if (g_window.open) {
    note_remainder('L', x, y);
  }
  return __real_fmodl(x, y);
}

void* __wrap__Znay(std::size_t bytes) {
  void* block = __real__Znay(bytes);
  if (g_window.open) {
    g_window.events += 'N';
    g_window.bytes = bytes;
    g_window.array = block;
    std::memset(block, kCanary, bytes);  // what no store reached shows
    const auto at = reinterpret_cast<std::uintptr_t>(block);
    g_window.trace_lo = (at + kPage - 1) & ~(kPage - 1);
    g_window.trace_hi = (at + bytes) & ~(kPage - 1);
    protect_traced_pages(PAGE_NOACCESS);
  }
  return block;
}

void __wrap__ZdaPv(void* block) {
  if (g_window.open) {
    g_window.events += 'D';
    g_window.released_own_array = block == g_window.array;
    if (block != nullptr && block == g_window.array) {
      protect_traced_pages(PAGE_READWRITE);
      const auto* bytes = static_cast<const unsigned char*>(block);
      g_window.released.assign(bytes, bytes + g_window.bytes);
    }
  }
  __real__ZdaPv(block);
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
