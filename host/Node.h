// Reference-counted nodes and the intrusive pointers that hold them: everything the plug-in
// creates lives on these, allocated from the slab.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "host/Slab.h"

namespace Pavo {
struct ThreadControl {
  // Set while more than one thread may touch reference counts.
  static std::atomic<bool> tsp_;
};

class Node {
 public:
  Node() noexcept = default;
  Node(const Node&) noexcept {}
  Node& operator=(const Node&) noexcept { return *this; }
  virtual ~Node() = default;
  virtual void lastUserGone();
  virtual const void* publisher() const;

  [[gnu::always_inline]] void incUse() const noexcept {
    if (ThreadControl::tsp_.load(std::memory_order_relaxed)) {
      std::atomic_ref<std::uint32_t>(refs_).fetch_add(1, std::memory_order_relaxed);
    } else {
      ++refs_;
    }
  }
  // Only the last reference reaches the host's decUseImpl; the others are one decrement.
  [[gnu::always_inline]] void decUse() const {
    if (!ThreadControl::tsp_.load(std::memory_order_relaxed) && refs_ > 1) [[likely]] {
      --refs_;
      return;
    }
    decUseImpl();
  }
  void decUseImpl() const;
  std::uint32_t useCount() const noexcept { return refs_; }

  void nodeFlagSet(std::uint32_t flag, bool on) noexcept {
    flags_ = on ? (flags_ | flag) : (flags_ & ~flag);
  }
  std::uint32_t nodeFlags() const noexcept { return flags_; }

  static void* operator new(std::size_t n) { return Kelp::slabAlloc(n); }
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void operator delete(void* p, std::size_t n) noexcept { Kelp::slabFree(p, n); }
  static void operator delete(void*, void*) noexcept {}

 private:
  mutable std::uint32_t refs_ = 0;
  std::uint32_t flags_ = 0;
};

template <class T>
class Ptr {
 public:
  using element_type = T;
  Ptr() noexcept = default;
  Ptr(std::nullptr_t) noexcept {}
  Ptr(T* p) noexcept : p_(p) {
    if (p_) p_->incUse();
  }
  Ptr(const Ptr& o) noexcept : Ptr(o.p_) {}
  Ptr(Ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ptr(const Ptr<U>& o)
  noexcept : Ptr(static_cast<T*>(o.get())) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ptr(Ptr<U>&& o)
  noexcept : p_(o.release()) {}
  ~Ptr() {
    if (p_) p_->decUse();
  }
  Ptr& operator=(Ptr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T* release() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept { Ptr().swap(*this); }
  void swap(Ptr& o) noexcept { std::swap(p_, o.p_); }
  template <class U>
  bool operator==(const Ptr<U>& o) const noexcept {
    return p_ == o.get();
  }
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Casts between node pointers. Types that carry a cheap exact-type tag (log entry families)
// are tested by that tag instead of RTTI.
template <class T>
concept TagCastable = requires(const T& t) {
  {T::kFamily};
  {t.family()};
};

template <class T, class U>
Ptr<T> dynamic_pointer_cast(const Ptr<U>& p) noexcept {
  using Bare = std::remove_cv_t<T>;
  if constexpr (TagCastable<Bare> && std::is_base_of_v<std::remove_cv_t<U>, Bare>) {
    if (p && p->family() == Bare::kFamily) return Ptr<T>(static_cast<T*>(p.get()));
    return Ptr<T>();
  } else {
    return Ptr<T>(dynamic_cast<T*>(p.get()));
  }
}
}  // namespace Pavo
