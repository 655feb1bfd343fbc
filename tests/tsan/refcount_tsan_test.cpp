// Reference counts of host objects under ThreadSanitizer. This executable compiles the host's
// nodes and slab (host/Node.cpp, host/Slab.cpp) itself, so that the increments in
// Pavo::Node::incUse and the decrements in Node::decUseImpl are instrumented; it is built only
// in the native release configuration (ThreadSanitizer exists neither beside AddressSanitizer
// nor for -m32).
//
// While Pavo::ThreadControl::tsp_ is set, several threads copy and drop the same pointers:
// TSan must find no race and the counts must come out exact. While it is clear, the plain
// path must be the one taken; that is observed directly: two threads that only copy the same
// pointer make TSan report a data race on the count (a plain increment), which the atomic path
// would not.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "host/LogEntries.h"
#include "host/Node.h"

namespace {
std::atomic<int> gDestroyed{0};

class Probe : public Pavo::Node {
 public:
  ~Probe() override { ++gDestroyed; }
};

// Sets the flag for the scope and restores it.
class TspScope {
 public:
  explicit TspScope(bool on) : old_(Pavo::ThreadControl::tsp_.load()) {
    Pavo::ThreadControl::tsp_.store(on);
  }
  ~TspScope() { Pavo::ThreadControl::tsp_.store(old_); }

 private:
  bool old_;
};

constexpr unsigned kThreads = 4;
constexpr unsigned kRounds = 20000;

TEST(TsanRefCount, ThreadsCopyingAndDroppingSharedPointersWithTspSetKeepExactCounts) {
  TspScope tsp(true);
  gDestroyed = 0;
  Pavo::Ptr<Probe> a(new Probe), b(new Probe);
  const Pavo::Ptr<Asic::LogEntryWrapperBase> log(
      new TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntryWrapper(Asic::LogHeader{},
                                                                           {{1}, 2, 3}));
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      std::vector<Pavo::Ptr<Pavo::Node>> held;
      for (unsigned i = 0; i < kRounds; ++i) {
        Pavo::Ptr<Probe> copy = (i + t) % 2 ? a : b;  // copy
        Pavo::Ptr<Pavo::Node> up(copy);               // converting copy
        Pavo::Ptr<Pavo::Node> moved(std::move(up));   // move: no count change
        Pavo::Ptr<Asic::LogEntryWrapperBase> l = log;
        if (i % 64 == 0) held.push_back(moved);  // a few kept until the end
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(a->useCount(), 1u);
  EXPECT_EQ(b->useCount(), 1u);
  EXPECT_EQ(log->useCount(), 1u);
  EXPECT_EQ(gDestroyed.load(), 0);
  a.reset();
  b.reset();
  EXPECT_EQ(gDestroyed.load(), 2);
}

TEST(TsanRefCount, TheLastOfConcurrentDropsDeletesExactlyOnce) {
  TspScope tsp(true);
  for (unsigned round = 0; round < 50; ++round) {
    gDestroyed = 0;
    std::vector<Pavo::Ptr<Probe>> copies;
    {
      Pavo::Ptr<Probe> p(new Probe);
      for (unsigned t = 0; t < kThreads; ++t) copies.push_back(p);
    }
    ASSERT_EQ(copies.front()->useCount(), kThreads);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        copies[t].reset();  // one of these is the last user and deletes the node
      });
    go = true;
    for (auto& th : threads) th.join();
    ASSERT_EQ(gDestroyed.load(), 1) << "round " << round;
  }
}

// Two threads that only take references to one node (so the count never drops to zero and
// nothing is freed while they run).
void copyOnTwoThreads(bool tsp) {
  Pavo::ThreadControl::tsp_.store(tsp);
  static Pavo::Ptr<Probe> shared(new Probe);
  alignas(Pavo::Ptr<Probe>) static unsigned char slots[2][1000][sizeof(Pavo::Ptr<Probe>)];
  std::thread t1([] {
    for (auto& s : slots[0]) new (s) Pavo::Ptr<Probe>(shared);
  });
  std::thread t2([] {
    for (auto& s : slots[1]) new (s) Pavo::Ptr<Probe>(shared);
  });
  t1.join();
  t2.join();
  std::exit(shared->useCount() == 2001 ? 0 : 3);
}

class TsanRefCountChild : public ::testing::Test {
 protected:
  void SetUp() override {
    // The child is a fresh process that reads these options at start-up; it stops at the
    // first report with TSan's status 66.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("TSAN_OPTIONS", "halt_on_error=1:exitcode=66:report_signal_unsafe=0", 1);
  }
};

TEST_F(TsanRefCountChild, WithTspClearThePlainIncrementIsTakenAndIsARace) {
  EXPECT_EXIT(copyOnTwoThreads(false), ::testing::ExitedWithCode(66), "data race(.|\n)*incUse");
}

TEST_F(TsanRefCountChild, WithTspSetTheSameCopiesAreRaceFreeAndExact) {
  EXPECT_EXIT(copyOnTwoThreads(true), ::testing::ExitedWithCode(0), "");
}
}  // namespace
