// The machine's record as the export stores it: each of its texts under its
// own key, and the clock's tick in seconds.
#pragma once

#include <nlohmann/json.hpp>

#include "compare/model.h"

namespace compare {

// The record; a tick not known (0) is null.
nlohmann::json machine_json(const MachineRecord& m);

// The record as machine_json wrote it; what is missing or not text is
// "unknown", a tick that is no length of time the clocks have is 0. Texts
// are printable.
MachineRecord machine_from_json(const nlohmann::json& machine);

}  // namespace compare
