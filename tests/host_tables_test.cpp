// Hardware table objects of both revisions: registration, shadow copies, entry encoding,
// S-channel commands, clearing, memory, statistics, and the host's chip model.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/Host.h"
#include "host/HwTables.h"

namespace {
using TernAsicUtils::HwShadowKey;
using TernAsicUtils::HwTableKey;
using TernAsicUtils::TableManager;

// Two values per table for every field (variant 0 and 1), with field maxima next to each
// other so that fields overlapping in the row format show up.
template <class E>
struct EntryTraits;

template <class E>
struct VsiTraits {
  using Key = typename E::EntryKey;
  static std::vector<Key> keys() { return {Key(3, 255), Key(0, 1)}; }
  static constexpr unsigned kSlot[2][4] = {{15, 1, 10, 6}, {7, 8, 0, 15}};
  static void fill(E& e, int v) {
    for (unsigned s = 0; s < 4; ++s) e.routingProfileIs(s, U4(kSlot[v][s]));
  }
  static void expectFields(const E& e, int v) {
    for (unsigned s = 0; s < 4; ++s) EXPECT_EQ(e.routingProfile(s).value(), kSlot[v][s]) << s;
  }
};

template <class E>
struct VectorTraits {
  using Key = typename E::EntryKey;
  static std::vector<Key> keys() { return {Key(3, 15), Key(0, 0)}; }
  static constexpr std::uint32_t kWords[2][9] = {
      {0x3ff00, 0x80000001u, 0, 0, 0x12345678, 0, 0, 0, 0xdeadbeefu},
      {0xc00, 1, 2, 3, 4, 5, 6, 7, 0xffffffffu}};
  static void fill(E& e, int v) {
    Brim::PerUnitBitmap m;
    for (unsigned i = 0; i < 9; ++i) m.wordIs(i, kWords[v][i]);
    e.routingEnableVectorIs(m);
  }
  static void expectFields(const E& e, int v) {
    for (unsigned i = 0; i < 9; ++i) EXPECT_EQ(e.routingEnableVector().word(i), kWords[v][i]) << i;
  }
};

#define TRAITS_FOR(Table, Base) \
  template <>                   \
  struct EntryTraits<bcm88890_a0::Table::Entry> : Base<bcm88890_a0::Table::Entry> {};
TRAITS_FOR(IppfVsiToRoutingProfileMapHwDirect, VsiTraits)
TRAITS_FOR(IppaVsiToRoutingProfileMapHwDirect, VsiTraits)
TRAITS_FOR(IppfRoutingProfileToVectorMapHwDirect, VectorTraits)
TRAITS_FOR(IppaRoutingProfileToVectorMapHwDirect, VectorTraits)
#undef TRAITS_FOR

template <>
struct EntryTraits<bcm88890_a0::IppaCsInlif0ProfileMapHwDirect::Entry> {
  using E = bcm88890_a0::IppaCsInlif0ProfileMapHwDirect::Entry;
  static std::vector<E::EntryKey> keys() { return {E::EntryKey(3, 255), E::EntryKey(2, 0)}; }
  static void fill(E& e, int v) { e.csInlif0ProfileIs(v ? 0x5a : 0xff); }
  static void expectFields(const E& e, int v) { EXPECT_EQ(e.csInlif0Profile(), v ? 0x5a : 0xff); }
};

template <>
struct EntryTraits<bcm88890_a0::IppbFlpInlifProfile0MapHwDirect::Entry> {
  using E = bcm88890_a0::IppbFlpInlifProfile0MapHwDirect::Entry;
  static std::vector<E::EntryKey> keys() { return {E::EntryKey(255), E::EntryKey(0)}; }
  static void fill(E& e, int v) { e.csInlifProfile0Is(v ? 0x01 : 0xa5); }
  static void expectFields(const E& e, int v) { EXPECT_EQ(e.csInlifProfile0(), v ? 0x01 : 0xa5); }
};

template <>
struct EntryTraits<bcm88890_a0::IppdInlifProfileTableHwDirect::Entry> {
  using E = bcm88890_a0::IppdInlifProfileTableHwDirect::Entry;
  static std::vector<E::EntryKey> keys() { return {E::EntryKey(255), E::EntryKey(17)}; }
  static void fill(E& e, int v) {
    e.inLifRpfModeIpv4Is(v ? 2 : 3);
    e.inLifRpfModeIpv6Is(v ? 3 : 1);
  }
  static void expectFields(const E& e, int v) {
    EXPECT_EQ(e.inLifRpfModeIpv4().value(), v ? 2u : 3u);
    EXPECT_EQ(e.inLifRpfModeIpv6().value(), v ? 3u : 1u);
  }
};

template <>
struct EntryTraits<bcm88890_a0::IppdAllowDefaultRouteHwReg::Entry> {
  using E = bcm88890_a0::IppdAllowDefaultRouteHwReg::Entry;
  static std::vector<E::EntryKey> keys() { return {E::EntryKey{}}; }
  static void fill(E& e, int v) {
    e.strictRpfAllowDefaultIs(v ? 0 : 1);
    e.ucLooseRpfAllowDefaultIs(1);
  }
  static void expectFields(const E& e, int v) {
    EXPECT_EQ(e.strictRpfAllowDefault().value(), v ? 0u : 1u);
    EXPECT_EQ(e.ucLooseRpfAllowDefault().value(), 1u);
  }
};

template <>
struct EntryTraits<bcm88890_a0::EtppbTrapForwardActionTableHwDirect::Entry> {
  using E = bcm88890_a0::EtppbTrapForwardActionTableHwDirect::Entry;
  static std::vector<E::EntryKey> keys() { return {E::EntryKey(16), E::EntryKey(6)}; }
  // outTmPort, its override, stamp, its override, drop, chData2, override, chData4,
  // override, otmChcc, chcConditions, ftmhTc, its override
  static constexpr unsigned kF[2][13] = {{0xff, 1, 0x81, 0, 1, 0xa, 0, 0x7f, 1, 0, 2, 7, 1},
                                         {0x01, 0, 0xfe, 1, 0, 0xf, 1, 0x80, 0, 1, 3, 5, 0}};
  static void fill(E& e, int v) {
    const auto& f = kF[v];
    e.outTmPortIs(std::uint8_t(f[0]));
    e.outTmPortOverrideIs(f[1]);
    e.ppDspStampValueIs(std::uint8_t(f[2]));
    e.ppDspStampValueOverrideIs(f[3]);
    e.dropForwardCopyOverrideIs(f[4]);
    e.forwardChData2Is(f[5]);
    e.forwardChData2OverrideIs(f[6]);
    e.forwardChData4Is(std::uint8_t(f[7]));
    e.forwardChData4OverrideIs(f[8]);
    e.otmChccOverrideIs(f[9]);
    e.chcConditionsIs(f[10]);
    e.ftmhTcIs(f[11]);
    e.ftmhTcOverrideIs(f[12]);
  }
  static void expectFields(const E& e, int v) {
    const unsigned got[13] = {e.outTmPort(),
                              e.outTmPortOverride(),
                              e.ppDspStampValue(),
                              e.ppDspStampValueOverride(),
                              e.dropForwardCopyOverride(),
                              e.forwardChData2(),
                              e.forwardChData2Override(),
                              e.forwardChData4(),
                              e.forwardChData4Override(),
                              e.otmChccOverride(),
                              e.chcConditions(),
                              e.ftmhTc(),
                              e.ftmhTcOverride()};
    for (unsigned i = 0; i < 13; ++i) EXPECT_EQ(got[i], kF[v][i]) << "field " << i;
  }
};

template <>
struct EntryTraits<bcm88890_a0::EtppcMtuMapTableHwDirect::Entry> {
  using E = bcm88890_a0::EtppcMtuMapTableHwDirect::Entry;
  static std::vector<E::EntryKey> keys() { return {E::EntryKey(128), E::EntryKey(0)}; }
  static void fill(E& e, int v) {
    e.mtuByteSizeIs(v ? 1500 : 0x3fff);
    e.mtuActionProfileIdxIs(v ? 1 : 3);
  }
  static void expectFields(const E& e, int v) {
    EXPECT_EQ(e.mtuByteSize().value(), v ? 1500u : 0x3fffu);
    EXPECT_EQ(e.mtuActionProfileIdx().value(), v ? 1u : 3u);
  }
};

template <class T>
Hardware::Tern::FapRevision revisionOf() {
  return std::string_view(T::kClassName).starts_with("bcm88890_b0::")
             ? Hardware::Tern::FapRevision(Hardware::kChipBcm88890B0, 0)
             : Hardware::Tern::FapRevision(Hardware::kChipBcm88890A0, 0);
}

template <class T>
std::string text(const T& v) {
  return QelPavo::Impl::valueToStrep(v);
}

template <class T>
class HwTableTest : public ::testing::Test {
 protected:
  using Entry = typename T::Entry;
  using Traits = EntryTraits<Entry>;
  HwTableTest()
      : tm_(new TableManager),
        key_{T::kTableName, revisionOf<T>()},
        table_(new T(T::kTableName, key_, tm_.get())) {}

