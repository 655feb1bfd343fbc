// utilsim --version: the version and the plug-in file a run would load.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/Header.h"

#ifndef UTILSIM_VERSION
#define UTILSIM_VERSION "unknown"
#endif

namespace Utilsim {

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
