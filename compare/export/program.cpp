#include "compare/export/program.h"

#include "compare/export/fields.h"
#include "compare/export/tests.h"

namespace compare {

using nlohmann::json;

namespace {

constexpr const char* kProgramPath = "path";
constexpr const char* kProgramCompiler = "compiler";
constexpr const char* kProgramArchitecture = "architecture";
constexpr const char* kBuildLabel = "label";
constexpr const char* kBuildTests = "tests";

ProgramRecord& program_of(Side side, ProgramRecord& random, ProgramRecord& fixed) {
  return side == Side::Random ? random : fixed;
}

}  // namespace

json program_json(const ProgramRecord& p) {
  return {{kProgramPath, p.path},
          {kProgramCompiler, shown(p.compiler)},
          {kProgramArchitecture, shown(p.architecture)}};
}

json programs_json(const ProgramRecord& random, const ProgramRecord& fixed) {
  return {{side_name(Side::Random), program_json(random)},
          {side_name(Side::Fixed), program_json(fixed)}};
}

void programs_from_json(const json& programs, ProgramRecord& random, ProgramRecord& fixed) {
  for (Side side : {Side::Random, Side::Fixed}) {
    const json& p = part(programs, side_name(side));
    ProgramRecord& record = program_of(side, random, fixed);
    const std::string path = text_of(p, kProgramPath);
    record.path = path == "unknown" ? "" : path;
    record.compiler = known_from(text_of(p, kProgramCompiler));
    record.architecture = known_from(text_of(p, kProgramArchitecture));
  }
}

json build_json(const Build& b) {
  json build = {{kBuildLabel, b.label}, {kBuildTests, tests_json(b.tests)}};
  for (Side side : {Side::Random, Side::Fixed}) {
    const ProgramRecord& p = side == Side::Random ? b.random : b.fixed;
    build[side_name(side)] = p.path;
    build[kProgramCompiler][side_name(side)] = shown(p.compiler);
    build[kProgramArchitecture][side_name(side)] = shown(p.architecture);
  }
  return build;
}

std::string build_from_json(const json& build, ProgramRecord& random, ProgramRecord& fixed) {
  for (Side side : {Side::Random, Side::Fixed}) {
    // An export made before architectures were recorded reads as unknown.
    program_of(side, random, fixed) = {
        text_of(build, side_name(side), ""),
        known_from(text_of(part(build, kProgramCompiler), side_name(side))),
        known_from(text_of(part(build, kProgramArchitecture), side_name(side)))};
  }
  return text_of(build, kBuildLabel, "");
}

std::string build_key(const json& build) {
  auto label = build.is_object() ? build.find(kBuildLabel) : build.end();
  return label != build.end() && label->is_string() ? label->get<std::string>() : "";
}

}  // namespace compare
