#include "compare/export/verdict.h"

#include <cmath>
#include <limits>

#include "compare/export/fields.h"
#include "compare/render/format.h"
#include "compare/stats/detectable.h"
#include "compare/stats/reference.h"

namespace compare {

using nlohmann::json;

namespace {

constexpr const char* kVerdictDetectable = "detectable";
constexpr const char* kDetectableSlower = "slower";
constexpr const char* kDetectableFaster = "faster";

json detectable_json(const std::optional<Detectable>& d) {
  if (!d) return nullptr;
  if (!could_see_any(*d)) return {{kDetectableSlower, nullptr}, {kDetectableFaster, nullptr}};
  return {{kDetectableSlower, number(d->slower)}, {kDetectableFaster, number(d->faster)}};
}

}  // namespace

json verdict_json(const Verdict& v) {
  const ReferenceTest& r = v.result;
  return {{"entry", v.entry},
          {"test", v.test},
          {"series", series_name(v.series)},
          {"ratio",
           {{"estimate", number_or_null(r.ratio)},
            {"low", r.interval ? number(r.interval->low) : json(nullptr)},
            {"high", r.interval ? number(r.interval->high) : json(nullptr)}}},
          {"p_value", number_or_null(r.p)},
          {"p_adjusted", number_or_null(v.p_adjusted)},
          {"method", r.method == RatioMethod::None ? json(nullptr) : json(method_text(r.method))},
          {"df", number_or_null(r.df)},
          {"compared",
           {{r.paired ? "rounds" : "session_medians", r.rounds}, {"not_positive", r.not_positive}}},
          {kVerdictDetectable, detectable_json(v.detectable)},
          {"verdict", verdict_text(v.verdict)}};
}

std::optional<Detectable> detectable_of(const json& verdict) {
  if (!verdict.is_object()) return std::nullopt;
  const auto found = verdict.find(kVerdictDetectable);
  if (found == verdict.end() || !found->is_object()) return std::nullopt;
  const auto slower = found->find(kDetectableSlower);
  const auto faster = found->find(kDetectableFaster);
  if (slower == found->end() || faster == found->end()) return std::nullopt;
  if (slower->is_null() && faster->is_null())
    return Detectable{std::numeric_limits<double>::infinity(), 0};
  if (!slower->is_number() || !faster->is_number()) return std::nullopt;
  const Detectable d{slower->get<double>(), faster->get<double>()};
  if (!(d.slower > 1 && std::isfinite(d.slower) && d.faster > 0 && d.faster < 1))
    return std::nullopt;
  return d;
}

namespace {

std::optional<double> finite_at(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number()) return std::nullopt;
  const double x = found->get<double>();
  return std::isfinite(x) ? std::optional<double>(x) : std::nullopt;
}

}  // namespace

std::optional<StoredVerdict> stored_verdict(const json& verdict) {
  if (!verdict.is_object()) return std::nullopt;
  StoredVerdict v;
  v.verdict = text_of(verdict, "verdict", "");
  if (v.verdict.empty()) return std::nullopt;
  v.entry = text_of(verdict, "entry", "");
  v.test = text_of(verdict, "test", "");
  v.series = text_of(verdict, "series", "");
  v.method = text_of(verdict, "method", "");
  const json& ratio = part(verdict, "ratio");
  v.ratio = finite_at(ratio, "estimate");
  v.low = finite_at(ratio, "low");
  v.high = finite_at(ratio, "high");
  v.p = finite_at(verdict, "p_value");
  v.p_adjusted = finite_at(verdict, "p_adjusted");
  return v;
}

}  // namespace compare
