// The record of a Linux machine: /proc, /sys and uname, and the compiler and
// architecture of an ELF program from its .comment section and header.
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <omp.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "compare/running/machine.h"

#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#endif

namespace compare {

namespace {

const char* const kUnknown = "unknown";

// A root of only slashes is this machine: only then may the process itself
// (the system's processor count, uname, the C library, the clock) be asked.
bool is_this_machine(const std::string& root) {
  return root.find_first_not_of('/') == std::string::npos;
}

std::string under(const std::string& root, const std::string& relative) {
  std::string path = root;
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path + "/" + relative;
}

// The whole text of a file, or nothing when it cannot be opened or read.
std::optional<std::string> read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

std::string trim(const std::string& text) {
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  auto begin = std::find_if_not(text.begin(), text.end(), space);
  auto end = std::find_if_not(text.rbegin(), std::make_reverse_iterator(begin), space).base();
  return std::string(begin, end);
}

// A one-value file such as those of /proc/sys and /sys; empty when unreadable.
std::string read_value(const std::string& path) {
  auto text = read_text(path);
  return text ? trim(*text) : std::string();
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string joined;
  for (const auto& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

void add_distinct(std::vector<std::string>& list, const std::string& item) {
  if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) {
    list.push_back(item);
  }
}

// Reading the machine must never end the comparison: whatever goes wrong
// in one item (even running out of memory) leaves that item unknown.
template <typename Read>
Known guarded(Read read) {
  try {
    return known_from(read());
  } catch (...) {
    return {};
  }
}

struct CpuInfo {
  std::string model;
  int processors = 0;
};

CpuInfo read_cpuinfo(const std::string& root) {
  CpuInfo info;
  auto text = read_text(under(root, "proc/cpuinfo"));
  if (!text) return info;
  std::istringstream lines(*text);
  std::string line;
  while (std::getline(lines, line)) {
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    auto key = trim(line.substr(0, colon));
    if (key == "processor") {
      ++info.processors;
    } else if (key == "model name" && info.model.empty()) {
      info.model = trim(line.substr(colon + 1));
    }
  }
  return info;
}

std::string read_architecture(const std::string& root) {
  utsname names{};
  return is_this_machine(root) && uname(&names) == 0 ? architecture_name(names.machine) : kUnknown;
}

std::string read_kernel(const std::string& root) {
  auto release = read_value(under(root, "proc/sys/kernel/osrelease"));
  std::string machine;
  if (is_this_machine(root)) {
    utsname names{};
    if (uname(&names) == 0) {
      if (release.empty()) release = names.release;
      machine = names.machine;
    }
  }
  if (release.empty()) return kUnknown;
  return "Linux " + release + (machine.empty() ? "" : " " + machine);
}

// Each processor may have its own governor: one name when they agree, else
// the distinct names in processor order.
std::string read_governor(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<std::pair<unsigned long, std::string>> found;
  std::error_code error;
  fs::directory_iterator entry(under(root, "sys/devices/system/cpu"), error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    auto name = entry->path().filename().string();
    if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 ||
        !std::all_of(name.begin() + 3, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
      continue;
    }
    auto governor = read_value((entry->path() / "cpufreq" / "scaling_governor").string());
    if (!governor.empty()) found.emplace_back(std::stoul(name.substr(3)), governor);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> distinct;
  for (const auto& cpu : found) add_distinct(distinct, cpu.second);
  return join(distinct, ", ");
}

std::string read_turbo(const std::string& root) {
  // intel_pstate states the opposite ("no turbo"), other drivers the boost.
  auto no_turbo = read_value(under(root, "sys/devices/system/cpu/intel_pstate/no_turbo"));
  if (no_turbo == "0") return "on";
  if (no_turbo == "1") return "off";
  auto boost = read_value(under(root, "sys/devices/system/cpu/cpufreq/boost"));
  if (boost == "1") return "on";
  if (boost == "0") return "off";
  return kUnknown;
}

std::string read_aslr(const std::string& root) {
  auto value = read_value(under(root, "proc/sys/kernel/randomize_va_space"));
  if (value == "0") return "0 (off)";
  if (value == "1") return "1 (partial)";
  if (value == "2") return "2 (full)";
  return value;  // a value this code does not know is still worth showing
}

std::string read_load(const std::string& root) {
  auto text = read_text(under(root, "proc/loadavg"));
  if (!text) return kUnknown;
  std::istringstream fields(*text);
  std::vector<std::string> loads(3);
  for (auto& load : loads) {
    if (!(fields >> load)) return kUnknown;
  }
  return join(loads, " ");
}

// Closes what elf_facts opened, on every way out.
struct FileCloser {
  int fd;
  ~FileCloser() { close(fd); }
};
struct ElfCloser {
  Elf* elf;
  ~ElfCloser() { elf_end(elf); }
};

// The raw bytes of every section called `wanted`, each followed by a NUL;
// empty when the file has none.
std::string section_bytes(Elf* elf, const char* wanted) {
  size_t names = 0;
  if (elf_getshdrstrndx(elf, &names) != 0) return {};
  std::string bytes;
  for (Elf_Scn* section = elf_nextscn(elf, nullptr); section != nullptr;
       section = elf_nextscn(elf, section)) {
    GElf_Shdr header{};
    if (gelf_getshdr(section, &header) == nullptr) continue;
    const char* name = elf_strptr(elf, names, header.sh_name);
    if (name == nullptr || std::strcmp(name, wanted) != 0 || header.sh_type == SHT_NOBITS) {
      continue;
    }
    if ((header.sh_flags & SHF_COMPRESSED) != 0 && elf_compress(section, 0, 0) < 0) continue;
    for (Elf_Data* data = elf_getdata(section, nullptr); data != nullptr;
         data = elf_getdata(section, data)) {
      if (data->d_buf != nullptr) bytes.append(static_cast<const char*>(data->d_buf), data->d_size);
    }
    bytes.push_back('\0');  // a section that does not end its last string
  }
  return bytes;
}

// The names the record gives the machines an ELF header can name.
std::string elf_architecture(Elf* elf) {
  GElf_Ehdr header{};
  if (gelf_getehdr(elf, &header) == nullptr) return kUnknown;
  switch (header.e_machine) {
    case EM_X86_64:
      return "x86_64";
    case EM_AARCH64:
      return "aarch64";
    case EM_386:
      return "i386";
    case EM_ARM:
      return "arm";
    case EM_RISCV:
      return gelf_getclass(elf) == ELFCLASS64 ? "riscv64" : "riscv32";
    default:
      return kUnknown;
  }
}

struct ElfFacts {
  std::string compiler = kUnknown;
  std::string architecture = kUnknown;
  std::string target;  // what an emulated launcher runs; empty for any other program
};

ElfFacts elf_facts(const std::string& path) {
  ElfFacts facts;
  // Not blocking on open keeps a named pipe from hanging the comparison;
  // only a regular file is read at all.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return facts;
  FileCloser file{fd};
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return facts;
  if (elf_version(EV_CURRENT) == EV_NONE) return facts;
  Elf* elf = elf_begin(fd, ELF_C_READ, nullptr);
  if (elf == nullptr) return facts;
  ElfCloser opened{elf};
  if (elf_kind(elf) != ELF_K_ELF) return facts;
  facts.architecture = elf_architecture(elf);
  const std::string bytes = section_bytes(elf, ".comment");
  std::vector<std::string> compilers;
  for (size_t begin = 0; begin < bytes.size();) {
    const size_t end = bytes.find('\0', begin);
    add_distinct(compilers, trim(bytes.substr(begin, end - begin)));
    begin = end + 1;
  }
  if (!compilers.empty()) facts.compiler = join(compilers, "; ");
  const std::string target = section_bytes(elf, ".bench_target");
  facts.target = target.substr(0, target.find('\0'));
  return facts;
}

}  // namespace

MachineRecord read_machine(const std::string& root) {
  MachineRecord record;
  const bool here = is_this_machine(root);
  CpuInfo cpu;
  try {
    cpu = read_cpuinfo(root);
  } catch (...) {
    cpu = CpuInfo{};
  }
  record.cpu_model = known_from(cpu.model);
  int processors = cpu.processors;
  if (processors == 0 && here) processors = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  if (processors > 0) record.logical_cpus = std::to_string(processors);
  record.kernel = guarded([&] { return read_kernel(root); });
  record.architecture = guarded([&] { return read_architecture(root); });
#if defined(__GLIBC__)
  if (here) record.libc = std::string("glibc ") + gnu_get_libc_version();
#endif
  record.governor = guarded([&] { return read_governor(root); });
  record.turbo = guarded([&] { return read_turbo(root); });
  record.aslr = guarded([&] { return read_aslr(root); });
  record.load_before = guarded([&] { return read_load(root); });
  if (here) record.clock_tick = clock_tick();
  return record;
}

void read_machine_after(MachineRecord& record, const std::string& root) {
  record.load_after = guarded([&] { return read_load(root); });
  record.governor_after = guarded([&] { return read_governor(root); });
  record.turbo_after = guarded([&] { return read_turbo(root); });
}

double clock_tick() { return clock_tick(omp_get_wtime); }

std::string host_name() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? name : kUnknown;
}

ProgramRecord program_record(const std::string& path) {
  ProgramRecord record;
  record.path = path;
  try {
    ElfFacts facts = elf_facts(path);
    // One hop only: a launcher is read for its target, never a target's own.
    if (!facts.target.empty()) facts = elf_facts(facts.target);
    record.compiler = known_from(facts.compiler);
    record.architecture = known_from(facts.architecture);
  } catch (...) {
    record.compiler.reset();
    record.architecture.reset();
  }
  return record;
}

}  // namespace compare
