// Every Util class in both revisions: what loading the plug-in announces, what starting it
// registers for a supported-revision list, the Utils the factories build, their reflective
// view, the pipeline's edge cases (applicability, fap ids, table deletes, the entry kind) with
// the commands checked against a chip model, and that building and releasing Utils (also a
// failed build) leaves no live object behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/tables/IppaRoutingProfileToVectorMapHwDirect.h"
#include "host/tables/IppdInlifProfileTableHwDirect.h"
#include "host/tables/IppfVsiToRoutingProfileMapHwDirect.h"
#include "tests/UtilCatalog.h"

namespace {
using namespace UtilCatalog;
using Hardware::Tern::FapRevision;
using TernAsicUtils::UtilHolderContext;
using Counters = std::vector<std::uint64_t>;  // add, delete, updateOnDel, fapmaskMismatch

// The catalog comes from the registrations; the build's list of Util files (in link order)
// is what they must match. Each class announces a plug-in per revision, in that order.
TEST(PluginAnnouncement, OnePluginPerUtilClassAndRevisionInLinkOrder) {
  std::vector<std::string> names, expected;
  for (const auto& u : utils()) {
    names.push_back(u.name);
    for (const auto chip : TestSupport::kChips)
      expected.push_back(qualifiedName(u, chip) + "Plugin");
  }
  EXPECT_EQ(fmt::format("{}", fmt::join(names, ",")), TERN_UTIL_FILES);
  const auto& loader = TernAsicUtils::UtilPluginNamespace::DefaultUtilLoader();
  std::vector<std::string> plugins;
  for (const auto& p : Plugin::Impl::LoaderImpl::plugins()) {
    if (p.loaderId != loader.id1()) continue;
    plugins.push_back(p.name);
    EXPECT_EQ(std::tuple(p.loaderId2, p.extra1, p.extra2), std::tuple(loader.id2(), "", ""))
        << p.name;
    EXPECT_NE(p.caller, nullptr) << p.name;
  }
  EXPECT_EQ(plugins, expected);
}

// Replaces the host's supported-revision list for one test and puts the original back.
class RevisionList {
 public:
  explicit RevisionList(std::vector<FapRevision> list)
      : saved_(TernAsicUtils::SupportedFapRevList::fapRevisionList()) {
    TernAsicUtils::SupportedFapRevList::fapRevisionList() = std::move(list);
  }
  ~RevisionList() { TernAsicUtils::SupportedFapRevList::fapRevisionList() = saved_; }

