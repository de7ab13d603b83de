#include "compare/export/trend.h"

#include <algorithm>
#include <cmath>

#include "compare/export/fields.h"
#include "compare/render/format.h"
#include "compare/stats/reference.h"

namespace compare {

using nlohmann::json;

namespace {

constexpr const char* kTrendKeyTool = "tool";
constexpr const char* kTrendKeyToolName = "name";
constexpr const char* kTrendKeyToolVersion = "version";
constexpr const char* kTrendKeyKind = "kind";
constexpr const char* kTrendKeyKindName = "trend";
constexpr const char* kTrendKeyReference = "reference";
constexpr const char* kTrendKeyFilters = "filters";
constexpr const char* kTrendKeySince = "since";
constexpr const char* kTrendKeyUntil = "until";
constexpr const char* kTrendKeyLabel = "label";
constexpr const char* kTrendKeyMachine = "machine";
constexpr const char* kTrendKeyMethod = "method";
constexpr const char* kTrendKeySeries = "series";
constexpr const char* kTrendKeyBuild = "build";
constexpr const char* kTrendKeyTest = "test";
constexpr const char* kTrendKeySessions = "sessions";
constexpr const char* kTrendKeyStartedAt = "started_at";
constexpr const char* kTrendKeyValue = "value";
constexpr const char* kTrendKeyLow = "low";
constexpr const char* kTrendKeyHigh = "high";
constexpr const char* kTrendKeyChanges = "changes";
constexpr const char* kTrendKeyFirst = "first";
constexpr const char* kTrendKeyBefore = "median_before";
constexpr const char* kTrendKeyAfter = "median_after";
constexpr const char* kTrendKeyRatio = "ratio";
constexpr const char* kTrendKeyEstimate = "estimate";
constexpr const char* kTrendKeyP = "p_value";
constexpr const char* kTrendKeyPAdjusted = "p_adjusted";
constexpr const char* kTrendKeyVerdict = "verdict";

json interval_json(const std::optional<Interval>& in, json into) {
  into[kTrendKeyLow] = in ? number(in->low) : json(nullptr);
  into[kTrendKeyHigh] = in ? number(in->high) : json(nullptr);
  return into;
}

json series_json(const TrendSeries& s) {
  json points = json::array();
  for (const TrendPoint& p : s.points) {
    points.push_back(interval_json(p.interval, {{kTrendKeyStartedAt, p.started_at},
                                                {kTrendKeyLabel, p.label},
                                                {kTrendKeyValue, number(p.value)}}));
  }
  json changes = json::array();
  for (const ChangePoint& c : s.changes) {
    const bool placed = c.first < s.points.size();
    // The first session's date and label again, for a reader that wants
    // only the changes; the reader places a change by `first` alone.
    changes.push_back(
        {{kTrendKeyFirst, c.first},
         {kTrendKeyStartedAt, placed ? json(s.points[c.first].started_at) : json(nullptr)},
         {kTrendKeyLabel, placed ? json(s.points[c.first].label) : json(nullptr)},
         {kTrendKeyBefore, number(c.median_before)},
         {kTrendKeyAfter, number(c.median_after)},
         {kTrendKeyRatio, interval_json(c.interval, {{kTrendKeyEstimate, number(c.ratio)}})},
         {kTrendKeyP, number(c.p)},
         {kTrendKeyPAdjusted, number_or_null(c.p_adjusted)},
         {kTrendKeyVerdict, verdict_text(c.verdict)}});
  }
  return {{kTrendKeyMachine, s.machine}, {kTrendKeyBuild, s.build},
          {kTrendKeyTest, s.test},       {kTrendKeySeries, series_name(s.series)},
          {kTrendKeySessions, points},   {kTrendKeyChanges, changes}};
}

}  // namespace

json trend_json(const Trend& t) {
  json series = json::array();
  for (const TrendSeries& s : t.series) series.push_back(series_json(s));
  return {
      {kTrendKeyTool, {{kTrendKeyToolName, "bench_compare"}, {kTrendKeyToolVersion, t.version}}},
      {kTrendKeyKind, kTrendKeyKindName},
      {kTrendKeyReference, t.reference.empty() ? json(nullptr) : json(t.reference)},
      {kTrendKeyFilters,
       {{kTrendKeySince, t.since},
        {kTrendKeyUntil, t.until},
        {kTrendKeyLabel, t.label_filter},
        {kTrendKeyMachine, t.machine_filter}}},
      {kTrendKeyMethod, kTrendMeaning},
      {kTrendKeySeries, series}};
}

namespace {

double number_of(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_number() ? it->get<double>() : NAN;
}

std::optional<Interval> interval_of(const json& object) {
  const double low = number_of(object, kTrendKeyLow);
  const double high = number_of(object, kTrendKeyHigh);
  return std::isnan(low) || std::isnan(high) ? std::nullopt : std::optional<Interval>({low, high});
}

const json& array_of(const json& object, const char* key) {
  static const json empty = json::array();
  const auto it = object.find(key);
  return it != object.end() && it->is_array() ? *it : empty;
}

ChangePoint change_of(const json& c, std::size_t points, const std::string& where) {
  if (!c.is_object()) bad_export(where, "has a change that is no object");
  ChangePoint change;
  const auto first =
      whole_in(c.value(kTrendKeyFirst, json()), 0, static_cast<long long>(points) - 1);
  if (!first) bad_export(where, "has a change whose first session is not one of its sessions");
  change.first = static_cast<std::size_t>(*first);
  change.median_before = number_of(c, kTrendKeyBefore);
  change.median_after = number_of(c, kTrendKeyAfter);
  const json& ratio = part(c, kTrendKeyRatio);
  change.ratio = number_of(ratio, kTrendKeyEstimate);
  change.interval = interval_of(ratio);
  change.p = number_of(c, kTrendKeyP);
  const double adjusted = number_of(c, kTrendKeyPAdjusted);
  if (!std::isnan(adjusted)) change.p_adjusted = adjusted;
  const std::string verdict = text_of(c, kTrendKeyVerdict, "");
  for (const VerdictKind kind :
       {VerdictKind::Faster, VerdictKind::Slower, VerdictKind::NoSignificantChange}) {
    if (verdict == verdict_text(kind)) return change.verdict = kind, change;
  }
  bad_export(where, "has a change of an unknown verdict");
}

TrendSeries series_of(const json& s, const std::string& path, std::size_t place) {
  const std::string where = fmt::format("{} (series {} in the file)", path, place + 1);
  if (!s.is_object()) bad_export(where, "is no object");
  TrendSeries series;
  series.machine = text_of(s, kTrendKeyMachine, "");
  series.build = text_of(s, kTrendKeyBuild, "");
  series.test = text_of(s, kTrendKeyTest, "");
  if (std::find(kTestNames.begin(), kTestNames.end(), series.test) == kTestNames.end())
    bad_export(where, "is of an unknown test");
  const std::string name = text_of(s, kTrendKeySeries, "");
  const auto which = std::find_if(kSeries.begin(), kSeries.end(),
                                  [&](Series k) { return name == series_name(k); });
  if (which == kSeries.end()) bad_export(where, "is of an unknown series");
  series.series = *which;
  for (const json& p : array_of(s, kTrendKeySessions)) {
    if (!p.is_object()) bad_export(where, "has a session that is no object");
    series.points.push_back({text_of(p, kTrendKeyStartedAt, ""), text_of(p, kTrendKeyLabel, ""),
                             number_of(p, kTrendKeyValue), interval_of(p)});
  }
  for (const json& c : array_of(s, kTrendKeyChanges))
    series.changes.push_back(change_of(c, series.points.size(), where));
  return series;
}

}  // namespace

Trend trend_from_json(const json& j, const std::string& path) {
  if (!j.is_object() || text_of(part(j, kTrendKeyTool), kTrendKeyToolName, "") != "bench_compare" ||
      text_of(j, kTrendKeyKind, "") != kTrendKeyKindName) {
    bad_export(path, "is not a trend exported by bench_compare");
  }
  Trend t;
  t.version = text_of(part(j, kTrendKeyTool), kTrendKeyToolVersion, "");
  t.reference = text_of(j, kTrendKeyReference, "");
  const json& filters = part(j, kTrendKeyFilters);
  t.since = text_of(filters, kTrendKeySince, "");
  t.until = text_of(filters, kTrendKeyUntil, "");
  t.label_filter = text_of(filters, kTrendKeyLabel, "");
  t.machine_filter = text_of(filters, kTrendKeyMachine, "");
  const json& series = array_of(j, kTrendKeySeries);
  for (std::size_t i = 0; i < series.size(); ++i) t.series.push_back(series_of(series[i], path, i));
  return t;
}

}  // namespace compare
