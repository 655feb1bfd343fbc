// CS in-LIF profile 0 map of the Ippa block: per routing profile, whether uRPF checking is
// on for IPv4 (bit 1) and IPv6 (bit 2); profile 0 is always 1.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/HwTables.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppaCsInlif0ProfileMapUtilImpl {
  using Layout = TernAsicUtils::Layouts::IppaCsInlif0ProfileMap;
  static constexpr std::uint8_t kArray = 3;
  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry,
                              Layout::EntryKey& key);
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry, Layout::Entry& hwEntry);
};
}  // namespace TernL3Util::Jericho3AndAbove
