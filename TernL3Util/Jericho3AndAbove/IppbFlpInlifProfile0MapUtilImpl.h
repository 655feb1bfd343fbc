// FLP in-LIF profile 0 map of the Ippb block: per routing profile, 3 when uRPF checking is on
// for IPv4 or IPv6, else 1; profile 0 is always 1.
#pragma once

#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/tables/IppbFlpInlifProfile0MapHwDirect.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppbFlpInlifProfile0MapFields {
  using Layout = TernAsicUtils::Layouts::IppbFlpInlifProfile0Map;
  static constexpr const char* kFile =
      "TernL3Util/Jericho3AndAbove/IppbFlpInlifProfile0MapUtilImpl";
  static constexpr auto kKeyText = RoutingProfile::KeyText::Key;
  static void set(const TernAsicUtils::HookContext& ctx, std::uint32_t index,
                  const TernL3Ni::UrpfStateFlags& urpf, Layout::Entry& hwEntry);
};
using IppbFlpInlifProfile0MapUtilImpl = RoutingProfile::TableLogic<IppbFlpInlifProfile0MapFields>;
}  // namespace TernL3Util::Jericho3AndAbove
