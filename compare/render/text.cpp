// Text for a terminal: aligned tables, and nothing in them that a terminal
// would take for a command.
#include <fmt/format.h>

#include <algorithm>

#include "compare/render/table.h"

namespace compare {

namespace {

std::string escaped(const std::string& s, bool keep_line_breaks) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    const bool c1 = byte == 0xC2 && i + 1 < s.size() &&
                    static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(s[i + 1]) <= 0x9F;
    if (byte == '\n' && keep_line_breaks) {
      out += '\n';
    } else if (byte < 0x20 || byte == 0x7F) {
      out += fmt::format("\\x{:02x}", byte);
    } else if (c1) {
      out += fmt::format("\\x{:02x}", static_cast<unsigned char>(s[++i]));
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string printable(const std::string& s) { return escaped(s, false); }
std::string printable_lines(const std::string& s) { return escaped(s, true); }

std::size_t display_width(const std::string& s) {
  std::size_t n = 0;
  for (char ch : s) n += (static_cast<unsigned char>(ch) & 0xC0U) != 0x80U ? 1 : 0;
  return n;
}

std::string text_table(const Table& t, std::size_t indent) {
  std::vector<std::vector<std::string>> rows;
  if (!t.header.empty()) rows.push_back(t.header);  // a list of items and values has none
  rows.insert(rows.end(), t.rows.begin(), t.rows.end());
  std::vector<std::size_t> widths;
  for (auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
      row[i] = printable(row[i]);
      widths[i] = std::max(widths[i], display_width(row[i]));
    }
  }
  std::string out = t.title.empty() ? "" : printable(t.title) + ":\n";
  for (const auto& row : rows) {
    std::string line(indent, ' ');
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - display_width(row[i]) + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

}  // namespace compare
