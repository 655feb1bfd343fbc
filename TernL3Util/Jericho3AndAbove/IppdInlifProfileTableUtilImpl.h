// In-LIF RPF mode table: per routing profile, the RPF mode (off, strict, loose) of IPv4 and
// of IPv6.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/HwTables.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppdInlifProfileTableUtilImpl {
  using Layout = TernAsicUtils::Layouts::IppdInlifProfileTable;
  enum RpfMode : unsigned { kRpfOff = 0, kRpfStrict = 1, kRpfLoose = 2 };
  static constexpr RpfMode rpfMode(bool enabled, bool strict) noexcept {
    return !enabled ? kRpfOff : strict ? kRpfStrict : kRpfLoose;
  }
  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry,
                              Layout::EntryKey& key);
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry, Layout::Entry& hwEntry);
};
}  // namespace TernL3Util::Jericho3AndAbove
