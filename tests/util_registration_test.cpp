// Plug-in spine: what loading the plug-in announces, what starting it registers for a
// supported-revision list, the Utils the factories build, their reflective view, and that
// building and releasing Utils (also a failed build) leaves no live object behind.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tests/UtilCatalog.h"

namespace {
using namespace UtilCatalog;
using Hardware::Tern::FapRevision;
using TernAsicUtils::UtilHolderContext;

// The catalog comes from the registrations; the build's list of Util files (in link order)
// is what they must match.
TEST(PluginAnnouncement, OneUtilClassPerFileInLinkOrder) {
  std::vector<std::string> names;
  for (const auto& u : utils()) names.push_back(u.name);
  EXPECT_EQ(fmt::format("{}", fmt::join(names, ",")), TERN_UTIL_FILES);
}

std::vector<std::string> expectedUtilNames() {
  std::vector<std::string> out;
  for (const auto& u : utils())
    for (const auto chip : TestSupport::kChips) out.push_back(qualifiedName(u, chip));
  return out;
}

TEST(PluginAnnouncement, TwentyPluginsInLoadOrderOnTheUtilLoader) {
  const auto& loader = TernAsicUtils::UtilPluginNamespace::DefaultUtilLoader();
  std::vector<std::string> names;
  for (const auto& p : Plugin::Impl::LoaderImpl::plugins()) {
    if (p.loaderId != loader.id1()) continue;
    names.push_back(p.name);
    EXPECT_EQ(p.loaderId2, loader.id2()) << p.name;
    EXPECT_EQ(p.extra1, "") << p.name;
    EXPECT_EQ(p.extra2, "") << p.name;
    EXPECT_NE(p.caller, nullptr) << p.name;
  }
  std::vector<std::string> expected;
  for (const auto& n : expectedUtilNames()) expected.push_back(n + "Plugin");
  EXPECT_EQ(names, expected);
}

// The test program links the plug-in, so loading it here proves nothing about dlopen. The
// simulator is a host program that does not link it: it dlopens the object, starts it and
// builds every registered Util, so its listing shows what a fresh process gets.
TEST(PluginAnnouncement, FreshHostProcessLoadsAndStartsTheObject) {
#ifndef UTILSIM_PATH
  GTEST_SKIP() << "simulator not built";
#else
  if (access(UTILSIM_PATH, X_OK) != 0) GTEST_SKIP() << "simulator not built";
  const std::string cmd =
      std::string("'") + UTILSIM_PATH + "' list --json --plugin '" + TERN_PLUGIN_PATH + "'";
  FILE* out = popen(cmd.c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, out)) > 0;) text.append(buf, n);
  ASSERT_EQ(pclose(out), 0) << text;
  const auto doc = nlohmann::json::parse(text);
  ASSERT_TRUE(doc.is_array());
  const auto names = expectedUtilNames();
  ASSERT_EQ(doc.size(), names.size()) << text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto& u = utils()[i / 2];
    const auto chip = TestSupport::kChips[i % 2];
    EXPECT_EQ(doc[i].at("util"), names[i]);
    EXPECT_EQ(doc[i].at("plugin"), names[i] + "Plugin");
    EXPECT_EQ(doc[i].at("swTableId"), fmt::format("{}", Asic::SwTableId{u.swTableId}));
    EXPECT_EQ(doc[i].at("hwTableType"), qualifiedTable(u, chip));
  }
#endif
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
  EXPECT_EQ(keysAfterStart({a0, b0}).size(), 2 * kUtilClasses);
  EXPECT_EQ(keysAfterStart({a0}).size(), kUtilClasses);
  // Two revisions of one chip type: adjacent keys that differ only in the revision, lower first.
  const auto two = keysAfterStart({a0, a0r1});
  ASSERT_EQ(two.size(), 2 * kUtilClasses);
  for (std::size_t i = 0; i < two.size(); i += 2) {
    EXPECT_EQ(two[i].swTableId, two[i + 1].swTableId);
    EXPECT_EQ(two[i].utilName, two[i + 1].utilName);
    EXPECT_EQ(two[i].fapRevision, a0);
    EXPECT_EQ(two[i + 1].fapRevision, a0r1);
  }
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

INSTANTIATE_TEST_SUITE_P(Utils, EveryUtil, ::testing::ValuesIn(allCases()), caseName);
}  // namespace
