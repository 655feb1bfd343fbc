// The per-entry pipeline every Util runs (applicability, shadow write, commands, counters)
// and the table operations around it (binding, clearing, shadow read, revert), checked on
// shadows, commands, counters and a chip model fed with the commands.
#include <gtest/gtest.h>

#include <set>

#include "host/HostControls.h"
#include "tests/UtilCatalog.h"

namespace {
using namespace UtilCatalog;
using Asic::LogHeader;
using Counters = std::vector<std::uint64_t>;  // add, delete, updateOnDel, fapmaskMismatch
using TernAsicUtils::HwShadowKey;

constexpr const char* kFapIdRange =
    "SchanAccel::FapId::value < SchanAccel::FapId::min or > SchanAccel::FapId::null not allowed";

HwShadowKey shadowKey(unsigned fap, unsigned instance) {
  return HwShadowKey(SchanAccel::FapId(fap), std::uint8_t(instance));
}

template <class F>
void expectRangeError(F&& f, const std::string& text) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const Pavo::RangeException& e) {
    EXPECT_EQ(e.what(), text);
  }
}

class UtilPipeline : public ::testing::TestWithParam<UtilCase> {
 protected:
  const UtilInfo& info() const { return GetParam().util; }
  Pavo::Ptr<TernAsicUtils::UtilBase> util() const { return host_.util(info().name); }
  TernAsicUtils::HwCommonTableBase& table() const { return *host_.table(info().table); }
  Counters counters() const { return host_.counters(info().name); }
  std::uint64_t enqueued(unsigned fap, unsigned instance) const {
    return host_.enqueueCount({info().swTableId}, fap, instance);
  }
  // Commands reach the chip model; whatever the pipeline did, chip and shadow must agree.
  Pavo::Ptr<SchanAccel::SchanCmds> process(const TestSupport::LogPtr& log) {
    auto cmds = util()->processSwEntry(log);
    if (cmds) chip_.execute(*cmds);
    return cmds;
  }
  void expectChipMatchesShadow() const {
    const auto mismatches = chip_.compare(*host_.tableManager());
    for (const auto& m : mismatches)
      ADD_FAILURE() << m.table->name << " " << m.key.toString() << " row " << m.row;
  }

  TestSupport::Rig host_{GetParam().chip, {0, 1}};
  Host::ChipModel chip_;
};

// ---- the nine Utils of the generic path ----------------------------------------------------
using GenericPath = UtilPipeline;

TEST_P(GenericPath, NullFapAppliesWhateverTheMask) {
  const auto log = sample(info(), 128, 3);
  EXPECT_TRUE(util()->utilApplicable(log));
  const auto cmds = process(log);
  ASSERT_EQ(cmds->size(), 1u);
  EXPECT_EQ(cmds->cmdQueue()[0].fapId, 128);
  EXPECT_EQ(cmds->cmdQueue()[0].instanceId, 3);
  EXPECT_EQ(table().shadowKeys(), std::vector{shadowKey(128, 3)});
  EXPECT_EQ(counters(), (Counters{1, 0, 0, 0}));
  EXPECT_EQ(enqueued(128, 3), 1u);
  expectChipMatchesShadow();
}

TEST_P(GenericPath, FapOutsideTheMaskCountsAndStillYieldsCommands) {
  const auto log = sample(info(), 7, 2);
  const auto cmds = process(log);
  ASSERT_EQ(cmds->size(), 1u);
  const auto& cmd = cmds->cmdQueue()[0];
  EXPECT_EQ(cmd.fapId, 7);
  EXPECT_EQ(cmd.instanceId, 2);
  for (unsigned i = 0; i < cmd.words; ++i) EXPECT_EQ(cmd.data[i], 0u) << "word " << i;
  EXPECT_TRUE(host_.shadowDump().empty());
  EXPECT_EQ(counters(), (Counters{0, 0, 0, 1}));
  EXPECT_EQ(enqueued(7, 2), 1u);
  EXPECT_EQ(util()->writeSwEntryToShadow(log), 0u);
  EXPECT_EQ(counters(), (Counters{0, 0, 0, 2}));
  EXPECT_TRUE(host_.shadowDump().empty());
  expectChipMatchesShadow();
}

