// CSV: only commas, quotes and line breaks mean something in a cell.
#include "compare/render/table.h"

namespace compare {

std::string csv_cell(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out = "\"";
  for (char ch : s) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

std::string csv_table(const Table& t) {
  auto line = [](const std::vector<std::string>& cells) {
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) out += (i == 0 ? "" : ",") + csv_cell(cells[i]);
    return out + "\n";
  };
  std::string out = line(t.header);
  for (const auto& row : t.rows) out += line(row);
  return out;
}

}  // namespace compare