  Entry filled(const typename T::EntryKey& k, int variant) {
    Entry e(k);
    Traits::fill(e, variant);
    return e;
  }
  void expectFresh(HwShadowKey s, const typename T::EntryKey& k) {
    const Entry got = table_->getEntry(s, k);
    const Entry fresh(k);
    EXPECT_TRUE(Entry::isEq(&got, &fresh)) << text(got);
  }

  static constexpr HwShadowKey kS1{3, 0}, kS2{3, 1}, kS3{4, 0};
  Pavo::Ptr<TableManager> tm_;
  HwTableKey key_;
  Pavo::Ptr<T> table_;
};

// Both revision classes of every table of the registry.
template <class... T>
struct DropFirst;
template <class First, class... T>
struct DropFirst<First, T...> {
  using type = ::testing::Types<T...>;
};
#define TERN_BOTH_REVISIONS(Name, ...) , bcm88890_a0::Name, bcm88890_b0::Name
using AllTables = DropFirst<void TERN_FOR_EACH_HW_TABLE(TERN_BOTH_REVISIONS)>::type;
#undef TERN_BOTH_REVISIONS

struct ClassNames {
  template <class T>
  static std::string GetName(int) {
    std::string n = T::kClassName;
    return n.replace(n.find("::"), 2, "_");
  }
};
TYPED_TEST_SUITE(HwTableTest, AllTables, ClassNames);

TYPED_TEST(HwTableTest, RegistersUnderItsKey) {
  auto& coll = this->tm_->hwTableColl();
  ASSERT_EQ(coll.count(this->key_), 1u);
  EXPECT_EQ(coll.at(this->key_).get(), this->table_.get());
  EXPECT_EQ(this->table_->useCount(), 2u);  // manager and test
  EXPECT_EQ(this->table_->tableKey(), this->key_);
  EXPECT_EQ(this->table_->name(), TypeParam::kTableName);
  EXPECT_STREQ(this->table_->info().name, TypeParam::kTableName);
  EXPECT_EQ(this->table_->classTag(), TypeParam::staticClassTag());
  // The other revision's key finds nothing.
  HwTableKey other = this->key_;
  other.fapRevision = Hardware::Tern::FapRevision(
      other.fapRevision.chipType() == Hardware::kChipBcm88890A0 ? Hardware::kChipBcm88890B0
                                                                : Hardware::kChipBcm88890A0,
      0);
  EXPECT_EQ(coll.count(other), 0u);
  EXPECT_EQ(this->table_->revertOnDelete(), 1u);
  this->table_->revertOnDeleteIs(0);
  EXPECT_EQ(this->table_->revertOnDelete(), 0u);
}

TYPED_TEST(HwTableTest, RoundTripPerField) {
  using Traits = typename TestFixture::Traits;
  for (int v : {0, 1})
    for (const auto& k : Traits::keys()) {
      const auto e = this->filled(k, v);
      const typename TypeParam::Entry fresh(k);
      EXPECT_FALSE(TypeParam::Entry::isEq(&e, &fresh));
      this->table_->setEntry(this->kS1, e);
      const auto got = this->table_->getEntry(this->kS1, k);
      SCOPED_TRACE(text(k) + " variant " + std::to_string(v));
      Traits::expectFields(got, v);
      EXPECT_TRUE(TypeParam::Entry::isEq(&got, &e));
      EXPECT_EQ(text(got.key()), text(k));
    }
}

TYPED_TEST(HwTableTest, ShadowCopiesAreIndependent) {
  using Traits = typename TestFixture::Traits;
  const auto keys = Traits::keys();
  EXPECT_TRUE(this->table_->shadowKeys().empty());
  this->table_->setEntry(this->kS1, this->filled(keys[0], 0));
  this->table_->setEntry(this->kS2, this->filled(keys[0], 1));
  Traits::expectFields(this->table_->getEntry(this->kS1, keys[0]), 0);
  Traits::expectFields(this->table_->getEntry(this->kS2, keys[0]), 1);
  this->expectFresh(this->kS3, keys[0]);
  for (std::size_t i = 1; i < keys.size(); ++i) this->expectFresh(this->kS1, keys[i]);
  EXPECT_EQ(this->table_->shadowKeys(), (std::vector<HwShadowKey>{this->kS1, this->kS2}));

  this->table_->deleteEntry(this->kS1, keys[0]);
  this->expectFresh(this->kS1, keys[0]);
  Traits::expectFields(this->table_->getEntry(this->kS2, keys[0]), 1);
  EXPECT_EQ(this->table_->shadowKeys(), std::vector<HwShadowKey>{this->kS2});
  this->table_->deleteEntry(this->kS3, keys[0]);  // absent copy: nothing happens
  EXPECT_EQ(this->table_->shadowKeys(), std::vector<HwShadowKey>{this->kS2});
}

TYPED_TEST(HwTableTest, SchanCmdsCarryRowWords) {
  using Traits = typename TestFixture::Traits;
  const auto k = Traits::keys()[0];
  const auto e = this->filled(k, 0);
  this->table_->setEntry(this->kS2, e);
  std::uint32_t words[TypeParam::kWords];
  e.encode(words);
  const auto& info = this->table_->info();
  const auto opcode = std::string_view(TypeParam::kTableName).ends_with("HwReg")
                          ? SchanAccel::SchanOpcode::WriteRegister
                          : SchanAccel::SchanOpcode::WriteMemory;

  for (const auto s : {this->kS2, this->kS1}) {
    const auto cmds = this->table_->schanCmds(s, k, nullptr);
    ASSERT_EQ(cmds->size(), 1u);
    const auto& cmd = *cmds->begin();
    EXPECT_EQ(cmd.opcode, opcode);
    EXPECT_EQ(cmd.fapId, s.fapId().value());
    EXPECT_EQ(cmd.instanceId, s.instanceId());
    EXPECT_EQ(cmd.words, TypeParam::kWords);
    for (unsigned i = 0; i < TypeParam::kWords; ++i)
      EXPECT_EQ(cmd.data[i], s == this->kS2 ? words[i] : 0u) << i;
    const auto decoded = Host::decode(cmd);
    EXPECT_EQ(decoded.table, &info);
    EXPECT_EQ(decoded.key, s);
    EXPECT_EQ(info.rowKeyText(decoded.row), text(k));
    const typename TypeParam::Entry fresh(k);
    EXPECT_EQ(info.rowEntryText(cmd.data), text(s == this->kS2 ? e : fresh));
  }
}

TYPED_TEST(HwTableTest, ClearTableInHwEmptiesOneCopy) {
  using Traits = typename TestFixture::Traits;
  const auto keys = Traits::keys();
  for (const auto& k : keys) this->table_->setEntry(this->kS1, this->filled(k, 0));
  this->table_->setEntry(this->kS3, this->filled(keys[0], 1));
  const auto cmds = this->table_->clearTableInHw(this->kS1);
  const auto& info = this->table_->info();
  ASSERT_EQ(cmds->size(), info.rows);
  unsigned row = 0;
  for (const auto& cmd : *cmds) {
    EXPECT_EQ(cmd.address, row++);
    EXPECT_EQ(HwShadowKey(cmd.fapId, cmd.instanceId), this->kS1);
    for (unsigned i = 0; i < cmd.words; ++i) ASSERT_EQ(cmd.data[i], 0u) << row;
  }
  for (const auto& k : keys) this->expectFresh(this->kS1, k);
  Traits::expectFields(this->table_->getEntry(this->kS3, keys[0]), 1);
  EXPECT_EQ(this->table_->shadowKeys(), std::vector<HwShadowKey>{this->kS3});
}

TYPED_TEST(HwTableTest, AllocationTrackerFollowsLifetime) {
  auto& tracker = TypeParam::memAllocationTracker_;
  const auto isListed = [] {
    for (const auto& l : Qel::AllocTrackTypeInfo::liveObjects())
      if (l.typeName == TypeParam::kClassName) return true;
    return false;
  };
  EXPECT_EQ(tracker.live(), 1);
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(TypeParam::kClassName), 1);
  EXPECT_TRUE(isListed());
  {
    Pavo::Ptr<TypeParam> second(new TypeParam(TypeParam::kTableName, this->key_, nullptr));
    EXPECT_EQ(tracker.live(), 2);
  }
  EXPECT_EQ(tracker.live(), 1);
  this->tm_.reset();  // the manager's reference goes
  EXPECT_EQ(tracker.live(), 1);
  this->table_.reset();
  EXPECT_EQ(tracker.live(), 0);
  EXPECT_FALSE(isListed());
}

