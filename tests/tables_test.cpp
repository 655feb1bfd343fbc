// Each table's rule on worked examples, on both chip revisions: the rows a short run of
// entries leaves, by field name, and the exact text of every refusal. The random model test
// checks the same rules over long sequences; these cases pin them down where a reader can
// see them.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "host/HostControls.h"
#include "tests/TestSupport.h"

namespace {
namespace Log = TestSupport::Log;
using RS = Log::RoutingState;
using Fields = std::map<std::string, std::uint32_t>;
using TestSupport::LogPtr;

LogPtr vsi(std::uint32_t id, std::uint8_t map, Log::Header h = {}) {
  return Log::entry(RS{.id = id, .routingProfileMap = map}, h);
}
LogPtr profile(RS r, Log::Header h = {}) {
  r.type = 1;
  return Log::entry(r, h);
}
constexpr Log::Header kDelete{.isDelete = true};

Fields slots(unsigned a, unsigned b, unsigned c, unsigned d) {
  return {{"routingProfile[0]", a},
          {"routingProfile[1]", b},
          {"routingProfile[2]", c},
          {"routingProfile[3]", d}};
}
Fields vector(std::uint32_t word0) {
  Fields f;
  for (unsigned i = 0; i < 9; ++i) f[fmt::format("routingEnableVector[{}]", i)] = i ? 0 : word0;
  return f;
}
Fields rpf(unsigned ipv4, unsigned ipv6) {  // 0 off, 1 strict, 2 loose
  return {{"inLifRpfModeIpv4", ipv4}, {"inLifRpfModeIpv6", ipv6}};
}
Fields switches(unsigned strict, unsigned loose) {
  return {{"strictRpfAllowDefault", strict}, {"ucLooseRpfAllowDefault", loose}};
}
Fields trapRow(unsigned outPort, unsigned stampValue) {
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
Fields mtuRow(unsigned bytes) { return {{"mtuByteSize", bytes}, {"mtuActionProfileIdx", 0}}; }

constexpr unsigned kTrapRow = ~0u;  // the row the chip gives the trap profile: 6 on a0, 7 on b0

struct RowCase {
  const char* name;
  const char* util;
  std::vector<LogPtr> entries;  // handed over in order
  unsigned row;                 // the row checked after the last entry, in copy (fap, instance)
  Fields fields;                // empty: the row is absent
  unsigned fap = 0, instance = 0;
  unsigned rows = 1;  // consecutive rows holding the same fields
};

std::vector<RowCase> rowCases() {
  const char *ippfVsi = "IppfVsiToRoutingProfileMapArray0Util",
             *ippaVsi = "IppaVsiToRoutingProfileMapArray3Util",
             *ippfVec = "IppfRoutingProfileToVectorMapArray0Util",
             *ippaVec = "IppaRoutingProfileToVectorMapArray3Util",
             *cs = "IppaCsInlif0ProfileMapUtil", *flp = "IppbFlpInlifProfile0MapUtil",
             *inlif = "IppdInlifProfileTableUtil", *allow = "IppdAllowDefaultRouteUtil",
             *trap = "EtppbTrapForwardActionTableUtil", *mtu = "EtppcMtuMapTableUtil";
  const auto trapEntry = [](std::uint8_t key, std::uint8_t port, std::uint8_t stamp,
                            Log::Header h = {}) {
    return Log::entry(Log::TrapForwardAction{.key = key, .outPort = port, .stampValue = stamp}, h);
  };
  const auto mtuEntry = [](std::uint8_t key, std::uint16_t bytes, Log::Header h = {}) {
    return Log::entry(Log::MtuProfile{.key = key, .mtuBytes = bytes}, h);
  };
  Fields trapDeleted = trapRow(0, 0);
  trapDeleted["forwardChData4"] = 200;
  // clang-format off
  return {
    // Four VSIs share an entry; a VSI's row is bits 2-9 of its id, its slot bits 0-1.
    {"vsiSlotOfItsCopy", ippfVsi, {vsi(5, 7, {.fapId = 3, .instanceId = 2})}, 1, slots(0, 7, 0, 0), 3, 2},
    {"vsiSharesTheEntry", ippaVsi, {vsi(4, 2), vsi(6, 9)}, 3 * 256 + 1, slots(2, 0, 9, 0)},
    {"vsiTenBitsCount", ippfVsi, {vsi(1023, 5), vsi(1024 + 1023, 6)}, 255, slots(0, 0, 0, 6)},
    {"vsiDeleteKeepsTheOthers", ippfVsi, {vsi(5, 7), vsi(6, 1), vsi(5, 7, kDelete)}, 1, slots(0, 7, 1, 0)},
    {"vsiDeleteOfAZeroEntry", ippfVsi, {vsi(8, 0), vsi(8, 0, kDelete)}, 2, {}},
    {"vsiProfileEntryIgnored", ippfVsi, {vsi(5, 7), profile({.id = 5, .routingState = {1}})}, 1, slots(0, 7, 0, 0)},
    // Flags 0 to 4 drive the bit pairs at 8, 12, 10, 14 and 16: flags 1 and 2 cross.
    {"vectorFlag1", ippfVec, {profile({.id = 3, .routingState = {0, 1}})}, 3, vector(0x3000)},
    {"vectorFlag2", ippaVec, {profile({.id = 3, .routingState = {0, 0, 2}})}, 3 * 16 + 3, vector(0xC00)},
    {"vectorReplacedWhole", ippfVec, {profile({.id = 4, .routingState = {1, 0, 0, 255, 1}}), profile({.id = 4 + 256})}, 4, vector(0)},
    {"vectorDelete", ippaVec, {profile({.id = 3, .routingState = {1}}), profile({.id = 3}, kDelete)}, 3 * 16 + 3, {}},
    // Profile 0 is always 1; otherwise bit 1 for IPv4, bit 2 for IPv6 (FLP: 3 for either).
    {"csInlifIpv6", cs, {profile({.id = 5, .ipv6Enabled = 1})}, 3 * 256 + 5, {{"csInlif0Profile", 4}}},
    {"csInlifBoth", cs, {profile({.id = 257, .ipv4Enabled = 1, .ipv6Enabled = 1})}, 3 * 256 + 1, {{"csInlif0Profile", 6}}},
    {"csInlifProfile0", cs, {profile({.id = 256, .ipv4Enabled = 1})}, 3 * 256, {{"csInlif0Profile", 1}}},
    {"flpEither", flp, {profile({.id = 7, .ipv6Enabled = 1})}, 7, {{"csInlifProfile0", 3}}},
    {"flpNeither", flp, {profile({.id = 7, .ipv4Strict = 1, .allowDefault = 1})}, 7, {{"csInlifProfile0", 1}}},
    // Per family: off, strict (1) or loose (2).
    {"rpfStrictAndLoose", inlif, {profile({.ipv4Enabled = 1, .ipv6Enabled = 1, .ipv4Strict = 1})}, 0, rpf(1, 2)},
    {"rpfLooseAndStrict", inlif, {profile({.id = 258, .ipv4Enabled = 1, .ipv6Enabled = 1, .ipv6Strict = 1})}, 2, rpf(2, 1)},
    {"rpfStrictFlagAlone", inlif, {profile({.id = 9, .ipv4Strict = 1, .ipv6Strict = 1})}, 9, rpf(0, 0)},
    // The one register follows the last profile set; a delete leaves it.
    {"allowDefaultStrict", allow, {profile({.id = 1, .ipv6Enabled = 1, .allowDefault = 1}),
                                   profile({.id = 2, .ipv4Enabled = 1, .ipv4Strict = 1, .allowDefault = 1})}, 0, switches(1, 0)},
    {"allowDefaultBoth", allow, {profile({.id = 300, .allowDefault = 1}),
                                 profile({.ipv4Enabled = 1, .ipv6Enabled = 1, .ipv4Strict = 1, .allowDefault = 1})}, 0, switches(1, 1)},
    {"allowDefaultOff", allow, {profile({.id = 3, .ipv4Enabled = 1, .ipv4Strict = 1})}, 0, switches(0, 0)},
    {"allowDefaultDeleteLeavesIt", allow, {profile({.id = 1, .ipv4Enabled = 1, .allowDefault = 1}), profile({.id = 1}, kDelete)}, 0, switches(0, 1)},
    // Every trap key writes the one reserved row; a delete puts back port and stamp only.
    {"trapEveryOverride", trap, {trapEntry(1, 10, 50), trapEntry(2, 33, 200)}, kTrapRow, trapRow(33, 200)},
    {"trapDelete", trap, {trapEntry(1, 33, 200), trapEntry(1, 33, 200, kDelete)}, kTrapRow, trapDeleted},
    {"trapDeleteOfTheResetRow", trap, {trapEntry(1, 33, 200, kDelete)}, kTrapRow, {}},
    // A profile's eight rows, whatever the fap mask; a delete writes the largest size to them.
    {"mtuProfile15", mtu, {mtuEntry(15, 9000)}, 120, mtuRow(9000), 0, 0, 8},
    {"mtuDelete", mtu, {mtuEntry(3, 1500), mtuEntry(3, 65535, kDelete)}, 24, mtuRow(16383), 0, 0, 8},
    {"mtuOutsideTheMask", mtu, {mtuEntry(2, 1500, {.fapId = 7, .instanceId = 1})}, 16, mtuRow(1500), 7, 1, 8},
  };
  // clang-format on
}

class TableRows : public ::testing::TestWithParam<Hardware::ChipType> {};

TEST_P(TableRows, EachCaseLeavesItsRows) {
  for (const auto& c : rowCases()) {
    SCOPED_TRACE(c.name);
    TestSupport::Rig rig(GetParam(), {0, 3});
    const auto util = rig.util(c.util);
    for (const auto& e : c.entries) util->processSwEntry(e);
    const auto* table = rig.table(util->hwTableType().substr(util->hwTableType().rfind(':') + 1));
    const unsigned first = c.row != kTrapRow                         ? c.row
                           : GetParam() == Hardware::kChipBcm88890A0 ? 6
                                                                     : 7;
    for (unsigned r = first; r < first + c.rows; ++r)
      EXPECT_EQ(TestSupport::row(*table, c.fap, c.instance, r), c.fields) << "row " << r;
    // Nothing else: the case's rows are the only rows of the shadow.
    EXPECT_EQ(rig.shadowDump().size(), c.fields.empty() ? 0 : c.rows);
  }
}

TEST_P(TableRows, VectorIsTracedHighestWordFirst) {
  TestSupport::Rig rig(GetParam());
  TestSupport::TraceCapture trace("2");
  rig.util("IppfRoutingProfileToVectorMapArray0Util")
      ->processSwEntry(profile({.id = 3, .routingState = {1, 0, 0, 0, 1}}));
  std::string words;
  for (int i = 0; i < 8; ++i) words += " 0x00000000";
  EXPECT_TRUE(trace.contains("RoutingEnableVector: " + words + " 0x00030300"));
}

// ---- refusals --------------------------------------------------------------------------------

std::uint32_t index17(Hardware::ChipType, TernPPExport::egress_fwd_action_profile) { return 17; }

struct Refusal {
  const char* name;
  const char* util;
  LogPtr entry;  // null: clearHwTable of fap 129
  std::string text;
  bool profileIndex17 = false;  // the host answers 17 for the trap profile's row
};

const std::string kFapIdRange =
    "SchanAccel::FapId::value < SchanAccel::FapId::min or > SchanAccel::FapId::null not allowed";
std::string keyRange(const char* table, const char* field, const char* min, const char* max) {
  const std::string k = std::string("bcm88890_a0::") + table + "::EntryKey::";
  return k + field + " < " + k + min + " or > " + k + max + " not allowed";
}

// A key hook's refusal, wrapped by the key mapping's, for an entry of copy (0, 0).
std::string keyText(const std::string& entry, const std::string& hwKey, const std::string& cause) {
  const std::string unit = "[unitId: { fapId: 0, instanceId: 0 }]";
  return "mapToHwKey: [logEntry: " + entry + "], " + unit + ": userDefinedGetHwEntryKey: " + unit +
         ", [logEntry: " + entry + "], [hwKey: " + hwKey + "]: " + cause;
}

std::vector<Refusal> refusals() {
  const std::string vsi16 = "{ key: { id: 9, type: 0 }, routingProfileMap: 16 }";
  const std::string profile16 =
      "{ key: { id: 16, type: 1 }, routingEnableProfile: { routingState: [1, 0, 0, 0, 0], "
      "urpfState: { ipv4Enabled: 0, ipv6Enabled: 0, ipv4Strict: 0, ipv6Strict: 0, "
      "allowDefault: 0 } } }";
  const auto mtu = [](std::uint8_t key, std::uint16_t bytes, const std::string& cause) {
    return Refusal{"", "EtppcMtuMapTableUtil",
                   Log::entry(Log::MtuProfile{.key = key, .mtuBytes = bytes}, {.instanceId = 1}),
                   fmt::format("processLogEntry: [logEntry: {{ header: {{ flags: 0x0, unitId: {{ "
                               "fapId: 0, instanceId: 1 }} }}, entry: {{ key: {{ value: {} }}, "
                               "mtuBytes: {} }} }}]: {}",
                               key, bytes, cause)};
  };
  auto mtuBytes = mtu(2, 16384, "U14::value < 0 or > 0x3fff not allowed");
  mtuBytes.name = "mtuBytesAbove14Bits";
  auto mtuKey = mtu(17, 1500, keyRange("EtppcMtuMapTableHwDirect", "value", "min", "null"));
  mtuKey.name = "mtuProfileAbove16";
  return {
      {"vsiProfileAbove15", "IppfVsiToRoutingProfileMapArray0Util", vsi(9, 16, {.instanceId = 2}),
       "translateToHwFormat: [logEntry: " + vsi16 +
           "]: userDefinedDoSetHwEntry: [unitId: { fapId: 0, instanceId: 2 }], [logEntry: " +
           vsi16 +
           "], [hwEntry: { routingProfile: [0, 0, 0, 0] }]: U4::value < 0 or > 0x0f not allowed"},
      {"vectorProfileAbove15", "IppaRoutingProfileToVectorMapArray3Util",
       profile({.id = 16, .routingState = {1}}),
       keyText(profile16, "{ array: 2, entryIndex: 0 }",
               keyRange("IppaRoutingProfileToVectorMapHwDirect", "entryIndex", "entryIndexMin",
                        "entryIndexMax"))},
      {"trapRowAbove16", "EtppbTrapForwardActionTableUtil",
       Log::entry(Log::TrapForwardAction{.key = 1, .outPort = 33, .stampValue = 200}, {}),
       keyText("{ key: { value: 1 }, outPort: 33, stampValue: 200 }", "{ value: 0 }",
               keyRange("EtppbTrapForwardActionTableHwDirect", "value", "min", "null")),
       true},
      mtuBytes,
      mtuKey,
      {"fapId129", "IppdInlifProfileTableUtil", profile({.id = 1}, {.fapId = 129}), kFapIdRange},
      {"clearOfFapId129", "IppdInlifProfileTableUtil", nullptr, kFapIdRange},
  };
}

// The text is exact, and a refused entry leaves the shadow, the counters and the enqueue counts
// as they were and returns no commands.
TEST_P(TableRows, RefusalsCarryTheirTextAndChangeNothing) {
  for (const auto& c : refusals()) {
    SCOPED_TRACE(c.name);
    TestSupport::Rig rig(GetParam());
    const auto util = rig.util(c.util);
    const auto& sw = util->utilKey().swTableId;
    const auto before = std::make_tuple(rig.shadowDump(), rig.counters(c.util),
                                        rig.enqueueCount(sw, 0, 0), rig.enqueueCount(sw, 0, 1));
    TernPPExport::egressFwdActionProfileValueOverrideIs(c.profileIndex17 ? &index17 : nullptr);
    TestSupport::TraceCapture trace("8");
    Pavo::Ptr<SchanAccel::SchanCmds> cmds;
    std::string text;
    try {
      cmds = c.entry ? util->processSwEntry(c.entry) : util->clearHwTable(Asic::UnitId::of(129, 0));
    } catch (const std::exception& e) {
      text = e.what();
    }
    TernPPExport::egressFwdActionProfileValueOverrideIs(nullptr);
    EXPECT_EQ(text, c.text);
    EXPECT_FALSE(cmds);
    EXPECT_EQ(std::make_tuple(rig.shadowDump(), rig.counters(c.util), rig.enqueueCount(sw, 0, 0),
                              rig.enqueueCount(sw, 0, 1)),
              before);
    // A clear traces its unit before it refuses it.
    EXPECT_EQ(trace.contains(" unitId: { fapId: 129, instanceId: 0 }"), !c.entry);
  }
}

INSTANTIATE_TEST_SUITE_P(Chips, TableRows, ::testing::ValuesIn(TestSupport::kChips),
                         TestSupport::ParamName());
}  // namespace
