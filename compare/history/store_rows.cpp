// A round's usage and counts in the history, compact: a run's usage is a
// byte saying which figures it has, its times as little-endian doubles and
// its counts as variable-length integers (some 40 bytes, where JSON takes
// 250); counts are doubles, NaN for an event not counted. Read back with
// every length checked: a blob from a damaged file is no usage at all.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "compare/history/store_parts.h"

namespace compare {

namespace {

using Bytes = std::vector<unsigned char>;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
enum Has : unsigned {
  kUsage = 1U,
  kProcessor = 2U,
  kSwitches = 4U,
  kFaults = 8U,
  kFaultSplit = 16U,
  kMemory = 32U,
  kRunqueue = 64U,
};

void put(Bytes& bytes, double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
}

// Zigzag, then seven bits a byte: small counts of either sign take one or two.
void put_count(Bytes& bytes, long long n) {
  auto u = static_cast<std::uint64_t>(n);
  u = (u << 1) ^ (n < 0 ? ~std::uint64_t{0} : 0);
  for (; u >= 0x80; u >>= 7) bytes.push_back(static_cast<unsigned char>(u | 0x80));
  bytes.push_back(static_cast<unsigned char>(u));
}

// Reads forward through a blob; `ok` turns false at the first read past its end.
struct Reader {
  const Bytes& bytes;
  std::size_t at = 0;
  bool ok = true;

  double real() {
    if (bytes.size() - at < 8) return ok = false, 0;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes[at + static_cast<std::size_t>(i)];
    at += 8;
    double x = 0;
    std::memcpy(&x, &bits, sizeof x);
    return x;
  }
  long long count() {
    std::uint64_t u = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at >= bytes.size()) break;
      const unsigned char b = bytes[at++];
      u |= std::uint64_t{b & 0x7FU} << shift;
      if ((b & 0x80U) == 0) return static_cast<long long>(u >> 1) ^ -static_cast<long long>(u & 1);
    }
    ok = false;
    return 0;
  }
};

void put_usage(Bytes& bytes, const std::optional<Usage>& usage) {
  if (!usage) return bytes.push_back(0);
  const Usage& u = *usage;
  const unsigned has = kUsage | (u.has_processor ? kProcessor : 0U) |
                       (u.has_switches ? kSwitches : 0U) | (u.has_faults ? kFaults : 0U) |
                       (u.has_fault_split ? kFaultSplit : 0U) | (u.has_memory ? kMemory : 0U) |
                       (u.runqueue_wait_s ? kRunqueue : 0U);
  bytes.push_back(static_cast<unsigned char>(has));
  put(bytes, u.wall_s);
  if (u.has_processor) put(bytes, u.user_s), put(bytes, u.system_s);
  if (u.has_switches)
    put_count(bytes, u.involuntary_switches), put_count(bytes, u.voluntary_switches);
  if (u.has_faults) put_count(bytes, u.minor_faults), put_count(bytes, u.major_faults);
  if (u.has_memory) put_count(bytes, u.max_rss_kib);
  if (u.runqueue_wait_s) put(bytes, *u.runqueue_wait_s);
}

std::optional<Usage> read_usage(Reader& in) {
  if (in.at >= in.bytes.size()) return in.ok = false, std::nullopt;
  const unsigned has = in.bytes[in.at++];
  if ((has & kUsage) == 0) return std::nullopt;
  Usage u;
  u.wall_s = in.real();
  u.has_processor = (has & kProcessor) != 0;
  if (u.has_processor) u.user_s = in.real(), u.system_s = in.real();
  u.has_switches = (has & kSwitches) != 0;
  if (u.has_switches) u.involuntary_switches = in.count(), u.voluntary_switches = in.count();
  u.has_faults = (has & kFaults) != 0;
  u.has_fault_split = (has & kFaultSplit) != 0;
  if (u.has_faults) u.minor_faults = in.count(), u.major_faults = in.count();
  u.has_memory = (has & kMemory) != 0;
  if (u.has_memory) u.max_rss_kib = in.count();
  if ((has & kRunqueue) != 0) u.runqueue_wait_s = in.real();
  return u;
}

}  // namespace

std::vector<unsigned char> usage_bytes(const Round& r) {
  if (!r.random_usage && !r.fixed_usage) return {};
  Bytes bytes;
  put_usage(bytes, r.random_usage);
  put_usage(bytes, r.fixed_usage);
  return bytes;
}

void usage_from_bytes(const std::vector<unsigned char>& bytes, Round& r) {
  Reader in{bytes};
  std::optional<Usage> random = read_usage(in);
  std::optional<Usage> fixed = read_usage(in);
  if (!in.ok || in.at != bytes.size()) return;
  r.random_usage = random;
  r.fixed_usage = fixed;
}

std::vector<unsigned char> counts_bytes(const RoundCounts& counts) {
  Bytes bytes;
  for (const RunCounts* run : {&counts.random, &counts.fixed}) {
    for (const WindowCounts& window : *run) {
      for (const std::optional<double>& x : window) put(bytes, x.value_or(kNone));
    }
  }
  return bytes;
}

std::optional<RoundCounts> counts_from_bytes(const std::vector<unsigned char>& bytes) {
  if (bytes.size() != std::size_t{2} * kTests * kEvents * 8) return std::nullopt;
  RoundCounts counts{};
  Reader in{bytes};
  for (RunCounts* run : {&counts.random, &counts.fixed}) {
    for (WindowCounts& window : *run) {
      for (std::optional<double>& x : window) {
        const double value = in.real();
        if (!std::isnan(value)) x = value;
      }
    }
  }
  return counts;
}

}  // namespace compare
