#include "compare/proof/probe_record.h"

#include <cstdlib>
#include <sstream>

namespace compare {

ProbeRecord parse_record(const std::string& text) {
  ProbeRecord record;
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

long record_number(const ProbeRecord& record, const std::string& key, long fallback) {
  const auto found = record.find(key);
  if (found == record.end() || found->second.empty()) {
    return fallback;
  }
  return std::strtol(found->second.c_str(), nullptr, 10);
}

std::string record_text(const ProbeRecord& record, const std::string& key) {
  const auto found = record.find(key);
  return found == record.end() ? std::string() : found->second;
}

std::map<char, long> record_kinds(const std::string& line) {
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

}  // namespace compare
