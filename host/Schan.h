// S-channel commands: one command writes one row of one hardware table (or the register)
// of one fap and instance.
#pragma once

#include <cstdint>
#include <vector>

#include "host/Pavo.h"
#include "host/Strep.h"

namespace SchanAccel {
enum class SchanOpcode : std::uint8_t { WriteMemory = 1, WriteRegister = 2 };

class SchanCmd final : public Pavo::Node {
 public:
  static constexpr unsigned kMaxWords = 16;
  SchanCmd() noexcept = default;

  SchanOpcode opcode = SchanOpcode::WriteMemory;
  std::uint8_t fapId = 0;
  std::uint8_t instanceId = 0;
  std::uint16_t block = 0;
  std::uint32_t address = 0;
  std::uint8_t words = 0;
  std::uint32_t data[kMaxWords] = {};

  void strep(Pavo::StrepBuf& b) const;
};

class SchanCmds final : public Pavo::Node {
 public:
  using Queue = std::vector<Pavo::Ptr<SchanCmd>, Kelp::SlabAllocator<Pavo::Ptr<SchanCmd>>>;
  void cmdEnq(const Pavo::Ptr<SchanCmd>& cmd) { q_.push_back(cmd); }
  const Queue& cmdQueue() const noexcept { return q_; }
  Queue::const_iterator begin() const noexcept { return q_.begin(); }
  Queue::const_iterator end() const noexcept { return q_.end(); }
  std::size_t size() const noexcept { return q_.size(); }
  void reserve(std::size_t n) { q_.reserve(n); }

 private:
  Queue q_;
};

Pavo::Ptr<SchanCmds> schanCmdsFactory();
}  // namespace SchanAccel