TEST_P(GenericPath, TableDeleteAppliesForTheMaskEvenOfAnotherKind) {
  const auto flags = std::uint8_t(LogHeader::kTableDelete | LogHeader::kIsDelete);
  const auto ofOtherKind = [&](std::uint8_t fap) {
    return routingState(info()) ? otherKind(info(), fap, 0, flags) : sample(info(), fap, 0, flags);
  };
  TestSupport::TraceCapture capture("3");
  EXPECT_TRUE(util()->utilApplicable(ofOtherKind(0)));
  EXPECT_TRUE(util()->utilApplicable(ofOtherKind(128)));
  EXPECT_TRUE(
      capture.contains(std::string(" ") + info().name + " util is applicable for table delete"));
  EXPECT_EQ(counters(), (Counters{0, 0, 0, 0}));
  EXPECT_EQ(util()->writeSwEntryToShadow(ofOtherKind(0)), 0u);
  EXPECT_EQ(counters(), (Counters{0, 1, 0, 0}));
  // Outside the mask a table delete is an ordinary entry.
  EXPECT_FALSE(util()->utilApplicable(sample(info(), 7, 0, flags)));
  EXPECT_EQ(counters(), (Counters{0, 1, 0, 1}));
  EXPECT_TRUE(host_.shadowDump().empty());
}

TEST_P(GenericPath, FapId129RaisesAndMovesNothing) {
  process(sample(info(), 0, 0));
  const auto dump = host_.shadowDump();
  const auto before = counters();
  const auto* stats = host_.tableManager()->stats().schanEnqueueStats({info().swTableId});
  ASSERT_NE(stats, nullptr);
  const auto enqueues = stats->counts();
  const auto util = this->util();
  for (const std::uint8_t flags :
       {std::uint8_t(0), LogHeader::kTableDelete, LogHeader::kIsDelete}) {
    const auto log = sample(info(), 129, 0, flags);
    expectRangeError([&] { util->utilApplicable(log); }, kFapIdRange);
    expectRangeError([&] { util->writeSwEntryToShadow(log); }, kFapIdRange);
    expectRangeError([&] { util->processSwEntry(log); }, kFapIdRange);
    expectRangeError([&] { util->getSchanCmds(log, 0); }, kFapIdRange);
  }
  EXPECT_EQ(host_.shadowDump(), dump);
  EXPECT_EQ(counters(), before);
  EXPECT_EQ(stats->counts(), enqueues);
}

INSTANTIATE_TEST_SUITE_P(Utils, GenericPath, ::testing::ValuesIn(cases([](const UtilInfo& u) {
                           return u.feed != Feed::Mtu;
                         })),
                         caseName);

// ---- routing-state Utils: the entry kind ---------------------------------------------------
using EntryKind = UtilPipeline;

TEST_P(EntryKind, OtherKindIsNotApplicableAndSkipsTheMaskTest) {
  TestSupport::TraceCapture capture("3");
  for (const std::uint8_t fap : {0, 7}) {
    const auto log = otherKind(info(), fap);
    EXPECT_FALSE(util()->utilApplicable(log));
    EXPECT_EQ(util()->writeSwEntryToShadow(log), 0u);
    EXPECT_EQ(process(log)->size(), 1u);
    EXPECT_EQ(enqueued(fap, 0), 1u);
  }
  EXPECT_TRUE(capture.contains(std::string(" ") + info().name + " util is not Applicable"));
  EXPECT_FALSE(capture.contains("Ignoring due to fapmask  mismatch"));
  EXPECT_EQ(counters(), (Counters{0, 0, 0, 0}));
  EXPECT_TRUE(host_.shadowDump().empty());
  expectChipMatchesShadow();
}

INSTANTIATE_TEST_SUITE_P(Utils, EntryKind, ::testing::ValuesIn(cases(routingState)), caseName);

// ---- every Util -----------------------------------------------------------------------------
using EveryUtil = UtilPipeline;

TEST_P(EveryUtil, CommandsBringTheChipInLineWithTheShadow) {
  const auto& u = info();
  std::vector<TestSupport::LogPtr> logs = {
      sample(u, 0, 0),
      sample(u, 1, 0),
      sample(u, 0, 0, 0, 6),
      sample(u, 0, 0, 0, 4),
      sample(u, 0, 0, LogHeader::kIsDelete),
      sample(u, 128, 1),
      sample(u, 7, 0),
      sample(u, 1, 2, LogHeader::kIsDelete, 6),
      sample(u, 0, 1, LogHeader::kTableDelete | LogHeader::kIsDelete)};
  if (routingState(u)) logs.push_back(otherKind(u, 1));
  for (const auto& log : logs) ASSERT_TRUE(process(log));
  EXPECT_FALSE(host_.shadowDump().empty());
  expectChipMatchesShadow();
}