 private:
  std::vector<FapRevision> saved_;
};

std::vector<TernAsicUtils::UtilKey> keysAfterStart(std::vector<FapRevision> list) {
  const RevisionList revisions(std::move(list));
  UtilHolderContext context;
  Host::startUtilPlugins(context);
  std::vector<TernAsicUtils::UtilKey> keys;
  for (const auto& r : context.registrations()) keys.push_back(r.key);
  return keys;
}

// In load order; the revisions of one class adjacent, in the order of the list.
std::vector<TernAsicUtils::UtilKey> expectedKeys(const std::vector<FapRevision>& list) {
  std::vector<TernAsicUtils::UtilKey> out;
  for (const auto& u : utils())
    for (const auto chip : TestSupport::kChips)
      for (const auto& rev : list)
        if (rev.chipType() == chip) out.push_back({{u.swTableId}, rev, qualifiedName(u, chip)});
  return out;
}

TEST(PluginStart, RevisionListDecidesTheRegistrations) {
  const FapRevision a0(Hardware::kChipBcm88890A0, 0), a0r1(Hardware::kChipBcm88890A0, 1),
      b0(Hardware::kChipBcm88890B0, 0), other(Hardware::ChipType{22}, 0);
  const std::vector<std::vector<FapRevision>> lists = {
      {a0, b0}, {a0}, {b0}, {other}, {}, {a0, a0r1}, {a0, other, b0}};
  for (const auto& list : lists) {
    SCOPED_TRACE(::testing::PrintToString(list.size()) + " revisions");
    EXPECT_EQ(keysAfterStart(list), expectedKeys(list));
  }
  // (The expected keys come from the catalog, itself from the registrations: its size is the
  // build's list of Util files.)
  EXPECT_EQ(keysAfterStart({a0}).size(), kUtilClasses);
  EXPECT_EQ(TernAsicUtils::SupportedFapRevList::fapRevisionList(), (std::vector{a0, b0}));
}

TEST(PluginStart, EachRevisionGetsItsOwnTableObject) {
  const FapRevision a0(Hardware::kChipBcm88890A0, 0), a0r1(Hardware::kChipBcm88890A0, 1);
  const RevisionList revisions({a0, a0r1});
  UtilHolderContext context;
  Host::startUtilPlugins(context);
  const Pavo::Ptr<TernAsicUtils::TableManager> tm(new TernAsicUtils::TableManager);
  std::vector<Pavo::Ptr<TernAsicUtils::UtilBase>> utils;
  for (const auto& r : context.registrations()) utils.push_back(context.build(r, tm));
  ASSERT_EQ(utils.size(), 2 * kUtilClasses);
  std::set<std::string> tables;
  for (const auto& u : UtilCatalog::utils()) tables.insert(u.table);
  EXPECT_EQ(tm->hwTableColl().size(), 2 * tables.size());
  for (std::size_t i = 0; i < utils.size(); i += 2)
    EXPECT_NE(boundTable(utils[i]), boundTable(utils[i + 1])) << utils[i]->utilKey().utilName;
}

class EveryUtil : public ::testing::TestWithParam<UtilCase> {
 protected:
  const UtilInfo& info() const { return GetParam().util; }
  const TernAsicUtils::UtilHolderContext::Registration& registration() const {
    const auto name = qualifiedName(GetParam().util, GetParam().chip);
    for (const auto& r : TestSupport::context().registrations())
      if (r.key.utilName == name) return r;
    throw std::runtime_error("not registered: " + name);
  }
};

TEST_P(EveryUtil, FactoryBuildsTheUtilOfItsKey) {
  const auto& [u, chip] = GetParam();
  const auto& reg = registration();
  EXPECT_EQ(reg.key.swTableId, Asic::SwTableId{u.swTableId});
  EXPECT_EQ(reg.key.fapRevision, FapRevision(chip, 0));
  const Pavo::Ptr<TernAsicUtils::TableManager> tm(new TernAsicUtils::TableManager);
  const auto util = TestSupport::context().build(reg, tm);
  ASSERT_TRUE(util);
  EXPECT_EQ(util->utilKey(), reg.key);
  EXPECT_EQ(util->hwTableType(), qualifiedTable(u, chip));
  Pavo::String name;
  EXPECT_EQ(inspect(util, "tableName", kCall, {}, &name), 0);
  EXPECT_EQ(name, qualifiedName(u, chip));
  const auto type = util->typeData();
  ASSERT_NE(type.module, nullptr);
  EXPECT_EQ(std::string(type.module->name()), std::string("Jericho3ai/") + u.name);
  EXPECT_EQ(type.index, 0u);  // for both revisions: the module names the class
  const auto& classes = type.module->classes();
  EXPECT_TRUE(std::any_of(classes.begin(), classes.end(),
                          [&](const auto& c) { return c.className == qualifiedName(u, chip); }));
  // Bound at once to the one table object of its class and revision, with counters.
  ASSERT_EQ(tm->hwTableColl().size(), 1u);
  const auto& [tableKey, table] = *tm->hwTableColl().begin();
  EXPECT_EQ(tableKey.name, u.table);
  EXPECT_EQ(tableKey.fapRevision, reg.key.fapRevision);
  EXPECT_EQ(boundTable(util).get(), table.get());
  ASSERT_TRUE(util->stats());
  EXPECT_EQ(util->stats()->addCnt(), 0u);
  EXPECT_TRUE(table->shadowKeys().empty());
}

TEST_P(EveryUtil, ReflectionAnswers) {
  TestSupport::Rig host(GetParam().chip);
  const auto util = host.util(GetParam().util.name);
  Pavo::String ignored;
  EXPECT_EQ(inspect(util, "tableName", kRead, {}, &ignored), 1);
  EXPECT_EQ(inspect(util, "tableName", kWrite, {&ignored}), 1);
  EXPECT_EQ(inspect(util, "mapToHwKey_", kCall), 1);
  EXPECT_EQ(inspect(util, "translateToHwFormat_", kRead), 1);
  EXPECT_EQ(inspect(util, "onDelete", kRead), 1);
  EXPECT_EQ(inspect(util, "noSuchAttribute", kCall), 2);
  EXPECT_EQ(inspect(util, "tablename", kCall), 2);
  const auto* declared =
      Pavo::ModuleInspectData::findClass(qualifiedName(GetParam().util, GetParam().chip));
  ASSERT_NE(declared, nullptr);
  std::vector<std::string> signatures;
  for (std::size_t i = 0; i < declared->attributeCount; ++i)
    signatures.push_back(declared->attributes[i].signature());
  EXPECT_EQ(signatures, (std::vector<std::string>{
                            "tableName", "hwTable", "translateToHwFormat(logEntry)",
                            "readShadowEntry(fapId, instanceId, hwKey)", "revertHwEntry(logEntry)",
                            "mapToHwKey(entry, unitId)",
                            "factory(utilKey, hwTableManager, mdbTableManager, hwWriterStatus, "
                            "hwBulkDownloadErrConfig)",
                            "handleInitialized", "onDelete", "translateToHwFormat_(logEntry)",
                            "mapToHwKey_(entry, unitId)"}));
  EXPECT_EQ(boundTable(util).get(), host.table(GetParam().util.table));
}

// The pipeline relies on the binding and does not test it, so no entry is sent here.
TEST_P(EveryUtil, TableOfAnotherClassReadsNull) {
  const auto& [u, chip] = GetParam();
  const auto otherChip =
      chip == Hardware::kChipBcm88890A0 ? Hardware::kChipBcm88890B0 : Hardware::kChipBcm88890A0;
  TestSupport::Rig host(chip);
  TestSupport::Rig otherHost(otherChip);
  const auto util = host.util(u.name);
  // Same table name, other revision: still another class. And a table of another name.
  const Pavo::Ptr<TernAsicUtils::HwCommonTableBase> sameNameOtherRev(otherHost.table(u.table));
  const Pavo::Ptr<TernAsicUtils::HwCommonTableBase> otherName(host.table(
      u.feed == Feed::Mtu ? "IppdInlifProfileTableHwDirect" : "EtppcMtuMapTableHwDirect"));
  for (const auto& wrong : {sameNameOtherRev, otherName}) {
    ASSERT_TRUE(wrong);
    EXPECT_EQ(inspect(util, "hwTable", kWrite, {&wrong}), 0);
    EXPECT_EQ(boundTable(util), nullptr);
    EXPECT_EQ(util->hwTableBase().get(), wrong.get());
    EXPECT_EQ(util->hwTableType(), qualifiedTable(u, chip));
  }
  // Rebinding through reflection finds the right object again.
  EXPECT_EQ(inspect(util, "handleInitialized", kCall), 0);
  EXPECT_EQ(boundTable(util).get(), host.table(u.table));
  EXPECT_EQ(util->processSwEntry(sample(u))->size(), u.feed == Feed::Mtu ? 8u : 1u);
}

TEST_P(EveryUtil, ReleasedUtilsLeaveNoLiveObject) {
  const auto& [u, chip] = GetParam();
  const auto utilName = qualifiedName(u, chip), tableName = qualifiedTable(u, chip);
  ASSERT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 0);
  {
    TestSupport::Rig host(chip);
    const auto util = host.util(u.name);
    EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 1);
    EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(tableName), 1);
    // The reflective construction paths build further Utils on the same table object.
    const TernAsicUtils::UtilKey key = util->utilKey();
    const Pavo::Ptr<TernAsicUtils::TableManager> tm = host.tableManager();
    const Pavo::Ptr<TernMdb::TableManager> mdb(new TernMdb::TableManager);
    const Pavo::Ptr<TernAsicUtils::HwWriterStatus> ws(new TernAsicUtils::HwWriterStatus);
    const Pavo::Ptr<TernAsicUtils::HwBulkDownloadErrConfig> bulk(
        new TernAsicUtils::HwBulkDownloadErrConfig);
    Pavo::Ptr<Pavo::Node> viaFactory, viaCtorArgs;
    EXPECT_EQ(inspect(util, "factory", kCall, {&key, &tm, &mdb, &ws, &bulk}, &viaFactory), 0);
    const void* ctorArgs[] = {&key, &tm, &ws};
    Pavo::ModuleInspectData::findClass(utilName)->genericIfConstructFromCtorArgs(
        &viaCtorArgs, const_cast<void* const*>(ctorArgs));
    ASSERT_TRUE(viaFactory && viaCtorArgs);
    EXPECT_EQ(viaFactory->useCount(), 1u);
    EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 3);
    EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(tableName), 1);
    for (const auto& made : {viaFactory, viaCtorArgs}) {
      const Pavo::Ptr<TernAsicUtils::UtilBase> other(
          dynamic_cast<TernAsicUtils::UtilBase*>(made.get()));
      ASSERT_TRUE(other);
      EXPECT_EQ(other->utilKey(), key);
      EXPECT_EQ(boundTable(other), boundTable(util));
    }
    TestSupport::TraceCapture capture("8");
    viaFactory.reset();
    EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 2);
    EXPECT_TRUE(capture.contains(" utilKey: " + QelPavo::Impl::valueToStrep(key)));
  }
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 0);
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(tableName), 0);
}

