// The slab allocator: size-classed free lists for the small host objects (nodes, command
// lists, shadow copies).
#pragma once

#include <cstddef>
#include <cstdint>

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
