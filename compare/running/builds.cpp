#include "compare/running/builds.h"

#include <fmt/format.h>

#include <filesystem>
#include <set>

#include "compare/running/files.h"
#include "compare/running/process.h"

namespace compare {

namespace {

constexpr std::size_t kFewestBuilds = 2;
constexpr std::size_t kMostBuilds = 16;

// The first place that holds both programs, or empty.
std::string pair_in(const std::string& dir, std::string& random, std::string& fixed) {
  namespace fs = std::filesystem;
  const std::string r_name = std::string("bench_random") + kProgramSuffix;
  const std::string f_name = std::string("bench_fixed") + kProgramSuffix;
  const std::vector<std::pair<fs::path, fs::path>> places = {
      {fs::path(dir) / "bench_random" / r_name, fs::path(dir) / "bench_fixed" / f_name},
      {fs::path(dir) / "bin" / r_name, fs::path(dir) / "bin" / f_name},
      {fs::path(dir) / r_name, fs::path(dir) / f_name}};
  for (const auto& [r, f] : places) {
    if (unrunnable(r.string()).empty() && unrunnable(f.string()).empty()) {
      random = absolute_path(r.lexically_normal().string());
      fixed = absolute_path(f.lexically_normal().string());
      return random;
    }
  }
  return {};
}

}  // namespace

std::string read_build(const std::string& text, BuildSpec& given) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == text.size()) {
    return fmt::format("--build {}: give it as LABEL=DIR or LABEL=RANDOM,FIXED", text);
  }
  given.label = text.substr(0, eq);
  const std::string where = text.substr(eq + 1);
  const std::size_t comma = where.find(',');
  if (comma != std::string::npos) {
    given.random = absolute_path(where.substr(0, comma));
    given.fixed = absolute_path(where.substr(comma + 1));
    const std::string why = pair_unrunnable(given.random, given.fixed);
    return why.empty() ? "" : fmt::format("--build {}: {}", given.label, why);
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(where, ec)) {
    return fmt::format("--build {}: {} is not a directory", given.label, where);
  }
  if (pair_in(where, given.random, given.fixed).empty()) {
    return fmt::format(
        "--build {}: {} holds no bench_random and bench_fixed (looked in bench_random/ and "
        "bench_fixed/, bin/, and the directory itself)",
        given.label, where);
  }
  return {};
}

std::string builds_unusable(const std::vector<BuildSpec>& builds, const std::string& reference) {
  if (builds.size() < kFewestBuilds || builds.size() > kMostBuilds) {
    return fmt::format("--build needs {} to {} builds; {} given", kFewestBuilds, kMostBuilds,
                       builds.size());
  }
  std::set<std::string> labels;
  for (const BuildSpec& b : builds) {
    if (!labels.insert(b.label).second) {
      return fmt::format("--build: the label {} is given twice", b.label);
    }
  }
  if (!reference.empty() && labels.count(reference) == 0) {
    return fmt::format("--reference {}: no build has that label", reference);
  }
  return {};
}

}  // namespace compare
