// The fixed replay workload of the performance tools: for each bcm88890_a0 Util a rotating
// set of log entries over its table's key space (three sets to one delete, fap 0, instance 0),
// plus the routing-state entry for all routing-state Utils at once. Which Utils there are
// comes from the plug-in's registrations. The same sequence drives the benchmarks, the
// instruction counts and the no-allocation test, so their figures describe the same work.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/LogEntryBuilders.h"

namespace PerfWorkload {
namespace Log = ::Host::Log;
using Log::LogPtr;

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

// The plug-in's registrations, started once. The plug-in is used where the program links it,
// and loaded from TERN_PLUGIN_PATH otherwise (the linker drops a library whose symbols a
// program never names).
inline const TernAsicUtils::UtilHolderContext& context() {
  static const TernAsicUtils::UtilHolderContext* context = [] {
    if (Plugin::Impl::LoaderImpl::plugins().empty())
      new ::Host::PluginLibrary(TERN_PLUGIN_PATH);  // stays loaded for the whole process
    auto* c = new TernAsicUtils::UtilHolderContext;
    ::Host::startUtilPlugins(*c);
    return c;
  }();
  return *context;
}

// The a0 Utils, built through their factories against one table manager, fap 0 in the mask.
class Rig {
 public:
  Rig() : tm_(new TernAsicUtils::TableManager) {
    SchanAccel::Fapmask mask;
    mask.fapIdIs(SchanAccel::FapId(0), true);
    utils_ = ::Host::buildUtils(context(), Hardware::kChipBcm88890A0, tm_, mask);
  }
  const std::vector<::Host::UtilInstance>& utils() const { return utils_; }
  // The Util of that short name; null when the plug-in has none.
  TernAsicUtils::UtilBase* util(const std::string& shortName) const {
    for (const auto& u : utils_)
      if (u.shortName == shortName) return u.util.get();
    return nullptr;
  }
  // The routing-state Utils in registration order (the order the agent calls them).
  std::vector<TernAsicUtils::UtilBase*> routingStateUtils() const {
    std::vector<TernAsicUtils::UtilBase*> out;
    for (const auto& u : utils_)
      if (u.key.swTableId == Log::RoutingState::kSwTableId) out.push_back(u.util.get());
    return out;
  }
  const Pavo::Ptr<TernAsicUtils::TableManager>& tableManager() const { return tm_; }

 private:
  Pavo::Ptr<TernAsicUtils::TableManager> tm_;
  std::vector<::Host::UtilInstance> utils_;
};

// The kind of entry a Util is measured with: the kind it applies to.
using Feed = Log::Feed;

struct UtilInfo {
  std::string name;  // class name without namespace
  Feed feed;
};

// The a0 Utils in the order the workloads run: the routing-state Utils first, then those of
// the other software tables; within a software table by the block of the hardware table the
// Util programs. Each routing-state Util answers itself whether it takes VSI entries.
inline const std::vector<UtilInfo>& catalog() {
  static const std::vector<UtilInfo> list = [] {
    const Rig rig;
    struct Sorted {
      bool routingState;
      std::uint16_t block;
      UtilInfo info;
    };
    std::vector<Sorted> sorted;
    for (const auto& u : rig.utils()) {
      const auto id = u.key.swTableId;
      const bool routingState = id == Log::RoutingState::kSwTableId;
      sorted.push_back(
          {routingState, u.util->hwTableBase()->info().block, {u.shortName, Log::feedOf(*u.util)}});
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Sorted& a, const Sorted& b) {
      if (a.routingState != b.routingState) return a.routingState;
      return a.block < b.block;
    });
    std::vector<UtilInfo> out;
    for (auto& s : sorted) out.push_back(std::move(s.info));
    return out;
  }();
  return list;
}

inline const std::vector<std::string>& utilNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& u : catalog()) out.push_back(u.name);
    return out;
  }();
  return names;
}

// The entries one Util is measured with.
inline std::vector<LogPtr> entriesFor(const std::string& util) {
  const auto& all = catalog();
  const auto it =
      std::find_if(all.begin(), all.end(), [&](const auto& u) { return u.name == util; });
  switch (it == all.end() ? Feed::Profile : it->feed) {
    case Feed::Vsi:
      return vsiEntries();
    case Feed::Trap:
      return trapEntries();
    case Feed::Mtu:
      return mtuEntries();
    case Feed::Profile:
      break;
  }
  return profileEntries();
}

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
