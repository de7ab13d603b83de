// Holding a probe record against the listed work, window by window.
#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "compare/proof/listed_work.h"
#include "compare/proof/probe_record.h"
#include "compare/proof/work.h"

namespace compare {
namespace {

std::string count_of(long n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

void expect_count(std::vector<std::string>& d, long got, long want, const char* one,
                  const char* many) {
  if (got != want) d.push_back(fmt::format("{}, {} listed", count_of(got, one, many), want));
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

// The window's figures from the record.
void read_window(WindowWork& w, Side side, const std::string& arch, const ProbeRecord& r) {
  const Listed l = listed(side, w.number, arch);
  const std::string key = fmt::format("w{}.", w.number);
  const std::string events = record_text(r, key + "events");
  w.traced = record_number(r, key + "traced", 1) != 0;
  w.bytes = record_number(r, key + "bytes");
  w.released_in = static_cast<int>(record_number(r, key + "released_in", -1));
  w.draws = record_number(r, key + "draws");
  w.stores = record_number(r, key + "stores");
  w.by_other_code = record_number(r, key + "foreign");
  w.not_ascending = record_number(r, key + "descending");
  w.repeated = record_number(r, key + "repeated");
  w.not_at_element = record_number(r, key + "unaligned");
  w.past_end = record_number(r, key + "beyond");
  w.reads = record_number(r, key + "reads");
  w.unwritten = w.traced ? record_number(r, key + "unwritten") : 0;
  w.undecoded = record_text(r, key + "undecoded");
  w.contents = record_text(r, key + "content");
  {
    std::istringstream in(record_text(r, key + "widths"));
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
  const long watched_open = record_number(r, fmt::format("clock{}.watched", 2 * w.number - 1), -1);
  const long watched_close = record_number(r, fmt::format("clock{}.watched", 2 * w.number), -1);
  w.results_file_grew = watched_open >= 0 && watched_close != watched_open;
  w.contents_as_listed = contents_as_listed(side, w.number, w.contents);
  if (record_number(r, key + "event_count") != static_cast<long>(events.size())) {
    w.order = "more calls and stores than the probe can keep in order";
  } else {
    w.order = first_departure(events, l, w.traced);
  }
}

// How the allocation and the calls differ from the listed ones, in words.
void allocation_and_call_differences(WindowWork& w, const Listed& l) {
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
  expect_count(d, w.draws, l.draws, "draw", "draws");
  expect_count(d, w.fmod, l.fmod, "fmod call", "fmod calls");
  expect_count(d, w.fmodl, l.fmodl, "fmodl call", "fmodl calls");
}

// How the traced stores differ from one per element, ascending, at its width.
void store_differences(WindowWork& w, const Listed& l) {
  std::vector<std::string>& d = w.differences;
  expect_count(d, w.stores, kN, "store", "stores");
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

void examine_window(WindowWork& w, Side side, const std::string& arch, const ProbeRecord& r) {
  const Listed l = listed(side, w.number, arch);
  read_window(w, side, arch, r);
  allocation_and_call_differences(w, l);
  if (w.traced) store_differences(w, l);
  std::vector<std::string>& d = w.differences;
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

}  // namespace

ProgramWork examine(Side side, const std::string& report) {
  ProgramWork work;
  work.side = side;
  for (int k = 0; k < kTests; ++k) {
    work.windows[static_cast<std::size_t>(k)].number = k + 1;
    work.windows[static_cast<std::size_t>(k)].test = kTestNames[static_cast<std::size_t>(k)];
  }
  const ProbeRecord r = parse_record(report);
  if (r.find("clocks") == r.end()) {
    work.failure = "the probe's record is empty or unreadable";
    return work;
  }
  work.clocks = static_cast<int>(record_number(r, "clocks"));
  work.arch = r.count("arch") != 0 ? record_text(r, "arch") : "x86_64";
  const std::map<char, long> outside = record_kinds(record_text(r, "outside"));
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

}  // namespace compare
