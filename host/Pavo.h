// Host runtime: reference-counted nodes, intrusive pointers, strings, range errors, slab
// allocation and allocation tracking. Everything the plug-in creates lives on these.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace Kelp {
namespace Detail {
inline constexpr std::size_t kGranule = 16;
inline constexpr std::size_t kClasses = 64;  // blocks up to 1 KiB
struct FreeBlock {
  FreeBlock* next;
};
struct Slab {
  FreeBlock* free[kClasses] = {};
  std::uint64_t heapRefills = 0;
};
// Constant-initialised and trivially destructible: usable before any constructor runs and
// after every destructor (plug-ins may free during unload), with no guard on each call.
extern constinit Slab gSlab;
constexpr std::size_t classOf(std::size_t bytes) noexcept {
  return (bytes ? bytes + kGranule - 1 : kGranule) / kGranule - 1;
}
void* slabAllocSlow(std::size_t bytes);
void slabFreeSlow(void* p, std::size_t bytes) noexcept;
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kInlineSlab = false;  // the sanitizer's poisoning lives out of line
#else
inline constexpr bool kInlineSlab = true;
#endif
}  // namespace Detail

// Size-classed free-list allocator for small host objects (nodes, command lists, shadow
// copies). Single-threaded like the rest of the host's write path; blocks larger than the
// biggest class go to the general heap. Taking a block of a class that has free blocks, and
// giving one back, are a few instructions inline; the rest is out of line.
inline void* slabAlloc(std::size_t bytes) {
  using namespace Detail;
  const std::size_t c = classOf(bytes);
  if (kInlineSlab && c < kClasses) {
    if (FreeBlock* b = gSlab.free[c]) [[likely]] {
      gSlab.free[c] = b->next;
      return b;
    }
  }
  return slabAllocSlow(bytes);
}
inline void slabFree(void* p, std::size_t bytes) noexcept {
  using namespace Detail;
  const std::size_t c = classOf(bytes);
  if (kInlineSlab && p && c < kClasses) {
    auto* b = static_cast<FreeBlock*>(p);
    b->next = gSlab.free[c];
    gSlab.free[c] = b;
    return;
  }
  slabFreeSlow(p, bytes);
}
// Number of times the slab had to take memory from the general heap (refills and large
// blocks); a steady-state workload leaves it unchanged.
std::uint64_t slabHeapRefills() noexcept;

// Standard allocator over the slab, for host containers on the per-entry path.
template <class T>
struct SlabAllocator {
  using value_type = T;
  SlabAllocator() = default;
  template <class U>
  SlabAllocator(const SlabAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(slabAlloc(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { slabFree(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const SlabAllocator<U>&) const noexcept {
    return true;
  }
};
}  // namespace Kelp

namespace Qel {
// Per-type record of live allocations. Types register on construction of their tracker
// and leave the registry when it is destroyed (plug-in unload).
class AllocTrackTypeInfo {
 public:
  explicit AllocTrackTypeInfo(const char* typeName);
  ~AllocTrackTypeInfo();
  AllocTrackTypeInfo(const AllocTrackTypeInfo&) = delete;
  AllocTrackTypeInfo& operator=(const AllocTrackTypeInfo&) = delete;

  static void _trackAllocation(AllocTrackTypeInfo& info, std::size_t bytes) noexcept;
  static void trackDeallocation(AllocTrackTypeInfo& info, std::size_t bytes) noexcept;

  const char* typeName() const noexcept { return name_; }
  long live() const noexcept { return live_; }
  std::uint64_t allocations() const noexcept { return total_; }

  struct Live {
    std::string typeName;
    long count;
  };
  // Every registered type with at least one live object.
  static std::vector<Live> liveObjects();
  static long liveCount(const std::string& typeName);

 private:
  const char* name_;
  long live_ = 0;
  std::uint64_t total_ = 0;
};
}  // namespace Qel

namespace Pavo {

using String = std::string;
using Duration = std::int64_t;  // nanoseconds

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

class RangeException : public std::exception {
 public:
  explicit RangeException(String text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }
  [[noreturn]] static void throwException(const char* text);

 private:
  String text_;
};

// Reflection: a module (one per Util source file) announces its inspectable classes.
struct FieldDescriptor {
  const char* name;
};

// One attribute of an inspectable class: its name and, for an operation, the names of its
// parameters in order.
struct Attribute {
  static constexpr std::size_t kMaxParameters = 5;
  const char* name;
  const char* parameters[kMaxParameters] = {};
  std::size_t parameterCount() const noexcept {
    std::size_t n = 0;
    while (n < kMaxParameters && parameters[n]) ++n;
    return n;
  }
  // "name(p1, p2)", or the bare name when there are no parameters.
  String signature() const;
};

struct InspectableClass {
  const char* className;  // fully qualified
  // Performs op (0 read, 1 write, 10 call) on one attribute; answers 0 done, 1 not
  // applicable, 2 no such attribute.
  int (*inspectOperation)(void* object, const FieldDescriptor& field, int op, void* const* args,
                          void* result);
  void (*genericIfConstructFromCtorArgs)(void* result, void* const* args);
  const Attribute* attributes;  // in declaration order
  std::size_t attributeCount;
};

class ModuleInspectData {
 public:
  ModuleInspectData(const char* name, std::vector<InspectableClass> classes)
      : name_(name), classes_(std::move(classes)) {}
  ~ModuleInspectData();
  void loaded();
  const char* name() const noexcept { return name_; }
  const std::vector<InspectableClass>& classes() const noexcept { return classes_; }
  // The loaded module that declares className, or null.
  static const InspectableClass* findClass(const String& className);
  static std::vector<const ModuleInspectData*> loadedModules();

 private:
  const char* name_;
  std::vector<InspectableClass> classes_;
  bool loaded_ = false;
};

struct TypeData {
  const ModuleInspectData* module;
  std::uint32_t index;
};

namespace Inspect {
// Hands a node produced by an inspected operation to the caller: result must point at a
// Ptr<Node>, which takes its own reference. Answers 0.
int opResEncRelNode(void* result, Node* node);
}  // namespace Inspect

}  // namespace Pavo
