// The tables fed by the routing-state software table, on both chip revisions: the VSI maps,
// the routing-profile vector maps, the CS in-LIF profile maps, the in-LIF RPF mode table and
// the allow-default-route register. Outcomes are read from the shadow, the returned
// commands, the Util counters and the traces.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/TestSupport.h"

namespace {
using Asic::LogHeader;
using ::testing::ElementsAreArray;
using TestSupport::describe;
using TestSupport::profile;
using TestSupport::Rig;
using TestSupport::row;
using TestSupport::urpf;
using TestSupport::vsi;
using Fields = std::map<std::string, std::uint32_t>;
using Counters = std::vector<std::uint64_t>;  // add, delete, updateOnDel, fapmaskMismatch

constexpr Asic::SwTableId kRoutingState = TernL3Ni::RoutingStateConstants::swTableId;

// ---- VSI-to-routing-profile maps ---------------------------------------------------------

struct VsiTable {
  const char* name;
  const char* util;
  const char* table;
  unsigned array;
};
constexpr VsiTable kVsiTables[] = {
    {"Ippf", "IppfVsiToRoutingProfileMapArray0Util", "IppfVsiToRoutingProfileMapHwDirect", 0},
    {"Ippa", "IppaVsiToRoutingProfileMapArray3Util", "IppaVsiToRoutingProfileMapHwDirect", 3}};

class VsiMapTest : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, VsiTable>> {
 protected:
  Hardware::ChipType chip() const { return std::get<0>(GetParam()); }
  const VsiTable& t() const { return std::get<1>(GetParam()); }
  Rig rig{chip(), {0, 3}};
  const TernAsicUtils::HwCommonTableBase& table() const { return *rig.table(t().table); }
  Pavo::Ptr<SchanAccel::SchanCmds> put(const TestSupport::LogPtr& e) {
    return rig.util(t().util)->processSwEntry(e);
  }
  unsigned rowOf(unsigned entryIndex) const { return t().array * 256 + entryIndex; }
  Fields slots(unsigned a, unsigned b, unsigned c, unsigned d) const {
    return {{"routingProfile[0]", a},
            {"routingProfile[1]", b},
            {"routingProfile[2]", c},
            {"routingProfile[3]", d}};
  }
  Fields at(unsigned entryIndex, unsigned fap = 0, unsigned inst = 0) const {
    return row(table(), fap, inst, rowOf(entryIndex));
  }
  Counters counters() const { return rig.counters(t().util); }
};

TEST_P(VsiMapTest, SetWritesOnlyTheVsisSlotOfTheNamedShadowCopy) {
  const auto cmds = put(vsi(5, 7, 3, 2));
  EXPECT_EQ(at(1, 3, 2), slots(0, 7, 0, 0));
  EXPECT_EQ(rig.shadowDump().size(), 1u);  // no other copy, row or table
  EXPECT_EQ(counters(), (Counters{1, 0, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 3, 2, {rowOf(1)});
}

TEST_P(VsiMapTest, SecondVsiOfAnEntryStartsFromTheShadow) {
  put(vsi(4, 2));
  const auto cmds = put(vsi(6, 9));
  EXPECT_EQ(at(1), slots(2, 0, 9, 0));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {rowOf(1)});
}

TEST_P(VsiMapTest, OnlyTheLowTenBitsOfTheVsiPlaceIt) {
  put(vsi(1023, 5));
  EXPECT_EQ(at(255), slots(0, 0, 0, 5));
  put(vsi(1024, 6));
  EXPECT_EQ(at(0), slots(6, 0, 0, 0));
  put(vsi(0, 3));  // VSI 0 owns the slot that VSI 1024 wrote
  EXPECT_EQ(at(0), slots(3, 0, 0, 0));
  EXPECT_EQ(rig.shadowDump().size(), 2u);
}

TEST_P(VsiMapTest, ProfileAboveFifteenIsRefusedAndLeavesTheEntry) {
  put(vsi(9, 15));
  ASSERT_EQ(at(2), slots(0, 15, 0, 0));
  const auto enqueued = rig.enqueueCount(kRoutingState, 0, 0);
  const std::string text = TestSupport::orderedTableError([&] { put(vsi(9, 16)); });
  EXPECT_EQ(text,
            "translateToHwFormat: [logEntry: { key: { id: 9, type: 0 }, routingProfileMap: 16 }]: "
            "userDefinedDoSetHwEntry: [unitId: { fapId: 0, instanceId: 0 }], "
            "[logEntry: { key: { id: 9, type: 0 }, routingProfileMap: 16 }], "
            "[hwEntry: { routingProfile: [0, 15, 0, 0] }]: U4::value < 0 or > 0x0f not allowed");
  EXPECT_EQ(at(2), slots(0, 15, 0, 0));
  EXPECT_EQ(counters(), (Counters{1, 0, 0, 0}));
  EXPECT_EQ(rig.enqueueCount(kRoutingState, 0, 0), enqueued);  // no commands either
}

TEST_P(VsiMapTest, RoutingProfileEntryIsNotApplicable) {
  put(vsi(5, 7));
  TestSupport::TraceCapture trace("3");
  const auto cmds = put(profile(5, urpf(true, true, true, true, true, {1, 1, 1, 1, 1})));
  EXPECT_TRUE(trace.contains(std::string(" ") + t().util + " util is not Applicable"));
  EXPECT_FALSE(trace.contains("Ignoring due to fapmask"));
  EXPECT_EQ(at(1), slots(0, 7, 0, 0));
  EXPECT_EQ(rig.shadowDump().size(), 1u);
  EXPECT_EQ(counters(), (Counters{1, 0, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {rowOf(1)});
}

TEST_P(VsiMapTest, DeleteLeavesTheSharedEntryAsItIs) {
  put(vsi(5, 7));
  put(vsi(6, 1));
  const auto cmds = put(vsi(5, 7, 0, 0, LogHeader::kIsDelete));
  EXPECT_EQ(at(1), slots(0, 7, 1, 0));
  EXPECT_EQ(counters(), (Counters{2, 0, 1, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {rowOf(1)});
}

TEST_P(VsiMapTest, DeleteOfAnAllZeroEntryRemovesTheRow) {
  put(vsi(8, 0));
  ASSERT_EQ(at(2), slots(0, 0, 0, 0));
  const auto cmds = put(vsi(8, 0, 0, 0, LogHeader::kIsDelete));
  EXPECT_TRUE(at(2).empty());
  EXPECT_EQ(counters(), (Counters{1, 1, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {rowOf(2)});
}

TEST_P(VsiMapTest, DeleteWithoutRevertOnDeleteRemovesTheWholeEntry) {
  rig.table(t().table)->revertOnDeleteIs(0);
  put(vsi(4, 2));
  put(vsi(5, 7));
  put(vsi(5, 7, 0, 0, LogHeader::kIsDelete));
  EXPECT_TRUE(at(1).empty());  // VSI 4 went with it
  EXPECT_EQ(counters(), (Counters{2, 1, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Tables, VsiMapTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kVsiTables)),
                         TestSupport::ParamName());

// ---- routing-profile-to-enable-vector maps -------------------------------------------------

struct VectorTable {
  const char* name;
  const char* util;
  const char* table;
  unsigned array;
  unsigned defaultArray;  // of a default-constructed key, shown when the key hook fails
};
constexpr VectorTable kVectorTables[] = {{"Ippf", "IppfRoutingProfileToVectorMapArray0Util",
                                          "IppfRoutingProfileToVectorMapHwDirect", 0, 0},
                                         {"Ippa", "IppaRoutingProfileToVectorMapArray3Util",
                                          "IppaRoutingProfileToVectorMapHwDirect", 3, 2}};

// routingState flags as the log entry carries them.
using Flags = std::array<std::uint8_t, 5>;
TernL3Ni::RoutingEnableProfile routing(Flags flags) {
  return urpf(false, false, false, false, false, flags);
}

class VectorMapTestBase {
 protected:
  VectorMapTestBase(Hardware::ChipType chip, const VectorTable& t) : vectorTable_(t), rig(chip) {}
  const VectorTable& vectorTable_;
  Rig rig;
  const TernAsicUtils::HwCommonTableBase& table() const { return *rig.table(vectorTable_.table); }
  Pavo::Ptr<SchanAccel::SchanCmds> put(const TestSupport::LogPtr& e) {
    return rig.util(vectorTable_.util)->processSwEntry(e);
  }
  unsigned rowOf(unsigned entryIndex) const { return vectorTable_.array * 16 + entryIndex; }
  Fields at(unsigned entryIndex) const { return row(table(), 0, 0, rowOf(entryIndex)); }
  static Fields vector(std::uint32_t word0) {
    Fields f;
    for (unsigned i = 0; i < 9; ++i)
      f["routingEnableVector[" + std::to_string(i) + "]"] = i ? 0 : word0;
    return f;
  }
};

struct FlagCase {
  const char* name;
  Flags flags;
  std::uint32_t word0;
};
constexpr FlagCase kFlagCases[] = {
    {"flag0", {1, 0, 0, 0, 0}, 0x300},   {"flag1", {0, 1, 0, 0, 0}, 0x3000},
    {"flag2", {0, 0, 2, 0, 0}, 0xC00},   {"flag3", {0, 0, 0, 0xff, 0}, 0xC000},
    {"flag4", {0, 0, 0, 0, 1}, 0x30000}, {"all", {1, 1, 1, 1, 1}, 0x3FF00},
    {"none", {0, 0, 0, 0, 0}, 0}};

class VectorBitsTest
    : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, VectorTable, FlagCase>>,
      public VectorMapTestBase {
 protected:
  VectorBitsTest() : VectorMapTestBase(std::get<0>(GetParam()), std::get<1>(GetParam())) {}
};

TEST_P(VectorBitsTest, EachFlagDrivesItsBitPair) {
  const FlagCase& c = std::get<2>(GetParam());
  TestSupport::TraceCapture trace("2");
  const auto cmds = put(profile(3, routing(c.flags)));
  EXPECT_EQ(at(3), vector(c.word0));  // a vector without flags is still written
  EXPECT_EQ(rig.shadowDump().size(), 1u);
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {rowOf(3)});
  // Nine words, highest first.
  std::string rendered;
  for (int i = 0; i < 8; ++i) rendered += " 0x00000000";
  rendered += fmt::format(" 0x{:08x}", c.word0);
  EXPECT_TRUE(trace.contains("RoutingEnableVector: " + rendered)) << rendered;
}

INSTANTIATE_TEST_SUITE_P(Tables, VectorBitsTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kVectorTables),
                                            ::testing::ValuesIn(kFlagCases)),
                         TestSupport::ParamName());

class VectorMapTest : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, VectorTable>>,
                      public VectorMapTestBase {
 protected:
  VectorMapTest() : VectorMapTestBase(std::get<0>(GetParam()), std::get<1>(GetParam())) {}
};

TEST_P(VectorMapTest, SetReplacesTheWholeVector) {
  put(profile(3, routing({1, 0, 0, 0, 1})));
  ASSERT_EQ(at(3), vector(0x30300));
  put(profile(3, routing({0, 0, 1, 0, 0})));
  EXPECT_EQ(at(3), vector(0xC00));
}

TEST_P(VectorMapTest, UrpfStateAloneChangesNothing) {
  put(profile(4, routing({1, 0, 0, 0, 0})));
  put(profile(4, urpf(true, true, true, true, true, {1, 0, 0, 0, 0})));
  EXPECT_EQ(at(4), vector(0x300));
}

TEST_P(VectorMapTest, ProfileIdRange) {
  put(profile(15, routing({1, 0, 0, 0, 0})));
  EXPECT_EQ(at(15), vector(0x300));
  put(profile(256, routing({0, 1, 0, 0, 0})));  // folds onto profile 0
  EXPECT_EQ(at(0), vector(0x3000));
  const auto dump = rig.shadowDump();
  const auto enqueued = rig.enqueueCount(kRoutingState, 0, 0);

  const std::string entry =
      "{ key: { id: 16, type: 1 }, routingEnableProfile: { routingState: [1, 0, 0, 0, 0], "
      "urpfState: { ipv4Enabled: 0, ipv6Enabled: 0, ipv4Strict: 0, ipv6Strict: 0, "
      "allowDefault: 0 } } }";
  const std::string tableName = std::string("bcm88890_a0::") + vectorTable_.table + "::EntryKey::";
  EXPECT_EQ(TestSupport::orderedTableError([&] {
              put(profile(16, routing({1, 0, 0, 0, 0})));
            }),
            "mapToHwKey: [logEntry: " + entry + "], [unitId: { fapId: 0, instanceId: 0 }]: " +
                "userDefinedGetHwEntryKey: [unitId: { fapId: 0, instanceId: 0 }], [logEntry: " +
                entry + "], [hwKey: { array: " + std::to_string(vectorTable_.defaultArray) +
                ", entryIndex: 0 }]: " + tableName + "entryIndex < " + tableName +
                "entryIndexMin or > " + tableName + "entryIndexMax not allowed");
  // 272 folds onto 16 and is refused too; a delete maps the key first and fails the same way.
  EXPECT_NE(TestSupport::orderedTableError([&] { put(profile(272, routing({}))); }), "");
  EXPECT_NE(TestSupport::orderedTableError(
                [&] { put(profile(16, routing({}), 0, 0, LogHeader::kIsDelete)); }),
            "");
  EXPECT_EQ(rig.shadowDump(), dump);
  EXPECT_EQ(rig.enqueueCount(kRoutingState, 0, 0), enqueued);
  EXPECT_EQ(rig.counters(vectorTable_.util), (Counters{2, 0, 0, 0}));
}

TEST_P(VectorMapTest, DeleteRemovesOnlyTheProfilesRow) {
  put(profile(3, routing({1, 1, 1, 1, 1})));
  put(profile(4, routing({1, 0, 0, 0, 0})));
  const auto cmds = put(profile(3, routing({1, 1, 1, 1, 1}), 0, 0, LogHeader::kIsDelete));
  EXPECT_TRUE(at(3).empty());
  EXPECT_EQ(at(4), vector(0x300));
  EXPECT_EQ(rig.counters(vectorTable_.util), (Counters{2, 1, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {rowOf(3)});
}

INSTANTIATE_TEST_SUITE_P(Tables, VectorMapTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kVectorTables)),
                         TestSupport::ParamName());

// ---- the Utils fed by routing-profile entries, together --------------------------------------

class ProfileUtilsTest : public ::testing::TestWithParam<Hardware::ChipType> {
 protected:
  Rig rig{GetParam()};
  Pavo::Ptr<SchanAccel::SchanCmds> put(const char* util, const TestSupport::LogPtr& e) {
    return rig.util(util)->processSwEntry(e);
  }
};

constexpr const char* kProfileUtils[] = {"IppfRoutingProfileToVectorMapArray0Util",
                                         "IppaRoutingProfileToVectorMapArray3Util",
                                         "IppaCsInlif0ProfileMapUtil",
                                         "IppbFlpInlifProfile0MapUtil",
                                         "IppdInlifProfileTableUtil",
                                         "IppdAllowDefaultRouteUtil"};

TEST_P(ProfileUtilsTest, VsiEntryLeavesEveryProfileTableAsItWas) {
  for (const char* u : kProfileUtils) put(u, profile(3, urpf(true, true, true, false, true, {1})));
  const auto before = rig.shadowDump();
  ASSERT_EQ(before.size(), 6u);
  TestSupport::TraceCapture trace("3");
  for (const char* u : kProfileUtils) {
    put(u, vsi(3, 0));
    EXPECT_TRUE(trace.contains(std::string(" ") + u + " util is not Applicable")) << u;
    EXPECT_EQ(rig.counters(u), (Counters{1, 0, 0, 0})) << u;
  }
  EXPECT_EQ(rig.shadowDump(), before);
}

// ---- CS in-LIF profile maps --------------------------------------------------------------

constexpr const char* kIppaCs = "IppaCsInlif0ProfileMapUtil";
constexpr const char* kIppbCs = "IppbFlpInlifProfile0MapUtil";

struct CsCase {
  const char* name;
  std::uint32_t id;
  TernL3Ni::RoutingEnableProfile value;
  std::uint32_t csInlif0Profile;  // Ippa, from a zero field: bit 1 IPv4, bit 2 IPv6
  std::uint32_t csInlifProfile0;  // Ippb
};
const CsCase kCsCases[] = {
    {"id0_none", 0, urpf(false, false, false, false, false), 1, 1},
    {"id0_both", 0, urpf(true, true, true, true, true, {1, 1, 1, 1, 1}), 1, 1},
    {"id5_none", 5, urpf(false, false, false, false, false), 0, 1},
    {"id5_ipv4", 5, urpf(true, false, false, false, false), 2, 3},
    {"id5_ipv6", 5, urpf(false, true, false, false, false), 4, 3},
    {"id5_both", 5, urpf(true, true, false, false, false), 6, 3},
    {"id7_ipv6", 7, urpf(false, true, false, false, false), 4, 3},
    {"id5_otherFlagsOnly", 5, urpf(false, false, true, true, true, {1, 1, 1, 1, 1}), 0, 1},
    {"id255_ipv4", 255, urpf(true, false, true, false, false), 2, 3},
    {"id256_profile0Rule", 256, urpf(true, true, false, false, false), 1, 1},
    {"id257_index1", 257, urpf(true, false, false, false, false), 2, 3}};

class CsInlifTest : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, CsCase>> {
 protected:
  Rig rig{std::get<0>(GetParam())};
};

TEST_P(CsInlifTest, ValuesOfBothMaps) {
  const CsCase& c = std::get<1>(GetParam());
  const unsigned index = c.id & 0xff;
  const auto& ippa = *rig.table("IppaCsInlif0ProfileMapHwDirect");
  const auto& ippb = *rig.table("IppbFlpInlifProfile0MapHwDirect");
  const auto cmdsA = rig.util(kIppaCs)->processSwEntry(profile(c.id, c.value));
  const auto cmdsB = rig.util(kIppbCs)->processSwEntry(profile(c.id, c.value));
  EXPECT_EQ(row(ippa, 0, 0, 3 * 256 + index), (Fields{{"csInlif0Profile", c.csInlif0Profile}}));
  EXPECT_EQ(row(ippb, 0, 0, index), (Fields{{"csInlifProfile0", c.csInlifProfile0}}));
  EXPECT_EQ(rig.shadowDump().size(), 2u);
  TestSupport::expectCmdsWriteShadow(cmdsA, ippa, 0, 0, {3 * 256 + index});
  TestSupport::expectCmdsWriteShadow(cmdsB, ippb, 0, 0, {index});
}

INSTANTIATE_TEST_SUITE_P(Tables, CsInlifTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kCsCases)),
                         TestSupport::ParamName());

TEST_P(ProfileUtilsTest, CsInlifSetStartsFromAFreshEntry) {
  put(kIppaCs, profile(5, urpf(true, false, false, false, false)));
  put(kIppaCs, profile(5, urpf(false, true, false, false, false)));
  EXPECT_EQ(row(*rig.table("IppaCsInlif0ProfileMapHwDirect"), 0, 0, 3 * 256 + 5),
            (Fields{{"csInlif0Profile", 4}}));
}

TEST_P(ProfileUtilsTest, CsInlifDeleteRemovesOnlyTheProfilesRow) {
  const auto value = urpf(true, true, false, false, false);
  for (const char* u : {kIppaCs, kIppbCs}) {
    put(u, profile(7, value));
    put(u, profile(8, value));
    put(u, profile(7, value, 0, 0, LogHeader::kIsDelete));
    EXPECT_EQ(rig.counters(u), (Counters{2, 1, 0, 0})) << u;
  }
  const auto& ippa = *rig.table("IppaCsInlif0ProfileMapHwDirect");
  const auto& ippb = *rig.table("IppbFlpInlifProfile0MapHwDirect");
  EXPECT_TRUE(row(ippa, 0, 0, 3 * 256 + 7).empty());
  EXPECT_TRUE(row(ippb, 0, 0, 7).empty());
  EXPECT_EQ(row(ippa, 0, 0, 3 * 256 + 8), (Fields{{"csInlif0Profile", 6}}));
  EXPECT_EQ(row(ippb, 0, 0, 8), (Fields{{"csInlifProfile0", 3}}));
}

// ---- in-LIF RPF mode table ---------------------------------------------------------------

constexpr const char* kRpf = "IppdInlifProfileTableUtil";

struct RpfCase {
  const char* name;
  TernL3Ni::RoutingEnableProfile value;
  std::uint32_t ipv4, ipv6;  // 0 off, 1 strict, 2 loose
};
const RpfCase kRpfCases[] = {{"allClear", urpf(false, false, false, false, false), 0, 0},
                             {"ipv4Strict", urpf(true, false, true, false, false), 1, 0},
                             {"ipv4Loose", urpf(true, false, false, false, false), 2, 0},
                             {"ipv4StrictFlagOnly", urpf(false, false, true, false, false), 0, 0},
                             {"ipv6Strict", urpf(false, true, false, true, false), 0, 1},
                             {"ipv6Loose", urpf(false, true, false, false, false), 0, 2},
                             {"ipv6StrictFlagOnly", urpf(false, false, false, true, false), 0, 0},
                             {"ipv4StrictIpv6Loose", urpf(true, true, true, false, false), 1, 2},
                             {"ipv4LooseIpv6Strict", urpf(true, true, false, true, false), 2, 1},
                             {"bothStrict", urpf(true, true, true, true, false), 1, 1},
                             {"bothLooseAllowDefault", urpf(true, true, false, false, true), 2, 2},
                             {"ipv4StrictIpv6LooseAllowDefault",
                              urpf(true, true, true, false, true, {1, 1, 1, 1, 1}), 1, 2}};

class RpfModeTest : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, RpfCase>> {
 protected:
  Rig rig{std::get<0>(GetParam())};
};

TEST_P(RpfModeTest, ModesOfBothFamilies) {
  const RpfCase& c = std::get<1>(GetParam());
  const auto& table = *rig.table("IppdInlifProfileTableHwDirect");
  // The opposite modes first: both fields must be rewritten.
  rig.util(kRpf)->processSwEntry(profile(9, urpf(true, true, c.ipv4 != 1, c.ipv6 != 1, false)));
  const auto cmds = rig.util(kRpf)->processSwEntry(profile(9, c.value));
  EXPECT_EQ(row(table, 0, 0, 9),
            (Fields{{"inLifRpfModeIpv4", c.ipv4}, {"inLifRpfModeIpv6", c.ipv6}}));
  TestSupport::expectCmdsWriteShadow(cmds, table, 0, 0, {9});
}

INSTANTIATE_TEST_SUITE_P(Tables, RpfModeTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kRpfCases)),
                         TestSupport::ParamName());

TEST_P(ProfileUtilsTest, RpfModeRowIsTheLowByteOfTheIdAndProfileZeroIsOrdinary) {
  const auto& table = *rig.table("IppdInlifProfileTableHwDirect");
  put(kRpf, profile(258, urpf(true, false, true, false, false)));
  put(kRpf, profile(0, urpf(false, true, false, false, false)));
  EXPECT_EQ(row(table, 0, 0, 2), (Fields{{"inLifRpfModeIpv4", 1}, {"inLifRpfModeIpv6", 0}}));
  EXPECT_EQ(row(table, 0, 0, 0), (Fields{{"inLifRpfModeIpv4", 0}, {"inLifRpfModeIpv6", 2}}));
  EXPECT_EQ(rig.shadowDump().size(), 2u);
}

TEST_P(ProfileUtilsTest, RpfModeDeleteRemovesOnlyTheProfilesRow) {
  const auto& table = *rig.table("IppdInlifProfileTableHwDirect");
  const auto value = urpf(true, true, true, false, false);
  put(kRpf, profile(4, value));
  put(kRpf, profile(5, value));
  const auto cmds = put(kRpf, profile(4, value, 0, 0, LogHeader::kIsDelete));
  EXPECT_TRUE(row(table, 0, 0, 4).empty());
  EXPECT_EQ(row(table, 0, 0, 5), (Fields{{"inLifRpfModeIpv4", 1}, {"inLifRpfModeIpv6", 2}}));
  EXPECT_EQ(rig.counters(kRpf), (Counters{2, 1, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table, 0, 0, {4});
}

// ---- allow-default-route register --------------------------------------------------------

constexpr const char* kAllowDefault = "IppdAllowDefaultRouteUtil";

struct AllowDefaultCase {
  const char* name;
  TernL3Ni::RoutingEnableProfile value;
  std::uint32_t strict, loose;
};
// urpf(ipv4Enabled, ipv6Enabled, ipv4Strict, ipv6Strict, allowDefault)
const AllowDefaultCase kAllowDefaultCases[] = {
    {"allowDefaultClearAllElseSet", urpf(true, true, true, false, false, {1, 1, 1, 1, 1}), 0, 0},
    {"allowDefaultClearIpv4Strict", urpf(true, false, true, false, false), 0, 0},
    {"bothFamiliesOff", urpf(false, false, true, true, true), 0, 0},
    {"ipv4Strict", urpf(true, false, true, false, true), 1, 0},
    {"ipv4Loose", urpf(true, false, false, false, true), 0, 1},
    {"ipv6Strict", urpf(false, true, false, true, true), 1, 0},
    {"ipv6Loose", urpf(false, true, false, false, true), 0, 1},
    {"ipv4StrictIpv6Loose", urpf(true, true, true, false, true), 1, 1},
    {"ipv4LooseIpv6Strict", urpf(true, true, false, true, true), 1, 1},
    {"bothStrict", urpf(true, true, true, true, true), 1, 0},
    {"bothLoose", urpf(true, true, false, false, true), 0, 1}};

Fields switches(std::uint32_t strict, std::uint32_t loose) {
  return {{"strictRpfAllowDefault", strict}, {"ucLooseRpfAllowDefault", loose}};
}

class AllowDefaultTest
    : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, AllowDefaultCase>> {
 protected:
  Rig rig{std::get<0>(GetParam())};
};

TEST_P(AllowDefaultTest, SwitchesFollowTheProfile) {
  const AllowDefaultCase& c = std::get<1>(GetParam());
  const auto& reg = *rig.table("IppdAllowDefaultRouteHwReg");
  // Another profile sets the opposite switches first: the register is rewritten whole.
  rig.util(kAllowDefault)
      ->processSwEntry(profile(1, urpf(c.strict == 0, c.loose == 0, true, false, true)));
  ASSERT_EQ(row(reg, 0, 0, 0), switches(c.strict == 0, c.loose == 0));
  const auto cmds = rig.util(kAllowDefault)->processSwEntry(profile(9, c.value));
  EXPECT_EQ(row(reg, 0, 0, 0), switches(c.strict, c.loose));
  TestSupport::expectCmdsWriteShadow(cmds, reg, 0, 0, {0});
}

INSTANTIATE_TEST_SUITE_P(Tables, AllowDefaultTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kAllowDefaultCases)),
                         TestSupport::ParamName());

TEST_P(ProfileUtilsTest, AllowDefaultFollowsTheLastProfileSet) {
  const auto& reg = *rig.table("IppdAllowDefaultRouteHwReg");
  put(kAllowDefault, profile(1, urpf(true, false, true, false, true)));
  ASSERT_EQ(row(reg, 0, 0, 0), switches(1, 0));
  put(kAllowDefault, profile(2, urpf(false, false, false, false, false)));
  EXPECT_EQ(row(reg, 0, 0, 0), switches(0, 0));
}

TEST_P(ProfileUtilsTest, AllowDefaultDeleteLeavesTheSwitches) {
  const auto& reg = *rig.table("IppdAllowDefaultRouteHwReg");
  const auto value = urpf(true, true, true, false, true);
  put(kAllowDefault, profile(1, value));
  const auto cmds = put(kAllowDefault, profile(1, value, 0, 0, LogHeader::kIsDelete));
  EXPECT_EQ(row(reg, 0, 0, 0), switches(1, 1));
  EXPECT_EQ(rig.counters(kAllowDefault), (Counters{1, 0, 1, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, reg, 0, 0, {0});
  // A register at its reset value is deleted from the shadow instead: same outcome in hardware.
  put(kAllowDefault, profile(2, urpf(false, false, false, false, false)));
  put(kAllowDefault, profile(1, value, 0, 0, LogHeader::kIsDelete));
  EXPECT_TRUE(row(reg, 0, 0, 0).empty());
  EXPECT_EQ(rig.counters(kAllowDefault), (Counters{2, 1, 1, 0}));
}

TEST_P(ProfileUtilsTest, AllowDefaultEveryIdAddressesTheOneRegister) {
  const auto& reg = *rig.table("IppdAllowDefaultRouteHwReg");
  const std::uint32_t ids[] = {0, 15, 300, 0xffffffffu};
  bool strict = false;
  for (std::uint32_t id : ids) {
    strict = !strict;
    const auto cmds = put(kAllowDefault, profile(id, urpf(true, false, strict, false, true)));
    EXPECT_EQ(row(reg, 0, 0, 0), switches(strict, !strict)) << id;
    TestSupport::expectCmdsWriteShadow(cmds, reg, 0, 0, {0});
  }
  EXPECT_EQ(rig.shadowDump().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Tables, ProfileUtilsTest, ::testing::ValuesIn(TestSupport::kChips),
                         TestSupport::ParamName());
}  // namespace
