// A round's usage and counts in the history: little-endian doubles, NaN for
// a figure not given, a few hundred bytes where JSON would take kilobytes.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "compare/history/store_parts.h"

namespace compare {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kUsageFigures = 9;

void put(std::vector<unsigned char>& bytes, double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
}

double get(const std::vector<unsigned char>& bytes, std::size_t at) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes.at(at * 8 + static_cast<std::size_t>(i));
  double x = 0;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

double count_or_none(bool given, long long n) { return given ? static_cast<double>(n) : kNone; }

void put_usage(std::vector<unsigned char>& bytes, const std::optional<Usage>& usage) {
  if (!usage) {
    for (std::size_t i = 0; i < kUsageFigures; ++i) put(bytes, kNone);
    return;
  }
  const Usage& u = *usage;
  for (const double x :
       {u.wall_s, u.has_processor ? u.user_s : kNone, u.has_processor ? u.system_s : kNone,
        count_or_none(u.has_switches, u.involuntary_switches),
        count_or_none(u.has_switches, u.voluntary_switches),
        count_or_none(u.has_faults, u.minor_faults),
        count_or_none(u.has_faults && u.has_fault_split, u.major_faults),
        count_or_none(u.has_memory, u.max_rss_kib), u.runqueue_wait_s.value_or(kNone)}) {
    put(bytes, x);
  }
}

std::optional<Usage> usage_at(const std::vector<unsigned char>& bytes, std::size_t first) {
  auto at = [&](std::size_t i) { return get(bytes, first + i); };
  if (std::isnan(at(0))) return std::nullopt;
  Usage u;
  u.wall_s = at(0);
  u.has_processor = !std::isnan(at(1));
  u.user_s = u.has_processor ? at(1) : 0;
  u.system_s = u.has_processor ? at(2) : 0;
  u.has_switches = !std::isnan(at(3));
  u.involuntary_switches = u.has_switches ? std::llround(at(3)) : 0;
  u.voluntary_switches = u.has_switches ? std::llround(at(4)) : 0;
  u.has_faults = !std::isnan(at(5));
  u.minor_faults = u.has_faults ? std::llround(at(5)) : 0;
  u.has_fault_split = !std::isnan(at(6));
  u.major_faults = u.has_fault_split ? std::llround(at(6)) : 0;
  u.has_memory = !std::isnan(at(7));
  u.max_rss_kib = u.has_memory ? std::llround(at(7)) : 0;
  if (!std::isnan(at(8))) u.runqueue_wait_s = at(8);
  return u;
}

}  // namespace

std::vector<unsigned char> usage_bytes(const Round& r) {
  if (!r.random_usage && !r.fixed_usage) return {};
  std::vector<unsigned char> bytes;
  put_usage(bytes, r.random_usage);
  put_usage(bytes, r.fixed_usage);
  return bytes;
}

void usage_from_bytes(const std::vector<unsigned char>& bytes, Round& r) {
  if (bytes.size() != 2 * kUsageFigures * 8) return;
  r.random_usage = usage_at(bytes, 0);
  r.fixed_usage = usage_at(bytes, kUsageFigures);
}

std::vector<unsigned char> counts_bytes(const RoundCounts& counts) {
  std::vector<unsigned char> bytes;
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
  std::size_t i = 0;
  for (RunCounts* run : {&counts.random, &counts.fixed}) {
    for (WindowCounts& window : *run) {
      for (std::optional<double>& x : window) {
        const double value = get(bytes, i++);
        if (!std::isnan(value)) x = value;
      }
    }
  }
  return counts;
}

}  // namespace compare
