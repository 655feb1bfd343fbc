// Host runtime and value types: reference counts, range errors, fap masks, ids, bitmaps,
// ordered-table exceptions and printf formatting.
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "host/Diag.h"
#include "host/HwTables.h"
#include "host/Types.h"

namespace {

// ---- reference counts ---------------------------------------------------------------------

struct Counted : Pavo::Node {
  static inline int destroyed = 0;
  ~Counted() override { ++destroyed; }
};

// Runs every case with the thread-safe flag clear (plain path) and set (atomic path).
class RefCountTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    Pavo::ThreadControl::tsp_ = GetParam();
    Counted::destroyed = 0;
  }
  void TearDown() override { Pavo::ThreadControl::tsp_ = false; }
};

TEST_P(RefCountTest, CopyMoveResetKeepCount) {
  Pavo::Ptr<Counted> a(new Counted);
  const Counted* raw = a.get();
  EXPECT_EQ(raw->useCount(), 1u);
  {
    Pavo::Ptr<Counted> b = a;
    EXPECT_EQ(raw->useCount(), 2u);
    Pavo::Ptr<Pavo::Node> up = b;  // converting copy
    EXPECT_EQ(raw->useCount(), 3u);
    Pavo::Ptr<Counted> c = std::move(b);
    EXPECT_EQ(b.get(), nullptr);
    EXPECT_EQ(raw->useCount(), 3u);
    Pavo::Ptr<Pavo::Node> up2 = std::move(c);  // converting move
    EXPECT_EQ(c.get(), nullptr);
    EXPECT_EQ(raw->useCount(), 3u);
    up2 = up;  // assigning the same object
    EXPECT_EQ(raw->useCount(), 3u);
    up2 = up2;  // self-assignment
    EXPECT_EQ(raw->useCount(), 3u);
    up.reset();
    EXPECT_EQ(raw->useCount(), 2u);
  }
  EXPECT_EQ(raw->useCount(), 1u);
  EXPECT_EQ(Counted::destroyed, 0);
}

TEST_P(RefCountTest, LastReleaseDestroysOnce) {
  Pavo::Ptr<Counted> a(new Counted);
  Pavo::Ptr<Counted> b = a;
  a.reset();
  EXPECT_EQ(Counted::destroyed, 0);
  b = Pavo::Ptr<Counted>(new Counted);  // releases the first node
  EXPECT_EQ(Counted::destroyed, 1);
  b.reset();
  EXPECT_EQ(Counted::destroyed, 2);
  b.reset();  // resetting an empty pointer releases nothing
  EXPECT_EQ(Counted::destroyed, 2);
}

