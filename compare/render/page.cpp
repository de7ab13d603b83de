#include "compare/render/page.h"

#include <fmt/format.h>

#include "compare/render/table.h"

namespace compare {

namespace {

// Phones get one column of charts, wide screens several; a table too wide for
// the screen breaks its cells' text (a long compiler string anywhere) to fit,
// and only what still cannot scrolls inside its own box. The
// policy forbids loading anything, so a page opened from disk stays offline.
constexpr const char* kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<title>{}</title>
<style>
body {{ font-family: system-ui, sans-serif; margin: 0; color: #1a1a1a; background: #fff; }}
main {{ padding: 0.75rem; max-width: 110rem; margin: 0 auto; }}
h1 {{ font-size: 1.3rem; }} h2 {{ font-size: 1.1rem; margin-top: 1.6rem; }} h3 {{ font-size: 1rem; }}
.scroll {{ overflow-x: auto; max-width: 100%; }}
table {{ border-collapse: collapse; font-size: 0.85rem; margin-bottom: 0.8rem; max-width: 100%; }}
caption {{ text-align: left; font-weight: 600; padding: 0.3rem 0; }}
th, td {{ border-bottom: 1px solid #ddd; padding: 0.25rem 0.5rem; text-align: left; overflow-wrap: anywhere; }}
th {{ background: #f3f3f3; }}
td.differs {{ background: #fff3c4; }}
td.faster {{ color: #0a6b2b; font-weight: 600; }} td.slower {{ color: #a1121b; font-weight: 600; }}
.charts {{ display: flex; flex-wrap: wrap; gap: 0.8rem; }}
figure {{ flex: 1 1 22rem; min-width: 0; margin: 0; }}
figure.wide {{ flex-basis: 100%; }}
svg {{ width: 100%; height: auto; display: block; }}
ul.warnings li {{ margin-bottom: 0.3rem; }}
p {{ max-width: 60rem; line-height: 1.4; }}
</style>
</head>
<body>
<main>
)";

constexpr const char* kTail = "</main>\n</body>\n</html>\n";

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

std::string page_head(const std::string& title) { return fmt::format(kHead, html_escape(title)); }

std::string page_tail() { return kTail; }

std::string warnings_html(const std::vector<std::string>& warnings) {
  if (warnings.empty()) return "";
  std::string out = "<h2>Warnings</h2>\n<ul class=\"warnings\">\n";
  for (const std::string& w : warnings) out += "<li>" + html_escape(w) + "</li>\n";
  return out + "</ul>\n";
}

std::string inline_svg(const std::string& svg, const std::string& id_prefix) {
  const size_t start = svg.find("<svg");
  std::string out = start == std::string::npos ? svg : svg.substr(start);
  for (const char* quote : {"\"", "'"}) {
    out = replace_all(out, fmt::format("id={}", quote), fmt::format("id={}{}", quote, id_prefix));
    out = replace_all(out, fmt::format("href={}#", quote),
                      fmt::format("href={}#{}", quote, id_prefix));
  }
  return replace_all(out, "url(#", "url(#" + id_prefix);
}

}  // namespace compare
