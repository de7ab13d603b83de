// The proof of the measured work: each program runs once under the probe in
// a scratch directory, and its record is held against the work listed for
// it, window by window.
#include "compare/verify.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>

#include "compare/document.h"
#include "compare/files.h"
#include "compare/process.h"

namespace compare {
namespace {

constexpr long kN = 1000000;
constexpr const char* kRecord = "probe-record.txt";
constexpr int kWiderThanAny = 65;  // the probe's slot for stores wider than 64 bytes

// The work listed for one window of one program.
struct Listed {
  long long bytes;
  int width;  // bytes per store
  long draws, fmod, fmodl;
  std::string prefix, unit;  // the calls and stores in order: prefix, unit per execution, "D"
  const char* contents;      // the values as words
};

// The Float test's store is the x87's 10 bytes on x86-64 and a whole
// 16-byte binary128 on AArch64 (`arch`, as the probe names it).
Listed listed(Side side, int window, const std::string& arch) {
  static const long long bytes[] = {8000000, 16000000, 2000000};
  const bool binary128 = arch == "aarch64";
  const int widths[] = {8, binary128 ? 16 : 10, 2};
  const long long b = bytes[window - 1];
  const int w = widths[window - 1];
  const char* const k_slots = binary128 ? "every slot K, all 16 bytes of it"
                                        : "every slot K in its first 10 bytes, the rest untouched";
  if (side == Side::Random) {
    switch (window) {
      case 1:
        return {b, w, kN, kN, 0, "N", "RFS", "every element -5368676351 - (its draw mod 127)"};
      case 2:
        return {b, w, kN, 0, kN, "N", "RLS", k_slots};
      default:
        return {b, w, kN, 0, 0, "N", "SR", "every element 65 ('A')"};
    }
  }
  switch (window) {
    case 1:
      return {b, w, 0, 1, 0, "NF", "S", "every element -5368676358"};
    case 2:
      return {b, w, 0, 0, 1, "NL", "S", k_slots};
    default:
      return {b, w, 0, 0, 1, "NL", "S", "every element 59 (';')"};
  }
}

bool contents_as_listed(Side side, int window, const std::string& summary) {
  switch (window) {
    case 1:
      if (side == Side::Random) {
        // Each element is checked against its own draw.
        const std::string tail = " draw_mismatches=0";
        return summary.rfind("integer ", 0) == 0 && summary.size() > tail.size() &&
               summary.compare(summary.size() - tail.size(), tail.size(), tail) == 0;
      }
      return summary == "integer min=-5368676358 max=-5368676358 draw_mismatches=-1";
    case 2:
      return summary == "float not_k=0 tail_touched=0";
    default:
      return summary == (side == Side::Random ? "dna min=65 max=65" : "dna min=59 max=59");
  }
}

const char* event_name(char kind) {
  switch (kind) {
    case 'N':
      return "allocation";
    case 'D':
      return "release";
    case 'R':
      return "draw";
    case 'F':
      return "fmod";
    case 'L':
      return "fmodl";
    case 'S':
      return "store";
    case 'r':
      return "read of the array";
    case 'O':
      return "output";
    case 'M':
      return "malloc";
    case 'X':
      return "free";
    case 'n':
      return "new";
    case 'd':
      return "delete";
    case 's':
      return "srand";
    case 't':
      return "time";
    default:
      return "call";
  }
}

std::map<std::string, std::string> parse(const std::string& text) {
  std::map<std::string, std::string> record;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    end = end == std::string::npos ? text.size() : end;
    const std::size_t eq = text.find('=', begin);
    if (eq < end) {
      record[text.substr(begin, eq - begin)] = text.substr(eq + 1, end - eq - 1);
    }
    begin = end + 1;
  }
  return record;
}

long number(const std::map<std::string, std::string>& record, const std::string& key,
            long fallback = 0) {
  const auto found = record.find(key);
  if (found == record.end() || found->second.empty()) {
    return fallback;
  }
  return std::strtol(found->second.c_str(), nullptr, 10);
}

std::string text(const std::map<std::string, std::string>& record, const std::string& key) {
  const auto found = record.find(key);
  return found == record.end() ? std::string() : found->second;
}

// "M8 N1 O161": counts of event kinds.
std::map<char, long> kinds(const std::string& line) {
  std::map<char, long> counts;
  std::istringstream in(line);
  std::string item;
  while (in >> item) {
    if (item.size() > 1) {
      counts[item[0]] += std::strtol(item.c_str() + 1, nullptr, 10);
    }
  }
  return counts;
}

std::string count_of(long n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

// Where the recorded events first leave the listed order, in words.
std::string first_departure(const std::string& events, const Listed& l, bool traced) {
  std::string unit = l.unit;
  if (!traced) {
    unit.erase(std::remove(unit.begin(), unit.end(), 'S'), unit.end());
  }
  std::string seen = events;
  if (!traced) {
    seen.erase(std::remove(seen.begin(), seen.end(), 'S'), seen.end());
  }
  std::string want = l.prefix;
  want.reserve(l.prefix.size() + unit.size() * static_cast<std::size_t>(kN) + 1);
  for (long i = 0; i < kN; ++i) {
    want += unit;
  }
  want += 'D';
  if (seen == want) {
    return {};
  }
  std::size_t at = 0;
  while (at < seen.size() && at < want.size() && seen[at] == want[at]) {
    ++at;
  }
  const std::string found = at < seen.size() ? event_name(seen[at]) : "the end";
  const std::string expected = at < want.size() ? event_name(want[at]) : "the end";
  std::string where;
  if (at < l.prefix.size()) {
    where = "before the first execution";
  } else if (at >= want.size() - 1) {
    where = "after the last execution";
  } else {
    where = fmt::format("at execution {}", (at - l.prefix.size()) / unit.size() + 1);
  }
  return fmt::format("{}: {} where {} is listed", where, found, expected);
}

void examine_window(WindowWork& w, Side side, const std::string& arch,
                    const std::map<std::string, std::string>& r) {
  const Listed l = listed(side, w.number, arch);
  const std::string key = fmt::format("w{}.", w.number);
  const std::string events = text(r, key + "events");
  w.traced = number(r, key + "traced", 1) != 0;
  w.bytes = number(r, key + "bytes");
  w.released_in = static_cast<int>(number(r, key + "released_in", -1));
  w.draws = number(r, key + "draws");
  w.stores = number(r, key + "stores");
  w.by_other_code = number(r, key + "foreign");
  w.not_ascending = number(r, key + "descending");
  w.repeated = number(r, key + "repeated");
  w.not_at_element = number(r, key + "unaligned");
  w.past_end = number(r, key + "beyond");
  w.reads = number(r, key + "reads");
  w.unwritten = w.traced ? number(r, key + "unwritten") : 0;
  w.undecoded = text(r, key + "undecoded");
  w.contents = text(r, key + "content");
  {
    std::istringstream in(text(r, key + "widths"));
    std::string item;
    while (in >> item) {
      const std::size_t colon = item.find(':');
      if (colon != std::string::npos) {
        w.widths[static_cast<int>(std::strtol(item.c_str(), nullptr, 10))] =
            std::strtol(item.c_str() + colon + 1, nullptr, 10);
      }
    }
  }
  std::map<char, long> seen;
  for (const char c : events) {
    ++seen[c];
  }
  w.allocations = seen['N'];
  w.fmod = seen['F'];
  w.fmodl = seen['L'];
  for (const auto& [kind, count] : seen) {
    if (std::strchr("NDRFLSr", kind) == nullptr) {
      w.other_calls[event_name(kind)] += count;
    }
  }
  const long watched_open = number(r, fmt::format("clock{}.watched", 2 * w.number - 1), -1);
  const long watched_close = number(r, fmt::format("clock{}.watched", 2 * w.number), -1);
  w.results_file_grew = watched_open >= 0 && watched_close != watched_open;
  w.contents_as_listed = contents_as_listed(side, w.number, w.contents);
  if (number(r, key + "event_count") != static_cast<long>(events.size())) {
    w.order = "more calls and stores than the probe can keep in order";
  } else {
    w.order = first_departure(events, l, w.traced);
  }

  // The differences, each in words.
  std::vector<std::string>& d = w.differences;
  if (w.allocations == 0) {
    d.push_back(fmt::format("no allocation inside the window, one of {} bytes listed", l.bytes));
  } else {
    if (w.allocations > 1) {
      d.push_back(fmt::format("{} allocations, one listed", w.allocations));
    }
    if (w.bytes != l.bytes) {
      d.push_back(fmt::format("allocates {} bytes, {} listed", w.bytes, l.bytes));
    }
    if (w.released_in != w.number) {
      d.push_back(w.released_in < 0 ? std::string("the array is not released")
                  : w.released_in == 0
                      ? std::string("the array is released outside the windows")
                      : fmt::format("the array is released in window {}", w.released_in));
    }
  }
  const auto expect = [&d](long got, long want, const char* one, const char* many) {
    if (got != want) {
      d.push_back(fmt::format("{}, {} listed", count_of(got, one, many), want));
    }
  };
  expect(w.draws, l.draws, "draw", "draws");
  expect(w.fmod, l.fmod, "fmod call", "fmod calls");
  expect(w.fmodl, l.fmodl, "fmodl call", "fmodl calls");
  if (w.traced) {
    expect(w.stores, kN, "store", "stores");
    if (w.by_other_code > 0) {
      d.push_back(fmt::format("{} made by code outside the program",
                              count_of(w.by_other_code, "store", "stores")));
    }
    for (const auto& [width, count] : w.widths) {
      if (width == 0) {
        d.push_back(fmt::format("{} of a form the probe does not decode (code {})",
                                count_of(count, "store", "stores"), w.undecoded));
      } else if (width != l.width) {
        d.push_back(fmt::format("{} of {} bytes{}, {}-byte element stores listed",
                                count_of(count, "store", "stores"),
                                width == kWiderThanAny ? "more than 64" : std::to_string(width),
                                width > 16 ? " (a block fill)" : "", l.width));
      }
    }
    if (w.not_ascending > 0) {
      d.push_back(
          fmt::format("{} not in ascending order", count_of(w.not_ascending, "store", "stores")));
    }
    if (w.repeated > 0) {
      d.push_back(
          fmt::format("{} to an element already stored", count_of(w.repeated, "store", "stores")));
    }
    if (w.not_at_element > 0) {
      d.push_back(fmt::format("{} not at the start of an element",
                              count_of(w.not_at_element, "store", "stores")));
    }
    if (w.past_end > 0) {
      d.push_back(fmt::format("{} past the array's end", count_of(w.past_end, "store", "stores")));
    }
    if (w.unwritten > 0 && w.allocations > 0) {
      d.push_back(fmt::format("{} never stored", count_of(w.unwritten, "element", "elements")));
    }
  }
  if (w.reads > 0) {
    d.push_back(fmt::format("{} of the array", count_of(w.reads, "read", "reads")));
  }
  if (w.allocations > 0 && !w.contents_as_listed) {
    d.push_back(fmt::format("contents at release: {}; listed: {}", w.contents, l.contents));
  }
  for (const auto& [name, count] : w.other_calls) {
    d.push_back(fmt::format("{} {} inside the window", count,
                            count == 1 ? name + " call" : name + " calls"));
  }
  if (w.results_file_grew) {
    d.push_back("the results file is written inside the window");
  }
  if (d.empty() && !w.order.empty()) {
    d.push_back("the calls and stores leave the listed order " + w.order);
  }
}

std::string stores_line(const WindowWork& w) {
  if (!w.traced) {
    return "not traced";
  }
  std::string line = fmt::format("{} by the program's own code", w.stores - w.by_other_code);
  if (w.by_other_code > 0) {
    line += fmt::format(", {} by other code", w.by_other_code);
  }
  if (w.widths.size() == 1 && w.widths.begin()->first != 0 &&
      w.widths.begin()->first != kWiderThanAny) {
    line += fmt::format(", {} bytes each", w.widths.begin()->first);
  } else {
    for (const auto& [width, count] : w.widths) {
      line += width == 0               ? fmt::format(", {} of unknown width", count)
              : width == kWiderThanAny ? fmt::format(", {} of more than 64 bytes", count)
                                       : fmt::format(", {} of {} bytes", count, width);
    }
  }
  line += w.not_ascending == 0 && w.repeated == 0
              ? std::string(", ascending")
              : fmt::format(", {} not ascending, {} to an element already stored", w.not_ascending,
                            w.repeated);
  line += w.past_end == 0 && w.not_at_element == 0
              ? std::string(", none outside the array")
              : fmt::format(", {} past the array's end, {} off an element's start", w.past_end,
                            w.not_at_element);
  if (w.unwritten > 0) {
    line += fmt::format(", {} elements never stored", w.unwritten);
  }
  return line;
}

std::string out_of_place_line(const WindowWork& w) {
  std::vector<std::string> items;
  for (const auto& [name, count] : w.other_calls) {
    items.push_back(fmt::format("{} {}", name, count));
  }
  if (w.reads > 0) {
    items.push_back(fmt::format("reads of the array {}", w.reads));
  }
  if (w.results_file_grew) {
    items.emplace_back("results file written");
  }
  if (!w.order.empty()) {
    items.push_back("order departs " + w.order);
  }
  return items.empty() ? std::string("nothing") : fmt::format("{}", fmt::join(items, "; "));
}

bool is_verified(const ProgramWork& p) { return p.failure.empty() && p.differences.empty(); }

}  // namespace

ProgramWork examine(Side side, const std::string& report) {
  ProgramWork work;
  work.side = side;
  for (int k = 0; k < kTests; ++k) {
    work.windows[static_cast<std::size_t>(k)].number = k + 1;
    work.windows[static_cast<std::size_t>(k)].test = kTestNames[static_cast<std::size_t>(k)];
  }
  const auto r = parse(report);
  if (r.find("clocks") == r.end()) {
    work.failure = "the probe's record is empty or unreadable";
    return work;
  }
  work.clocks = static_cast<int>(number(r, "clocks"));
  work.arch = r.count("arch") != 0 ? text(r, "arch") : "x86_64";
  const std::map<char, long> outside = kinds(text(r, "outside"));
  const auto at = [&outside](char kind) {
    const auto found = outside.find(kind);
    return found == outside.end() ? 0L : found->second;
  };
  work.outside_draws = at('R');
  work.outside_fmod = at('F');
  work.outside_fmodl = at('L');
  work.outside_stores = at('S');
  const std::string name = program_name(side);
  if (work.clocks != 2 * kTests) {
    work.differences.push_back(
        fmt::format("{}: the clock is read {} times, {} listed", name, work.clocks, 2 * kTests));
  }
  for (WindowWork& w : work.windows) {
    examine_window(w, side, work.arch, r);
    for (const std::string& difference : w.differences) {
      work.differences.push_back(
          fmt::format("{} window {} <{}>: {}", name, w.number, w.test, difference));
    }
  }
  const std::pair<long, const char*> strays[] = {{work.outside_draws, "draw"},
                                                 {work.outside_fmod, "fmod call"},
                                                 {work.outside_fmodl, "fmodl call"},
                                                 {work.outside_stores, "store to a test array"}};
  for (const auto& [count, what] : strays) {
    if (count > 0) {
      work.differences.push_back(fmt::format("{}: {} {}{} outside every window", name, count, what,
                                             count == 1 ? "" : "s"));
    }
  }
  return work;
}

ProgramWork prove(const ProofRun& run) {
  RunRequest request;
  request.program = absolute_path(run.program);
  request.env = {
      "LD_PRELOAD=" + absolute_path(run.probe), "PROBE_TRACE=1",
      "PROBE_TRACE_WINDOWS=" + run.traced, std::string("PROBE_REPORT=%DIR%/") + kRecord,
      std::string("PROBE_WATCH=") + (run.side == Side::Random ? kRandomResults : kFixedResults)};
  request.timeout = run.timeout;
  request.files = {kRecord};
  const RunOutcome outcome = run_in_scratch(request);
  const auto record = outcome.files.find(kRecord);
  ProgramWork work = examine(run.side, record == outcome.files.end() ? "" : record->second);
  work.path = request.program;
  const std::string said = outcome.err.substr(0, outcome.err.find('\n'));
  const std::string because = said.empty() ? "" : ": " + said;
  switch (outcome.end) {
    case RunOutcome::End::NotStarted:
      work.failure = outcome.error;
      break;
    case RunOutcome::End::TimedOut:
      work.failure = fmt::format("stopped after {} s (--timeout)", run.timeout);
      break;
    case RunOutcome::End::Interrupted:
      work.failure = "interrupted";
      break;
    case RunOutcome::End::Signalled:
      work.failure = fmt::format("ended by signal {} ({}){}", outcome.status,
                                 strsignal(outcome.status), because);
      break;
    case RunOutcome::End::Exited:
      if (outcome.status != 0) {
        work.failure = fmt::format("ended with status {}{}", outcome.status, because);
      } else if (record == outcome.files.end()) {
        // A statically linked program ignores the preload.
        work.failure = "the probe recorded nothing: it was not loaded (a static program?)" +
                       (said.empty() ? "" : "; its standard error: " + said);
      }
      break;
  }
  return work;
}

std::string describe(const ProgramWork& work) {
  std::string s = fmt::format("{} ({})\n", program_name(work.side), work.path);
  if (!work.failure.empty()) {
    s += fmt::format("  not proven: {}\n", work.failure);
    if (work.clocks == 0) {
      return s;
    }
  }
  for (const WindowWork& w : work.windows) {
    const Listed l = listed(work.side, w.number, work.arch);
    s += fmt::format("  window {} <{}>\n", w.number, w.test);
    if (w.allocations == 0) {
      s += "    allocation    none\n";
    } else {
      s += fmt::format("    allocation    {} bytes{}, {}\n", w.bytes,
                       w.allocations > 1 ? fmt::format(" (and {} more)", w.allocations - 1) : "",
                       w.released_in == w.number ? std::string("released inside the window")
                       : w.released_in < 0       ? std::string("never released")
                       : w.released_in == 0      ? std::string("released outside the windows")
                                            : fmt::format("released in window {}", w.released_in));
    }
    s += fmt::format("    draws         {}\n", w.draws);
    s += fmt::format("    remainders    fmod {}, fmodl {}\n", w.fmod, w.fmodl);
    s += fmt::format("    stores        {}\n", stores_line(w));
    s += fmt::format("    contents      {}\n", w.allocations == 0 ? std::string("no array")
                                               : w.contents_as_listed
                                                   ? std::string("as listed: ") + l.contents
                                                   : w.contents);
    s += fmt::format("    out of place  {}\n", out_of_place_line(w));
  }
  if (work.outside_draws + work.outside_fmod + work.outside_fmodl + work.outside_stores == 0) {
    s += "  outside the windows: no draw, remainder or store\n";
  } else {
    s +=
        fmt::format("  outside the windows: {} draws, {} fmod, {} fmodl, {} stores\n",
                    work.outside_draws, work.outside_fmod, work.outside_fmodl, work.outside_stores);
  }
  return s;
}

std::string verdict(const std::vector<ProgramWork>& programs) {
  std::vector<std::string> problems;
  for (const ProgramWork& p : programs) {
    if (!p.failure.empty()) {
      problems.push_back(fmt::format("{} not proven: {}", program_name(p.side), p.failure));
    }
    problems.insert(problems.end(), p.differences.begin(), p.differences.end());
  }
  if (problems.empty()) {
    return "verdict: verified: both programs do exactly the listed work in every window";
  }
  return fmt::format("verdict: not verified: {}", fmt::join(problems, "; "));
}

std::string findings_json(const std::vector<ProgramWork>& programs) {
  nlohmann::json all;
  bool verified = true;
  all["programs"] = nlohmann::json::array();
  for (const ProgramWork& p : programs) {
    verified = verified && is_verified(p);
    nlohmann::json program = {{"program", program_name(p.side)},
                              {"path", p.path},
                              {"verified", is_verified(p)},
                              {"failure", p.failure},
                              {"clock_readings", p.clocks},
                              {"outside_windows",
                               {{"draws", p.outside_draws},
                                {"fmod", p.outside_fmod},
                                {"fmodl", p.outside_fmodl},
                                {"stores", p.outside_stores}}},
                              {"differences", p.differences}};
    program["windows"] = nlohmann::json::array();
    for (const WindowWork& w : p.windows) {
      nlohmann::json widths = nlohmann::json::object();
      for (const auto& [width, count] : w.widths) {
        widths[width == 0               ? "unknown"
               : width == kWiderThanAny ? "more than 64"
                                        : std::to_string(width)] = count;
      }
      program["windows"].push_back(
          {{"window", w.number},
           {"test", w.test},
           {"allocation",
            {{"count", w.allocations},
             {"bytes", w.bytes},
             {"released_in_window", w.released_in == w.number}}},
           {"draws", w.draws},
           {"remainders", {{"fmod", w.fmod}, {"fmodl", w.fmodl}}},
           {"stores",
            {{"traced", w.traced},
             {"count", w.stores},
             {"by_other_code", w.by_other_code},
             {"widths", widths},
             {"not_ascending", w.not_ascending},
             {"repeated", w.repeated},
             {"not_at_element", w.not_at_element},
             {"past_end", w.past_end},
             {"elements_never_stored", w.unwritten},
             {"undecoded_code", w.undecoded}}},
           {"reads", w.reads},
           {"contents", {{"as_listed", w.contents_as_listed}, {"summary", w.contents}}},
           {"other_calls", w.other_calls},
           {"results_file_written", w.results_file_grew},
           {"order", w.order},
           {"differences", w.differences}});
    }
    all["programs"].push_back(program);
  }
  all["verified"] = verified;
  all["verdict"] = verdict(programs);
  return all.dump(2) + "\n";
}

int verify(const VerifyOptions& options, std::ostream& out, std::ostream& err) {
  const std::string cannot_run = pair_unrunnable(options.random, options.fixed);
  if (!cannot_run.empty()) {
    err << "bench_compare: " << cannot_run << "\n";
    return 1;
  }
  if (access(options.probe.c_str(), R_OK) != 0) {
    err << "bench_compare: cannot use the probe " << options.probe << ": " << std::strerror(errno)
        << "\n";
    return 1;
  }
  const std::string why = options.json.empty() ? "" : unwritable(options.json);
  if (!why.empty()) {
    err << "bench_compare: cannot write " << options.json << ": " << why << "\n";
    return 1;
  }

  // The two runs share nothing, so they run side by side.
  catch_interrupts();
  // A future hands any exception of its run to get(), so none ends the process.
  auto fixed = std::async(std::launch::async, [&] {
    return prove({options.fixed, options.probe, Side::Fixed, options.timeout});
  });
  std::vector<ProgramWork> programs(2);
  try {
    programs[0] = prove({options.random, options.probe, Side::Random, options.timeout});
  } catch (...) {
    fixed.wait();
    throw;
  }
  programs[1] = fixed.get();

  for (const ProgramWork& p : programs) {
    out << describe(p) << "\n";
  }
  out << verdict(programs) << "\n" << std::flush;
  bool written = true;
  if (!options.json.empty()) {
    const std::string why = write_text(options.json, findings_json(programs));
    if (!why.empty()) {
      err << "bench_compare: cannot write " << options.json << ": " << why << "\n";
      written = false;
    }
  }
  if (interrupted()) {
    err << "bench_compare: interrupted\n";
    return 130;  // as a comparison stopped by Ctrl-C
  }
  return written && is_verified(programs[0]) && is_verified(programs[1]) ? 0 : 1;
}

std::string default_probe_path(const std::string& self_exe_dir) {
  std::string installed =
      (std::filesystem::path(self_exe_dir) / BENCH_PROBE_FROM_BINDIR).lexically_normal().string();
  const std::string built =
      (std::filesystem::path(self_exe_dir) / BENCH_PROBE_FROM_BUILD).lexically_normal().string();
  for (const std::string& candidate : {built, installed}) {
    if (access(candidate.c_str(), F_OK) == 0) {
      return candidate;
    }
  }
  return installed;
}

}  // namespace compare
