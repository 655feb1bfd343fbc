#include "host/Slab.h"

#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TERN_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TERN_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TERN_POISON(p, n) ((void)(p), (void)(n))
#define TERN_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace Kelp {
namespace Detail {
constinit Slab gSlab;
}
namespace {
using namespace Detail;
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace

void* Detail::slabAllocSlow(std::size_t bytes) {
  auto& s = gSlab;
  const std::size_t c = classOf(bytes);
  if (c >= kClasses) {
    ++s.heapRefills;
    return ::operator new(bytes);
  }
  if (!s.free[c]) {
    ++s.heapRefills;
    const std::size_t size = (c + 1) * kGranule;
    auto* chunk = static_cast<char*>(::operator new(kChunk));
    for (std::size_t off = 0; off + size <= kChunk; off += size) {
      auto* b = reinterpret_cast<FreeBlock*>(chunk + off);
      b->next = s.free[c];
      s.free[c] = b;
    }
    TERN_POISON(chunk, kChunk);
  }
  FreeBlock* b = s.free[c];
  TERN_UNPOISON(b, (c + 1) * kGranule);
  s.free[c] = b->next;
  return b;
}

void Detail::slabFreeSlow(void* p, std::size_t bytes) noexcept {
  if (!p) return;
  const std::size_t c = classOf(bytes);
  if (c >= kClasses) {
    ::operator delete(p);
    return;
  }
  auto& s = gSlab;
  auto* b = static_cast<FreeBlock*>(p);
  b->next = s.free[c];
  s.free[c] = b;
  TERN_POISON(reinterpret_cast<char*>(b) + sizeof(FreeBlock),
              (c + 1) * kGranule - sizeof(FreeBlock));
}

std::uint64_t slabHeapRefills() noexcept { return gSlab.heapRefills; }
}  // namespace Kelp
