// S-channel commands: one command writes one row of one hardware table (or the register)
// of one fap and instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "host/Node.h"
#include "host/Strep.h"

namespace SchanAccel {
enum class SchanOpcode : std::uint8_t { WriteMemory = 1, WriteRegister = 2 };
// As commands are shown: "WRITE_MEMORY", "WRITE_REGISTER".
constexpr const char* opcodeName(SchanOpcode op) noexcept {
  return op == SchanOpcode::WriteRegister ? "WRITE_REGISTER" : "WRITE_MEMORY";
}

class SchanCmd final : public Pavo::Node {
 public:
  static constexpr unsigned kMaxWords = 9;  // the widest row
  SchanCmd() noexcept : data{} {}
  // For a writer that fills every word of data itself (a row read from the shadow).
  struct RowFollows {};
  explicit SchanCmd(RowFollows) noexcept {}
  SchanCmd(const SchanCmd&) noexcept = default;  // a copy is a new node: no references
  SchanCmd& operator=(const SchanCmd&) noexcept = default;

  SchanOpcode opcode = SchanOpcode::WriteMemory;
  std::uint8_t fapId = 0;
  std::uint8_t instanceId = 0;
  std::uint16_t block = 0;
  std::uint32_t address = 0;
  std::uint8_t words = 0;
  std::uint32_t data[kMaxWords];

  void strep(Pavo::StrepBuf& b) const;
};

class SchanCmds final : public Pavo::Node {
 public:
  // Commands are kept by value inside the list: the commands of one entry (one row, or the
  // eight rows of an MTU profile) and the list cost one slab block, built in place; longer
  // lists (a whole table's clear) move to a separate block.
  class Queue {
   public:
    using value_type = SchanCmd;
    using const_iterator = const SchanCmd*;
    static constexpr std::size_t kInline = 8;

    Queue() noexcept = default;
    Queue(const Queue& o) : Queue() {
      reserve(o.size_);
      for (const auto& c : o) push_back(c);
    }
    Queue& operator=(const Queue&) = delete;
    ~Queue() {
      SchanCmd* d = data();
      for (std::size_t i = 0; i < size_; ++i) d[i].~SchanCmd();
      if (spill_) Kelp::slabFree(spill_, cap_ * sizeof(SchanCmd));
    }

    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const SchanCmd& operator[](std::size_t i) const noexcept { return data()[i]; }
    const SchanCmd& front() const noexcept { return data()[0]; }
    const SchanCmd& back() const noexcept { return data()[size_ - 1]; }

    void push_back(const SchanCmd& c) { emplace() = c; }
    // A new command at the end, every field zero (or, with RowFollows, every data word left
    // for the caller to fill), for the caller to fill in.
    template <class... Init>
    SchanCmd& emplace(Init... init) {
      if (size_ == cap_) [[unlikely]]
        reserve(cap_ * 2);
      return *new (data() + size_++) SchanCmd(init...);
    }
    void reserve(std::size_t n) {
      if (n <= cap_) return;
      auto* d = static_cast<SchanCmd*>(Kelp::slabAlloc(n * sizeof(SchanCmd)));
      SchanCmd* old = data();
      for (std::size_t i = 0; i < size_; ++i) {
        new (d + i) SchanCmd(old[i]);
        old[i].~SchanCmd();
      }
      if (spill_) Kelp::slabFree(spill_, cap_ * sizeof(SchanCmd));
      spill_ = d;
      cap_ = n;
    }

   private:
    SchanCmd* data() noexcept { return spill_ ? spill_ : reinterpret_cast<SchanCmd*>(inline_); }
    const SchanCmd* data() const noexcept {
      return spill_ ? spill_ : reinterpret_cast<const SchanCmd*>(inline_);
    }
    SchanCmd* spill_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cap_ = kInline;
    alignas(SchanCmd) unsigned char inline_[kInline * sizeof(SchanCmd)];
  };

  // The last reference gone: the list and its commands go back to the slab at once.
  void lastUserGone() override { delete this; }

  // Appends a copy of the command.
  void cmdEnq(const Pavo::Ptr<SchanCmd>& cmd) { q_.push_back(*cmd); }
  // Appends a command built in place.
  SchanCmd& cmdEmplace() { return q_.emplace(); }
  // Appends a command whose caller writes all kMaxWords data words.
  SchanCmd& cmdEmplaceRow() { return q_.emplace(SchanCmd::RowFollows{}); }
  const Queue& cmdQueue() const noexcept { return q_; }
  Queue::const_iterator begin() const noexcept { return q_.begin(); }
  Queue::const_iterator end() const noexcept { return q_.end(); }
  std::size_t size() const noexcept { return q_.size(); }
  void reserve(std::size_t n) { q_.reserve(n); }

 private:
  Queue q_;
};

inline Pavo::Ptr<SchanCmds> schanCmdsFactory() { return Pavo::Ptr<SchanCmds>(new SchanCmds); }
}  // namespace SchanAccel
