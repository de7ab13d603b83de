// What the Windows platform files share: UTF-8 and UTF-16 text, the
// system's messages and exception names, and whether Wine runs the program.
#pragma once

#include <string>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

std::wstring to_wide(const std::string& utf8);
std::string to_utf8(const std::wstring& text);

// The system's message for an error code, on one line.
std::string system_message(unsigned long code);

// "access violation" for 0xC0000005 and the like; "unknown exception" else.
std::string exception_name(unsigned long code);

// Wine's version when Wine runs this program; empty on Windows itself.
std::string wine_version();
inline bool running_under_wine() { return !wine_version().empty(); }

}  // namespace compare
