// Reading a run's times from the documents it wrote: the programs' own
// interface, so bench_compare needs no agreement with them beyond their layout.
#pragma once

#include <optional>
#include <string>

#include "compare/model.h"

namespace compare {

// The results file each program writes in its working directory.
constexpr const char* kRandomResults = "results_complex_32.txt";
constexpr const char* kFixedResults = "results_complex_contrast_32.txt";

// The three spend times of a results file that holds the whole 17-line
// document, each equal to the one the console showed; otherwise nullopt and
// `error` says what is wrong.
std::optional<Times> read_times(const std::string& results, const std::string& console,
                                std::string& error);

}  // namespace compare
