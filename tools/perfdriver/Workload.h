// The fixed replay workload of the performance tools: for each of the ten bcm88890_a0 Utils a
// rotating set of log entries over its table's key space (three sets to one delete, fap 0,
// instance 0), plus the routing-state entry for all eight routing-state Utils and the MTU
// entry. The same sequence drives the benchmarks, the instruction counts and the
// no-allocation test, so their figures describe the same work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/LogEntryBuilders.h"

namespace PerfWorkload {
namespace Log = ::Host::Log;
using Log::LogPtr;

// The ten a0 Utils in a fixed order: the eight routing-state Utils, then trap, then MTU.
inline const std::vector<std::string>& utilNames() {
  static const std::vector<std::string> names{
      "IppfVsiToRoutingProfileMapArray0Util",    "IppaVsiToRoutingProfileMapArray3Util",
      "IppfRoutingProfileToVectorMapArray0Util", "IppaRoutingProfileToVectorMapArray3Util",
      "IppaCsInlif0ProfileMapUtil",              "IppbFlpInlifProfile0MapUtil",
      "IppdInlifProfileTableUtil",               "IppdAllowDefaultRouteUtil",
      "EtppbTrapForwardActionTableUtil",         "EtppcMtuMapTableUtil"};
  return names;
}
inline constexpr unsigned kRoutingStateUtils = 8;

// Deterministic pseudo-random bytes (a fixed LCG), so every run sees the same entries.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) noexcept : s_(seed) {}
  std::uint32_t next() noexcept {
    s_ = s_ * 1664525u + 1013904223u;
    return s_ >> 8;
  }

 private:
  std::uint32_t s_;
};

// Every fourth entry is a delete.
inline Log::Header headerAt(unsigned i) { return {.isDelete = i % 4 == 3}; }

// VSI entries (key type 0): 1024 VSIs fill the 256 entries of a VSI map.
inline std::vector<LogPtr> vsiEntries() {
  std::vector<LogPtr> out;
  Lcg r(1);
  for (unsigned i = 0; i < 1024; ++i) {
    const std::uint32_t id = (i * 389u) % 1024u;  // every VSI once, in scattered order
    out.push_back(
        Log::entry(Log::RoutingState{.id = id, .routingProfileMap = std::uint8_t(r.next() % 16)},
                   headerAt(i)));
  }
  return out;
}

// Routing-profile entries (key type 1): the sixteen routing profiles with varied flags, taken
// from the low ten bits of `bits`.
inline Log::RoutingState profileOf(std::uint32_t id, std::uint32_t bits) {
  const auto bit = [bits](unsigned i) { return std::uint8_t((bits >> i) & 1); };
  return {.id = id,
          .type = 1,
          .routingState = {bit(0), bit(1), bit(2), bit(3), bit(4)},
          .ipv4Enabled = bit(5),
          .ipv6Enabled = bit(6),
          .ipv4Strict = bit(7),
          .ipv6Strict = bit(8),
          .allowDefault = bit(9)};
}
inline TernL3Ni::RoutingEnableProfile profileValue(std::uint32_t bits) {
  return profileOf(0, bits).enableProfile();
}
inline std::vector<LogPtr> profileEntries() {
  std::vector<LogPtr> out;
  Lcg r(2);
  for (unsigned i = 0; i < 64; ++i)
    out.push_back(Log::entry(profileOf(i % 16, r.next()), headerAt(i)));
  return out;
}

inline std::vector<LogPtr> trapEntries() {
  std::vector<LogPtr> out;
  Lcg r(3);
  for (unsigned i = 0; i < 64; ++i) {
    const std::uint32_t v = r.next();
    out.push_back(Log::entry(Log::TrapForwardAction{.key = std::uint8_t(i % 16),
                                                    .outPort = std::uint8_t(v),
                                                    .stampValue = std::uint8_t(v >> 8)},
                             headerAt(i)));
  }
  return out;
}

// MTU profiles 0 to 15 (eight rows each), sizes up to 9600 bytes.
inline std::vector<LogPtr> mtuEntries() {
  std::vector<LogPtr> out;
  Lcg r(4);
  for (unsigned i = 0; i < 64; ++i)
    out.push_back(Log::entry(Log::MtuProfile{.key = std::uint8_t(i % 16),
                                             .mtuBytes = std::uint16_t(1280 + r.next() % 8321)},
                             headerAt(i)));
  return out;
}

// The entries one Util is measured with: entries of the kind it applies to.
inline std::vector<LogPtr> entriesFor(const std::string& util) {
  if (util.find("VsiToRoutingProfileMap") != std::string::npos) return vsiEntries();
  if (util == "EtppbTrapForwardActionTableUtil") return trapEntries();
  if (util == "EtppcMtuMapTableUtil") return mtuEntries();
  return profileEntries();
}

// The a0 Utils, built through their factories against one table manager, fap 0 in the mask.
// The plug-in is used where the program links it, and loaded from TERN_PLUGIN_PATH otherwise
// (the linker drops a library whose symbols a program never names).
class Rig {
 public:
  Rig() : tm_(new TernAsicUtils::TableManager) {
    static TernAsicUtils::UtilHolderContext* context = [] {
      if (Plugin::Impl::LoaderImpl::plugins().empty())
        new ::Host::PluginLibrary(TERN_PLUGIN_PATH);  // stays loaded for the whole process
      auto* c = new TernAsicUtils::UtilHolderContext;
      ::Host::startUtilPlugins(*c);
      return c;
    }();
    SchanAccel::Fapmask mask;
    mask.fapIdIs(SchanAccel::FapId(0), true);
    utils_ = ::Host::buildUtils(*context, Hardware::kChipBcm88890A0, tm_, mask);
  }
  // The Util of that short name; null when the plug-in has none.
  TernAsicUtils::UtilBase* util(const std::string& shortName) const {
    for (const auto& u : utils_)
      if (u.shortName == shortName) return u.util.get();
    return nullptr;
  }
  // The eight routing-state Utils in registration order (the order the agent calls them).
  std::vector<TernAsicUtils::UtilBase*> routingStateUtils() const {
    std::vector<TernAsicUtils::UtilBase*> out;
    for (const auto& u : utils_)
      if (u.key.swTableId == TernL3Ni::RoutingStateConstants::swTableId) out.push_back(u.util.get());
    return out;
  }
  const Pavo::Ptr<TernAsicUtils::TableManager>& tableManager() const { return tm_; }

 private:
  Pavo::Ptr<TernAsicUtils::TableManager> tm_;
  std::vector<::Host::UtilInstance> utils_;
};

// Hands every entry to the Util once; the number of commands returned (so that the work
// cannot be dropped).
inline std::size_t runPass(TernAsicUtils::UtilBase& util, const std::vector<LogPtr>& entries) {
  std::size_t commands = 0;
  for (const auto& e : entries) commands += util.processSwEntry(e)->size();
  return commands;
}
inline std::size_t runAll(const std::vector<TernAsicUtils::UtilBase*>& utils,
                          const std::vector<LogPtr>& entries) {
  std::size_t commands = 0;
  for (const auto& e : entries)
    for (auto* u : utils) commands += u->processSwEntry(e)->size();
  return commands;
}
}  // namespace PerfWorkload
