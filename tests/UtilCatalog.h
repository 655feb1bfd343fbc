// The twenty Utils as the framework tests see them (ten classes, two revisions), a sample log
// entry each one applies, and the reflective calls the host's type system makes on a Util.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/TestSupport.h"

// Readable failure output for the host's key types.
namespace TernAsicUtils {
inline void PrintTo(const UtilKey& k, std::ostream* os) { *os << QelPavo::Impl::valueToStrep(k); }
}  // namespace TernAsicUtils
namespace Hardware {
inline void PrintTo(ChipType c, std::ostream* os) { *os << chipTypeName(c); }
}  // namespace Hardware
namespace Hardware::Tern {
inline void PrintTo(const FapRevision& r, std::ostream* os) { *os << QelPavo::Impl::valueToStrep(r); }
}  // namespace Hardware::Tern

namespace UtilCatalog {
enum class Feed { Vsi, Profile, Trap, Mtu };

struct UtilInfo {
  const char* name;   // class name without namespace
  const char* ns;     // namespace below the revision
  const char* table;  // hardware table class without namespace
  std::uint32_t swTableId;
  Feed feed;
};

// In load order (the order the plug-in's files announce themselves).
inline constexpr UtilInfo kUtils[] = {
    {"IppaCsInlif0ProfileMapUtil", "TernL3NiUtil", "IppaCsInlif0ProfileMapHwDirect", 0x11010402,
     Feed::Profile},
    {"IppfVsiToRoutingProfileMapArray0Util", "TernL3NiUtil", "IppfVsiToRoutingProfileMapHwDirect",
     0x11010402, Feed::Vsi},
    {"IppdAllowDefaultRouteUtil", "TernL3NiUtil", "IppdAllowDefaultRouteHwReg", 0x11010402,
     Feed::Profile},
    {"EtppbTrapForwardActionTableUtil", "TernL3NiUtil", "EtppbTrapForwardActionTableHwDirect",
     0x11010401, Feed::Trap},
    {"IppbFlpInlifProfile0MapUtil", "TernL3NiUtil", "IppbFlpInlifProfile0MapHwDirect", 0x11010402,
     Feed::Profile},
    {"IppdInlifProfileTableUtil", "TernL3NiUtil", "IppdInlifProfileTableHwDirect", 0x11010402,
     Feed::Profile},
    {"IppaRoutingProfileToVectorMapArray3Util", "TernL3NiUtil",
     "IppaRoutingProfileToVectorMapHwDirect", 0x11010402, Feed::Profile},
    {"IppaVsiToRoutingProfileMapArray3Util", "TernL3NiUtil", "IppaVsiToRoutingProfileMapHwDirect",
     0x11010402, Feed::Vsi},
    {"EtppcMtuMapTableUtil", "TernL3IntfUtil", "EtppcMtuMapTableHwDirect", 0x0F080403, Feed::Mtu},
    {"IppfRoutingProfileToVectorMapArray0Util", "TernL3NiUtil",
     "IppfRoutingProfileToVectorMapHwDirect", 0x11010402, Feed::Profile},
};

inline std::string qualifiedName(const UtilInfo& u, Hardware::ChipType chip) {
  return std::string(TestSupport::chipName(chip)) + "::" + u.ns + "::" + u.name;
}
inline std::string qualifiedTable(const UtilInfo& u, Hardware::ChipType chip) {
  return std::string(TestSupport::chipName(chip)) + "::" + u.table;
}
inline bool routingState(const UtilInfo& u) { return u.feed == Feed::Vsi || u.feed == Feed::Profile; }

// An entry of the Util's own software table (and kind) that it writes: key 5 of its feed.
inline TestSupport::LogPtr sample(const UtilInfo& u, std::uint8_t fapId = 0,
                                  std::uint8_t instanceId = 0, std::uint8_t flags = 0,
                                  std::uint8_t key = 5) {
  switch (u.feed) {
    case Feed::Vsi: return TestSupport::vsi(key, 3, fapId, instanceId, flags);
    case Feed::Profile:
      return TestSupport::profile(key, TestSupport::urpf(true, true, true, false, true, {1, 0, 1, 0, 1}),
                                  fapId, instanceId, flags);
    case Feed::Trap: return TestSupport::trap(key, 9, 4, fapId, instanceId, flags);
    case Feed::Mtu: break;
  }
  return TestSupport::mtu(key, 1500, fapId, instanceId, flags);
}
// A routing-state entry of the kind the Util does not take (same key).
inline TestSupport::LogPtr otherKind(const UtilInfo& u, std::uint8_t fapId = 0,
                                     std::uint8_t instanceId = 0, std::uint8_t flags = 0) {
  return u.feed == Feed::Vsi ? sample(UtilInfo{"", "", "", 0, Feed::Profile}, fapId, instanceId, flags)
                             : TestSupport::vsi(5, 3, fapId, instanceId, flags);
}

struct UtilCase {
  UtilInfo util;
  Hardware::ChipType chip;
};
template <class Pred>
std::vector<UtilCase> cases(Pred keep) {
  std::vector<UtilCase> out;
  for (const auto& u : kUtils)
    if (keep(u))
      for (const auto chip : TestSupport::kChips) out.push_back({u, chip});
  return out;
}
inline std::vector<UtilCase> allCases() {
  return cases([](const UtilInfo&) { return true; });
}
inline void PrintTo(const UtilCase& c, std::ostream* os) {
  *os << qualifiedName(c.util, c.chip);
}
inline std::string caseName(const ::testing::TestParamInfo<UtilCase>& i) {
  return std::string(i.param.util.name) + "_" + TestSupport::chipName(i.param.chip);
}

// One reflective operation (0 read, 1 write, 10 call) on a Util; answers as the Util does.
inline int inspect(const Pavo::Ptr<TernAsicUtils::UtilBase>& util, const char* attribute, int op,
                   std::vector<const void*> args = {}, void* result = nullptr) {
  const auto* cls = Pavo::ModuleInspectData::findClass(util->utilKey().utilName);
  if (!cls) {
    ADD_FAILURE() << "no reflection class " << util->utilKey().utilName;
    return -1;
  }
  std::vector<void*> raw;
  for (const void* a : args) raw.push_back(const_cast<void*>(a));
  return cls->inspectOperation(static_cast<TernAsicUtils::UtilBase*>(util.get()),
                               Pavo::FieldDescriptor{attribute}, op, raw.data(), result);
}
inline constexpr int kRead = 0, kWrite = 1, kCall = 10;

// The table object a Util is bound to, as reflection reads it (null when of another class).
inline Pavo::Ptr<Pavo::Node> boundTable(const Pavo::Ptr<TernAsicUtils::UtilBase>& util) {
  Pavo::Ptr<Pavo::Node> out;
  EXPECT_EQ(inspect(util, "hwTable", kRead, {}, &out), 0);
  return out;
}
}  // namespace UtilCatalog
