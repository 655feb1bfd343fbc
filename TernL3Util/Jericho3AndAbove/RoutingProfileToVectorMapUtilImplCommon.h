// Routing-profile-to-enable-vector maps: each of the sixteen routing profiles gets a routing
// enable vector, two bits per routingState flag. One piece of logic for both tables and both
// revisions; the tables differ only in the memory array they write.
#pragma once

#include "TernAsicUtils/UtilDesc.h"
#include "host/HwTables.h"

namespace TernL3Util::Jericho3AndAbove {
namespace RoutingProfileToVectorMap {
inline constexpr const char* kFile =
    "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon";
// Only the low eight bits of the profile id address the table.
constexpr std::uint32_t indexOf(std::uint32_t id) noexcept { return id & 0xff; }
void traceKey(const TernAsicUtils::HookContext& ctx, const TernL3Ni::RoutingStateEntryKey& key,
              std::uint8_t array, std::uint32_t index);
// The vector of a profile's routingState flags, traced at level 2.
Brim::PerUnitBitmap enableVector(const TernAsicUtils::HookContext& ctx,
                                 const TernL3Ni::RoutingStateFlags& flags);
}  // namespace RoutingProfileToVectorMap

template <class Layout, std::uint8_t Array>
struct RoutingProfileToVectorMapUtilImplCommon {
  using EntryKey = typename Layout::EntryKey;
  using Entry = typename Layout::Entry;

  // Traces before the key refuses an index above 15, so refused profiles show up too.
  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry, EntryKey& key) {
    const std::uint32_t index = RoutingProfileToVectorMap::indexOf(entry.key().id);
    RoutingProfileToVectorMap::traceKey(ctx, entry.key(), Array, index);
    key = EntryKey(Array, index);
  }

  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry, Entry& hwEntry) {
    hwEntry.routingEnableVectorIs(
        RoutingProfileToVectorMap::enableVector(ctx, entry.routingEnableProfile().routingState));
  }
};
}  // namespace TernL3Util::Jericho3AndAbove
