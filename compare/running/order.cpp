#include "compare/running/order.h"

#include <utility>

namespace compare {

std::vector<Slot> listed_order(std::size_t builds) {
  std::vector<Slot> order;
  for (std::size_t b = 0; b < builds; ++b) {
    order.push_back({b, Side::Random});
    order.push_back({b, Side::Fixed});
  }
  return order;
}

std::vector<Slot> drawn_order(std::size_t builds, std::mt19937_64& draw) {
  std::vector<Slot> order = listed_order(builds);
  // The modulo's bias is below 2^-58 for at most 32 slots.
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    const std::size_t j = i + static_cast<std::size_t>(draw() % (order.size() - i));
    std::swap(order[i], order[j]);
  }
  return order;
}

}  // namespace compare
