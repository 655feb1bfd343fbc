// The Utils as the framework tests see them (each class in both revisions), a sample log
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

namespace UtilCatalog {
// Util classes the build links into the plug-in (its list of Util files); each has a class per
// revision.
inline constexpr std::size_t kUtilClasses = [] {
  std::size_t n = 1;
  for (const char* c = TERN_UTIL_FILES; *c; ++c) n += *c == ',';
  return n;
}();
inline constexpr std::size_t kRevisions = std::size(TestSupport::kChips);

using Feed = Host::Log::Feed;

struct UtilInfo {
  std::string name;   // class name without namespace
  std::string ns;     // namespace below the revision
  std::string table;  // hardware table class without namespace
  std::uint32_t swTableId;
  Feed feed;
};

// Every Util class of the plug-in, as its registrations give them, in load order (the order
// the plug-in's files announce themselves): its names, software table and table come from
// the registration and a Util built from it; whether it takes VSI or routing-profile entries,
// from what it answers for a VSI entry.
inline const std::vector<UtilInfo>& utils() {
  static const std::vector<UtilInfo> list = [] {
    std::vector<UtilInfo> out;
    const auto& context = TestSupport::context();
    const Pavo::Ptr<TernAsicUtils::TableManager> tm(new TernAsicUtils::TableManager);
    const std::string prefix = std::string(TestSupport::chipName(TestSupport::kChips[0])) + "::";
    for (const auto& r : context.registrations()) {
      const std::string& qualified = r.key.utilName;
      if (qualified.rfind(prefix, 0) != 0) continue;
      const auto ns = qualified.substr(prefix.size(), qualified.rfind("::") - prefix.size());
      const auto util = context.build(r, tm);
      util->fapIdIs(Pavo::Ptr<const TernAsicUtils::FapControlData>(
          new TernAsicUtils::FapControlData(SchanAccel::FapId(0))));
      out.push_back({qualified.substr(qualified.rfind("::") + 2), ns,
                     util->hwTableType().substr(prefix.size()), r.key.swTableId.value,
                     Host::Log::feedOf(*util)});
    }
    return out;
  }();
  return list;
}
inline const UtilInfo& util(const std::string& name) {
  for (const auto& u : utils())
    if (u.name == name) return u;
  throw std::invalid_argument("no Util named " + name);
}

inline std::string qualifiedName(const UtilInfo& u, Hardware::ChipType chip) {
  return std::string(TestSupport::chipName(chip)) + "::" + u.ns + "::" + u.name;
}
inline std::string qualifiedTable(const UtilInfo& u, Hardware::ChipType chip) {
  return std::string(TestSupport::chipName(chip)) + "::" + u.table;
}
inline bool routingState(const UtilInfo& u) {
  return u.feed == Feed::Vsi || u.feed == Feed::Profile;
}

// An entry of the Util's own software table (and kind) that it writes: key 5 of its feed.
inline TestSupport::LogPtr sample(const UtilInfo& u, const TestSupport::Log::Header& h = {},
                                  std::uint8_t key = 5) {
  namespace Log = TestSupport::Log;
  switch (u.feed) {
    case Feed::Vsi:
      return Log::entry(Log::RoutingState{.id = key, .routingProfileMap = 3}, h);
    case Feed::Profile:
      return Log::entry(Log::RoutingState{.id = key,
                                          .type = 1,
                                          .routingState = {1, 0, 1, 0, 1},
                                          .ipv4Enabled = 1,
                                          .ipv6Enabled = 1,
                                          .ipv4Strict = 1,
                                          .allowDefault = 1},
                        h);
    case Feed::Trap:
      return Log::entry(Log::TrapForwardAction{.key = key, .outPort = 9, .stampValue = 4}, h);
    case Feed::Mtu:
      break;
  }
  return Log::entry(Log::MtuProfile{.key = key, .mtuBytes = 1500}, h);
}
// A routing-state entry of the kind the Util does not take (same key).
inline TestSupport::LogPtr otherKind(const UtilInfo& u, const TestSupport::Log::Header& h = {}) {
  return sample(UtilInfo{"", "", "", 0, u.feed == Feed::Vsi ? Feed::Profile : Feed::Vsi}, h);
}

struct UtilCase {
  UtilInfo util;
  Hardware::ChipType chip;
};
inline std::vector<UtilCase> allCases() {
  std::vector<UtilCase> out;
  for (const auto& u : utils())
    for (const auto chip : TestSupport::kChips) out.push_back({u, chip});
  return out;
}
inline void PrintTo(const UtilCase& c, std::ostream* os) { *os << qualifiedName(c.util, c.chip); }
inline std::string caseName(const ::testing::TestParamInfo<UtilCase>& i) {
  return i.param.util.name + "_" + TestSupport::chipName(i.param.chip);
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
