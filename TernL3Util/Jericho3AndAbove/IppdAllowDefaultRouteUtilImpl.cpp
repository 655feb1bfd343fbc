#include "TernL3Util/Jericho3AndAbove/IppdAllowDefaultRouteUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppdAllowDefaultRouteUtilImpl";
}

void IppdAllowDefaultRouteUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext& ctx,
                                                 Asic::UnitId,
                                                 const TernL3Ni::RoutingStateLogEntry& entry,
                                                 Layout::Entry& hwEntry) {
  const auto& profile = entry.routingEnableProfile();
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "SW entry key: " << entry.key() << ", urpfState: " << profile.urpfState
      << ", routingState: " << profile.routingState;
  const Switches s = switches(profile.urpfState);
  hwEntry.strictRpfAllowDefaultIs(s.strict ? 1 : 0);
  hwEntry.ucLooseRpfAllowDefaultIs(s.loose ? 1 : 0);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "HwEntry strictRpfAllowDefault: "
      << static_cast<unsigned int>(hwEntry.strictRpfAllowDefault()) << ", ucLooseRpfAllowDefault: "
      << static_cast<unsigned int>(hwEntry.ucLooseRpfAllowDefault());
}
}  // namespace TernL3Util::Jericho3AndAbove
