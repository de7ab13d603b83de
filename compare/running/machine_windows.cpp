// The record of a Windows machine: the processor from cpuid, the system's
// version (and Wine's, where it runs), the performance counter's tick, and
// each program's compiler from the strings GCC leaves in a PE file and its
// architecture from the PE header.
#include <windows.h>
// After windows.h.
#include <cpuid.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "compare/running/machine.h"
#include "compare/running/system_windows.h"

namespace compare {
namespace {

const char* const kUnknown = "unknown";

std::string cpu_name() {
  unsigned int top = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(0x80000000U, &top, &b, &c, &d) == 0 || top < 0x80000004U) return kUnknown;
  char name[49] = {};
  for (unsigned int leaf = 0; leaf < 3; ++leaf) {
    unsigned int regs[4] = {};
    __get_cpuid(0x80000002U + leaf, &regs[0], &regs[1], &regs[2], &regs[3]);
    std::memcpy(name + 16 * leaf, regs, sizeof regs);
  }
  std::string text(name);
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of(' ') + 1);
  return text.empty() ? kUnknown : text;
}

// GetVersionEx lies to programs without a manifest entry; ntdll does not.
std::string windows_version() {
  using Get = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto get =
      ntdll == nullptr
          ? nullptr
          : reinterpret_cast<Get>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (get == nullptr || get(&info) != 0) return kUnknown;
  std::string text = fmt::format("Windows {}.{}.{} x86_64", info.dwMajorVersion,
                                 info.dwMinorVersion, info.dwBuildNumber);
  const std::string wine = wine_version();
  return wine.empty() ? text : text + " (Wine " + wine + ")";
}

double performance_counter() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    return QueryPerformanceFrequency(&f) != 0 && f.QuadPart > 0 ? static_cast<double>(f.QuadPart)
                                                                : 1.0;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

template <typename T>
T at(const std::string& bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof value <= bytes.size())
    std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// The record's name of the machine a PE header's Machine field names.
std::string pe_architecture(const std::string& file) {
  if (file.size() < 0x40 || file.compare(0, 2, "MZ") != 0) return kUnknown;
  const auto pe = at<std::uint32_t>(file, 0x3C);
  if (file.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return kUnknown;
  switch (at<std::uint16_t>(file, pe + 4)) {
    case 0x8664:  // AMD64
      return "x86_64";
    case 0xAA64:  // ARM64
      return "aarch64";
    case 0x14C:  // I386
      return "i386";
    case 0x1C0:  // ARM
    case 0x1C4:  // ARMNT
      return "arm";
    default:
      return kUnknown;
  }
}

std::string native_architecture() {
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      return "x86_64";
    case PROCESSOR_ARCHITECTURE_ARM64:
      return "aarch64";
    case PROCESSOR_ARCHITECTURE_INTEL:
      return "i386";
    case PROCESSOR_ARCHITECTURE_ARM:
      return "arm";
    default:
      return kUnknown;
  }
}

// The raw bytes of the sections where GCC's "GCC: (...)" strings end up:
// .rdata in a MinGW program (its .rdata$zzz), or a .comment kept apart.
std::string string_sections(const std::string& file) {
  if (file.size() < 0x40 || file.compare(0, 2, "MZ") != 0) return {};
  const auto pe = at<std::uint32_t>(file, 0x3C);
  if (file.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return {};
  const auto sections = at<std::uint16_t>(file, pe + 6);
  const auto optional = at<std::uint16_t>(file, pe + 20);
  std::string bytes;
  for (std::size_t i = 0, header = pe + 24 + optional; i < sections; ++i, header += 40) {
    const std::string name = file.substr(header, 8).c_str();
    const auto size = at<std::uint32_t>(file, header + 16);
    const auto offset = at<std::uint32_t>(file, header + 20);
    if ((name == ".rdata" || name == ".comment") && offset < file.size()) {
      bytes += file.substr(offset, size);
      bytes.push_back('\0');
    }
  }
  return bytes;
}

}  // namespace

MachineRecord read_machine(const std::string& /*root*/) {
  MachineRecord record;
  record.cpu_model = known_from(cpu_name());
  record.architecture = known_from(native_architecture());
  const DWORD cpus = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  if (cpus > 0) record.logical_cpus = std::to_string(cpus);
  record.kernel = known_from(windows_version());
  record.libc = "msvcrt.dll";
  record.clock_tick = clock_tick();
  return record;
}

void read_machine_after(MachineRecord& /*record*/, const std::string& /*root*/) {}

double clock_tick() { return clock_tick(performance_counter); }

std::string host_name() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) != 0 && size > 0 ? to_utf8(std::wstring(name, size))
                                                        : kUnknown;
}

ProgramRecord program_record(const std::string& path) {
  ProgramRecord record;
  record.path = path;
  try {
    std::error_code error;
    const auto file_path = std::filesystem::u8path(path);
    if (!std::filesystem::is_regular_file(file_path, error)) return record;
    std::ifstream in(file_path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    record.architecture = known_from(pe_architecture(file));
    const std::string bytes = string_sections(file);
    std::vector<std::string> compilers;
    for (const char* mark : {"GCC: (", "clang version "}) {
      for (std::size_t at = bytes.find(mark); at != std::string::npos;
           at = bytes.find(mark, at + 1)) {
        const std::string found = bytes.substr(at, bytes.find('\0', at) - at);
        if (std::find(compilers.begin(), compilers.end(), found) == compilers.end()) {
          compilers.push_back(found);
        }
      }
    }
    std::string joined;
    for (const std::string& c : compilers) joined += (joined.empty() ? "" : "; ") + c;
    if (!joined.empty()) record.compiler = joined;
  } catch (...) {
    record.compiler.reset();
    record.architecture.reset();
  }
  return record;
}

}  // namespace compare
