// VSI-to-routing-profile maps: four VSIs share one hardware entry, each owning a 4-bit slot
// that holds its routing profile. One piece of logic for both tables and both revisions;
// the tables differ only in the memory array they write.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"

namespace TernL3Util::Jericho3AndAbove {
namespace VsiToRoutingProfileMap {
inline constexpr char kFile[] = "TernL3Util/Jericho3AndAbove/VsiToRoutingProfileMapUtilImplCommon";
// Entry index of a VSI: four VSIs per entry; only eight bits of index exist, so VSIs of
// 1024 and more fold onto lower ones.
constexpr std::uint32_t entryIndexOf(std::uint32_t vsi) noexcept { return (vsi >> 2) & 0xff; }
constexpr unsigned slotOf(std::uint32_t vsi) noexcept { return vsi & 3; }
}  // namespace VsiToRoutingProfileMap

template <class L, std::uint8_t Array>
struct VsiToRoutingProfileMapUtilImplCommon
    : RoutingProfile::ArrayKeyHook<L, Array, &VsiToRoutingProfileMap::entryIndexOf,
                                   VsiToRoutingProfileMap::kFile> {
  static constexpr const char* kTraceName = "VsiToRoutingProfileMapUtilImpl";
  static constexpr auto kEntryKind = TernL3Ni::RoutingStateEntryKind::Vsi;

  // Writes only this VSI's slot; the other three VSIs keep theirs.
  static void doSetHwEntry(const TernAsicUtils::HookContext&, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry,
                           typename L::Entry& hwEntry) {
    const U4 profile = entry.routingProfileMap();
    hwEntry.routingProfileIs(VsiToRoutingProfileMap::slotOf(entry.key().id), profile);
  }

  // A delete leaves the shared entry as it is: the slot may only be reused by a later set.
  static void doRevertHwEntry(const TernAsicUtils::HookContext&, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry&, typename L::Entry&) {}
};
}  // namespace TernL3Util::Jericho3AndAbove
