// Text for a terminal: aligned tables, and nothing in them that a terminal
// would take for a command.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "compare/render/table.h"

namespace compare {

namespace {

// The length of the well-formed UTF-8 sequence at s[i] (none overlong, no
// surrogate, nothing above U+10FFFF) and its code point; 0 when there is none.
std::size_t utf8_at(const std::string& s, std::size_t i, char32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char lead = byte(0);
  std::size_t n = 0;
  if (lead >= 0xC2 && lead <= 0xDF) n = 2, code = lead & 0x1FU;
  if (lead >= 0xE0 && lead <= 0xEF) n = 3, code = lead & 0x0FU;
  if (lead >= 0xF0 && lead <= 0xF4) n = 4, code = lead & 0x07U;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(k) & 0xC0U) != 0x80U) return 0;
    code = (code << 6) | (byte(k) & 0x3FU);
  }
  const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

// Characters a terminal or a browser draws as nothing, or uses to reorder
// what follows: a name could look like another or hide its end.
bool invisible(char32_t c) {
  return c == 0x00AD || c == 0x061C || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

std::string escaped(const std::string& s, bool keep_line_breaks) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    if (byte == '\n' && keep_line_breaks) {
      out += '\n';
    } else if (byte < 0x20 || byte == 0x7F) {
      out += fmt::format("\\x{:02x}", byte);
    } else if (byte < 0x80) {
      out += s[i];
    } else {
      char32_t code = 0;
      const std::size_t n = utf8_at(s, i, code);
      if (n == 0) {
        out += fmt::format("\\x{:02x}", byte);  // not UTF-8: the byte alone
      } else if (code <= 0x9F) {
        out += fmt::format("\\x{:02x}", static_cast<unsigned>(code));  // C1
      } else if (invisible(code)) {
        out += fmt::format("\\u{:04x}", static_cast<unsigned>(code));
      } else {
        out.append(s, i, n);
      }
      if (n > 1) i += n - 1;
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

namespace {

using Row = std::vector<std::string>;

std::string spaces(std::size_t n) { return std::string(n, ' '); }

// A number such as "12", "0.0052" or "1e+06": it stays on the line of the
// word after it, so that no line ends in a number whose unit begins the next.
bool is_number(const std::string& word) {
  return !word.empty() && std::isdigit(static_cast<unsigned char>(word[0])) != 0 &&
         word.find_first_not_of("0123456789.e+-") == std::string::npos;
}

// Where the word at `at` ends: at the next space, but a number takes the
// word after it along.
std::size_t word_end(const std::string& text, std::size_t at) {
  std::size_t end = text.find(' ', at);
  while (end != std::string::npos && end + 1 < text.size() && text[end + 1] != ' ' &&
         is_number(text.substr(at, end - at))) {
    at = end + 1;
    end = text.find(' ', at);
  }
  return end;
}

// How many bytes of `s` from `at` make up at most `width` characters.
std::size_t bytes_of(const std::string& s, std::size_t at, std::size_t width) {
  std::size_t end = at;
  for (std::size_t n = 0; end < s.size(); ++n) {
    std::size_t next = end + 1;
    while (next < s.size() && (static_cast<unsigned char>(s[next]) & 0xC0U) == 0x80U) ++next;
    if (n == width) break;
    end = next;
  }
  return end - at;
}

// The indent of a long word's continuation lines, which tells them from the
// start of another word.
constexpr std::size_t kContinued = 2;

// A word wider than `width` (a path, mostly) as lines of its own: each piece
// as long as fits, ending after a '/' or '\\' where one falls in it, the
// pieces after the first indented.
std::vector<std::string> pieces(const std::string& word, std::size_t width) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < word.size()) {
    const std::string indent = out.empty() ? "" : spaces(kContinued);
    const std::size_t room = width > indent.size() + 1 ? width - indent.size() : 1;
    std::size_t take = bytes_of(word, at, room);
    if (at + take < word.size()) {
      const std::size_t slash = word.find_last_of("/\\", at + take - 1);
      if (slash != std::string::npos && slash >= at && slash + 1 > at + take / 2)
        take = slash + 1 - at;
    }
    out.push_back(indent + word.substr(at, take));
    at += take;
  }
  return out;
}

// Greedy word wrap: words apart at single spaces, no line wider than `width`;
// a number and the word after it count as one, and a word wider than the
// line takes lines of its own.
std::vector<std::string> broken(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = word_end(text, at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (!line.empty() && display_width(line) + 1 + display_width(word) > width) {
      lines.push_back(line);
      line.clear();
    }
    if (display_width(word) > width) {
      for (std::string& piece : pieces(word, width)) lines.push_back(std::move(piece));
      continue;
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

// `lead`, then `value` broken to fit what is left of the line, its further
// lines under its first; not broken where less than 20 columns are left.
std::string hanging(const std::string& lead, const std::string& value) {
  const std::size_t at = display_width(lead);
  const std::vector<std::string> parts =
      broken(value, kTextWidth > at + 20 ? kTextWidth - at : display_width(value));
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i)
    out += (i > 0 ? spaces(at) : lead) + parts[i] + "\n";
  return out;
}

// A heading as two lines, broken at the space that makes the longer one
// shortest (the later break on a tie); the second empty when it has none.
std::pair<std::string, std::string> heading_lines(const std::string& h) {
  std::pair<std::string, std::string> best{h, ""};
  std::size_t best_width = display_width(h);
  for (std::size_t at = h.find(' '); at != std::string::npos; at = h.find(' ', at + 1)) {
    std::string first = h.substr(0, at);
    std::string second = h.substr(at + 1);
    const std::size_t w = std::max(display_width(first), display_width(second));
    if (w <= best_width) best = {std::move(first), std::move(second)}, best_width = w;
  }
  return best;
}

// A table's cells made printable, and how it is to be laid out.
class Layout {
 public:
  Layout(const Table& t, std::size_t indent) : indent_(indent), header_(t.header) {
    for (std::string& h : header_) h = printable(h);
    for (const Row& row : t.rows) {
      Row cells;
      for (const std::string& cell : row) cells.push_back(printable(cell));
      rows_.push_back(std::move(cells));
    }
  }

  std::size_t columns() const {
    std::size_t n = header_.size();
    for (const Row& row : rows_) n = std::max(n, row.size());
    return n;
  }

  // The widest cell of a column, and whether its heading, wider than that,
  // is to be broken in two when headings may take two lines.
  std::size_t cells_width(std::size_t column) const {
    std::size_t w = 0;
    for (const Row& row : rows_) {
      if (column < row.size()) w = std::max(w, display_width(row[column]));
    }
    return w;
  }

  bool broken_heading(std::size_t column, bool two_line_heading) const {
    return two_line_heading && display_width(cell(header_, column)) > cells_width(column) &&
           !heading_lines(cell(header_, column)).second.empty();
  }

  std::size_t width(std::size_t column, bool two_line_heading) const {
    const std::string h = cell(header_, column);
    const auto [first, second] = heading_lines(h);
    return std::max(cells_width(column), broken_heading(column, two_line_heading)
                                             ? std::max(display_width(first), display_width(second))
                                             : display_width(h));
  }

  std::size_t width(const std::vector<std::size_t>& columns, bool two_line_heading) const {
    std::size_t w = indent_ + (columns.empty() ? 0 : 2 * (columns.size() - 1));
    for (std::size_t c : columns) w += width(c, two_line_heading);
    return w;
  }

  bool fits(const std::vector<std::size_t>& columns, bool two_line_heading) const {
    return width(columns, two_line_heading) <= kTextWidth;
  }

  // The columns as one block; under each row, the `below` columns' lines.
  std::string block(const std::vector<std::size_t>& columns,
                    const std::vector<std::size_t>& below) const {
    const bool two = !fits(columns, false);
    std::vector<std::size_t> widths;
    widths.reserve(columns.size());
    for (std::size_t c : columns) widths.push_back(width(c, two));
    std::vector<Row> heading(two ? 2 : 1);
    for (std::size_t c : columns) {
      const std::string h = cell(header_, c);
      const bool broken = broken_heading(c, two);
      heading.front().push_back(broken ? heading_lines(h).first : h);
      if (two) heading.back().push_back(broken ? heading_lines(h).second : "");
    }
    std::string out;
    for (const Row& line : heading) out += line_of(line, widths);
    std::size_t label = 0;
    for (std::size_t c : below) label = std::max(label, display_width(cell(header_, c)) + 1);
    for (const Row& row : rows_) {
      Row cells;
      for (std::size_t c : columns) cells.push_back(cell(row, c));
      out += line_of(cells, widths);
      for (std::size_t c : below) {
        const std::string name = cell(header_, c) + ":";
        out += hanging(spaces(indent_ + 4) + name + spaces(label - display_width(name) + 1),
                       cell(row, c));
      }
    }
    return out;
  }

 private:
  static std::string cell(const Row& row, std::size_t column) {
    return column < row.size() ? row[column] : "";
  }

  std::string line_of(const Row& cells, const std::vector<std::size_t>& widths) const {
    std::string line = spaces(indent_);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line += spaces(widths[i] - display_width(cells[i]) + 2);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line + "\n";
  }

  std::size_t indent_;
  Row header_;
  std::vector<Row> rows_;
};

// Too wide even with two-line headings: the word columns kept in every
// block, the line columns and those too wide for any block under each row.
std::string in_blocks(const Table& t, const Layout& layout) {
  const std::size_t n = layout.columns();
  const std::size_t words = std::min(std::max<std::size_t>(t.word_columns, 1), n);
  const std::size_t lines_from = n - std::min(t.line_columns, n - words);
  std::vector<std::size_t> keys;
  for (std::size_t c = 0; c < words; ++c) keys.push_back(c);
  std::vector<std::vector<std::size_t>> blocks;
  std::vector<std::size_t> below;
  for (std::size_t c = words; c < n; ++c) {
    std::vector<std::size_t> alone = keys;
    alone.push_back(c);
    if (c >= lines_from || !layout.fits(alone, true)) {
      below.push_back(c);
      continue;
    }
    if (!blocks.empty()) {
      std::vector<std::size_t> grown = blocks.back();
      grown.push_back(c);
      if (layout.fits(grown, true)) {
        blocks.back() = std::move(grown);
        continue;
      }
    }
    blocks.push_back(std::move(alone));
  }
  if (blocks.empty()) blocks.push_back(keys);
  std::string out;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    out += (i > 0 ? "\n" : "") +
           layout.block(blocks[i], i + 1 == blocks.size() ? below : std::vector<std::size_t>{});
  }
  return out;
}

// Items and values: a value too long for the line wraps under itself.
std::string list_text(const Table& t, std::size_t indent) {
  std::vector<std::size_t> widths;
  for (const Row& row : t.rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
      widths[i] = std::max(widths[i], display_width(printable(row[i])));
    }
  }
  std::string out;
  for (const Row& row : t.rows) {
    std::string line = spaces(indent);
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
      line += printable(row[i]) + spaces(widths[i] - display_width(printable(row[i])) + 2);
    }
    out += hanging(line, row.empty() ? "" : printable(row.back()));
  }
  return out;
}

}  // namespace

