// A baseline read back from an earlier JSON export, and how its machine or
// build differs from now.
#include <fmt/format.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "compare/report/parts.h"
#include "compare/report/report.h"

namespace compare {

namespace {

[[noreturn]] void bad_baseline(const std::string& path, const std::string& what) {
  throw std::runtime_error(fmt::format("the baseline {} {}", path, what));
}

std::string text_field(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return "unknown";
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "unknown";
}

Round read_round(const nlohmann::json& j, size_t i, const std::string& path) {
  auto malformed = [&](const std::string& what) {
    bad_baseline(path,
                 fmt::format("has a malformed round (number {} in the file): {}", i + 1, what));
  };
  if (!j.is_object()) malformed("not an object");
  Round r;
  auto index = j.find("index");
  if (index == j.end() || !index->is_number_integer() || index->get<long long>() < 1 ||
      index->get<long long>() > 1000000000) {
    malformed("'index' must be a positive integer");
  }
  r.index = index->get<int>();
  auto first = j.find("first");
  if (first == j.end() || !first->is_string() || (*first != "random" && *first != "fixed")) {
    malformed("'first' must be \"random\" or \"fixed\"");
  }
  r.first = *first == "random" ? Side::Random : Side::Fixed;
  // Exports from before sessions existed hold one session.
  auto session = j.find("session");
  if (session != j.end()) {
    if (!session->is_number_integer() || session->get<long long>() < 1 ||
        session->get<long long>() > 1000000) {
      malformed("'session' must be a positive integer");
    }
    r.session = session->get<int>();
  }
  for (Side side : {Side::Random, Side::Fixed}) {
    auto times = j.find(side_name(side));
    if (times == j.end() || !times->is_array() || times->size() != kTests) {
      malformed(fmt::format("'{}' must be {} times in seconds", side_name(side), kTests));
    }
    for (int t = 0; t < kTests; ++t) {
      const nlohmann::json& value = times->at(t);
      double s = value.is_number() ? value.get<double>() : -1;
      if (!std::isfinite(s) || s < 0) {
        malformed(fmt::format("'{}' must be {} times in seconds", side_name(side), kTests));
      }
      (side == Side::Random ? r.random : r.fixed).at(t) = s;
    }
  }
  return r;
}

}  // namespace

MachineRecord machine_from_json(const nlohmann::json& m) {
  MachineRecord r;
  r.cpu_model = text_field(m, "cpu_model");
  r.logical_cpus = text_field(m, "logical_cpus");
  r.kernel = text_field(m, "kernel");
  r.libc = text_field(m, "libc");
  r.governor = text_field(m, "governor");
  r.governor_after = text_field(m, "governor_after");
  r.turbo = text_field(m, "turbo");
  r.turbo_after = text_field(m, "turbo_after");
  r.aslr = text_field(m, "aslr");
  r.load_before = text_field(m, "load_before");
  r.load_after = text_field(m, "load_after");
  auto tick = m.find("clock_tick");
  r.clock_tick = tick != m.end() && tick->is_number() ? tick->get<double>() : 0;
  return r;
}

void programs_from_json(const nlohmann::json& programs, ProgramRecord& random,
                        ProgramRecord& fixed) {
  const nlohmann::json empty = nlohmann::json::object();
  for (Side side : {Side::Random, Side::Fixed}) {
    const nlohmann::json& p =
        programs.contains(side_name(side)) && programs[side_name(side)].is_object()
            ? programs[side_name(side)]
            : empty;
    ProgramRecord& record = side == Side::Random ? random : fixed;
    std::string program_path = text_field(p, "path");
    record.path = program_path == "unknown" ? "" : program_path;
    record.compiler = text_field(p, "compiler");
  }
}

Baseline read_baseline(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    bad_baseline(path, "cannot be read: it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) bad_baseline(path, fmt::format("cannot be read: {}", std::strerror(errno)));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) bad_baseline(path, "cannot be read");

  nlohmann::json j;
  try {
    j = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    bad_baseline(path, fmt::format("is not JSON (error at byte {})", e.byte));
  }
  if (!j.is_object()) bad_baseline(path, "is not a bench_compare JSON export");
  auto rounds = j.find("rounds");
  if (rounds == j.end() || !rounds->is_array() || rounds->empty()) {
    bad_baseline(path, "has no rounds");
  }

  Baseline base;
  for (size_t i = 0; i < rounds->size(); ++i)
    base.rounds.push_back(read_round((*rounds)[i], i, path));

  // The record only adds notes; an export with parts of it missing still serves.
  const nlohmann::json empty = nlohmann::json::object();
  auto part = [&](const nlohmann::json& object, const char* key) -> const nlohmann::json& {
    auto it = object.find(key);
    return it != object.end() && it->is_object() ? *it : empty;
  };
  const nlohmann::json& m = part(j, "machine");
  base.machine = machine_from_json(m);

  const nlohmann::json& programs = part(j, "programs");
  programs_from_json(programs, base.random, base.fixed);
  return base;
}

std::vector<std::string> baseline_notes(const Comparison& now, const Baseline& base) {
  // An unread value says nothing about a difference, so it makes no note.
  auto differs = [](const std::string& a, const std::string& b) {
    return a != b && a != "unknown" && b != "unknown";
  };
  std::vector<std::string> notes;
  if (differs(now.machine.cpu_model, base.machine.cpu_model)) {
    notes.push_back(fmt::format("The baseline was made on another processor: {} (now {}).",
                                base.machine.cpu_model, now.machine.cpu_model));
  }
  if (differs(now.random.compiler, base.random.compiler)) {
    notes.push_back(
        fmt::format("The baseline's bench_random was built by another compiler: {} (now {}).",
                    base.random.compiler, now.random.compiler));
  }
  if (differs(now.fixed.compiler, base.fixed.compiler)) {
    notes.push_back(
        fmt::format("The baseline's bench_fixed was built by another compiler: {} (now {}).",
                    base.fixed.compiler, now.fixed.compiler));
  }
  if (differs(now.machine.kernel, base.machine.kernel)) {
    notes.push_back(fmt::format("The baseline ran under another kernel: {} (now {}).",
                                base.machine.kernel, now.machine.kernel));
  }
  return notes;
}

}  // namespace compare
