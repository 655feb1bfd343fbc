// utilsim --version: the version and the plug-in file a run would load.
#include <elf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "tools/utilsim/Commands.h"

#ifndef UTILSIM_VERSION
#define UTILSIM_VERSION "unknown"
#endif

namespace Utilsim {
namespace {
// The GNU build id the linker put into an ELF file (of this machine's byte order), in
// hexadecimal; empty when the file has none or is not ELF. It names the exact build of a
// plug-in where size and time do not.
template <class Ehdr, class Phdr, class Nhdr>
std::string buildIdOf(std::string_view f) {
  Ehdr eh;
  if (f.size() < sizeof eh) return {};
  std::memcpy(&eh, f.data(), sizeof eh);
  for (std::uint64_t i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    const std::uint64_t at = eh.e_phoff + i * eh.e_phentsize;
    if (at + sizeof ph > f.size()) return {};
    std::memcpy(&ph, f.data() + at, sizeof ph);
    if (ph.p_type != PT_NOTE || ph.p_offset + ph.p_filesz > f.size()) continue;
    const std::uint64_t end = ph.p_offset + ph.p_filesz;
    for (std::uint64_t pos = ph.p_offset; pos + sizeof(Nhdr) <= end;) {
      Nhdr nh;
      std::memcpy(&nh, f.data() + pos, sizeof nh);
      const std::uint64_t name = pos + sizeof nh, desc = name + ((nh.n_namesz + 3u) & ~3u),
                          next = desc + ((nh.n_descsz + 3u) & ~3u);
      if (next > end) break;
      if (nh.n_type == NT_GNU_BUILD_ID &&
          f.substr(name, nh.n_namesz) == std::string_view("GNU", 4)) {
        std::string id;
        for (const char c : f.substr(desc, nh.n_descsz))
          id += fmt::format("{:02x}", unsigned(std::uint8_t(c)));
        return id;
      }
      pos = next;
    }
  }
  return {};
}

std::string buildId(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (f.size() <= EI_CLASS || f.compare(0, SELFMAG, ELFMAG) != 0) return {};
  if (f[EI_CLASS] == ELFCLASS64) return buildIdOf<Elf64_Ehdr, Elf64_Phdr, Elf64_Nhdr>(f);
  if (f[EI_CLASS] == ELFCLASS32) return buildIdOf<Elf32_Ehdr, Elf32_Phdr, Elf32_Nhdr>(f);
  return {};
}
}  // namespace

// utilsim's version and the plug-in file a run would load, which decides what a run does.
int version(const Options& o) {
  std::string text = fmt::format("utilsim {}\nplug-in: {}", UTILSIM_VERSION, o.plugin);
  struct stat st {};
  if (stat(o.plugin.c_str(), &st) != 0) {
    text += fmt::format(" (cannot be read: {})\n", std::strerror(errno));
  } else {
    std::tm tm{};
    gmtime_r(&st.st_mtime, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &tm);
    text += fmt::format("\n  {} bytes, modified {}\n", std::uint64_t(st.st_size), when);
    if (const auto id = buildId(o.plugin); !id.empty()) text += fmt::format("  build id {}\n", id);
  }
  writeOut(text);
  return kExitOk;
}

}  // namespace Utilsim
