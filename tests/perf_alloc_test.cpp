// The steady-state path of one log entry takes no memory from the general heap: neither
// operator new (replaced here by a counting one) nor a slab refill. Also the memory a shadow
// copy takes: nothing until it is written, and every table's copies together stay small.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "tools/perfdriver/Workload.h"

namespace {
bool gCounting = false;
std::size_t gNews = 0;

void* counted(std::size_t n) {
  if (gCounting) ++gNews;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* countedNothrow(std::size_t n) noexcept {
  if (gCounting) ++gNews;
  return std::malloc(n ? n : 1);
}
void* countedAligned(std::size_t n, std::align_val_t a) {
  if (gCounting) ++gNews;
  const auto al = static_cast<std::size_t>(a);
  if (void* p = std::aligned_alloc(al, (n + al - 1) / al * al)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return countedNothrow(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return countedNothrow(n); }
void* operator new(std::size_t n, std::align_val_t a) { return countedAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return countedAligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {
using PerfWorkload::LogPtr;

struct HeapUse {
  std::size_t news;
  std::uint64_t slabRefills;
};

// Heap use of fn(): operator new calls and slab refills.
template <class Fn>
HeapUse heapUseOf(Fn&& fn) {
  const std::uint64_t refills = Kelp::slabHeapRefills();
  gNews = 0;
  gCounting = true;
  fn();
  gCounting = false;
  return {gNews, Kelp::slabHeapRefills() - refills};
}

TEST(PerfAllocTest, CountingOperatorNewSeesAllocations) {
  // Without this the checks below could pass with the replacement not in effect.
  const auto use = heapUseOf([] {
    std::vector<int> v(100, 1);
    asm volatile("" : : "r"(v.data()) : "memory");
  });
  EXPECT_EQ(use.news, 1u);
  const auto slab = heapUseOf([] {
    // Larger than the slab's biggest class: taken from the general heap.
    void* p = Kelp::slabAlloc(4096);
    Kelp::slabFree(p, 4096);
  });
  EXPECT_EQ(slab.news, 1u);
  EXPECT_EQ(slab.slabRefills, 1u);
}

class SteadyState : public ::testing::TestWithParam<std::string> {};

TEST_P(SteadyState, ProcessSwEntryTakesNothingFromTheHeap) {
  PerfWorkload::Rig rig;
  auto* util = rig.util(GetParam());
  ASSERT_NE(util, nullptr);
  const auto entries = PerfWorkload::entriesFor(GetParam());
  PerfWorkload::runPass(*util, entries);  // first writes create the shadow copy and records
  const std::uint64_t before =
      util->stats()->addCnt() + util->stats()->deleteCnt() + util->stats()->updateOnDelCnt();
  std::size_t commands = 0;
  const auto use = heapUseOf([&] {
    for (int pass = 0; pass < 4; ++pass) commands += PerfWorkload::runPass(*util, entries);
  });
  EXPECT_EQ(use.news, 0u);
  EXPECT_EQ(use.slabRefills, 0u);
  // The entries were processed, not skipped.
  const std::uint64_t after =
      util->stats()->addCnt() + util->stats()->deleteCnt() + util->stats()->updateOnDelCnt();
  const bool mtu = GetParam() == "EtppcMtuMapTableUtil";  // its hook keeps no counters
  if (!mtu) {
    EXPECT_EQ(after - before, 4 * entries.size());
  }
  EXPECT_EQ(commands, 4 * entries.size() * (mtu ? 8 : 1));
}

INSTANTIATE_TEST_SUITE_P(EveryA0Util, SteadyState, ::testing::ValuesIn(PerfWorkload::utilNames()),
                         [](const auto& info) { return info.param; });

TEST(PerfAllocTest, ShadowCopyNeverWrittenTakesNothing) {
  PerfWorkload::Rig rig;
  // Entries of a fap outside the mask are not written, but their commands read the copy.
  std::vector<LogPtr> foreign;
  foreign.emplace_back(new TernL3Ni::RoutingStateLogEntryWrapper(
      Asic::LogHeader{0, Asic::UnitId::of(5, 0)},
      TernL3Ni::RoutingStateLogEntry::profile(3, PerfWorkload::profileValue(0x3ff))));
  // The first pass creates the trace handles and the enqueue record; the second reads the
  // never-written copies again.
  const auto utils = rig.routingStateUtils();
  PerfWorkload::runAll(utils, foreign);
  const auto use = heapUseOf([&] { PerfWorkload::runAll(utils, foreign); });
  EXPECT_EQ(use.news, 0u);
  EXPECT_EQ(use.slabRefills, 0u);
  const auto tables = rig.tableManager()->tables();
  ASSERT_EQ(tables.size(), TernAsicUtils::HwTableInfo::all().size());
  for (const auto* t : tables) {
    EXPECT_EQ(t->shadowBytes(), 0u) << t->name();
    EXPECT_TRUE(t->shadowKeys().empty()) << t->name();
  }
}

TEST(PerfAllocTest, FullShadowCopiesOfEveryTableFitIn32KiB) {
  PerfWorkload::Rig rig;
  for (const auto& name : PerfWorkload::utilNames())
    PerfWorkload::runPass(*rig.util(name), PerfWorkload::entriesFor(name));
  std::size_t total = 0;
  for (const auto* t : rig.tableManager()->tables()) {
    EXPECT_EQ(t->shadowBytes(), t->copyBytes()) << t->name();
    // a copy holds its rows and nothing much besides
    const std::size_t rowBytes = std::size_t(t->info().rows) * t->info().wordsPerRow * 4;
    EXPECT_GE(t->copyBytes(), rowBytes) << t->name();
    EXPECT_LE(t->copyBytes(), rowBytes + (t->info().rows + 63) / 64 * 8) << t->name();
    total += t->shadowBytes();
  }
  EXPECT_GT(total, 0u);
  EXPECT_LE(total, 32u * 1024u);
}
}  // namespace
