// S-channel commands: one command writes one row of one hardware table (or the register)
// of one fap and instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

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
  // The commands of one entry (one row, or the eight rows of an MTU profile) are kept inside
  // the list itself, so a list costs one slab block; longer lists (a whole table's clear)
  // move to a separate block.
  class Queue {
   public:
    using value_type = Pavo::Ptr<SchanCmd>;
    using const_iterator = const value_type*;
    static constexpr std::size_t kInline = 8;

    Queue() noexcept = default;
    Queue(const Queue& o) : Queue() {
      reserve(o.size_);
      for (const auto& c : o) push_back(c);
    }
    Queue& operator=(const Queue&) = delete;
    ~Queue() {
      value_type* d = data();
      for (std::size_t i = 0; i < size_; ++i) d[i].~value_type();
      if (spill_) Kelp::slabFree(spill_, cap_ * sizeof(value_type));
    }

    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const value_type& operator[](std::size_t i) const noexcept { return data()[i]; }
    const value_type& front() const noexcept { return data()[0]; }
    const value_type& back() const noexcept { return data()[size_ - 1]; }

    // Copied first: c may be an element of this list, which growing would move away.
    void push_back(const value_type& c) { push_back(value_type(c)); }
    void push_back(value_type&& c) {
      if (size_ == cap_) reserve(cap_ * 2);
      new (data() + size_) value_type(std::move(c));
      ++size_;
    }
    void reserve(std::size_t n) {
      if (n <= cap_) return;
      auto* d = static_cast<value_type*>(Kelp::slabAlloc(n * sizeof(value_type)));
      value_type* old = data();
      for (std::size_t i = 0; i < size_; ++i) {
        new (d + i) value_type(std::move(old[i]));
        old[i].~value_type();
      }
      if (spill_) Kelp::slabFree(spill_, cap_ * sizeof(value_type));
      spill_ = d;
      cap_ = n;
    }

   private:
    value_type* data() noexcept {
      return spill_ ? spill_ : reinterpret_cast<value_type*>(inline_);
    }
    const value_type* data() const noexcept {
      return spill_ ? spill_ : reinterpret_cast<const value_type*>(inline_);
    }
    value_type* spill_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cap_ = kInline;
    alignas(value_type) unsigned char inline_[kInline * sizeof(value_type)];
  };

  void cmdEnq(const Pavo::Ptr<SchanCmd>& cmd) { q_.push_back(cmd); }
  void cmdEnq(Pavo::Ptr<SchanCmd>&& cmd) { q_.push_back(std::move(cmd)); }
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
