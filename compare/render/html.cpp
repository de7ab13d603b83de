// HTML tables: every cell escaped; the page lays them out (page.h).
#include "compare/render/table.h"

namespace compare {

std::string html_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::string html_table(const Table& t) {
  std::string out = "<div class=\"scroll\"><table>";
  if (!t.title.empty()) out += "<caption>" + html_escape(t.title) + "</caption>";
  out += "<thead><tr>";
  for (const std::string& h : t.header) out += "<th>" + html_escape(h) + "</th>";
  out += "</tr></thead><tbody>\n";
  for (const auto& row : t.rows) {
    out += "<tr>";
    for (const std::string& cell : row) {
      std::string cls;
      if (cell.size() > 2 && cell.compare(cell.size() - 2, 2, " *") == 0) cls = "differs";
      if (cell == "faster" || cell == "slower") cls = cell;
      out += (cls.empty() ? "<td>" : "<td class=\"" + cls + "\">") + html_escape(cell) + "</td>";
    }
    out += "</tr>\n";
  }
  return out + "</tbody></table></div>\n";
}

}  // namespace compare
