#include "compare/running/several_sessions.h"

#include <fmt/format.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "compare/running/process.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/statistical_tests.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Keeps the result of one session; false when the comparison must stop.
bool keep(ScheduleResult& result, int index, const std::string& started_at,
          const SessionResult& session) {
  if (!session.rounds.empty()) {
    SessionRecord record;
    record.index = index;
    record.started_at = started_at;
    record.rounds = session.rounds;
    for (Round& round : record.rounds) round.session = index;
    record.tests = summarise(record.rounds);
    result.sessions.push_back(std::move(record));
  }
  result.notes.insert(result.notes.end(), session.notes.begin(), session.notes.end());
  for (Round round : session.warmup) {
    round.session = index;
    result.warmup.push_back(round);
  }
  result.counters.insert(session.counters.begin(), session.counters.end());
  result.counters_unavailable.insert(session.counters_unavailable.begin(),
                                     session.counters_unavailable.end());
  result.failure = session.failure;
  result.interrupted = session.interrupted;
  return session.failure.empty();
}

std::vector<std::vector<Round>> rounds_of(const std::vector<SessionRecord>& sessions) {
  std::vector<std::vector<Round>> rounds;
  rounds.reserve(sessions.size());
  for (const SessionRecord& s : sessions) rounds.push_back(s.rounds);
  return rounds;
}

}  // namespace

std::string iso8601_utc(std::time_t when) {
  std::tm utc{};
  if (gmtime_r(&when, &utc) == nullptr) return "unknown";
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return n == 0 ? "unknown" : std::string(text, n);
}

ScheduleResult run_sessions(const SessionOptions& options, const ScheduleOptions& schedule) {
  ScheduleResult result;
  const auto started = Clock::now();
  if (schedule.sessions <= 1) {
    const std::string at = iso8601_utc(std::time(nullptr));
    keep(result, 1, at, run_session(options));
    return result;
  }

  SessionOptions each = options;
  each.precision.reset();  // the goal is met by adding sessions
  each.sessions = options.precision ? 0 : schedule.sessions;
  each.pause = schedule.pause;
  double longest = 0;  // seconds of the longest session so far
  for (int index = 1;; ++index) {
    if (index > schedule.sessions) {
      if (!options.precision) break;
      std::vector<std::string> short_of;
      if (precise_enough(summarise_sessions(rounds_of(result.sessions)), *options.precision,
                         short_of)) {
        break;
      }
      // Another session only when it is likely to end in time.
      const double elapsed = seconds_since(started);
      if (elapsed + schedule.pause + longest > options.max_time) {
        for (const std::string& test : short_of) {
          result.notes.push_back(fmt::format(
              "The {} test fell short of the precision goal: after {} sessions and {:.0f} s its "
              "interval across sessions is wider than {:g}% of its median difference.",
              test, result.sessions.size(), elapsed, *options.precision));
        }
        break;
      }
    }
    if (index > 1) {
      if (options.progress) {
        (void)std::fputs(
            fmt::format("\r\033[Kpausing {:g} s before session {}", schedule.pause, index).c_str(),
            stderr);
        (void)std::fflush(stderr);
      }
      const bool idled = idle_unless_interrupted(schedule.pause);
      if (options.progress) (void)std::fputs("\r\033[K", stderr);
      if (!idled) {
        result.interrupted = true;
        result.failure = fmt::format("interrupted in the pause before session {}", index);
        break;
      }
    }
    each.session = index;
    // Each session draws its own block orders, repeatable from the one seed.
    each.seed = options.seed + static_cast<std::uint64_t>(index - 1) * 0x9E3779B97F4A7C15ULL;
    each.elapsed_before = seconds_since(started);
    const std::string at = iso8601_utc(std::time(nullptr));
    const auto session_start = Clock::now();
    const SessionResult session = run_session(each);
    longest = std::max(longest, seconds_since(session_start));
    if (!keep(result, index, at, session)) break;
  }
  return result;
}

}  // namespace compare