// Keys that name no row of the table.
TEST(HwTableKeyTest, KeysOutsideTheTable) {
  Pavo::Ptr<bcm88890_a0::IppbFlpInlifProfile0MapHwDirect> flp(
      new bcm88890_a0::IppbFlpInlifProfile0MapHwDirect("IppbFlpInlifProfile0MapHwDirect", {},
                                                       nullptr));
  Pavo::Ptr<bcm88890_b0::IppfVsiToRoutingProfileMapHwDirect> vsi(
      new bcm88890_b0::IppfVsiToRoutingProfileMapHwDirect("IppfVsiToRoutingProfileMapHwDirect", {},
                                                          nullptr));
  const HwShadowKey s(0, 0);
  try {
    (void)flp->getEntry(s, bcm88890_a0::IppbFlpInlifProfile0MapHwDirect::EntryKey(256));
    ADD_FAILURE() << "row 256 accepted";
  } catch (const Pavo::RangeException& e) {
    EXPECT_STREQ(e.what(), "IppbFlpInlifProfile0MapHwDirect: key outside the table");
  }
  using VsiKey = bcm88890_a0::IppfVsiToRoutingProfileMapHwDirect::EntryKey;
  const bcm88890_a0::IppfVsiToRoutingProfileMapHwDirect::Entry e(VsiKey(4, 0));
  EXPECT_THROW(vsi->setEntry(s, e), Pavo::RangeException);
  EXPECT_THROW(vsi->getEntry(s, VsiKey(0, 256)), Pavo::RangeException);
  EXPECT_TRUE(vsi->shadowKeys().empty());
}

