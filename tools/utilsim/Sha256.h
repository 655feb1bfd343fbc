// SHA-256, to name the exact state a run started from. A loaded file may be a stored
// document of gigabytes, so the hash must keep up with reading it: the processor's SHA
// instructions are used where it has them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Utilsim {

class Sha256 {
 public:
  enum class Engine { Best, Portable };
  explicit Sha256(Engine engine = Engine::Best) noexcept;
  void add(const void* data, std::size_t size) noexcept;
  void add(std::string_view text) noexcept { add(text.data(), text.size()); }
  // The digest in lowercase hexadecimal; the object is spent after it.
  std::string hex();
  // Whether this machine's processor has the SHA instructions (Engine::Best uses them).
  static bool accelerated() noexcept;

 private:
  using Compress = void (*)(std::uint32_t* state, const std::uint8_t* blocks, std::size_t n);
  Compress compress_;
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t used_ = 0;
  std::uint64_t bytes_ = 0;
};

}  // namespace Utilsim
