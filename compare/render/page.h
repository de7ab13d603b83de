// The web page's frame: one self-contained HTML file that loads nothing from
// anywhere, with gnuplot's charts inline as SVG.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <string>
#include <vector>

namespace compare {

// The page up to its content, titled `title`, and the rest after it.
std::string page_head(const std::string& title);
std::string page_tail();

// A list of warnings under a heading; nothing when there are none.
std::string warnings_html(const std::vector<std::string>& warnings);

// gnuplot's SVG made fit to sit inline in a page beside others: no XML
// prolog, and its ids prefixed so that no two charts share one.
std::string inline_svg(const std::string& svg, const std::string& id_prefix);

}  // namespace compare