// A table manager whose collection cannot grow makes creating the table object throw inside
// the Util's construction; the partly built Util and table object must both be handed back.
TEST_P(EveryUtil, ConstructionThatThrowsLeaksNothing) {
  const auto& [u, chip] = GetParam();
  const auto utilName = qualifiedName(u, chip), tableName = qualifiedTable(u, chip);
  const auto& reg = registration();
  const Pavo::Ptr<TernAsicUtils::TableManager> tm(new TernAsicUtils::TableManager);
  // The first insertion then asks for more buckets than an array can hold (the request is
  // refused before anything is allocated).
  tm->hwTableColl().max_load_factor(sizeof(std::size_t) == 8 ? 1e-18f : 1e-9f);
  // Only the base part was built, so only it is torn down: no destructor trace of the Util.
  Qel::TraceConfig::enable("8");
  Qel::TraceConfig::captureBegin();
  EXPECT_THROW(TestSupport::context().build(reg, tm), std::exception);
  const auto lines = Qel::TraceConfig::captureEnd();
  Qel::TraceConfig::disableAll();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.front().find("fapRevision:"), std::string::npos) << lines.front();
  for (const auto& l : lines) EXPECT_EQ(l.find("utilKey:"), std::string::npos) << l;
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 0);
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(tableName), 0);
  EXPECT_TRUE(tm->hwTableColl().empty());
  // The same manager, able to grow again, builds the Util normally.
  tm->hwTableColl().max_load_factor(1.0f);
  const auto util = TestSupport::context().build(reg, tm);
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilName), 1);
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(tableName), 1);
  EXPECT_EQ(boundTable(util).get(), tm->hwTableColl().begin()->second.get());
}

