// Whether the counting probe can enter a Linux program: a dynamically linked
// ELF program that takes the clock from a shared library.
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "compare/running/counting_probe.h"

namespace compare {
namespace {

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

}  // namespace compare