TEST_P(EveryUtil, UtilsOfOneTableAndRevisionShareOneTableObject) {
  const auto& reg = [&]() -> const TernAsicUtils::UtilHolderContext::Registration& {
    for (const auto& r : TestSupport::context().registrations())
      if (r.key == util()->utilKey()) return r;
    throw std::runtime_error("not registered");
  }();
  const auto second = TestSupport::context().build(reg, host_.tableManager());
  second->fapIdIs(Pavo::Ptr<const TernAsicUtils::FapControlData>(
      new TernAsicUtils::FapControlData(SchanAccel::FapId(0))));
  EXPECT_EQ(boundTable(second), boundTable(util()));
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(qualifiedTable(info(), GetParam().chip)), 1);
  std::set<std::string> tables;
  for (const auto& u : utils()) tables.insert(u.table);
  EXPECT_EQ(host_.tableManager()->hwTableColl().size(), tables.size());
  // What one writes, the other's commands carry.
  second->writeSwEntryToShadow(sample(info(), 0, 0));
  const auto cmds = util()->getSchanCmds(sample(info(), 0, 0), 0);
  chip_.execute(*cmds);
  EXPECT_FALSE(host_.shadowDump().empty());
  expectChipMatchesShadow();
}

TEST_P(EveryUtil, ClearWritesResetRowsForOneShadowCopyOnly) {
  process(sample(info(), 0, 0));
  process(sample(info(), 0, 1));
  for (const auto unit : {Asic::UnitId::of(0, 0), Asic::UnitId::of(128, 5)}) {
    const auto cmds = util()->clearHwTable(unit);
    ASSERT_EQ(cmds->size(), table().info().rows);
    for (unsigned r = 0; r < cmds->size(); ++r) {
      const auto& cmd = cmds->cmdQueue()[r];
      EXPECT_EQ(cmd.fapId, unit.rawFapId());
      EXPECT_EQ(cmd.instanceId, unit.instanceId());
      EXPECT_EQ(cmd.address, r);
      for (unsigned i = 0; i < cmd.words; ++i) ASSERT_EQ(cmd.data[i], 0u) << "row " << r;
    }
    chip_.execute(*cmds);
  }
  EXPECT_EQ(table().shadowKeys(), std::vector{shadowKey(0, 1)});
  expectChipMatchesShadow();
}

TEST_P(EveryUtil, ClearOfFap129TracesThenRaises) {
  process(sample(info(), 0, 0));
  const auto dump = host_.shadowDump();
  TestSupport::TraceCapture capture("8");
  expectRangeError([&] { util()->clearHwTable(Asic::UnitId::of(129, 0)); }, kFapIdRange);
  EXPECT_TRUE(capture.contains(" unitId: { fapId: 129, instanceId: 0 }"));
  EXPECT_EQ(host_.shadowDump(), dump);
}

TEST_P(EveryUtil, EntryOfAnotherSoftwareTableStopsTheProcess) {
  const auto foreign =
      info().feed == Feed::Mtu ? TestSupport::vsi(1, 2) : TestSupport::mtu(1, 1500);
  const auto util = this->util();
  // A Util with its own process hook takes the entry unchecked on that path.
  if (info().feed != Feed::Mtu) {
    EXPECT_DEATH(util->processSwEntry(foreign), "logPtr is NULL");
  }
  EXPECT_DEATH(util->getSchanCmds(foreign, 0), "logPtr is NULL");
}

INSTANTIATE_TEST_SUITE_P(Utils, EveryUtil, ::testing::ValuesIn(allCases()), caseName);

// ---- single tables, both revisions ----------------------------------------------------------
class PerChip : public ::testing::TestWithParam<Hardware::ChipType> {
 protected:
  TestSupport::Rig host_{GetParam(), {0}};
};

struct DeleteCase {
  const char* util;
  std::uint8_t revertOnDelete;
  bool writeFirst;
  Counters after;
  bool rowKept;  // the written row survives the delete unchanged
};

