// The tables' exact texts on both chip revisions: every refusal, and the enable vector's
// trace. What the tables hold is checked against the independent model in
// robustness_model_test.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "host/HostControls.h"
#include "tests/TestSupport.h"

namespace {
namespace Log = TestSupport::Log;
using RS = Log::RoutingState;
using TestSupport::LogPtr;

class TableTexts : public ::testing::TestWithParam<Hardware::ChipType> {};

TEST_P(TableTexts, VectorIsTracedHighestWordFirst) {
  TestSupport::Rig rig(GetParam());
  TestSupport::TraceCapture trace("2");
  rig.util("IppfRoutingProfileToVectorMapArray0Util")
      ->processSwEntry(Log::entry(RS{.id = 3, .type = 1, .routingState = {1, 0, 0, 0, 1}}));
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
      {"vsiProfileAbove15", "IppfVsiToRoutingProfileMapArray0Util",
       Log::entry(RS{.id = 9, .routingProfileMap = 16}, {.instanceId = 2}),
       "translateToHwFormat: [logEntry: " + vsi16 +
           "]: userDefinedDoSetHwEntry: [unitId: { fapId: 0, instanceId: 2 }], [logEntry: " +
           vsi16 +
           "], [hwEntry: { routingProfile: [0, 0, 0, 0] }]: U4::value < 0 or > 0x0f not allowed"},
      {"vectorProfileAbove15", "IppaRoutingProfileToVectorMapArray3Util",
       Log::entry(RS{.id = 16, .type = 1, .routingState = {1}}),
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
      {"fapId129", "IppdInlifProfileTableUtil", Log::entry(RS{.id = 1, .type = 1}, {.fapId = 129}),
       kFapIdRange},
      {"clearOfFapId129", "IppdInlifProfileTableUtil", nullptr, kFapIdRange},
  };
}

// The text is exact, and a refused entry leaves the shadow, the counters and the enqueue counts
// as they were and returns no commands.
TEST_P(TableTexts, RefusalsCarryTheirTextAndChangeNothing) {
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

INSTANTIATE_TEST_SUITE_P(Chips, TableTexts, ::testing::ValuesIn(TestSupport::kChips),
                         TestSupport::ParamName());
}  // namespace
