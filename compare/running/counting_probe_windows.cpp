// On Windows nothing preloads a library into a program: the counting probe
// never enters one.
#include "compare/running/counting_probe.h"

namespace compare {

std::string counting_unsupported(const std::string& /*program*/) {
  return "only Linux's dynamic linker preloads the counting probe into a program";
}

}  // namespace compare
