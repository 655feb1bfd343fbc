#include "tools/utilsim/Files.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/utilsim/Input.h"

namespace Utilsim {
namespace {
std::string readAll(std::FILE* f, const std::string& name) {
  std::string text;
  char buf[65536];
  while (true) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f);
    text.append(buf, n);
    if (text.size() > kMaxInputBytes)
      throw InputFileError(fmt::format("{}: larger than {} MiB", name, kMaxInputBytes >> 20));
    if (n < sizeof buf) break;
  }
  if (std::ferror(f))
    throw InputFileError(fmt::format("{}: read error: {}", name, std::strerror(errno)));
  return text;
}
}  // namespace

std::string readFile(const std::string& path) {
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"),
                                                          &std::fclose);
  if (!f)
    throw InputFileError(
        fmt::format("cannot open {}: {}", printable(path, 200), std::strerror(errno)));
  return readAll(f.get(), printable(path, 200));
}

std::string readStdin() { return readAll(stdin, "<stdin>"); }

nlohmann::json readJsonFile(const std::string& path) {
  const auto text = readFile(path);
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    throw InputFileError(fmt::format("{}: not a valid JSON document: {}", printable(path, 200),
                                     printable(e.what(), 200)));
  }
}

}  // namespace Utilsim
