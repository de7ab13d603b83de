#include "compare/export/usage.h"

#include <cmath>

namespace compare {

namespace {

using nlohmann::json;

// Where each key sits in kUsageKeys: the writer and the reader name a key
// through its place, so each is spelled once.
enum class UsageKey { Wall, User, System, Involuntary, Voluntary, Minor, Major, Rss, Wait };

const char* usage_key(UsageKey k) { return kUsageKeys.at(static_cast<std::size_t>(k)); }

// The largest count of a run's usage: beyond it a double no longer holds
// every whole number.
constexpr double kMaxUsageCount = 9007199254740992.0;  // 2^53

}  // namespace

json usage_json(const std::optional<Usage>& usage) {
  if (!usage) return nullptr;
  const Usage& u = *usage;
  auto given = [](bool has, auto value) { return has ? json(value) : json(); };
  const bool split = u.has_faults && u.has_fault_split;
  return {
      {usage_key(UsageKey::Wall), u.wall_s},
      {usage_key(UsageKey::User), given(u.has_processor, u.user_s)},
      {usage_key(UsageKey::System), given(u.has_processor, u.system_s)},
      {usage_key(UsageKey::Involuntary), given(u.has_switches, u.involuntary_switches)},
      {usage_key(UsageKey::Voluntary), given(u.has_switches, u.voluntary_switches)},
      {usage_key(UsageKey::Minor), given(split, u.minor_faults)},
      {usage_key(UsageKey::Major), given(split, u.major_faults)},
      {usage_key(UsageKey::Rss), given(u.has_memory, u.max_rss_kib)},
      {usage_key(UsageKey::Wait), u.runqueue_wait_s ? json(*u.runqueue_wait_s) : json(nullptr)}};
}

std::optional<Usage> usage_from_json(const json& u) {
  auto figure = [&](UsageKey k) -> std::optional<double> {
    if (!u.is_object()) return std::nullopt;
    auto it = u.find(usage_key(k));
    if (it == u.end() || !it->is_number()) return std::nullopt;
    const double v = it->get<double>();
    return std::isfinite(v) && v >= 0 ? std::optional<double>(v) : std::nullopt;
  };
  // A count becomes a whole number only when one can hold it.
  auto count = [&](UsageKey k) {
    const std::optional<double> v = figure(k);
    return v && *v <= kMaxUsageCount ? v : std::nullopt;
  };
  auto whole = [](const std::optional<double>& v) { return static_cast<long long>(v.value_or(0)); };
  const std::optional<double> wall = figure(UsageKey::Wall);
  if (!wall) return std::nullopt;
  Usage usage;
  usage.wall_s = *wall;
  const auto user = figure(UsageKey::User);
  const auto system = figure(UsageKey::System);
  usage.has_processor = user && system;
  usage.user_s = user.value_or(0);
  usage.system_s = system.value_or(0);
  const auto involuntary = count(UsageKey::Involuntary);
  const auto voluntary = count(UsageKey::Voluntary);
  usage.has_switches = involuntary && voluntary;
  usage.involuntary_switches = whole(involuntary);
  usage.voluntary_switches = whole(voluntary);
  const auto minor = count(UsageKey::Minor);
  const auto major = count(UsageKey::Major);
  usage.has_faults = usage.has_fault_split = minor && major;
  usage.minor_faults = whole(minor);
  usage.major_faults = whole(major);
  const auto rss = count(UsageKey::Rss);
  usage.has_memory = rss.has_value();
  usage.max_rss_kib = whole(rss);
  usage.runqueue_wait_s = figure(UsageKey::Wait);
  return usage;
}

}  // namespace compare
