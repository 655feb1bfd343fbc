// The egress tables on both chip revisions: the trap forward action row and the MTU map.
// Outcomes are read from the shadow, the returned commands, the counters and the exception
// texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host/HostControls.h"
#include "tests/TestSupport.h"

namespace {
using Asic::LogHeader;
using TestSupport::mtu;
using TestSupport::Rig;
using TestSupport::row;
using TestSupport::trap;
using Fields = std::map<std::string, std::uint32_t>;
using Counters = std::vector<std::uint64_t>;  // add, delete, updateOnDel, fapmaskMismatch

// ---- trap forward action table ------------------------------------------------------------

constexpr const char* kTrap = "EtppbTrapForwardActionTableUtil";
constexpr const char* kTrapTable = "EtppbTrapForwardActionTableHwDirect";

// The row the built-in profile index gives the trap profile on each chip type.
unsigned builtInTrapRow(Hardware::ChipType chip) {
  return chip == Hardware::kChipBcm88890A0 ? 6 : 7;
}

Fields trapRow(std::uint32_t outPort, std::uint32_t stampValue) {
  return {{"outTmPort", outPort},
          {"outTmPortOverride", 1},
          {"ppDspStampValue", stampValue},
          {"ppDspStampValueOverride", 1},
          {"dropForwardCopyOverride", 1},
          {"forwardChData2", 13},
          {"forwardChData2Override", 1},
          {"forwardChData4", stampValue},
          {"forwardChData4Override", 1},
          {"otmChccOverride", 1},
          {"chcConditions", 1},
          {"ftmhTc", 7},
          {"ftmhTcOverride", 1}};
}

// The host's profile index answer, replaced for one test and recorded.
std::uint32_t gProfileValue = 0;
std::vector<std::pair<Hardware::ChipType, std::uint32_t>> gAsked;
std::uint32_t recordedProfileValue(Hardware::ChipType chip,
                                   TernPPExport::egress_fwd_action_profile profile) {
  gAsked.emplace_back(chip, profile);
  return gProfileValue;
}
struct ProfileValueOverride {
  ProfileValueOverride() {
    gAsked.clear();
    TernPPExport::egressFwdActionProfileValueOverrideIs(&recordedProfileValue);
  }
  ~ProfileValueOverride() { TernPPExport::egressFwdActionProfileValueOverrideIs(nullptr); }
  ProfileValueOverride(const ProfileValueOverride&) = delete;
  ProfileValueOverride& operator=(const ProfileValueOverride&) = delete;
};

class TrapTest : public ::testing::TestWithParam<Hardware::ChipType> {
 protected:
  Rig rig{GetParam()};
  const TernAsicUtils::HwCommonTableBase& table() const { return *rig.table(kTrapTable); }
  Pavo::Ptr<SchanAccel::SchanCmds> put(const TestSupport::LogPtr& e) {
    return rig.util(kTrap)->processSwEntry(e);
  }
  unsigned trapRowIndex() const { return builtInTrapRow(GetParam()); }
};

TEST_P(TrapTest, EntryWritesTheReservedRowWithEveryOverride) {
  const auto cmds = put(trap(1, 33, 200));
  EXPECT_EQ(row(table(), 0, 0, trapRowIndex()), trapRow(33, 200));
  EXPECT_EQ(rig.shadowDump().size(), 1u);
  EXPECT_EQ(rig.counters(kTrap), (Counters{1, 0, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {trapRowIndex()});
}

TEST_P(TrapTest, EntriesOfEveryKeyShareTheRow) {
  put(trap(1, 10, 50));
  const auto cmds = put(trap(2, 20, 60));
  EXPECT_EQ(row(table(), 0, 0, trapRowIndex()), trapRow(20, 60));
  EXPECT_EQ(rig.shadowDump().size(), 1u);
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {trapRowIndex()});
}

TEST_P(TrapTest, RowIsTheLowByteOfTheChipsProfileIndexUpToSixteen) {
  const ProfileValueOverride answer;
  gProfileValue = 16;  // the key's null value is still a row
  put(trap(1, 33, 200));
  EXPECT_EQ(row(table(), 0, 0, 16), trapRow(33, 200));
  ASSERT_FALSE(gAsked.empty());
  EXPECT_TRUE(gAsked.front().first == GetParam());
  EXPECT_EQ(gAsked.front().second, 6u);  // the trap profile
  gProfileValue = 0x105;
  put(trap(1, 34, 201));
  EXPECT_EQ(row(table(), 0, 0, 5), trapRow(34, 201));

  const auto dump = rig.shadowDump();
  const auto enqueued = rig.enqueueCount(TernL3Ni::EtppTrapFwdActionConstants::swTableId, 0, 0);
  gProfileValue = 17;
  const std::string entry = "{ key: { value: 1 }, outPort: 33, stampValue: 200 }";
  const std::string key = "bcm88890_a0::EtppbTrapForwardActionTableHwDirect::EntryKey::";
  EXPECT_EQ(TestSupport::orderedTableError([&] { put(trap(1, 33, 200)); }),
            "mapToHwKey: [logEntry: " + entry + "], [unitId: { fapId: 0, instanceId: 0 }]: " +
                "userDefinedGetHwEntryKey: [unitId: { fapId: 0, instanceId: 0 }], [logEntry: " +
                entry + "], [hwKey: { value: 0 }]: " + key + "value < " + key + "min or > " + key +
                "null not allowed");
  EXPECT_EQ(rig.shadowDump(), dump);
  EXPECT_EQ(rig.enqueueCount(TernL3Ni::EtppTrapFwdActionConstants::swTableId, 0, 0), enqueued);
  EXPECT_EQ(rig.counters(kTrap), (Counters{2, 0, 0, 0}));
}

TEST_P(TrapTest, DeletePutsBackOnlyPortAndStampValue) {
  put(trap(1, 33, 200));
  const auto cmds = put(trap(1, 33, 200, 0, 0, LogHeader::kIsDelete));
  Fields expected = trapRow(33, 200);
  expected["outTmPort"] = 0;
  expected["ppDspStampValue"] = 0;
  EXPECT_EQ(row(table(), 0, 0, trapRowIndex()), expected);
  EXPECT_EQ(rig.counters(kTrap), (Counters{1, 0, 1, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {trapRowIndex()});
  // The override bits keep the row from ever reverting to the default entry.
  put(trap(2, 0, 0, 0, 0, LogHeader::kIsDelete));
  EXPECT_EQ(row(table(), 0, 0, trapRowIndex()), expected);
  EXPECT_EQ(rig.counters(kTrap), (Counters{1, 0, 2, 0}));
}

TEST_P(TrapTest, DeleteOfTheDefaultRowRemovesIt) {
  const auto cmds = put(trap(1, 33, 200, 0, 0, LogHeader::kIsDelete));
  EXPECT_TRUE(rig.shadowDump().empty());
  EXPECT_EQ(rig.counters(kTrap), (Counters{0, 1, 0, 0}));
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, {trapRowIndex()});
}

INSTANTIATE_TEST_SUITE_P(Chips, TrapTest, ::testing::ValuesIn(TestSupport::kChips),
                         TestSupport::ParamName());

// ---- MTU map table ------------------------------------------------------------------------

constexpr const char* kMtu = "EtppcMtuMapTableUtil";
constexpr const char* kMtuTable = "EtppcMtuMapTableHwDirect";
constexpr Asic::SwTableId kMtuSwTable = TernL3Intf::MtuProfileConstants::swTableId;

Fields mtuRow(std::uint32_t size) { return {{"mtuByteSize", size}, {"mtuActionProfileIdx", 0}}; }
std::vector<unsigned> rowsFrom(unsigned first) {
  std::vector<unsigned> rows;
  for (unsigned r = first; r < first + 8; ++r) rows.push_back(r);
  return rows;
}
std::string mtuError(unsigned profile, unsigned bytes, const std::string& cause) {
  return "processLogEntry: [logEntry: { header: { flags: 0x0, unitId: { fapId: 0, instanceId: 0 "
         "} }, entry: { key: { value: " +
         std::to_string(profile) + " }, mtuBytes: " + std::to_string(bytes) + " } }]: " + cause;
}
const std::string kMtuKeyRange =
    "bcm88890_a0::EtppcMtuMapTableHwDirect::EntryKey::value < "
    "bcm88890_a0::EtppcMtuMapTableHwDirect::EntryKey::min or > "
    "bcm88890_a0::EtppcMtuMapTableHwDirect::EntryKey::null not allowed";

class MtuTestBase {
 protected:
  explicit MtuTestBase(Hardware::ChipType chip) : rig(chip) {}
  Rig rig;
  const TernAsicUtils::HwCommonTableBase& table() const { return *rig.table(kMtuTable); }
  Pavo::Ptr<SchanAccel::SchanCmds> put(const TestSupport::LogPtr& e) {
    return rig.util(kMtu)->processSwEntry(e);
  }
  void expectBlock(unsigned first, std::uint32_t size, unsigned fap = 0, unsigned inst = 0) {
    for (unsigned r : rowsFrom(first)) EXPECT_EQ(row(table(), fap, inst, r), mtuRow(size)) << r;
  }
};

struct MtuCase {
  const char* name;
  std::uint8_t profile;
  std::uint16_t bytes;
  bool isDelete;
  unsigned firstRow;
  std::uint32_t size;
};
constexpr MtuCase kMtuCases[] = {{"profile0", 0, 1500, false, 0, 1500},
                                 {"profile15", 15, 9000, false, 120, 9000},
                                 {"largestSize", 7, 16383, false, 56, 16383},
                                 {"deleted", 3, 1500, true, 24, 16383},
                                 {"deletedSizeNotRead", 3, 65535, true, 24, 16383}};

class MtuBlockTest : public ::testing::TestWithParam<std::tuple<Hardware::ChipType, MtuCase>>,
                     public MtuTestBase {
 protected:
  MtuBlockTest() : MtuTestBase(std::get<0>(GetParam())) {}
};

TEST_P(MtuBlockTest, EntryRewritesItsProfilesEightRows) {
  const MtuCase& c = std::get<1>(GetParam());
  put(mtu(c.profile, 1234));
  const auto cmds = put(mtu(c.profile, c.bytes, 0, 0, c.isDelete ? LogHeader::kIsDelete : 0));
  expectBlock(c.firstRow, c.size);
  EXPECT_EQ(rig.shadowDump().size(), 8u);  // a delete removes no row
  TestSupport::expectCmdsWriteShadow(cmds, table(), 0, 0, rowsFrom(c.firstRow));
}

INSTANTIATE_TEST_SUITE_P(Cases, MtuBlockTest,
                         ::testing::Combine(::testing::ValuesIn(TestSupport::kChips),
                                            ::testing::ValuesIn(kMtuCases)),
                         TestSupport::ParamName());

class MtuTest : public ::testing::TestWithParam<Hardware::ChipType>, public MtuTestBase {
 protected:
  MtuTest() : MtuTestBase(GetParam()) {}
};

TEST_P(MtuTest, SizeAboveFourteenBitsIsRefusedBeforeAnyRowIsWritten) {
  put(mtu(2, 1500));
  EXPECT_EQ(TestSupport::orderedTableError([&] { put(mtu(2, 16384)); }),
            mtuError(2, 16384, "U14::value < 0 or > 0x3fff not allowed"));
  expectBlock(16, 1500);
  EXPECT_EQ(rig.shadowDump().size(), 8u);
}

TEST_P(MtuTest, ProfileAboveSixteenIsRefusedBeforeAnyRowIsWritten) {
  EXPECT_EQ(TestSupport::orderedTableError([&] { put(mtu(17, 1500)); }),
            mtuError(17, 1500, kMtuKeyRange));
  EXPECT_TRUE(rig.shadowDump().empty());
}

TEST_P(MtuTest, ProfileSixteenLeavesTheNullKeysRowBehind) {
  // Profile 16 starts at row 128, the key's null value, which the key accepts: that row is
  // written before row 129 is refused. The only failing entry that leaves a row behind.
  EXPECT_EQ(TestSupport::orderedTableError([&] { put(mtu(16, 1500)); }),
            mtuError(16, 1500, kMtuKeyRange));
  EXPECT_EQ(row(table(), 0, 0, 128), mtuRow(1500));
  EXPECT_EQ(rig.shadowDump().size(), 1u);
}

TEST_P(MtuTest, ProcessingIgnoresTheFapMaskAndMovesNoCounter) {
  ASSERT_FALSE(rig.util(kMtu)->fapmask().has(SchanAccel::FapId(5)));
  const auto cmds = put(mtu(1, 1500, 5, 2));
  expectBlock(8, 1500, 5, 2);
  EXPECT_EQ(rig.shadowDump().size(), 8u);
  EXPECT_EQ(rig.counters(kMtu), (Counters{0, 0, 0, 0}));
  EXPECT_EQ(rig.enqueueCount(kMtuSwTable, 5, 2), 0u);
  TestSupport::expectCmdsWriteShadow(cmds, table(), 5, 2, rowsFrom(8));
}

INSTANTIATE_TEST_SUITE_P(Chips, MtuTest, ::testing::ValuesIn(TestSupport::kChips),
                         TestSupport::ParamName());
}  // namespace