// The host's three steps on one entry each, from a fresh host whose fap mask is {0, 1}: whether
// the entry applies, what the shadow write answers, the counters after it, and one command for
// the entry's copy that brings a chip model in line with the shadow. (A Util with its own process
// hook runs the generic steps here: default key, reset entry.)
TEST_P(EveryUtil, PipelineEdgeCases) {
  const auto& u = info();
  const TestSupport::Log::Header deleteAll{.fapId = 1, .isDelete = true, .isTableDelete = true};
  auto deleteAllOutside = deleteAll;
  deleteAllOutside.fapId = 7;
  struct Case {
    const char* name;
    TestSupport::LogPtr entry;
    bool applies;
    Counters counters;
  };
  // A fap outside the mask counts a mismatch on each of the two applicability tests.
  std::vector<Case> cases = {
      {"nullFapWhateverTheMask", sample(u, {.fapId = 128, .instanceId = 3}), true, {1, 0, 0, 0}},
      {"fapOutsideTheMask", sample(u, {.fapId = 7, .instanceId = 2}), false, {0, 0, 0, 2}},
      {"tableDeleteEvenOfAnotherKind",
       routingState(u) ? otherKind(u, deleteAll) : sample(u, deleteAll),
       true,
       {0, 1, 0, 0}},
      {"tableDeleteOutsideTheMaskIsOrdinary", sample(u, deleteAllOutside), false, {0, 0, 0, 2}}};
  if (routingState(u))
    cases.push_back({"otherKindSkipsTheMaskTest", otherKind(u, {.fapId = 7}), false, {}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestSupport::Rig rig(GetParam().chip, {0, 1});
    const auto util = rig.util(u.name);
    EXPECT_EQ(util->utilApplicable(c.entry), c.applies);
    // 0 whether the entry is taken or not: a host reads any other value as a failure.
    EXPECT_EQ(util->writeSwEntryToShadow(c.entry), 0u);
    EXPECT_EQ(rig.counters(u.name), c.counters.empty() ? Counters(4) : c.counters);
    const auto cmds = util->getSchanCmds(c.entry, 0);
    const auto unit = static_cast<const Asic::LogEntryWrapperBase&>(*c.entry).unitId();
    ASSERT_EQ(cmds->size(), 1u);
    EXPECT_EQ(cmds->cmdQueue()[0].fapId, unit.rawFapId());
    EXPECT_EQ(cmds->cmdQueue()[0].instanceId, unit.instanceId());
    EXPECT_EQ(rig.enqueueCount({u.swTableId}, unit.rawFapId(), unit.instanceId()), 1u);
    EXPECT_EQ(rig.shadowDump().size(), c.counters.empty() ? 0u : c.counters[0]);
    Host::ChipModel chip;
    chip.execute(*cmds);
    for (const auto& m : chip.compare(*rig.tableManager()))
      ADD_FAILURE() << m.table->name << " " << m.key.toString() << " row " << m.row;
  }
}

TEST_P(EveryUtil, UtilsOfOneTableAndRevisionShareOneTableObject) {
  TestSupport::Rig rig(GetParam().chip);
  const auto second = TestSupport::context().build(registration(), rig.tableManager());
  second->fapIdIs(Pavo::Ptr<const TernAsicUtils::FapControlData>(
      new TernAsicUtils::FapControlData(SchanAccel::FapId(0))));
  EXPECT_EQ(boundTable(second), boundTable(rig.util(info().name)));
  EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(qualifiedTable(info(), GetParam().chip)), 1);
  std::set<std::string> tables;
  for (const auto& u : utils()) tables.insert(u.table);
  EXPECT_EQ(rig.tableManager()->hwTableColl().size(), tables.size());
  // What one writes, the other's commands carry.
  second->writeSwEntryToShadow(sample(info()));
  Host::ChipModel chip;
  chip.execute(*rig.util(info().name)->getSchanCmds(sample(info()), 0));
  EXPECT_FALSE(rig.shadowDump().empty());
  EXPECT_TRUE(chip.compare(*rig.tableManager()).empty());
}

