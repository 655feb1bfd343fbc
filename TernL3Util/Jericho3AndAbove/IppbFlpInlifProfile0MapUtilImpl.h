// FLP in-LIF profile 0 map of the Ippb block: per routing profile, 3 when uRPF checking is on
// for IPv4 or IPv6, else 1; profile 0 is always 1.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/HwTables.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppbFlpInlifProfile0MapUtilImpl {
  using Layout = TernAsicUtils::Layouts::IppbFlpInlifProfile0Map;
  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry,
                              Layout::EntryKey& key);
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry, Layout::Entry& hwEntry);
};
}  // namespace TernL3Util::Jericho3AndAbove
