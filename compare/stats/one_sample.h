// Tests of one sample's centre against 0, as the log ratios of builds in the
// same rounds need them: the sign test within a session, Student's t on the
// session medians across sessions.
#pragma once

#include <optional>
#include <vector>

#include "compare/model.h"

namespace compare {

// Student's one-sample t test that the values' mean is 0, with the mean's
// 95% interval; nullopt for fewer than 2 values. Values that do not vary
// give an interval of their mean alone, and p 0 (1 when the mean is 0).
struct OneSampleT {
  double mean = 0;
  Interval interval;
  double t = 0;
  double df = 0;
  double p = 1;  // two-sided
};
std::optional<OneSampleT> one_sample_t(const std::vector<double>& values);

}  // namespace compare
