// Reading the files utilsim is given, with messages a user can act on.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace Utilsim {

// A file that cannot be read or is not what it should be (exit status 2).
struct InputFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr std::size_t kMaxInputBytes = std::size_t(256) << 20;

std::string readFile(const std::string& path);  // at most kMaxInputBytes
std::string readStdin();                        // at most kMaxInputBytes
nlohmann::json readJsonFile(const std::string& path);

}  // namespace Utilsim
