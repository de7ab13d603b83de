// Running gnuplot on Windows: found on the PATH (or named with --gnuplot),
// started with CreateProcessW, its complaints in a file.
#include <windows.h>

#include <stdexcept>

#include "compare/render/gnuplot.h"
#include "compare/running/system_windows.h"

namespace compare {
namespace {

const char* const kWhere =
    "gnuplot is not installed (gnuplot.info; or name it with --gnuplot PATH)";

// The full path of the command, or empty when there is none.
std::wstring find_command(const std::string& gnuplot) {
  wchar_t found[MAX_PATH + 1] = {};
  const std::wstring name = to_wide(gnuplot);
  const DWORD n = SearchPathW(nullptr, name.c_str(), L".exe", MAX_PATH + 1, found, nullptr);
  if (n == 0 || n > MAX_PATH) return {};
  const DWORD attributes = GetFileAttributesW(found);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  return found;
}

std::string not_installed(const std::string& gnuplot) {
  return gnuplot == "gnuplot" ? std::string(kWhere)
                              : fmt::format("{}: no command {}", kWhere, gnuplot);
}

}  // namespace

std::string gnuplot_unusable(const std::string& gnuplot) {
  return find_command(gnuplot).empty() ? not_installed(gnuplot) : "";
}

void run_gnuplot(const std::string& script, const std::string& err, const std::string& gnuplot) {
  const std::wstring program = find_command(gnuplot);
  if (program.empty()) throw std::runtime_error("cannot draw the chart: " + not_installed(gnuplot));
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE input =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, OPEN_EXISTING, 0, nullptr);
  HANDLE complaints = CreateFileW(to_wide(err).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                  CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = input;
  startup.hStdError = complaints;
  std::wstring command = L"\"" + program + L"\" \"" + to_wide(script) + L"\"";
  PROCESS_INFORMATION started{};
  const BOOL ok = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
  const DWORD why = GetLastError();
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (complaints != INVALID_HANDLE_VALUE) CloseHandle(complaints);
  if (ok == 0) {
    throw std::runtime_error(
        fmt::format("cannot draw the chart: cannot run {}: {}", gnuplot, system_message(why)));
  }
  CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hProcess);
  if (code >= 0xC0000000U) {
    throw std::runtime_error(fmt::format("cannot draw the chart: {} crashed: exception 0x{:08X}",
                                         gnuplot, static_cast<unsigned long>(code)));
  }
  if (code != 0) {
    throw std::runtime_error(
        fmt::format("cannot draw the chart: {} failed: {}", gnuplot, gnuplot_complaint(err)));
  }
}

}  // namespace compare
