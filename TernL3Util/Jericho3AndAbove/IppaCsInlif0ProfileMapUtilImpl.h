// CS in-LIF profile 0 map of the Ippa block: per routing profile, whether uRPF checking is
// on for IPv4 (bit 1) and IPv6 (bit 2); profile 0 is always 1.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/tables/IppaCsInlif0ProfileMapHwDirect.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppaCsInlif0ProfileMapFields {
  using Layout = TernAsicUtils::Layouts::IppaCsInlif0ProfileMap;
  static constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppaCsInlif0ProfileMapUtilImpl";
  static constexpr auto kKeyText = RoutingProfile::KeyText::Key;
  static constexpr std::uint8_t kArray = 3;
  static void set(const TernAsicUtils::HookContext& ctx, std::uint32_t index,
                  const TernL3Ni::UrpfStateFlags& urpf, Layout::Entry& hwEntry);
};
using IppaCsInlif0ProfileMapUtilImpl = RoutingProfile::TableLogic<IppaCsInlif0ProfileMapFields>;
}  // namespace TernL3Util::Jericho3AndAbove
