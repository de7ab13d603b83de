#include "compare/export/machine.h"

#include <cmath>
#include <utility>

#include "compare/export/fields.h"
#include "compare/render/format.h"

namespace compare {

using nlohmann::json;

namespace {

// The record's texts, each under its key.
constexpr std::pair<const char*, Known MachineRecord::*> kMachineTexts[] = {
    {"cpu_model", &MachineRecord::cpu_model},
    {"architecture", &MachineRecord::architecture},
    {"logical_cpus", &MachineRecord::logical_cpus},
    {"kernel", &MachineRecord::kernel},
    {"libc", &MachineRecord::libc},
    {"governor", &MachineRecord::governor},
    {"governor_after", &MachineRecord::governor_after},
    {"turbo", &MachineRecord::turbo},
    {"turbo_after", &MachineRecord::turbo_after},
    {"aslr", &MachineRecord::aslr},
    {"load_before", &MachineRecord::load_before},
    {"load_after", &MachineRecord::load_after},
};
constexpr const char* kMachineTick = "clock_tick";

}  // namespace

json machine_json(const MachineRecord& m) {
  json out = json::object();
  // An unread text is written as "unknown", as every format has written it.
  for (const auto& [key, member] : kMachineTexts) out[key] = shown(m.*member);
  out[kMachineTick] = m.clock_tick > 0 ? number(m.clock_tick) : json(nullptr);
  return out;
}

MachineRecord machine_from_json(const json& m) {
  MachineRecord r;
  for (const auto& [key, member] : kMachineTexts) r.*member = known_from(text_of(m, key));
  // A tick that is no length of time the clocks have is unknown (0).
  auto tick = m.is_object() ? m.find(kMachineTick) : m.end();
  const double seconds = tick != m.end() && tick->is_number() ? tick->get<double>() : 0;
  r.clock_tick = std::isfinite(seconds) && seconds > 0 && seconds <= 1 ? seconds : 0;
  return r;
}

}  // namespace compare