TEST_P(PerChip, DeleteFollowsRevertOnDelete) {
  const DeleteCase cases[] = {
      {"IppdInlifProfileTableUtil", 1, true, {1, 1, 0, 0}, false},
      {"IppdInlifProfileTableUtil", 0, true, {1, 1, 0, 0}, false},
      {"IppfVsiToRoutingProfileMapArray0Util", 1, true, {1, 0, 1, 0}, true},
      {"IppfVsiToRoutingProfileMapArray0Util", 0, true, {1, 1, 0, 0}, false},
      {"IppfVsiToRoutingProfileMapArray0Util", 1, false, {0, 1, 0, 0}, false},
      {"IppaVsiToRoutingProfileMapArray3Util", 1, true, {1, 0, 1, 0}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.util) + " revertOnDelete " + std::to_string(c.revertOnDelete));
    TestSupport::Rig host(GetParam(), {0});
    const auto util = host.util(c.util);
    const auto& u = UtilCatalog::util(c.util);
    host.table(u.table)->revertOnDeleteIs(c.revertOnDelete);
    if (c.writeFirst) {
      EXPECT_EQ(util->writeSwEntryToShadow(sample(u)), 0u);
    }
    const auto dump = host.shadowDump();
    EXPECT_EQ(util->writeSwEntryToShadow(sample(u, 0, 0, LogHeader::kIsDelete)), 0u);
    EXPECT_EQ(host.counters(c.util), c.after);
    if (c.rowKept) {
      EXPECT_FALSE(dump.empty());
      EXPECT_EQ(host.shadowDump(), dump);
    } else {
      EXPECT_TRUE(host.shadowDump().empty());
    }
  }
}

TEST_P(PerChip, FailureLeavesShadowAndCountersAndYieldsNoCommands) {
  // The trap row is the one the chip gives profile 6; an index past the table fails.
  const TernPPExport::EgressFwdActionProfileValueFn index17 =
      [](Hardware::ChipType, TernPPExport::egress_fwd_action_profile) { return 17u; };
  const std::tuple<const char*, TestSupport::LogPtr, TernPPExport::EgressFwdActionProfileValueFn>
      failures[] = {
          {"IppfVsiToRoutingProfileMapArray0Util", TestSupport::vsi(6, 16), nullptr},
          {"EtppbTrapForwardActionTableUtil", TestSupport::trap(1, 2, 3), index17},
          {"EtppcMtuMapTableUtil", TestSupport::mtu(2, 20000), nullptr},
      };
  for (const auto& [name, log, override] : failures) {
    SCOPED_TRACE(name);
    const auto util = host_.util(name);
    const auto& u = UtilCatalog::util(name);
    util->processSwEntry(sample(u));
    const auto dump = host_.shadowDump();
    const auto before = host_.counters(name);
    const auto enqueues = host_.enqueueCount({u.swTableId}, 0, 0);
    Pavo::Ptr<SchanAccel::SchanCmds> cmds;
    TernPPExport::egressFwdActionProfileValueOverrideIs(override);
    EXPECT_THROW(cmds = util->processSwEntry(log), std::exception);
    TernPPExport::egressFwdActionProfileValueOverrideIs(nullptr);
    EXPECT_FALSE(cmds);
    EXPECT_EQ(host_.shadowDump(), dump);
    EXPECT_EQ(host_.counters(name), before);
    EXPECT_EQ(host_.enqueueCount({u.swTableId}, 0, 0), enqueues);
  }
}