std::string text_table(const Table& t, std::size_t indent) {
  std::string out = t.title.empty() ? "" : printable(t.title) + ":\n";
  if (t.header.empty()) return out + list_text(t, indent);
  const Layout layout(t, indent);
  std::vector<std::size_t> all;
  for (std::size_t c = 0; c < layout.columns(); ++c) all.push_back(c);
  if (layout.fits(all, true)) return out + layout.block(all, {});
  return out + in_blocks(t, layout);
}

std::string wrapped(const std::string& text, std::size_t indent) {
  std::string out;
  std::size_t at = 0;
  const std::string safe = printable_lines(text);
  while (at <= safe.size()) {
    std::size_t end = safe.find('\n', at);
    if (end == std::string::npos) end = safe.size();
    const std::string line = safe.substr(at, end - at);
    at = end + 1;
    if (line.empty() && at > safe.size()) break;
    const std::size_t lead = line.find_first_not_of(' ');
    const std::size_t own = indent + (lead == std::string::npos ? 0 : lead);
    const std::size_t room = kTextWidth > own + 22 ? kTextWidth - own - 2 : 20;
    const std::vector<std::string> parts =
        broken(lead == std::string::npos ? "" : line.substr(lead), room);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      out += spaces(own + (i > 0 ? 2 : 0)) + parts[i] + "\n";
    }
  }
  return out;
}

}  // namespace compare
