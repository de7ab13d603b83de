#include "compare/export/verdict.h"

#include "compare/export/fields.h"
#include "compare/render/format.h"
#include "compare/stats/reference.h"

namespace compare {

using nlohmann::json;

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
          {"verdict", verdict_text(v.verdict)}};
}

}  // namespace compare
