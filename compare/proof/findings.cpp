#include "compare/proof/findings.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "compare/proof/listed_work.h"

namespace compare {
namespace {

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

}  // namespace

bool is_verified(const ProgramWork& p) { return p.failure.empty() && p.differences.empty(); }

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
  return all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace compare
