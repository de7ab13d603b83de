// Markdown: a cell can hold any text, so none may end its row or carry markup.
#include <algorithm>
#include <cctype>

#include "compare/render/table.h"

namespace compare {

namespace {

bool ends_with_www(const std::string& out) {
  if (out.size() < 3) return false;
  std::string last = out.substr(out.size() - 3);
  std::transform(last.begin(), last.end(), last.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return last == "www";
}

bool word_character(const std::string& text, std::size_t i) {
  return i < text.size() && std::isalnum(static_cast<unsigned char>(text[i])) != 0;
}

}  // namespace

// Every character that could open markup is backslash-escaped, which GFM
// renders as the character itself: with "[" and "]" escaped, "(", ")" and "!"
// can form no link or image, and "_" inside a word no emphasis, so they are
// left as they are. Bare addresses are linked by GFM without any markup, so
// they are broken where that leaves the text as it reads: "http\://",
// "www\.", and "@" followed by an invisible space (an entity) that ends an
// e-mail address.
std::string markdown_cell(const std::string& s) {
  std::string flat = s;
  std::replace_if(
      flat.begin(), flat.end(), [](char ch) { return ch == '\n' || ch == '\r'; }, ' ');
  const std::string text = printable(flat);
  const std::string punctuation = "\\`*[]#<>&~|";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    const bool scheme = ch == ':' && text.compare(i + 1, 2, "//") == 0;
    const bool www = ch == '.' && ends_with_www(out);
    const bool emphasis =
        ch == '_' && !(i > 0 && word_character(text, i - 1) && word_character(text, i + 1));
    if (punctuation.find(ch) != std::string::npos || scheme || www || emphasis) out += '\\';
    out += ch;
    if (ch == '@') out += "&#8203;";
  }
  return out;
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
