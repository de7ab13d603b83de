// render/: how bench_compare lays out what it shows. One table model, built
// once by report/ and history/ and rendered here as aligned text, Markdown,
// CSV or HTML; text that may come from elsewhere made harmless in each; the
// numbers' formats; the web page's frame; gnuplot's quoting. Uses model.h and
// the standard library only: nothing here knows what a comparison is.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <cstddef>
#include <string>
#include <vector>

namespace compare {

// A table: its cells are plain text, as found; each renderer lays them out
// and escapes them for its format.
struct Table {
  std::string title;  // none when empty
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  // Leading columns that hold words; Markdown aligns the rest (figures) right.
  // A text table too wide for the terminal repeats them in each of its blocks.
  std::size_t word_columns = 1;
  // Trailing columns of long free text (compilers, kernels, paths) that a text
  // table too wide for the terminal shows under each row, a line each.
  std::size_t line_columns = 0;
};

// The columns a text report fits in: wider lines wrap or cut off in many
// terminals.
inline constexpr std::size_t kTextWidth = 100;

// Columns padded to their widest cell, two spaces apart, each line indented
// by `indent`; the title, when there is one, on a line of its own ending in
// ":"; no heading line when the header is empty. Every cell goes through
// printable(). A table wider than kTextWidth is laid out narrower, in turn:
// its headings on two lines; its line columns, and any column too wide to sit
// beside the word columns, as "heading: value" lines under each row; the
// other columns in blocks, each with the word columns again. Without a header
// (a list of items and values) a long value wraps under itself instead.
std::string text_table(const Table& t, std::size_t indent = 0);

// Prose for the terminal: each line of the text broken at spaces to fit
// kTextWidth, indented by `indent`, its continuation lines by two more; a
// word too long for any line (a path) keeps a line of its own. Ends in a line
// break; printable_lines() applied.
std::string wrapped(const std::string& text, std::size_t indent = 0);

// A GitHub-flavoured Markdown table; the title in bold above it. Cells are
// escaped by markdown_cell().
std::string markdown_table(const Table& t);

// The header and rows as CSV, cells quoted where they must be.
std::string csv_table(const Table& t);

// An HTML table inside a box that scrolls sideways; the title as its caption.
// A cell ending in " *" (differs from the reference) is marked, and the
// verdicts "faster" and "slower" coloured.
std::string html_table(const Table& t);

// Columns on a terminal are counted in characters, not UTF-8 bytes (text
// that printable() made, which is always valid UTF-8).
std::size_t display_width(const std::string& s);

// The text with every control character (C0, DEL and C1, line breaks
// included) written as a visible escape such as "\x1b", each byte that is
// not part of valid UTF-8 as "\xNN", and each bidirectional control or
// invisible format character (U+200B..U+200F, U+202A..U+202E, U+2066..U+2069,
// U+FEFF, the soft hyphen ...) as "\u202e": so that text from an export, a
// program, a file name or a user can neither move the cursor, retitle or clear
// a terminal, nor hide or reorder what it shows. The result is valid UTF-8.
// printable_lines keeps line breaks.
std::string printable(const std::string& s);
std::string printable_lines(const std::string& s);

// A Markdown cell: printable, line breaks as spaces, Markdown's punctuation
// backslash-escaped and bare web and mail addresses broken, so that a cell can
// neither end the row nor form a link, an image, an autolink or HTML; it
// reads as the same text.
std::string markdown_cell(const std::string& s);

// A CSV cell, quoted when it holds a comma, a quote or a line break. Text a
// spreadsheet would take for a formula (a leading "=", "+", "-", "@", tab or
// carriage return) gets a leading "'"; numbers such as "-0.5" stay numbers.
std::string csv_cell(const std::string& s);

// Text made safe inside HTML elements and attribute values.
std::string html_escape(const std::string& text);

}  // namespace compare
