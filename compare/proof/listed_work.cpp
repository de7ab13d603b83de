#include "compare/proof/listed_work.h"

namespace compare {

Listed listed(Side side, int window, const std::string& arch) {
  const bool binary128 = arch == "aarch64";
  const int widths[] = {8, binary128 ? 16 : 10, 2};
  const long long b = protocol::kArrayBytes.at(static_cast<std::size_t>(window - 1));
  const int w = widths[window - 1];
  const char* const k_slots = binary128 ? "every slot K, all 16 bytes of it"
                                        : "every slot K in its first 10 bytes, the rest untouched";
  if (side == Side::Random) {
    switch (window) {
      case 1:
        return {b, w, kN, kN, 0, "N", "RFS", "every element -5368676351 - (its draw mod 127)"};
      case 2:
        return {b, w, kN, 0, kN, "N", "RLS", k_slots};
      default:
        return {b, w, kN, 0, 0, "N", "SR", "every element 65 ('A')"};
    }
  }
  switch (window) {
    case 1:
      return {b, w, 0, 1, 0, "NF", "S", "every element -5368676358"};
    case 2:
      return {b, w, 0, 0, 1, "NL", "S", k_slots};
    default:
      return {b, w, 0, 0, 1, "NL", "S", "every element 59 (';')"};
  }
}

bool contents_as_listed(Side side, int window, const std::string& summary) {
  switch (window) {
    case 1:
      if (side == Side::Random) {
        // Each element is checked against its own draw.
        const std::string tail = " draw_mismatches=0";
        return summary.rfind("integer ", 0) == 0 && summary.size() > tail.size() &&
               summary.compare(summary.size() - tail.size(), tail.size(), tail) == 0;
      }
      return summary == "integer min=-5368676358 max=-5368676358 draw_mismatches=-1";
    case 2:
      return summary == "float not_k=0 tail_touched=0";
    default:
      return summary == (side == Side::Random ? "dna min=65 max=65" : "dna min=59 max=59");
  }
}

const char* event_name(char kind) {
  switch (kind) {
    case 'N':
      return "allocation";
    case 'D':
      return "release";
    case 'R':
      return "draw";
    case 'F':
      return "fmod";
    case 'L':
      return "fmodl";
    case 'S':
      return "store";
    case 'r':
      return "read of the array";
    case 'O':
      return "output";
    case 'M':
      return "malloc";
    case 'X':
      return "free";
    case 'n':
      return "new";
    case 'd':
      return "delete";
    case 's':
      return "srand";
    case 't':
      return "time";
    default:
      return "call";
  }
}

}  // namespace compare
