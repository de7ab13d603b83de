// The findings of a proof as text, as a verdict line and as JSON.
#pragma once

#include <string>
#include <vector>

#include "compare/proof/work.h"

namespace compare {

std::string describe(const ProgramWork& work);
std::string verdict(const std::vector<ProgramWork>& programs);
std::string findings_json(const std::vector<ProgramWork>& programs);

}  // namespace compare
