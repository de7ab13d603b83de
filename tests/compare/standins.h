// Stand-ins for the pair: shell scripts that write the pair's documents with
// planned times (and, on a chosen run, a chosen misbehaviour), so that every
// figure bench_compare derives from them is known in advance.
#pragma once

#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "../support.h"

namespace standins {

using nlohmann::json;

// Round r's position a(r), a permutation of 0..19 without a trend, so that
// every order statistic below is worked out by hand from a alone.
inline int position(int round) { return (7 * round) % 20; }

inline constexpr double kUnit = 0.0001;
inline constexpr double kRandomBase[3] = {0.1, 0.05, 0.014};
inline constexpr double kFixedBase[3] = {0.005, 0.01, 0.001};

// random = R + 2u*a and fixed = F + u*a, so d = R - F + u*a: with a running
// over 0..19, medians sit at a = 9.5, the 95% interval (k = 6) at a = 5 and
// 14, the random MAD is 10u and the fixed MAD 5u.
inline std::string times_line(bool random, int round) {
  std::ostringstream line;
  for (int t = 0; t < 3; ++t) {
    const double a = position(round);
    line << (t ? " " : "") << (random ? kRandomBase[t] + 2 * kUnit * a : kFixedBase[t] + kUnit * a);
  }
  return line.str();
}

inline constexpr const char* kScript = R"(#!/bin/sh
state="$STANDIN_STATE"
n=$(( $(cat "$state/ROLE.count" 2>/dev/null || echo 0) + 1 ))
echo $n > "$state/ROLE.count"
echo ROLE >> "$state/order"
grep Cpus_allowed_list /proc/$$/status >> "$state/ROLE.cpus" 2>/dev/null
# Past the end of its plan a stand-in starts again after the warm-up line, so
# that however many rounds fit into a time limit, none runs out of times.
lines=$(wc -l < "$state/ROLE.times")
line=$n
[ "$n" -le "$lines" ] || [ "$lines" -lt 2 ] || line=$(( (n - 2) % (lines - 1) + 2 ))
set -- $(sed -n "${line}p" "$state/ROLE.times")
# Hangs outlast every timeout and wait of the tests: only a kill ends them.
case "$4" in
  exit3) echo "stand-in trouble" >&2; echo "second line" >&2; exit 3 ;;
  signal) kill -SEGV $$ ;;
  hang) sleep 600 & echo $! > "$state/sleeper"; wait; exit 0 ;;
  closed) exec >&- 2>&-; sleep 600 ;;
  noisy) head -c 20000000 /dev/zero | tr '\0' e >&2; exit 3 ;;
  flood) head -c 100000000 /dev/zero ;;
  latin1) printf 'caf\351 \233\n' >&2; exit 3 ;;
esac
{
  printf 'Stand-in ROLE\n\n\n'
  printf '1. Numeric Simulation. <Integer>\n\nIt spends: %s Secs\nIt is:     1 M Executions/Secs\n\n' "$1"
  printf '2. Numeric Simulation. <Float>\n\nIt spends: %s Secs\nIt is:     1 M Executions/Secs\n\n' "$2"
  printf '3. DNA Simulation. <Logic>\n\nIt spends: %s Secs\nIt is:     1 M Executions/Secs\n' "$3"
} > FILE
case "$4" in
  short) head -n 16 FILE > cut && mv cut FILE ;;
  malformed) sed -i 's/It spends: [^ ]*/It spends: fast/' FILE ;;
  disagree) set -- "$1" "0.5" "$3" ;;
  lingers) sleep 600 & ;;
esac
printf 'It spends: %s Secs\n' "$1" "$2" "$3"
[ "$4" != late3 ] || exit 3
)";

inline std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Two stand-ins and their state: the times each run prints, line by line
// (warm-up first), with an optional behaviour as a fourth word.
class StandIns {
 public:
  StandIns() {
    for (const char* role : {"random", "fixed"}) {
      std::string script = replace_all(kScript, "ROLE", role);
      script = replace_all(script, "FILE",
                           std::string(role) == "random" ? "results_complex_32.txt"
                                                         : "results_complex_contrast_32.txt");
      support::write_file(path(role), script);
      chmod(path(role).c_str(), 0755);
    }
    std::filesystem::create_directory(tmp());
  }
  std::string path(const std::string& role) const { return dir_.file(role); }
  std::string tmp() const { return dir_.file("tmp"); }
  std::string state(const std::string& name) const { return support::read_file(dir_.file(name)); }

  // Writes each program's lines for `rounds` counted rounds after one warm-up;
  // `trouble` puts a behaviour on the given program's run number (1 = warm-up).
  void plan(int rounds, const std::string& role = "", int run = 0,
            const std::string& trouble = "") {
    for (const bool random : {true, false}) {
      const std::string name = random ? "random" : "fixed";
      std::string lines = "9 9 9\n";  // the warm-up: counted nowhere
      for (int r = 1; r <= rounds + 2; ++r) {
        lines += times_line(random, r);
        lines += name == role && r + 1 == run ? " " + trouble + "\n" : "\n";
      }
      if (name == role && run == 1) {
        lines = fmt::format("9 9 9 {}\n{}", trouble, lines.substr(6));
      }
      support::write_file(dir_.file(name + ".times"), lines);
    }
  }

  support::RunResult compare(std::vector<std::string> args, std::vector<std::string> prefix = {},
                             const std::vector<std::string>& env = {}) const {
    support::RunOptions options{dir_.path};
    options.args = {"--random", path("random"), "--fixed", path("fixed")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"STANDIN_STATE=" + dir_.path, "TMPDIR=" + tmp()};
    options.env.insert(options.env.end(), env.begin(), env.end());
    options.prefix = std::move(prefix);
    return support::run(BENCH_COMPARE, options);
  }

  // Starts bench_compare in a process group of its own, output discarded.
  pid_t start(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {BENCH_COMPARE, "--random", path("random"), "--fixed",
                                     path("fixed")};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      setenv("STANDIN_STATE", dir_.path.c_str(), 1);
      setenv("TMPDIR", tmp().c_str(), 1);
      exec(argv);
    }
    setpgid(pid, pid);  // so that the group exists before it is signalled
    return pid;
  }

  // Runs bench_compare with standard error on a terminal of its own (standard
  // output to /dev/null) and returns what the terminal showed.
  std::string on_terminal(std::vector<std::string> args) const {
    std::vector<std::string> argv = {BENCH_COMPARE, "--random", path("random"), "--fixed",
                                     path("fixed")};
    argv.insert(argv.end(), args.begin(), args.end());
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      setenv("STANDIN_STATE", dir_.path.c_str(), 1);
      exec(argv);
    }
    std::string screen;
    char buffer[4096];
    for (ssize_t n = 0; (n = read(master, buffer, sizeof buffer)) > 0;) {
      screen.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    return screen;
  }

  [[noreturn]] static void exec(std::vector<std::string>& argv) {
    std::vector<char*> raw;
    raw.reserve(argv.size() + 1);
    for (std::string& a : argv) {
      raw.push_back(a.data());
    }
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }

  json read_json(const std::string& name) const {
    return json::parse(support::read_file(dir_.file(name)));
  }
  std::string file(const std::string& name) const { return dir_.file(name); }
  bool tmp_is_empty() const { return std::filesystem::is_empty(tmp()); }

 private:
  support::TempDir dir_;
};

}  // namespace standins
