// Routing-profile-to-enable-vector maps: each of the sixteen routing profiles gets a routing
// enable vector, two bits per routingState flag. One piece of logic for both tables and both
// revisions; the tables differ only in the memory array they write.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"

namespace TernL3Util::Jericho3AndAbove {
namespace RoutingProfileToVectorMap {
inline constexpr char kFile[] =
    "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon";
// Vector bit pair of each flag; flags 1 and 2 are crossed in the chip's layout.
inline constexpr unsigned kFlagBit[5] = {8, 12, 10, 14, 16};

void traceVector(const TernAsicUtils::HookContext& ctx, const Brim::PerUnitBitmap& vector);

// The vector of a profile's routingState flags, traced at level 2.
inline Brim::PerUnitBitmap enableVector(const TernAsicUtils::HookContext& ctx,
                                        const TernL3Ni::RoutingStateFlags& flags) {
  Brim::PerUnitBitmap vector;
  for (unsigned f = 0; f < 5; ++f)
    if (flags.flag[f]) vector.bitsOr(kFlagBit[f], 3, 2);
  if (ctx.implTrace.enabled(2)) [[unlikely]]
    traceVector(ctx, vector);
  return vector;
}
}  // namespace RoutingProfileToVectorMap

// The key refuses a profile above 15, after its trace.
template <class L, std::uint8_t Array>
struct RoutingProfileToVectorMapUtilImplCommon
    : RoutingProfile::ArrayKeyHook<L, Array, &RoutingProfile::indexOf,
                                   RoutingProfileToVectorMap::kFile> {
  static constexpr const char* kTraceName = "RoutingProfileToVectorMapUtilImpl";
  static constexpr auto kEntryKind = TernL3Ni::RoutingStateEntryKind::RoutingProfile;

  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry,
                           typename L::Entry& hwEntry) {
    hwEntry.routingEnableVectorIs(
        RoutingProfileToVectorMap::enableVector(ctx, entry.routingEnableProfile().routingState));
  }
};
}  // namespace TernL3Util::Jericho3AndAbove
