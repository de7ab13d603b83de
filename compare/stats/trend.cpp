// Mann-Kendall's S by sorting once: of all n(n-1)/2 pairs, those tied count
// neither way and the discordant ones are the inversions that a merge sort
// counts, so S = pairs - tied - 2 * discordant. Every pair visited would
// take minutes for a run of a million rounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "compare/stats/statistical_tests.h"

namespace compare {

namespace {

// Merges the sorted runs values[lo, mid) and values[mid, hi) into `out`,
// returning how many pairs, one from each, hold a larger value on the left;
// equal values are never counted.
std::int64_t merge_counting(const std::vector<double>& values, std::size_t lo, std::size_t mid,
                            std::size_t hi, std::vector<double>& out) {
  std::int64_t count = 0;
  std::size_t i = lo;
  std::size_t j = mid;
  std::size_t k = lo;
  while (i < mid && j < hi) {
    if (values[j] < values[i]) {
      count += static_cast<std::int64_t>(mid - i);  // every left value still waiting is larger
      out[k++] = values[j++];
    } else {
      out[k++] = values[i++];
    }
  }
  while (i < mid) out[k++] = values[i++];
  while (j < hi) out[k++] = values[j++];
  return count;
}

// Sorts the values, returning how many pairs i < j held values[i] > values[j]:
// runs of 1, 2, 4, ... merged in turn.
std::int64_t sort_counting_inversions(std::vector<double>& values) {
  const std::size_t n = values.size();
  std::vector<double> merged(n);
  std::int64_t count = 0;
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, n);
      const std::size_t hi = std::min(lo + 2 * width, n);
      count += merge_counting(values, lo, mid, hi, merged);
    }
    values.swap(merged);
  }
  return count;
}

}  // namespace

std::int64_t mann_kendall_s(const std::vector<double>& values, std::vector<double>* sorted) {
  std::vector<double> order = values;
  const std::int64_t discordant = sort_counting_inversions(order);
  const auto n = static_cast<std::int64_t>(order.size());
  std::int64_t tied = 0;
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i + 1;
    while (j < order.size() && order[j] == order[i]) ++j;
    const auto run = static_cast<std::int64_t>(j - i);
    tied += run * (run - 1) / 2;
    i = j;
  }
  if (sorted != nullptr) *sorted = std::move(order);
  return n * (n - 1) / 2 - tied - 2 * discordant;
}

}  // namespace compare