INSTANTIATE_TEST_SUITE_P(Paths, RefCountTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Atomic" : "Plain"; });

TEST(AtomicRefCountTest, ConcurrentCopiesBalance) {
  struct FlagGuard {
    FlagGuard() { Pavo::ThreadControl::tsp_ = true; }
    ~FlagGuard() { Pavo::ThreadControl::tsp_ = false; }
  } guard;
  Counted::destroyed = 0;
  Pavo::Ptr<Counted> a(new Counted);
  std::latch start(4);
  auto work = [&a, &start] {
    start.arrive_and_wait();  // all threads copy at the same time
    for (int i = 0; i < 200000; ++i) {
      Pavo::Ptr<Counted> c = a;
      Pavo::Ptr<Pavo::Node> d = c;
      Pavo::Ptr<Counted> e = c;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work);
  for (auto& t : threads) t.join();
  EXPECT_EQ(a->useCount(), 1u);
  EXPECT_EQ(Counted::destroyed, 0);
}

TEST(NodeTest, FlagsAndCopiesStartUnshared) {
  Pavo::Ptr<Counted> a(new Counted);
  a->nodeFlagSet(0x4, true);
  a->nodeFlagSet(0x1, true);
  EXPECT_EQ(a->nodeFlags(), 0x5u);
  a->nodeFlagSet(0x4, false);
  EXPECT_EQ(a->nodeFlags(), 0x1u);
  const Counted copy(*a);  // a copy is a new node with no users
  EXPECT_EQ(copy.useCount(), 0u);
  EXPECT_EQ(a->useCount(), 1u);
}

// ---- range errors -------------------------------------------------------------------------

// The text of the range error f raises; a failure if it raises none or something else.
std::string rangeText(const std::function<void()>& f) {
  try {
    f();
  } catch (const Pavo::RangeException& e) {
    return e.what();
  } catch (...) {
    ADD_FAILURE() << "not a Pavo::RangeException";
    return {};
  }
  ADD_FAILURE() << "nothing thrown";
  return {};
}

struct RangeCase {
  const char* name;
  std::function<void()> refused;
  std::function<void()> accepted;
  const char* text;
};

class RangeTextTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTextTest, RefusesWithTextAcceptsBound) {
  EXPECT_EQ(rangeText(GetParam().refused), GetParam().text);
  EXPECT_NO_THROW(GetParam().accepted());
}

#define TRAP_KEY "bcm88890_a0::EtppbTrapForwardActionTableHwDirect::EntryKey"
#define MTU_KEY "bcm88890_a0::EtppcMtuMapTableHwDirect::EntryKey"
#define IPPA_KEY "bcm88890_a0::IppaRoutingProfileToVectorMapHwDirect::EntryKey"
#define IPPF_KEY "bcm88890_a0::IppfRoutingProfileToVectorMapHwDirect::EntryKey"
INSTANTIATE_TEST_SUITE_P(
    Texts, RangeTextTest,
    ::testing::Values(
        RangeCase{"U1", [] { (void)U1(2); }, [] { EXPECT_EQ(U1(1).value(), 1u); },
                  "U1::value < 0 or > 0x01 not allowed"},
        RangeCase{"U2", [] { (void)U2(4); }, [] { EXPECT_EQ(U2(3).value(), 3u); },
                  "U2::value < 0 or > 0x03 not allowed"},
        RangeCase{"U3", [] { (void)U3(8); }, [] { EXPECT_EQ(U3(7).value(), 7u); },
                  "U3::value < 0 or > 0x07 not allowed"},
        RangeCase{"U4", [] { (void)U4(16); }, [] { EXPECT_EQ(U4(15).value(), 15u); },
                  "U4::value < 0 or > 0x0f not allowed"},
        RangeCase{"U4Wide", [] { (void)U4(0x100000010ull); }, [] { (void)U4(0); },
                  "U4::value < 0 or > 0x0f not allowed"},
        RangeCase{"U14", [] { (void)U14(16384); }, [] { EXPECT_EQ(U14(0x3fff).value(), 0x3fffu); },
                  "U14::value < 0 or > 0x3fff not allowed"},
        RangeCase{"FapId", [] { (void)SchanAccel::FapId(129); },
                  [] {
                    EXPECT_EQ(SchanAccel::FapId(128).value(), 128u);
                    EXPECT_TRUE(SchanAccel::FapId(128).isNull());
                    EXPECT_FALSE(SchanAccel::FapId(127).isNull());
                  },
                  "SchanAccel::FapId::value < SchanAccel::FapId::min or > "
                  "SchanAccel::FapId::null not allowed"},
        RangeCase{"UnitIdFap", [] { (void)Asic::UnitId::of(129, 0).fapId(); },
                  [] { EXPECT_TRUE(Asic::UnitId::of(128, 3).fapId().isNull()); },
                  "SchanAccel::FapId::value < SchanAccel::FapId::min or > "
                  "SchanAccel::FapId::null not allowed"},
        RangeCase{"TrapKey",
                  [] { (void)bcm88890_a0::EtppbTrapForwardActionTableHwDirect::EntryKey(17); },
                  [] { (void)bcm88890_a0::EtppbTrapForwardActionTableHwDirect::EntryKey(16); },
                  TRAP_KEY "::value < " TRAP_KEY "::min or > " TRAP_KEY "::null not allowed"},
        RangeCase{"MtuKey", [] { (void)bcm88890_b0::EtppcMtuMapTableHwDirect::EntryKey(129); },
                  [] { (void)bcm88890_b0::EtppcMtuMapTableHwDirect::EntryKey(128); },
                  MTU_KEY "::value < " MTU_KEY "::min or > " MTU_KEY "::null not allowed"},
        RangeCase{"IppaVectorKey",
                  [] { (void)bcm88890_a0::IppaRoutingProfileToVectorMapHwDirect::EntryKey(3, 16); },
                  [] { (void)bcm88890_a0::IppaRoutingProfileToVectorMapHwDirect::EntryKey(3, 15); },
                  IPPA_KEY "::entryIndex < " IPPA_KEY "::entryIndexMin or > " IPPA_KEY
                           "::entryIndexMax not allowed"},
        RangeCase{"IppfVectorKey",
                  [] { (void)bcm88890_b0::IppfRoutingProfileToVectorMapHwDirect::EntryKey(0, 16); },
                  [] { (void)bcm88890_b0::IppfRoutingProfileToVectorMapHwDirect::EntryKey(0, 15); },
                  IPPF_KEY "::entryIndex < " IPPF_KEY "::entryIndexMin or > " IPPF_KEY
                           "::entryIndexMax not allowed"},
        RangeCase{"BitmapWord", [] { (void)Brim::PerUnitBitmap(2).word(2); },
                  [] { (void)Brim::PerUnitBitmap(2).word(1); },
                  "Brim::PerUnitBitmap: word index out of range"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- fap masks ------------------------------------------------------------------------------

TEST(FapmaskTest, AddRemoveIntersectCompare) {
  using SchanAccel::Fapmask;
  const Fapmask empty;
  Fapmask a;
  EXPECT_TRUE(Fapmask::isEq(&a, &empty));
  for (unsigned id : {0u, 63u, 64u, 127u, 128u}) a.fapIdIs(id, true);
  for (unsigned id : {0u, 63u, 64u, 127u, 128u}) EXPECT_TRUE(a.has(id)) << id;
  for (unsigned id : {1u, 62u, 65u, 126u}) EXPECT_FALSE(a.has(id)) << id;
  EXPECT_FALSE(Fapmask::isEq(&a, &empty));

  Fapmask b;
  b.fapIdIs(64, true);
  b.fapIdIs(128, true);
  b.fapIdIs(5, true);
  Fapmask both = a;
  both &= b;
  Fapmask expected;
  expected.fapIdIs(64, true);
  expected.fapIdIs(128, true);
  EXPECT_TRUE(Fapmask::isEq(&both, &expected));

  both.fapIdIs(64, false);
  both.fapIdIs(64, false);  // removing an absent id changes nothing
  EXPECT_FALSE(both.has(64));
  EXPECT_TRUE(both.has(128));
  both.fapIdIs(128, false);
  EXPECT_TRUE(Fapmask::isEq(&both, &empty));
  EXPECT_TRUE(both.empty());

  Fapmask disjoint;
  disjoint.fapIdIs(1, true);
  disjoint &= b;
  EXPECT_TRUE(Fapmask::isEq(&disjoint, &empty));
}

// ---- ids and keys ----------------------------------------------------------------------------

TEST(IdsTest, SwTableIdRendering) {
  EXPECT_EQ(fmt::format("{}", Asic::SwTableId{0x012a001f}), "01:2a:001f");
  EXPECT_EQ(fmt::format("{}", Asic::SwTableId{0x11010402}), "11:01:0402");
  EXPECT_EQ(fmt::format("{}", Asic::SwTableId{0x0F080403}), "0f:08:0403");
}

TEST(IdsTest, UnitIdAndShadowKeyByteOrder) {
  const auto unit = Asic::UnitId::of(5, 2);
  EXPECT_EQ(unit.value, 0x0502);
  EXPECT_EQ(unit.fapId().value(), 5u);
  EXPECT_EQ(unit.instanceId(), 2u);

  const TernAsicUtils::HwShadowKey key = unit.shadowKey();
  EXPECT_EQ(key.value(), 0x0205);  // fap low byte, instance high byte
  EXPECT_EQ(key.fapId().value(), 5u);
  EXPECT_EQ(key.instanceId(), 2u);
  EXPECT_EQ(key.toString(), "{ fapId: 5, instanceId: 2 }");
  EXPECT_EQ(fmt::format("{}", TernAsicUtils::HwShadowKey(128, 255)),
            "{ fapId: 128, instanceId: 255 }");

  // Ordered by fap id first, although the instance id is the high byte.
  EXPECT_LT(TernAsicUtils::HwShadowKey(1, 9), TernAsicUtils::HwShadowKey(2, 0));
  EXPECT_LT(TernAsicUtils::HwShadowKey(2, 0), TernAsicUtils::HwShadowKey(2, 1));
}

// ---- bitmaps --------------------------------------------------------------------------------

TEST(PerUnitBitmapTest, BitsOrCrossesWordsAndClearsField) {
  Brim::PerUnitBitmap two(2);
  two.wordIs(0, 0x1);
  two.wordIs(1, 0xffffffffu);
  two.bitsOr(30, 3, 4);
  EXPECT_EQ(two.word(0), 0xc0000001u);
  EXPECT_EQ(two.word(1), 0xfffffffcu);

  Brim::PerUnitBitmap one(1);
  one.bitsOr(30, 3, 4);
  EXPECT_EQ(one.word(0), 0xc0000000u);
  EXPECT_EQ(one.size(), 1u);

  Brim::PerUnitBitmap m;
  m.bitsOr(8, 3, 2);
  m.bitsOr(12, 3, 2);
  m.bitsOr(8, 1, 2);  // old field bits go first
  EXPECT_EQ(m.word(0), 0x3100u);
  m.bitsOr(64, 0xffffffffu, 32);
  EXPECT_EQ(m.word(2), 0xffffffffu);
  EXPECT_EQ(m.word(1), 0u);
  EXPECT_EQ(m.word(3), 0u);
  m.bitsOr(8 * 32 + 16, 0xabcd, 32);  // spills past the last word, skipped
  EXPECT_EQ(m.word(8), 0xabcd0000u);
}

TEST(PerUnitBitmapTest, BitmapToString) {
  const std::string zero = " 0x00000000";
  Brim::PerUnitBitmap m;
  ASSERT_EQ(m.size(), 9u);
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += zero;
  EXPECT_EQ(m.bitmapToString(), nine);

  m.wordIs(0, 0x3ff00);
  std::string eight;
  for (int i = 0; i < 8; ++i) eight += zero;
  EXPECT_EQ(m.bitmapToString(), eight + " 0x0003ff00");

  Brim::PerUnitBitmap ten(10);
  EXPECT_EQ(ten.bitmapToString(), nine);  // word 9 zero: nine groups
  ten.wordIs(9, 0xABCDEF);
  ten.wordIs(0, 1);
  EXPECT_EQ(ten.bitmapToString(), " 0x00abcdef" + eight + " 0x00000001");

  EXPECT_EQ(rangeText([] { (void)Brim::PerUnitBitmap(8).bitmapToString(); }),
            "Brim::PerUnitBitmap: word index out of range");
}

// ---- diagnostics --------------------------------------------------------------------------

TEST(DiagTest, OrderedTableExceptionJoinsMessageAndCause) {
  try {
    Asic::throwOrderedTableException("translateToHwFormat: [logEntry: { x }]",
                                     "U14::value < 0 or > 0x3fff not allowed");
    FAIL() << "returned";
  } catch (const Asic::OrderedTableException& e) {
    EXPECT_STREQ(e.what(),
                 "translateToHwFormat: [logEntry: { x }]: U14::value < 0 or > 0x3fff not allowed");
    EXPECT_EQ(e.message(), "translateToHwFormat: [logEntry: { x }]");
  }
  try {
    Asic::throwOrderedTableExceptionUnknown("mapToHwKey: [logEntry: a], [unitId: b]");
    FAIL() << "returned";
  } catch (const std::exception& e) {  // derives from std::exception so wrappers nest
    EXPECT_STREQ(e.what(), "mapToHwKey: [logEntry: a], [unitId: b]: unknown exception");
  }
}

TEST(DiagTest, PrintfFormatting) {
  EXPECT_EQ(Qel::_fmt("%s: [logEntry: %s]", "processLogEntry", "{ key: 1 }"),
            "processLogEntry: [logEntry: { key: 1 }]");
  EXPECT_EQ(Qel::_fmt("%d|%04x|%c", -7, 0xab, 'z'), "-7|00ab|z");
  EXPECT_EQ(Qel::_fmt("%s", ""), "");
  const std::string longText(5000, 'q');
  EXPECT_EQ(Qel::_fmt("<%s>", longText.c_str()), "<" + longText + ">");
}

}  // namespace
