// In-LIF RPF mode table: per routing profile, the RPF mode (off, strict, loose) of IPv4 and
// of IPv6.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/tables/IppdInlifProfileTableHwDirect.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppdInlifProfileTableFields {
  using Layout = TernAsicUtils::Layouts::IppdInlifProfileTable;
  static constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl";
  static constexpr auto kKeyText = RoutingProfile::KeyText::Index;
  enum RpfMode : unsigned { kRpfOff = 0, kRpfStrict = 1, kRpfLoose = 2 };
  static constexpr RpfMode rpfMode(bool enabled, bool strict) noexcept {
    return !enabled ? kRpfOff : strict ? kRpfStrict : kRpfLoose;
  }
  static void set(const TernAsicUtils::HookContext& ctx, std::uint32_t index,
                  const TernL3Ni::UrpfStateFlags& urpf, Layout::Entry& hwEntry);
};
using IppdInlifProfileTableUtilImpl = RoutingProfile::TableLogic<IppdInlifProfileTableFields>;
}  // namespace TernL3Util::Jericho3AndAbove
