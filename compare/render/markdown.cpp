// Markdown: a cell can hold any text, so none may end its row or carry markup.
#include "compare/render/table.h"

namespace compare {

std::string markdown_cell(const std::string& s) {
  std::string out;
  for (char ch : s) {
    switch (ch) {
      case '|':
        out += "\\|";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\n':
      case '\r':
        out += ' ';
        break;
      default:
        out += ch;
    }
  }
  return printable(out);
}

std::string markdown_table(const Table& t) {
  auto row = [](const std::vector<std::string>& cells) {
    std::string line = "|";
    for (const std::string& cell : cells) line += " " + markdown_cell(cell) + " |";
    return line + "\n";
  };
  std::string out = t.title.empty() ? "" : "**" + markdown_cell(t.title) + "**\n\n";
  out += row(t.header) + "|";
  for (std::size_t i = 0; i < t.header.size(); ++i) out += i < t.word_columns ? "---|" : "---:|";
  out += "\n";
  for (const auto& cells : t.rows) out += row(cells);
  return out;
}

}  // namespace compare
