// The programs under test, for suites that run each of them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support.h"

struct Program {
  std::string name;
  std::string path;
  const support::Texts* texts;
};

inline void PrintTo(const Program& program, std::ostream* out) { *out << program.name; }

inline std::string program_name(const ::testing::TestParamInfo<Program>& info) {
  return info.param.name;
}

inline const Program kRandomProgram{"bench_random", BENCH_RANDOM, &support::kRandomTexts};
inline const Program kFixedProgram{"bench_fixed", BENCH_FIXED, &support::kFixedTexts};

#define BENCH_PROGRAMS ::testing::Values(kRandomProgram, kFixedProgram)
