// Allow-default-route register: whether a default route may satisfy a strict, respectively
// a loose, uRPF check. Every routing profile set recomputes both switches from its own
// urpfState; a delete leaves the register as it is.
#pragma once

#include "TernAsicUtils/UtilDesc.h"
#include "host/tables/IppdAllowDefaultRouteHwReg.h"

namespace TernL3Util::Jericho3AndAbove {
struct IppdAllowDefaultRouteUtilImpl {
  using Layout = TernAsicUtils::Layouts::IppdAllowDefaultRoute;
  static constexpr const char* kTraceName = "IppdAllowDefaultRouteUtilImpl";
  static constexpr auto kEntryKind = TernL3Ni::RoutingStateEntryKind::RoutingProfile;
  struct Switches {
    bool strict;
    bool loose;
  };
  static constexpr Switches switches(const TernL3Ni::UrpfStateFlags& f) noexcept {
    const bool allow = f.allowDefault;
    return {allow && ((f.ipv4Enabled && f.ipv4Strict) || (f.ipv6Enabled && f.ipv6Strict)),
            allow && ((f.ipv4Enabled && !f.ipv4Strict) || (f.ipv6Enabled && !f.ipv6Strict))};
  }
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry, Layout::Entry& hwEntry);
  static void doRevertHwEntry(const TernAsicUtils::HookContext&, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry&, Layout::Entry&) {}
};
}  // namespace TernL3Util::Jericho3AndAbove
