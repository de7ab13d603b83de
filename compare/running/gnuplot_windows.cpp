// Finding gnuplot on Windows: in the directories of the PATH alone (never
// the current directory, where received files may lie), or the path given.
#include <windows.h>

#include <vector>

#include "compare/running/gnuplot.h"
#include "compare/running/system_windows.h"

namespace compare {
namespace {

const char* const kWhere =
    "gnuplot is not installed (gnuplot.info; or name it with --gnuplot PATH)";

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The PATH's own text; empty when there is none.
std::wstring path_variable() {
  const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(L"PATH", value.data(), n);
  value.resize(got < n ? got : 0);
  return value;
}

}  // namespace

std::string gnuplot_not_installed(const std::string& gnuplot) {
  return gnuplot == "gnuplot" ? std::string(kWhere)
                              : fmt::format("{}: no command {}", kWhere, gnuplot);
}

std::string gnuplot_program(const std::string& gnuplot) {
  const std::wstring name = to_wide(gnuplot);
  if (name.empty()) return {};
  std::vector<wchar_t> found(32768);
  const auto size = static_cast<DWORD>(found.size());
  DWORD n = 0;
  if (name.find_first_of(L"/\\:") != std::wstring::npos) {
    // A path: made absolute, with ".exe" when it was left off.
    n = GetFullPathNameW(name.c_str(), size, found.data(), nullptr);
    if (n > 0 && n < size && !is_file(found.data())) {
      n = GetFullPathNameW((name + L".exe").c_str(), size, found.data(), nullptr);
    }
  } else {
    // Given the PATH as the places to look, SearchPathW looks nowhere else.
    const std::wstring dirs = path_variable();
    if (dirs.empty()) return {};
    n = SearchPathW(dirs.c_str(), name.c_str(), L".exe", size, found.data(), nullptr);
  }
  if (n == 0 || n >= size || !is_file(found.data())) return {};
  return to_utf8(found.data());
}

}  // namespace compare
