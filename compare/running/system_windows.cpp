#include "compare/running/system_windows.h"

#include <windows.h>

#include <utility>

namespace compare {

std::wstring to_wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
  return text;
}

std::string to_utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n,
                      nullptr, nullptr);
  return utf8;
}

std::string system_message(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : to_utf8(message);
}

std::string exception_name(unsigned long code) {
  static const std::pair<unsigned long, const char*> kNames[] = {
      {0xC0000005, "access violation"},
      {0xC0000006, "in-page error"},
      {0xC0000008, "invalid handle"},
      {0xC0000017, "out of memory"},
      {0xC000001D, "illegal instruction"},
      {0xC000008E, "floating-point division by zero"},
      {0xC0000090, "invalid floating-point operation"},
      {0xC0000091, "floating-point overflow"},
      {0xC0000094, "integer division by zero"},
      {0xC0000095, "integer overflow"},
      {0xC0000096, "privileged instruction"},
      {0xC00000FD, "stack overflow"},
      {0xC000013A, "ended by Ctrl-C"},
      {0xC0000135, "a DLL was not found"},
      {0xC0000139, "an entry point was not found"},
      {0xC0000142, "a DLL failed to initialise"},
      {0xC0000374, "heap corruption"},
      {0xC0000409, "stack buffer overrun or fast fail"},
  };
  for (const auto& [known, name] : kNames) {
    if (known == code) return name;
  }
  return "unknown exception";
}

std::string wine_version() {
  using Version = const char*(__cdecl*)();
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return {};
  const auto get =
      reinterpret_cast<Version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  return get != nullptr && get() != nullptr ? get() : "";
}

}  // namespace compare