TEST(HwTableMemoryTest, OneFullCopyOfEveryTableFitsIn32KiB) {
  Pavo::Ptr<TableManager> tm(new TableManager);
  const auto rev = Hardware::Tern::FapRevision(Hardware::kChipBcm88890A0, 0);
  std::size_t total = 0;
#define TERN_ADD_TABLE(Name, ...)                                                         \
  {                                                                                       \
    Pavo::Ptr<bcm88890_a0::Name> t(new bcm88890_a0::Name(#Name, {#Name, rev}, tm.get())); \
    EXPECT_TRUE(t->shadowKeys().empty());                                                 \
    RecordProperty(#Name, std::to_string(t->copyBytes()));                                \
    std::cout << #Name << ": " << t->copyBytes() << " bytes per copy\n";                  \
    total += t->copyBytes();                                                              \
  }
  TERN_FOR_EACH_HW_TABLE(TERN_ADD_TABLE)
#undef TERN_ADD_TABLE
  RecordProperty("total", std::to_string(total));
  std::cout << "total: " << total << " bytes\n";
  EXPECT_LE(total, 32u * 1024);
  EXPECT_EQ(tm->tables().size(), TernAsicUtils::HwTableInfo::all().size());
}

// ---- statistics and command lists -----------------------------------------------------------

TEST(TableManagerStatsTest, EnqueueStatsPerTableAndCopy) {
  Pavo::Ptr<TableManager> tm(new TableManager);
  auto& stats = tm->stats();
  const Asic::SwTableId routing{0x11010402}, mtu{0x0F080403};
  EXPECT_EQ(stats.schanEnqueueStats(routing), nullptr);
  auto* const a = &stats.schanEnqueueStatsIs(routing);
  auto* const b = &stats.schanEnqueueStatsIs(routing);
  EXPECT_EQ(a, b);
  EXPECT_EQ(stats.schanEnqueueStats(routing), a);
  auto* const c = &stats.schanEnqueueStatsIs(mtu);
  EXPECT_NE(c, a);
  EXPECT_EQ(stats.all().size(), 2u);

  const HwShadowKey k40(4, 0), k31(3, 1), k30(3, 0);
  a->entryEnqueueCntInc(k40, 2);
  a->entryEnqueueCntInc(k31, 1);
  a->entryEnqueueCntInc(k40, 3);
  a->entryEnqueueCntInc(k30, 0xffffffffu);
  a->entryEnqueueCntInc(k30, 0xffffffffu);  // 64-bit total
  EXPECT_EQ(a->entryEnqueueCnt(k40), 5u);
  EXPECT_EQ(a->entryEnqueueCnt(HwShadowKey(9, 9)), 0u);
  using Counts = std::vector<std::pair<HwShadowKey, std::uint64_t>>;
  EXPECT_EQ(a->counts(), (Counts{{k30, 0x1fffffffeull}, {k31, 1}, {k40, 5}}));
  EXPECT_TRUE(c->counts().empty());
}

TEST(UtilStatsTest, CountersTake64BitAmounts) {
  Pavo::Ptr<TernAsicUtils::UtilStats> s(new TernAsicUtils::UtilStats);
  s->addCntInc(1ull << 40);
  s->addCntInc(1);
  s->deleteCntInc(2);
  s->updateOnDelCntInc(3);
  s->fapmaskMismatchInc(1ull << 33);
  EXPECT_EQ(s->addCnt(), (1ull << 40) + 1);
  EXPECT_EQ(s->deleteCnt(), 2u);
  EXPECT_EQ(s->updateOnDelCnt(), 3u);
  EXPECT_EQ(s->fapmaskMismatch(), 1ull << 33);
}

TEST(SchanCmdsTest, FactoryEmptyAndEnqueueKeepsOrder) {
  auto cmds = SchanAccel::schanCmdsFactory();
  ASSERT_TRUE(cmds);
  EXPECT_EQ(cmds->size(), 0u);
  EXPECT_EQ(cmds->begin(), cmds->end());
  EXPECT_NE(SchanAccel::schanCmdsFactory().get(), cmds.get());
  // Enough commands to outgrow the in-place storage; the list keeps copies, so a command
  // changed after it was enqueued leaves the list as it was.
  std::vector<Pavo::Ptr<SchanAccel::SchanCmd>> made;
  std::vector<std::uint32_t> expected;
  for (std::uint32_t a = 0; a < 40; ++a) {
    Pavo::Ptr<SchanAccel::SchanCmd> c(new SchanAccel::SchanCmd);
    c->address = (a * 7) % 40;
    c->data[0] = a;
    cmds->cmdEnq(c);
    expected.push_back(c->address);
    c->address = 999;
    made.push_back(c);
    ASSERT_EQ(cmds->size(), a + 1);
  }
  std::vector<std::uint32_t> seen;
  std::uint32_t i = 0;
  for (const auto& c : *cmds) {
    seen.push_back(c.address);
    EXPECT_EQ(c.data[0], i++);
  }
  EXPECT_EQ(seen, expected);
  for (const auto& c : made) EXPECT_EQ(c->useCount(), 1u);
}

// ---- chip model ------------------------------------------------------------------------------

class ChipModelTest : public ::testing::Test {
 protected:
  using Mtu = bcm88890_b0::EtppcMtuMapTableHwDirect;
  using Trap = bcm88890_a0::EtppbTrapForwardActionTableHwDirect;
  ChipModelTest()
      : tm_(new TableManager),
        mtu_(new Mtu(Mtu::kTableName,
                     {Mtu::kTableName, Hardware::Tern::FapRevision(Hardware::kChipBcm88890B0, 0)},
                     tm_.get())),
        trap_(
            new Trap(Trap::kTableName,
                     {Trap::kTableName, Hardware::Tern::FapRevision(Hardware::kChipBcm88890A0, 0)},
                     tm_.get())) {}
  Pavo::Ptr<SchanAccel::SchanCmds> setMtu(HwShadowKey s, std::uint32_t row, unsigned bytes) {
    Mtu::Entry e{Mtu::EntryKey(row)};
    e.mtuByteSizeIs(bytes);
    mtu_->setEntry(s, e);
    return mtu_->schanCmds(s, e.key(), nullptr);
  }
  Pavo::Ptr<TableManager> tm_;
  Pavo::Ptr<Mtu> mtu_;
  Pavo::Ptr<Trap> trap_;
  Host::ChipModel chip_;
};

TEST_F(ChipModelTest, ExecutedCommandsMatchShadow) {
  chip_.execute(*setMtu({1, 0}, 5, 1500));
  chip_.execute(*setMtu({1, 2}, 128, 9000));
  Trap::Entry t{Trap::EntryKey(6)};
  t.outTmPortIs(200);
  trap_->setEntry({1, 0}, t);
  chip_.execute(*trap_->schanCmds({1, 0}, t.key(), nullptr));
  EXPECT_TRUE(chip_.compare(*tm_).empty());
  EXPECT_EQ(chip_.commands(), 3u);

  chip_.execute(*mtu_->clearTableInHw({1, 2}));
  EXPECT_TRUE(chip_.compare(*tm_).empty());
  std::uint32_t w = 1;
  chip_.row(mtu_->info().block, {1, 2}, 128, &w);
  EXPECT_EQ(w, 0u);
}

TEST_F(ChipModelTest, DroppedCommandIsAMismatch) {
  chip_.execute(*setMtu({2, 1}, 5, 1500));
  (void)setMtu({2, 1}, 7, 9000);  // command never executed
  const auto mismatches = chip_.compare(*tm_);
  ASSERT_EQ(mismatches.size(), 1u);
  const auto& m = mismatches[0];
  EXPECT_STREQ(m.table->name, "EtppcMtuMapTableHwDirect");
  EXPECT_EQ(m.key, HwShadowKey(2, 1));
  EXPECT_EQ(m.row, 7u);
  std::uint32_t expected;
  mtu_->getEntry({2, 1}, Mtu::EntryKey(7)).encode(&expected);
  EXPECT_EQ(m.shadow, std::vector<std::uint32_t>{expected});
  EXPECT_EQ(m.hardware, std::vector<std::uint32_t>{0});
}

TEST_F(ChipModelTest, RowsWrittenOnlyInChipAreMismatches) {
  chip_.execute(*setMtu({2, 1}, 5, 1500));
  mtu_->deleteEntry({2, 1}, Mtu::EntryKey(5));  // chip not told
  const auto mismatches = chip_.compare(*tm_);
  ASSERT_EQ(mismatches.size(), 1u);
  EXPECT_EQ(mismatches[0].row, 5u);
  EXPECT_EQ(mismatches[0].shadow, std::vector<std::uint32_t>{0});
}

TEST_F(ChipModelTest, SameValueTwiceIsOneRedundantWrite) {
  const auto cmds = setMtu({0, 0}, 3, 1500);
  chip_.execute(*cmds);
  EXPECT_EQ(chip_.redundantWrites(), 0u);
  chip_.execute(*cmds);
  EXPECT_EQ(chip_.redundantWrites(), 1u);
  chip_.execute(*setMtu({0, 0}, 3, 1501));
  EXPECT_EQ(chip_.redundantWrites(), 1u);
  EXPECT_EQ(chip_.commands(), 3u);
}

}  // namespace
