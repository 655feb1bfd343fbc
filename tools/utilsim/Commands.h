// The commands main dispatches to, and what they share: writing the output and warnings.
#pragma once

#include <fmt/format.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/utilsim/Options.h"

namespace Utilsim {

// Each returns the exit status; exceptions mean the plug-in could not be loaded or started,
// or the output not written (InputFileError: an input file could not be read).
int list(const Options& o);
int tables(const Options& o);
int history(const Options& o);
int version(const Options& o);
int replay(const Options& o);
// `utilsim diff [--json] A B` with the arguments after "diff".
int diffCommand(const std::vector<std::string>& args, const char* usage);

inline void writeOut(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout))
    throw std::runtime_error("cannot write the output");
}

template <class... Args>
void warn(fmt::format_string<Args...> format, Args&&... args) {
  fmt::print(stderr, "utilsim: warning: {}\n", fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace Utilsim
