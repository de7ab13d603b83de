#include "compare/export/goal.h"

namespace compare {

using nlohmann::json;

namespace {

const char* reason_text(StopReason reason) {
  switch (reason) {
    case StopReason::GoalMet:
      return "goal";
    case StopReason::TimeLimit:
      return "time limit";
    default:
      return "round limit";
  }
}

}  // namespace

json goal_json(const std::optional<GoalOutcome>& goal) {
  if (!goal) return nullptr;
  json short_of = json::array();
  for (const ShortOfGoal& s : goal->short_of) {
    short_of.push_back(
        {{"series", s.what}, {"half_width", s.half_width ? json(*s.half_width) : json(nullptr)}});
  }
  return {{"target", goal->target},
          {"on", goal->on_ratios ? "ratios" : "median differences"},
          {"stopped_by", reason_text(goal->reason)},
          {"time_limit_s", goal->time_limit},
          {"round_limit", goal->round_limit},
          {"rounds", goal->rounds},
          {"sessions", goal->sessions},
          {"seconds", goal->seconds},
          {"short_of", short_of}};
}

json cpu_json(const Comparison& c) {
  if (!c.cpu) return nullptr;
  return {{"processor", *c.cpu},
          {"chosen", c.cpu_choice.empty() ? json(nullptr) : json(c.cpu_choice)}};
}

}  // namespace compare
