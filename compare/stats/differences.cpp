#include "compare/stats/differences.h"

#include <fmt/format.h>

#include <array>
#include <cstddef>
#include <nlohmann/json.hpp>

namespace compare {

namespace {

// Each kind of difference: its name in a sentence, and why times across it
// are not comparable (empty where they are).
struct DifferenceKind {
  const char* noun;
  const char* why_not;
};

constexpr const char* kArchitecturesApart = "times from different architectures are not comparable";

constexpr std::array<DifferenceKind, 9> kDifferenceKinds = {{
    {"processor", ""},
    {"bench_random compiler", ""},
    {"bench_fixed compiler", ""},
    {"program architecture", kArchitecturesApart},
    {"machine architecture", kArchitecturesApart},
    {"kernel", ""},
    {"system",
     "times from different systems are not comparable (each has its own C library's rand, fmod "
     "and fmodl)"},
    {"bench_compare version", ""},
    {"method", ""},
}};

const DifferenceKind& difference_kind(Aspect aspect) {
  return kDifferenceKinds.at(static_cast<std::size_t>(aspect));
}

std::string known_value(const std::string& value) { return value == "unknown" ? "" : value; }
std::string known_value(const Known& value) { return value.value_or(""); }

// "Linux" or "Windows" from a kernel's record; empty when neither.
std::string system_name(const Known& kernel) {
  if (!kernel) return "";
  const std::string first = kernel->substr(0, kernel->find(' '));
  return first == "Linux" || first == "Windows" ? first : "";
}

// The keys of two methods whose values differ, compared as JSON values (so
// 1 and 1.0 are one number); the seed is each comparison's own.
std::string method_keys_apart(const nlohmann::json& a, const nlohmann::json& b) {
  if (!a.is_object() || !b.is_object()) return a == b ? "" : "method";
  std::string keys;
  const auto note = [&](const std::string& key) { keys += (keys.empty() ? "" : ", ") + key; };
  for (const auto& [key, value] : a.items()) {
    if (key == "seed") continue;
    const auto there = b.find(key);
    if (there == b.end() || *there != value) note(key);
  }
  for (const auto& [key, value] : b.items()) {
    if (key != "seed" && !a.contains(key)) note(key);
  }
  return keys;
}

}  // namespace

bool not_comparable(Aspect aspect) { return *difference_kind(aspect).why_not != '\0'; }

std::string value_of(const Record& record, Aspect aspect) {
  switch (aspect) {
    case Aspect::Processor:
      return known_value(record.machine.cpu_model);
    case Aspect::RandomCompiler:
      return known_value(record.random.compiler);
    case Aspect::FixedCompiler:
      return known_value(record.fixed.compiler);
    case Aspect::ProgramArchitecture:
      return known_value(pair_architecture(record.random, record.fixed));
    case Aspect::MachineArchitecture:
      return known_value(record.machine.architecture);
    case Aspect::Kernel:
      return known_value(record.machine.kernel);
    case Aspect::System:
      return system_name(record.machine.kernel);
    case Aspect::Version:
      return known_value(record.version);
    case Aspect::Method:
      break;
  }
  return "";
}

std::vector<Difference> differences(const Record& record, const Record& reference) {
  std::vector<Difference> found;
  for (std::size_t i = 0; i < kDifferenceKinds.size(); ++i) {
    const auto aspect = static_cast<Aspect>(i);
    if (aspect == Aspect::Method) {
      if (record.method == nullptr || reference.method == nullptr) continue;
      std::string keys = method_keys_apart(*record.method, *reference.method);
      if (!keys.empty()) found.push_back({aspect, keys, keys, false});
      continue;
    }
    std::string value = value_of(record, aspect);
    std::string ref = value_of(reference, aspect);
    if (value.empty() || ref.empty() || value == ref) continue;
    found.push_back({aspect, std::move(value), std::move(ref), not_comparable(aspect)});
  }
  return found;
}

std::string sentence(const Difference& difference, const Frame& frame) {
  const DifferenceKind& kind = difference_kind(difference.aspect);
  std::string text = fmt::format("{} {} {} {} ({}{})", frame.lead, kind.noun, frame.is,
                                 difference.value, frame.other, difference.reference);
  if (*kind.why_not != '\0') text += fmt::format("; {}", kind.why_not);
  return text;
}

std::string sentence_among(Aspect aspect, const std::vector<std::string>& values,
                           const std::string& lead) {
  const DifferenceKind& kind = difference_kind(aspect);
  std::string text = fmt::format("{} {} differs ({})", lead, kind.noun, fmt::join(values, "; "));
  if (*kind.why_not != '\0') text += fmt::format("; {}", kind.why_not);
  return text;
}

}  // namespace compare
