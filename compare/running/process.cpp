// What running a program means on every system: its scratch directory and
// the files it leaves there, the run's environment, the checks before the
// first run and the scheduler's figures as Linux writes them. Starting,
// watching and ending a run are in process_posix.cpp and process_windows.cpp.
#include "compare/running/process.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "compare/running/files.h"

namespace compare {
namespace {

// "%DIR%" in a value stands for the run's directory.
std::string expand(std::string text, const std::string& dir) {
  const std::string token = "%DIR%";
  for (std::size_t at = text.find(token); at != std::string::npos;
       at = text.find(token, at + dir.size())) {
    text.replace(at, token.size(), dir);
  }
  return text;
}

// Puts the request's inputs into the run's directory; why not, or empty.
std::string place_inputs(const RunRequest& request, const ScratchDir& dir) {
  for (const auto& [name, text] : request.inputs) {
    const std::string why = write_text(dir.file(name), text);
    if (!why.empty()) return fmt::format("cannot write {}: {}", dir.file(name), why);
  }
  namespace fs = std::filesystem;
  for (const auto& [name, source] : request.links) {
    const fs::path to = fs::u8path(dir.file(name));
    std::error_code error;
    fs::create_symlink(fs::u8path(absolute_path(source)), to, error);
    if (error) fs::copy_file(fs::u8path(source), to, error);  // no links here
    if (error) return fmt::format("cannot put {} into {}: {}", source, dir.path(), error.message());
  }
  return {};
}

// Drops the front of `text` beyond `keep` bytes, never in the middle of a
// UTF-8 character; the bytes dropped.
std::size_t keep_tail(std::string& text, std::size_t keep) {
  if (text.size() <= keep) return 0;
  std::size_t cut = text.size() - keep;
  for (int i = 0; i < 3 && cut < text.size() && (text[cut] & 0xC0) == 0x80; ++i) ++cut;
  text.erase(0, cut);
  return cut;
}

void finish_error(RunOutcome& outcome) {
  outcome.err_dropped += keep_tail(outcome.err, kErrorTail);
}

}  // namespace

void keep_output(RunOutcome& outcome, const char* data, std::size_t size) {
  const std::size_t room = kMaxOutput - std::min(outcome.out.size(), kMaxOutput);
  outcome.out.append(data, std::min(size, room));
  if (size > room) outcome.out_overflowed = true;
}

void keep_error(RunOutcome& outcome, const char* data, std::size_t size) {
  outcome.err.append(data, size);
  // Trimmed only now and then, so that keeping the tail costs little per byte.
  if (outcome.err.size() >= 2 * kErrorTail)
    outcome.err_dropped += keep_tail(outcome.err, kErrorTail);
}

std::vector<std::string> run_environment(const std::vector<std::string>& base,
                                         const std::vector<std::string>& settings,
                                         const std::string& dir) {
  std::vector<std::string> env = base;
  for (const std::string& setting : settings) {
    const std::string value = expand(setting, dir);
    const std::string name = value.substr(0, value.find('=') + 1);
    bool replaced = false;
    for (std::string& existing : env) {
      if (existing.compare(0, name.size(), name) == 0) {
        existing = value;
        replaced = true;
      }
    }
    if (!replaced) {
      env.push_back(value);
    }
  }
  return env;
}

RunOutcome run_in_scratch(const RunRequest& request) {
  RunOutcome outcome;
  if (interrupted()) {
    outcome.end = RunOutcome::End::Interrupted;
    return outcome;
  }
  const ScratchDir dir("bench-compare");
  if (dir.path().empty()) {
    outcome.error = "cannot make a temporary directory: " + dir.error();
    return outcome;
  }
  outcome.error = place_inputs(request, dir);
  if (!outcome.error.empty()) return outcome;
  run_in_dir(request, dir.path(), outcome);
  finish_error(outcome);
  for (const std::string& name : request.files) {
    bool found = false;
    std::string text = read_whole(dir.file(name), found);
    if (found) outcome.files.emplace(name, std::move(text));
  }
  return outcome;
}

std::string read_whole(const std::string& path, bool& found) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  found = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<double> runqueue_wait(const std::string& schedstat) {
  // "run-time wait-time timeslices", both times in nanoseconds.
  std::istringstream fields(schedstat);
  unsigned long long ran = 0;
  unsigned long long waited = 0;
  if (!(fields >> ran >> waited)) {
    return std::nullopt;
  }
  return static_cast<double>(waited) * 1e-9;
}

std::string pair_unrunnable(const std::string& random, const std::string& fixed) {
  for (const auto& [role, path] :
       {std::pair{"bench_random", random}, std::pair{"bench_fixed", fixed}}) {
    const std::string why = unrunnable(path);
    if (!why.empty()) {
      std::string message = "cannot run ";
      message.append(role).append(" at ").append(path).append(": ").append(why);
      return message;
    }
  }
  return {};
}

}  // namespace compare
