#include "compare/running/counting_probe.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "compare/running/files.h"
#include "compare/stats/counts.h"

namespace compare {
namespace {

constexpr const char* kRecord = "counters-record.txt";

struct Closer {
  int fd;
  Elf* elf = nullptr;
  ~Closer() {
    elf_end(elf);
    close(fd);
  }
};

bool has_interpreter(Elf* elf) {
  std::size_t headers = 0;
  if (elf_getphdrnum(elf, &headers) != 0) return false;
  for (std::size_t i = 0; i < headers; ++i) {
    GElf_Phdr header{};
    if (gelf_getphdr(elf, static_cast<int>(i), &header) != nullptr && header.p_type == PT_INTERP) {
      return true;
    }
  }
  return false;
}

// Whether the program takes omp_get_wtime from a shared library, where a
// preloaded one comes first.
bool imports_clock(Elf* elf) {
  for (Elf_Scn* section = elf_nextscn(elf, nullptr); section != nullptr;
       section = elf_nextscn(elf, section)) {
    GElf_Shdr header{};
    if (gelf_getshdr(section, &header) == nullptr || header.sh_type != SHT_DYNSYM ||
        header.sh_entsize == 0) {
      continue;
    }
    Elf_Data* data = elf_getdata(section, nullptr);
    for (std::size_t i = 0; data != nullptr && i < header.sh_size / header.sh_entsize; ++i) {
      GElf_Sym symbol{};
      if (gelf_getsym(data, static_cast<int>(i), &symbol) == nullptr) continue;
      const char* name = elf_strptr(elf, header.sh_link, symbol.st_name);
      if (name != nullptr && std::strcmp(name, "omp_get_wtime") == 0 &&
          symbol.st_shndx == SHN_UNDEF) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool read_counts(const std::string& record, RunCounts& counts,
                 std::map<std::string, std::string>& unavailable, std::string& why) {
  counts = RunCounts{};
  std::map<std::string, std::string> fields;
  std::istringstream lines(record);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  if (fields[protocol::kCountingMark] != "1") {
    why = "its record is not the counting probe's";
    return false;
  }
  if (fields[protocol::kWindowsKey] != std::to_string(kTests)) {
    why = fmt::format(
        "the counting probe saw {} of its {} timing windows close",
        fields[protocol::kWindowsKey].empty() ? "none" : fields[protocol::kWindowsKey], kTests);
    return false;
  }
  for (const auto& [key, value] : fields) {
    const std::string prefix = protocol::kUnavailablePrefix;
    if (key.rfind(prefix, 0) == 0) {
      unavailable[key.substr(prefix.size())] = value;
      continue;
    }
    // "wN.EVENT": the count of one window.
    if (key.size() < 4 || key[0] != 'w' || key[2] != '.' || key[1] < '1' || key[1] > '0' + kTests) {
      continue;
    }
    const int e = event_index(key.substr(3));
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (e < 0 || value.empty() || *end != '\0' || !std::isfinite(v) || v < 0) {
      continue;
    }
    counts.at(static_cast<std::size_t>(key[1] - '1')).at(static_cast<std::size_t>(e)) = v;
  }
  return true;
}

std::string counting_probe_path(const std::string& probe) {
  return (std::filesystem::path(probe).parent_path() / "libbench_counters.so").string();
}

std::string counting_unsupported(const std::string& program) {
  struct stat st {};
  if (stat(program.c_str(), &st) != 0) return std::strerror(errno);
  if ((st.st_mode & (S_ISUID | S_ISGID)) != 0) {
    return "it runs set-user-ID or set-group-ID, and the dynamic linker preloads nothing into it";
  }
  elf_version(EV_CURRENT);
  Closer file{open(program.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return std::strerror(errno);
  file.elf = elf_begin(file.fd, ELF_C_READ, nullptr);
  if (file.elf == nullptr || elf_kind(file.elf) != ELF_K_ELF) {
    return "it is not an ELF program";
  }
  if (!has_interpreter(file.elf)) {
    return "it is statically linked, and nothing can be preloaded into it";
  }
  if (!imports_clock(file.elf)) {
    return "it does not take omp_get_wtime from a shared library, so its timing windows cannot "
           "be seen";
  }
  return {};
}

std::string counting_unusable(const std::string& counting_probe, const std::string& random,
                              const std::string& fixed) {
  if (access(counting_probe.c_str(), R_OK) != 0) {
    return fmt::format("--counters cannot use the counting probe {}: {}", counting_probe,
                       std::strerror(errno));
  }
  for (const Side side : {Side::Random, Side::Fixed}) {
    const std::string& program = side == Side::Random ? random : fixed;
    const std::string why = counting_unsupported(program);
    if (!why.empty()) {
      return fmt::format("--counters cannot count {} at {}: {}", program_name(side), program, why);
    }
  }
  return {};
}

void add_counting(RunRequest& request, const std::string& counting_probe) {
  request.env.push_back("LD_PRELOAD=" + absolute_path(counting_probe));
  request.env.push_back(std::string(protocol::kReportVariable) + "=%DIR%/" + kRecord);
  request.files.emplace_back(kRecord);
}

bool counts_of(const RunOutcome& run, RunCounts& counts,
               std::map<std::string, std::string>& unavailable, std::string& why) {
  const auto record = run.files.find(kRecord);
  if (record == run.files.end()) {
    why = "the counting probe wrote no record: it was not loaded into the program";
    return false;
  }
  if (!read_counts(record->second, counts, unavailable, why)) {
    why = "the counting probe's record is unusable: " + why;
    return false;
  }
  return true;
}

}  // namespace compare
