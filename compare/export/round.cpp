#include "compare/export/round.h"

#include <fmt/format.h>

#include <cmath>
#include <map>

#include "compare/export/counts.h"
#include "compare/export/fields.h"
#include "compare/export/usage.h"
#include "compare/render/format.h"

namespace compare {

using nlohmann::json;

namespace {

constexpr const char* kRoundIndex = "index";
constexpr const char* kRoundSession = "session";
constexpr const char* kRoundFirst = "first";
constexpr const char* kRoundUsage = "usage";
constexpr const char* kRoundCounts = "counters";
constexpr const char* kRoundBuilds = "builds";
constexpr const char* kRoundOrder = "order";

const Times& times_of(const Round& r, Side side) {
  return side == Side::Random ? r.random : r.fixed;
}
Times& times_of(Round& r, Side side) { return side == Side::Random ? r.random : r.fixed; }

}  // namespace

json round_json(const Round& r, const CountsByRound* counts) {
  json round = {{kRoundIndex, r.index},
                {kRoundSession, r.session},
                {kRoundFirst, side_name(r.first)},
                {kRoundUsage,
                 {{side_name(Side::Random), usage_json(r.random_usage)},
                  {side_name(Side::Fixed), usage_json(r.fixed_usage)}}}};
  for (const Side side : {Side::Random, Side::Fixed}) {
    json values = json::array();
    for (const double s : times_of(r, side)) values.push_back(number(s));
    round[side_name(side)] = values;
  }
  const auto counted = counts ? counts->find(key_of(r)) : CountsByRound::const_iterator{};
  if (counts && counted != counts->end()) round[kRoundCounts] = round_counts_json(counted->second);
  return round;
}

json rounds_json(const std::vector<Round>& rounds, const CountsByRound* counts) {
  json all = json::array();
  for (const Round& r : rounds) all.push_back(round_json(r, counts));
  return all;
}

Round round_from_json(const json& j, std::size_t i, const std::string& path) {
  auto malformed = [&](const std::string& what) {
    bad_export(path, fmt::format("has a malformed round (number {} in the file): {}", i + 1, what));
  };
  if (!j.is_object()) malformed("not an object");
  auto positive = [&](const char* key, bool required) -> int {
    auto it = j.find(key);
    if (it == j.end() && !required) return 1;  // exports from before sessions hold one
    const std::optional<long long> n =
        it == j.end() ? std::nullopt : whole_in(*it, 1, kMaxExportIndex);
    if (!n) malformed(fmt::format("'{}' must be a positive integer", key));
    return static_cast<int>(*n);
  };
  Round r;
  r.index = positive(kRoundIndex, true);
  r.session = positive(kRoundSession, false);
  const std::string first = text_of(j, kRoundFirst, "");
  if (first != side_name(Side::Random) && first != side_name(Side::Fixed)) {
    malformed(fmt::format("'{}' must be \"random\" or \"fixed\"", kRoundFirst));
  }
  r.first = first == side_name(Side::Random) ? Side::Random : Side::Fixed;
  for (Side side : {Side::Random, Side::Fixed}) {
    auto bad_times = [&] {
      malformed(fmt::format("'{}' must be {} times in seconds, none above {:g}", side_name(side),
                            kTests, kMaxSeconds));
    };
    auto values = j.find(side_name(side));
    if (values == j.end() || !values->is_array() || values->size() != kTests) bad_times();
    for (std::size_t t = 0; t < kTests; ++t) {
      const json& value = values->at(t);
      const double s = value.is_number() ? value.get<double>() : -1;
      if (!std::isfinite(s) || s < 0 || s > kMaxSeconds) bad_times();
      times_of(r, side).at(t) = s;
    }
  }
  r.random_usage = usage_from_json(part(part(j, kRoundUsage), side_name(Side::Random)));
  r.fixed_usage = usage_from_json(part(part(j, kRoundUsage), side_name(Side::Fixed)));
  return r;
}

json builds_rounds_json(const Comparison& c, bool warmup) {
  std::map<RoundKey, json> rounds;
  for (const Build& build : c.builds) {
    for (const Round& r : warmup ? build.warmup : rounds_of(build)) {
      json& round = rounds[key_of(r)];
      round[kRoundIndex] = r.index;
      round[kRoundSession] = r.session;
      json own = round_json(r, warmup ? nullptr : &build.counters);
      own.erase(kRoundIndex);
      own.erase(kRoundSession);
      own["random_position"] = r.random_position;
      own["fixed_position"] = r.fixed_position;
      round[kRoundBuilds][build.label] = own;
      const auto order = c.orders.find(key_of(r));
      if (!warmup && order != c.orders.end()) round[kRoundOrder] = order->second;
    }
  }
  json all = json::array();
  for (auto& [key, round] : rounds) all.push_back(std::move(round));
  return all;
}

json build_round(const json& round, const std::string& label) {
  json own = round.is_object() ? part(part(round, kRoundBuilds), label.c_str()) : json();
  for (const char* key : {kRoundIndex, kRoundSession}) {
    if (own.is_object() && round.contains(key)) own[key] = round[key];
  }
  return own;
}

}  // namespace compare
