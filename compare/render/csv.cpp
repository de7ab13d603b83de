// CSV: only commas, quotes and line breaks mean something in a cell to CSV,
// but a spreadsheet evaluates a cell that starts like a formula.
#include <cctype>

#include "compare/render/table.h"

namespace compare {

namespace {

// A plain decimal number, as a spreadsheet reads one: an optional sign,
// digits with at most one point (at least one digit), an optional exponent.
// "-", "-inf", "1e" and "-1+2" are not.
bool plain_number(const std::string& s) {
  std::size_t i = s.empty() || (s[0] != '+' && s[0] != '-') ? 0 : 1;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) != 0) ++i;
    return i - from;
  };
  std::size_t mantissa = digits();
  if (i < s.size() && s[i] == '.') ++i, mantissa += digits();
  if (mantissa == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == s.size();
}

// What a spreadsheet would take for the start of a formula.
bool formula_like(const std::string& s) {
  return !s.empty() && std::string("=+-@\t\r").find(s[0]) != std::string::npos && !plain_number(s);
}

}  // namespace

std::string csv_cell(const std::string& text) {
  std::string s = formula_like(text) ? "'" + text : text;
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
