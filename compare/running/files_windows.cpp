// Scratch directories, path checks and the writing of files on Windows: wide
// calls on UTF-8 paths.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "compare/running/files.h"
#include "compare/running/system_windows.h"

namespace compare {

ScratchDir::ScratchDir(const std::string& prefix) {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) {
    error_ = system_message(GetLastError());
    return;
  }
  // A random name, made only if no one has it: the directory is ours alone.
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = fmt::format("{}-{:08x}{:08x}", prefix, random(), random());
    // Absolute, as a run's programs work inside it and are told its path.
    std::error_code ignored;
    const std::wstring path =
        std::filesystem::absolute(std::filesystem::path(std::wstring(base) + to_wide(name)),
                                  ignored)
            .wstring();
    if (CreateDirectoryW(path.c_str(), nullptr) != 0) {
      path_ = std::filesystem::path(path).lexically_normal().u8string();
      while (!path_.empty() && (path_.back() == '\\' || path_.back() == '/')) path_.pop_back();
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      error_ = system_message(GetLastError());
      return;
    }
  }
  error_ = "every name tried was taken";
}

std::string unwritable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path target = fs::u8path(path);
  if (fs::is_directory(target, error)) return "it is a directory";
  if (fs::exists(target, error)) {
    // Opened for writing and closed at once: nothing is changed.
    HANDLE file =
        CreateFileW(target.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return system_message(GetLastError());
    CloseHandle(file);
    return {};
  }
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(parent, error)) return "No such file or directory";
  return {};
}

namespace {

bool write_all(HANDLE file, const std::string& text) {
  const char* at = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1U << 30));
    DWORD written = 0;
    if (WriteFile(file, at, chunk, &written, nullptr) == 0) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    at += written;
    left -= written;
  }
  return true;
}

// A device (NUL, CON) has nothing to replace: written in place.
bool is_device(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool device = GetFileType(file) != FILE_TYPE_DISK;
  CloseHandle(file);
  return device;
}

// A new file beside `target`, made only if no one has it.
HANDLE new_file_beside(const std::filesystem::path& target, std::wstring& name) {
  const std::filesystem::path dir =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(L".");
  const std::string base = target.filename().u8string().substr(0, 150);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = (dir / std::filesystem::u8path(fmt::format(".{}.{:08x}.tmp", base, random()))).wstring();
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string write_text(const std::string& path, const std::string& text) {
  const std::filesystem::path target = std::filesystem::u8path(written_path(path));
  if (is_device(target.wstring())) {
    HANDLE file = CreateFileW(target.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return system_message(GetLastError());
    const bool ok = write_all(file, text);
    const DWORD reason = GetLastError();
    CloseHandle(file);
    return ok ? "" : system_message(reason);
  }
  std::wstring temporary;
  HANDLE file = new_file_beside(target, temporary);
  if (file == INVALID_HANDLE_VALUE) return system_message(GetLastError());
  bool ok = write_all(file, text) && FlushFileBuffers(file) != 0;
  DWORD reason = GetLastError();
  if (CloseHandle(file) == 0 && ok) {
    ok = false;
    reason = GetLastError();
  }
  if (ok && MoveFileExW(temporary.c_str(), target.wstring().c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    ok = false;
    reason = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temporary.c_str());
    return system_message(reason);
  }
  return {};
}

const char* const kProgramSuffix = ".exe";

std::string own_directory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return std::filesystem::path(path).parent_path().u8string();
}

bool exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::u8path(path), error);
}

}  // namespace compare