TEST_P(PerChip, ReadShadowEntryAndRevertThroughReflection) {
  using Vsi = bcm88890_a0::IppfVsiToRoutingProfileMapHwDirect;
  using Inlif = bcm88890_a0::IppdInlifProfileTableHwDirect;
  const auto vsiUtil = host_.util("IppfVsiToRoutingProfileMapArray0Util");
  const auto inlifUtil = host_.util("IppdInlifProfileTableUtil");
  const SchanAccel::FapId fap(0);
  const TernAsicUtils::InstanceId instance = 4;
  const Vsi::EntryKey vsiKey(0, 1);  // VSI 5: entry 1, slot 1
  const auto readVsi = [&] {
    Vsi::Entry out{Vsi::EntryKey{}};
    out.routingProfileIs(0, 9);  // must be overwritten by the read
    EXPECT_EQ(inspect(vsiUtil, "readShadowEntry", kCall, {&fap, &instance, &vsiKey}, &out), 0);
    return out;
  };
  const Vsi::Entry reset{Vsi::EntryKey{}};
  const auto unwritten = readVsi();
  EXPECT_TRUE(Vsi::Entry::isEq(&unwritten, &reset));

  const auto vsiLog = TestSupport::vsi(5, 3, 0, instance);
  vsiUtil->processSwEntry(vsiLog);
  const auto written = readVsi();
  EXPECT_EQ(unsigned(written.routingProfile(1)), 3u);
  EXPECT_EQ(unsigned(written.routingProfile(0)), 0u);

  // The VSI map reverts to what the shadow holds; a table without a revert rule to reset.
  const auto vsiWrapper =
      Pavo::dynamic_pointer_cast<const TernL3Ni::RoutingStateLogEntryWrapper>(vsiLog);
  Vsi::Entry vsiReverted{Vsi::EntryKey{}};
  EXPECT_EQ(inspect(vsiUtil, "revertHwEntry", kCall, {&vsiWrapper}, &vsiReverted), 0);
  EXPECT_TRUE(Vsi::Entry::isEq(&vsiReverted, &written));

  const auto inlifLog = sample(UtilCatalog::util("IppdInlifProfileTableUtil"), 0, instance);
  inlifUtil->processSwEntry(inlifLog);
  const auto inlifWrapper =
      Pavo::dynamic_pointer_cast<const TernL3Ni::RoutingStateLogEntryWrapper>(inlifLog);
  Inlif::Entry inlifReverted{Inlif::EntryKey{}};
  inlifReverted.inLifRpfModeIpv4Is(3);
  EXPECT_EQ(inspect(inlifUtil, "revertHwEntry", kCall, {&inlifWrapper}, &inlifReverted), 0);
  const Inlif::Entry inlifReset{Inlif::EntryKey{}};
  EXPECT_TRUE(Inlif::Entry::isEq(&inlifReverted, &inlifReset));
  EXPECT_FALSE(
      TestSupport::row(*host_.table("IppdInlifProfileTableHwDirect"), 0, instance, 5).empty());
}

TEST_P(PerChip, MtuProcessHookIgnoresMaskAndCountersWhileGenericStepsUseRowZero) {
  const auto util = host_.util("EtppcMtuMapTableUtil");
  const auto& table = *host_.table("EtppcMtuMapTableHwDirect");
  const Asic::SwTableId mtuTable{0x0F080403};
  const auto cmds = util->processSwEntry(TestSupport::mtu(2, 1500, 7, 0));
  ASSERT_EQ(cmds->size(), 8u);
  for (unsigned i = 0; i < 8; ++i) {
    EXPECT_EQ(cmds->cmdQueue()[i].address, 16 + i);
    EXPECT_EQ(TestSupport::row(table, 7, 0, 16 + i).at("mtuByteSize"), 1500u);
  }
  EXPECT_EQ(host_.counters("EtppcMtuMapTableUtil"), (Counters{0, 0, 0, 0}));
  EXPECT_EQ(host_.enqueueCount(mtuTable, 7, 0), 0u);

  const auto log = TestSupport::mtu(2, 1500, 0, 0);
  EXPECT_EQ(util->writeSwEntryToShadow(log), 0u);
  EXPECT_EQ(host_.counters("EtppcMtuMapTableUtil"), (Counters{1, 0, 0, 0}));
  EXPECT_EQ(TestSupport::row(table, 0, 0, 0),
            (std::map<std::string, std::uint32_t>{{"mtuActionProfileIdx", 0}, {"mtuByteSize", 0}}));
  EXPECT_TRUE(TestSupport::row(table, 0, 0, 16).empty());
  const auto generic = util->getSchanCmds(log, 0);
  ASSERT_EQ(generic->size(), 1u);
  EXPECT_EQ(generic->cmdQueue()[0].address, 0u);
  EXPECT_EQ(host_.enqueueCount(mtuTable, 0, 0), 1u);
}

INSTANTIATE_TEST_SUITE_P(Chips, PerChip, ::testing::ValuesIn(TestSupport::kChips),
                         [](const auto& i) { return std::string(TestSupport::chipName(i.param)); });
}  // namespace