TEST_P(EveryUtil, EntryOfAnotherSoftwareTableStopsTheProcess) {
  const auto foreign = info().feed == Feed::Mtu ? sample(util("IppdInlifProfileTableUtil"))
                                                : sample(util("EtppcMtuMapTableUtil"));
  TestSupport::Rig rig(GetParam().chip);
  const auto util = rig.util(info().name);
  // A Util with its own process hook takes the entry unchecked on that path.
  if (info().feed != Feed::Mtu) {
    EXPECT_DEATH(util->processSwEntry(foreign), "logPtr is NULL");
  }
  EXPECT_DEATH(util->getSchanCmds(foreign, 0), "logPtr is NULL");
}

INSTANTIATE_TEST_SUITE_P(Utils, EveryUtil, ::testing::ValuesIn(allCases()), caseName);

// ---- the reflective steps on two tables --------------------------------------------------------
class PerChip : public ::testing::TestWithParam<Hardware::ChipType> {};

TEST_P(PerChip, ReadShadowEntryRevertAndKeyThroughReflection) {
  const TestSupport::Rig rig(GetParam());
  using Vsi = bcm88890_a0::IppfVsiToRoutingProfileMapHwDirect;
  using Inlif = bcm88890_a0::IppdInlifProfileTableHwDirect;
  using Vector = bcm88890_a0::IppaRoutingProfileToVectorMapHwDirect;
  const auto vsiUtil = rig.util("IppfVsiToRoutingProfileMapArray0Util");
  const auto inlifUtil = rig.util("IppdInlifProfileTableUtil");
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

  const auto vsiLog =
      sample(util("IppfVsiToRoutingProfileMapArray0Util"), {.instanceId = instance});
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
  // Translating the entry again gives the row it wrote.
  Vsi::Entry vsiTranslated{Vsi::EntryKey{}};
  EXPECT_EQ(inspect(vsiUtil, "translateToHwFormat", kCall, {&vsiWrapper}, &vsiTranslated), 0);
  EXPECT_TRUE(Vsi::Entry::isEq(&vsiTranslated, &written));

  const auto inlifLog = sample(util("IppdInlifProfileTableUtil"), {.instanceId = instance});
  inlifUtil->processSwEntry(inlifLog);
  const auto inlifWrapper =
      Pavo::dynamic_pointer_cast<const TernL3Ni::RoutingStateLogEntryWrapper>(inlifLog);
  Inlif::Entry inlifReverted{Inlif::EntryKey{}};
  inlifReverted.inLifRpfModeIpv4Is(3);
  EXPECT_EQ(inspect(inlifUtil, "revertHwEntry", kCall, {&inlifWrapper}, &inlifReverted), 0);
  const Inlif::Entry inlifReset{Inlif::EntryKey{}};
  EXPECT_TRUE(Inlif::Entry::isEq(&inlifReverted, &inlifReset));
  EXPECT_FALSE(
      TestSupport::row(*rig.table("IppdInlifProfileTableHwDirect"), 0, instance, 5).empty());

  // The key of an entry and a unit; a refused key names the unit it was mapped for.
  const auto vectorUtil = rig.util("IppaRoutingProfileToVectorMapArray3Util");
  const Asic::UnitId unit = Asic::UnitId::of(5, 2);
  auto entry = TestSupport::Log::RoutingState{.id = 3, .type = 1}.entry();
  Vector::EntryKey key;
  EXPECT_EQ(inspect(vectorUtil, "mapToHwKey", kCall, {&entry, &unit}, &key), 0);
  EXPECT_EQ(QelPavo::Impl::valueToStrep(key), "{ array: 3, entryIndex: 3 }");
  entry = TestSupport::Log::RoutingState{.id = 16, .type = 1}.entry();
  EXPECT_NE(TestSupport::orderedTableError([&] {
              inspect(vectorUtil, "mapToHwKey", kCall, {&entry, &unit}, &key);
            }).find("[unitId: { fapId: 5, instanceId: 2 }]"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Chips, PerChip, ::testing::ValuesIn(TestSupport::kChips),
                         TestSupport::ParamName());
}  // namespace
